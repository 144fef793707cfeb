// The shell in a browser: the page's canvas as the window, a WebGL context, Escape and leaving full screen
// as quit requests. The page itself goes full screen on the click that starts the run and scales the
// 1024x768 picture to fit; the browser shows each frame when the animation frame returns.
#include "platform/shell.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include "platform/failure.h"

namespace {

constexpr const char* canvas = "#canvas";
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
int canvasWidth = 0, canvasHeight = 0;

// Quit requests waiting, oldest first; more than a handful never wait at once.
constexpr int queueSize = 16;
int quitCodes[queueSize];
int queued = 0;

EM_BOOL onKey(int, const EmscriptenKeyboardEvent* event, void*) {
  if (event->keyCode != 27) return EM_FALSE;  // Escape; every other key changes nothing
  shellPostQuit(0);
  return EM_TRUE;
}

// Leaving full screen (the browser's own Escape, or F11) ends the run like Escape.
EM_BOOL onFullScreen(int, const EmscriptenFullscreenChangeEvent* event, void*) {
  if (!event->isFullscreen) shellPostQuit(0);
  return EM_FALSE;
}

}  // namespace

bool shellCreateWindow(const char*, int width, int height, bool) {
  if (emscripten_set_canvas_element_size(canvas, width, height) != EMSCRIPTEN_RESULT_SUCCESS) {
    showFailure(FailureStyle::line, "cannot create the window: the page has no canvas");
    return false;
  }
  canvasWidth = width;
  canvasHeight = height;
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, onKey);
  emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onFullScreen);
  return true;
}

void shellClientSize(int* width, int* height) {
  *width = canvasWidth;
  *height = canvasHeight;
}

ShellContextResult shellCreateContext() {
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.alpha = EM_FALSE;  // the window's alpha is not shown, as on the desktop
  attributes.depth = EM_TRUE;
  attributes.stencil = EM_FALSE;
  attributes.antialias = EM_FALSE;
  attributes.premultipliedAlpha = EM_FALSE;
  attributes.preserveDrawingBuffer = EM_TRUE;  // so that what was shown can be read back between frames
  attributes.majorVersion = 1;
  attributes.minorVersion = 0;
  context = emscripten_webgl_create_context(canvas, &attributes);
  if (context <= 0) {
    showFailure(FailureStyle::line, "cannot create the OpenGL context: the browser has no WebGL");
    return ShellContextResult::noContext;
  }
  if (emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS)
    return ShellContextResult::noContext;
  return ShellContextResult::ready;
}

ShellMessage shellTakeMessage(int* exitCode, int*, int*) {
  if (queued == 0) return ShellMessage::none;
  *exitCode = quitCodes[0];
  for (int i = 1; i < queued; ++i) quitCodes[i - 1] = quitCodes[i];
  --queued;
  return ShellMessage::quit;
}

// The page's only key is Escape, the quit; no tool runs here.
int shellKeyTaken() { return 0; }
void* shellGLFunction(const char*) { return nullptr; }

void shellPostQuit(int exitCode) {
  if (queued == queueSize) endRun(exitCode);  // a full queue must not swallow the quit
  quitCodes[queued++] = exitCode;
}

void shellSwapBuffers() {}

// The page leaves full screen itself when the run has ended (Module.onExit), so that leaving it here
// cannot come back as a quit request to a program that has gone.
void shellRestoreDesktop() {}

void shellShutdown() {
  emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, nullptr);
  emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, nullptr);
  if (context > 0) emscripten_webgl_destroy_context(context);
  context = 0;
}
