// The shell on SDL2: window and display mode, GL context, messages and buffer swap.
#include "platform/shell.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "platform/failure.h"
#include "platform/gl.h"

namespace {

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
Uint32 quitEvent = 0;         // our own event type: a quit request carrying its exit code
int lastKey = 0;
bool windowed = false;
bool desktopChanged = false;  // display mode switched or cursor hidden, to be undone on every exit
// A window with no screen behind it (SDL's offscreen driver) swaps nothing, so nothing ever waits for the
// software renderer: frames would queue without end, the memory grow by megabytes a second and the exit
// wait for all of them. There each frame is finished before the next, as a real swap would make it.
bool finishEachFrame = false;

// Depth buffers to ask for, deepest first: the deepest the driver offers is taken.
constexpr int depthSizes[] = {32, 24, 16};

void noDisplayMode() {
  showFailure(FailureStyle::box, "Display Mode Not Compatible");
  shellPostQuit(1);
}

// The 1024x768 mode at the current depth and refresh rate, or false after saying why.
bool findDisplayMode(int width, int height, SDL_DisplayMode* mode) {
  SDL_DisplayMode current;
  if (SDL_GetCurrentDisplayMode(0, &current) != 0) {
    showFailure(FailureStyle::box, "Could Not Enum Display Settings");
    return false;
  }
  SDL_DisplayMode wanted = current;
  wanted.w = width;
  wanted.h = height;
  if (!SDL_GetClosestDisplayMode(0, &wanted, mode) || mode->w != width || mode->h != height) {
    noDisplayMode();
    return false;
  }
  return true;
}

// The mode the display really shows once the window is up. SDL applies a full-screen mode only when
// the window is shown, and ignores a failure there, so it is read back. VOSTREL_TEST_MODE=WxH stands
// in for what is read, so that a mode which is listed but does not take can be tested.
bool displayModeTook(int width, int height) {
  SDL_DisplayMode shown;
  const int display = SDL_GetWindowDisplayIndex(window);
  if (display < 0 || SDL_GetCurrentDisplayMode(display, &shown) != 0) return false;
  if (const char* fake = std::getenv("VOSTREL_TEST_MODE")) {
    shown.w = std::atoi(fake);
    const char* x = std::strchr(fake, 'x');
    shown.h = x ? std::atoi(x + 1) : 0;
  }
  return shown.w == width && shown.h == height;
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

int keyOf(SDL_Keycode sym) {
  switch (sym) {
    case SDLK_LEFT: return shellKey::left;
    case SDLK_RIGHT: return shellKey::right;
    case SDLK_UP: return shellKey::up;
    case SDLK_DOWN: return shellKey::down;
    case SDLK_PAGEUP: return shellKey::pageUp;
    case SDLK_PAGEDOWN: return shellKey::pageDown;
    case SDLK_HOME: return shellKey::home;
    case SDLK_END: return shellKey::end;
    default: return sym >= ' ' && sym < 127 ? static_cast<int>(sym) : 0;  // SDL's character keys are lower case
  }
}

void failLine(const char* what) {
  char line[512];
  SDL_snprintf(line, sizeof line, "%s: %s", what, SDL_GetError());
  showFailure(FailureStyle::line, line);
}

}  // namespace

bool shellCreateWindow(const char* title, int width, int height, bool fullScreen) {
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    failLine("cannot start the video system");
    return false;
  }
  quitEvent = SDL_RegisterEvents(1);
  windowed = !fullScreen;
  const char* driver = SDL_GetCurrentVideoDriver();
  finishEachFrame = driver && std::strcmp(driver, "offscreen") == 0;

  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | (fullScreen ? 0 : SDL_WINDOW_RESIZABLE);
  SDL_DisplayMode mode;
  bool switchMode = false;
  if (fullScreen) {
    flags |= SDL_WINDOW_BORDERLESS;
    switchMode = findDisplayMode(width, height, &mode);
    SDL_ShowCursor(SDL_DISABLE);
    desktopChanged = true;
  }

  window = createGLWindow(title, width, height, flags);
  if (!window) {
    failLine("cannot create the window");
    shellRestoreDesktop();
    return false;
  }
  if (switchMode &&
      (SDL_SetWindowDisplayMode(window, &mode) != 0 || SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0)) {
    switchMode = false;
    noDisplayMode();
  }
  SDL_ShowWindow(window);
  SDL_RaiseWindow(window);
  if (switchMode && !displayModeTook(width, height)) {
    shellRestoreDesktop();
    noDisplayMode();
  }
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
    failLine("cannot create the OpenGL context");
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

ShellMessage shellTakeMessage(int* exitCode, int* width, int* height) {
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
      if (event.key.keysym.sym == SDLK_ESCAPE) {
        shellPostQuit(0);
        break;
      }
      lastKey = keyOf(event.key.keysym.sym);
      return ShellMessage::key;
    case SDL_WINDOWEVENT:
      if (windowed && event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        *width = event.window.data1;
        *height = event.window.data2;
        return ShellMessage::resized;
      }
      break;
    default:  // other keys, mouse buttons and the rest change nothing
      break;
  }
  return ShellMessage::handled;
}

int shellKeyTaken() { return lastKey; }

void* shellGLFunction(const char* name) { return SDL_GL_GetProcAddress(name); }

void shellPostQuit(int exitCode) {
  SDL_Event event;
  std::memset(&event, 0, sizeof event);
  event.type = quitEvent;
  event.user.code = exitCode;
  if (SDL_PushEvent(&event) <= 0) endRun(exitCode);  // a full queue must not swallow the quit
}

void shellSwapBuffers() {
  SDL_GL_SwapWindow(window);
  if (finishEachFrame) glFinish();
}

void shellRestoreDesktop() {
  if (!desktopChanged) return;
  desktopChanged = false;
  if (window) SDL_SetWindowFullscreen(window, 0);
  SDL_ShowCursor(SDL_ENABLE);
}

void shellShutdown() {
  if (context) {
    SDL_GL_MakeCurrent(window, nullptr);
    SDL_GL_DeleteContext(context);
    context = nullptr;
  }
  shellRestoreDesktop();
  if (window) SDL_DestroyWindow(window);
  window = nullptr;
  // Also gives back a display mode that only the video system's end restores.
  SDL_Quit();
}
