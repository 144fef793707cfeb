// The shell on SDL2: window and display mode, GL context, events, clock and message boxes.
#include "app/shell.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/render_state.h"

namespace {

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
Uint32 quitEvent = 0;       // our own event type: a quit request carrying its exit code
bool windowed = false;
bool desktopChanged = false;  // display mode switched or cursor hidden, to be undone on every exit

// Depth buffers to ask for, deepest first: the deepest the driver offers is taken.
constexpr int depthSizes[] = {32, 24, 16};

void restoreDesktop() {
  if (!desktopChanged) return;
  desktopChanged = false;
  if (window) SDL_SetWindowFullscreen(window, 0);
  SDL_ShowCursor(SDL_ENABLE);
}

// Also on an exit that skips the shutdown (a bad image file): the desktop is left as it was.
void restoreDesktopAtExit() {
  if (!desktopChanged) return;
  restoreDesktop();
  SDL_Quit();
}

// The 1024x768 mode at the current depth and refresh rate, or false after saying why.
bool findDisplayMode(int width, int height, SDL_DisplayMode* mode) {
  SDL_DisplayMode current;
  if (SDL_GetCurrentDisplayMode(0, &current) != 0) {
    shellShowError("Could Not Enum Display Settings");
    return false;
  }
  SDL_DisplayMode wanted = current;
  wanted.w = width;
  wanted.h = height;
  if (!SDL_GetClosestDisplayMode(0, &wanted, mode) || mode->w != width || mode->h != height) {
    shellShowError("Display Mode Not Compatible");
    shellPostQuit(1);
    return false;
  }
  return true;
}

SDL_Window* createGLWindow(const char* title, int width, int height, Uint32 flags) {
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 0);
  for (int depth : depthSizes) {
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
    if (SDL_Window* made = SDL_CreateWindow(title, 0, 0, width, height, flags)) return made;
  }
  return nullptr;
}

}  // namespace

bool shellCreateWindow(const char* title, int width, int height, bool fullScreen) {
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "vostrel: cannot start the video system: %s\n", SDL_GetError());
    return false;
  }
  quitEvent = SDL_RegisterEvents(1);
  windowed = !fullScreen;

  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  SDL_DisplayMode mode;
  bool switchMode = false;
  if (fullScreen) {
    flags |= SDL_WINDOW_BORDERLESS;
    switchMode = findDisplayMode(width, height, &mode);
    SDL_ShowCursor(SDL_DISABLE);
    desktopChanged = true;
    std::atexit(restoreDesktopAtExit);
  }

  window = createGLWindow(title, width, height, flags);
  if (!window) {
    std::fprintf(stderr, "vostrel: cannot create the window: %s\n", SDL_GetError());
    return false;
  }
  if (switchMode &&
      (SDL_SetWindowDisplayMode(window, &mode) != 0 || SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0)) {
    shellShowError("Display Mode Not Compatible");
    shellPostQuit(1);
  }
  SDL_ShowWindow(window);
  SDL_RaiseWindow(window);
  return true;
}

void shellClientSize(int* width, int* height) {
  *width = 0;
  *height = 0;
  if (window) SDL_GL_GetDrawableSize(window, width, height);
}

ShellContextResult shellCreateContext() {
  if (!window) return ShellContextResult::noContext;
  context = SDL_GL_CreateContext(window);
  if (!context) {
    std::fprintf(stderr, "vostrel: cannot create the OpenGL context: %s\n", SDL_GetError());
    return ShellContextResult::noContext;
  }
  // Double buffering is asked for but not demanded: the headless driver draws into a single
  // off-screen surface. Without a depth buffer the scenes cannot be drawn at all.
  int depth = 0, red = 0;
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
  SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &red);
  if (depth == 0 || red == 0) return ShellContextResult::noPixelFormat;
  // The frame limiter alone paces the frames: no waiting for the vertical blank in the swap.
  SDL_GL_SetSwapInterval(0);
  return ShellContextResult::ready;
}

ShellMessage shellHandleMessage(int* exitCode) {
  SDL_Event event;
  if (!SDL_PollEvent(&event)) return ShellMessage::none;
  if (event.type == quitEvent) {
    *exitCode = event.user.code;
    return ShellMessage::quit;
  }
  switch (event.type) {
    case SDL_QUIT:  // the window was closed (or the process asked to end): like Escape
      shellPostQuit(0);
      break;
    case SDL_KEYDOWN:
      if (event.key.keysym.sym == SDLK_ESCAPE) shellPostQuit(0);
      break;
    case SDL_WINDOWEVENT:
      if (windowed && event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
        resizeViewport(event.window.data1, event.window.data2);
      break;
    default:  // other keys, mouse buttons and the rest change nothing
      break;
  }
  return ShellMessage::handled;
}

void shellPostQuit(int exitCode) {
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = quitEvent;
  event.user.code = exitCode;
  if (SDL_PushEvent(&event) <= 0) std::exit(exitCode);  // a full queue must not swallow the quit
}

void shellSwapBuffers() { SDL_GL_SwapWindow(window); }

uint64_t shellMilliseconds() { return SDL_GetTicks64(); }

void shellShowError(const char* text) {
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text, window) == 0) return;
  const size_t length = std::strlen(text);
  std::fprintf(stderr, "Error: %s%s", text, length > 0 && text[length - 1] == '\n' ? "" : "\n");
}

void shellShutdown() {
  if (context) {
    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(context);
    context = nullptr;
    glReady = false;
  }
  restoreDesktop();
  if (window) SDL_DestroyWindow(window);
  window = nullptr;
  SDL_Quit();
}
