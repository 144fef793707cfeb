// The shell on Win32: window class "Lines", the 1024x768 display mode, the WGL context, messages and swap.
#include "platform/shell.h"

#include <windows.h>

#include <atomic>

#include "platform/failure.h"

namespace {

HINSTANCE appInstance = nullptr;
HWND mainWindow = nullptr;
HDC deviceContext = nullptr;
HGLRC glContext = nullptr;
DWORD windowThread = 0;  // the thread that owns the window and takes its messages
bool windowed = false;

// What was changed of the desktop, to be given back on every way out.
std::atomic<bool> displaySwitched{false};
std::atomic<bool> cursorHidden{false};

// A quit already waiting: the first one posted keeps its code, as a queue of quit events would.
std::atomic<bool> quitWaiting{false};

// A key the window procedure saw since the main loop last took a message.
bool keySeen = false;
int lastKey = 0;

// A size change seen by the window procedure since the main loop last took a message.
bool resizeSeen = false;
int resizeWidth = 0;
int resizeHeight = 0;

constexpr char className[] = "Lines";

void writeLine(const char* text) { showFailure(FailureStyle::line, text); }

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      // In full screen the size is fixed; in a window the main loop sets the viewport again.
      if (windowed) {
        resizeSeen = true;
        resizeWidth = LOWORD(lParam);
        resizeHeight = HIWORD(lParam);
      }
      return 0;
    case WM_PAINT: {
      // Everything is drawn by the main loop: only validate the region.
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_KEYDOWN: {
      if (wParam == VK_ESCAPE) {
        shellPostQuit(0);
        return 0;
      }
      // Keys with a character come again as WM_CHAR, on the keyboard's layout.
      const int named = wParam == VK_LEFT ? shellKey::left : wParam == VK_RIGHT ? shellKey::right
                        : wParam == VK_UP ? shellKey::up : wParam == VK_DOWN ? shellKey::down
                        : wParam == VK_PRIOR ? shellKey::pageUp : wParam == VK_NEXT ? shellKey::pageDown
                        : wParam == VK_HOME ? shellKey::home : wParam == VK_END ? shellKey::end : 0;
      if (named) keySeen = true, lastKey = named;
      return 0;
    }
    case WM_CHAR:
      if (wParam >= ' ' && wParam < 127) {
        keySeen = true;
        lastKey = wParam >= 'A' && wParam <= 'Z' ? static_cast<int>(wParam) - 'A' + 'a' : static_cast<int>(wParam);
      }
      return 0;
    case WM_CLOSE:
      // Not passed on: the window stays, and the run ends through the main loop like Escape.
      shellPostQuit(0);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

// Back to the mode stored in the system settings, whether or not the switch at start took; safe to repeat.
void restoreDesktop() {
  if (displaySwitched.exchange(false)) ChangeDisplaySettingsA(nullptr, 0);
  if (cursorHidden.exchange(false)) ShowCursor(TRUE);
}

void displayModeNotCompatible() {
  showFailure(FailureStyle::box, "Display Mode Not Compatible");
  shellPostQuit(1);
}

// Switches to width x height at the current depth and refresh rate, and checks that the switch took:
// a driver may report success and keep another size.
void setDisplayMode(int width, int height) {
  DEVMODEA mode;
  ZeroMemory(&mode, sizeof mode);
  mode.dmSize = sizeof mode;
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
    showFailure(FailureStyle::box, "Could Not Enum Display Settings");
    return;
  }
  mode.dmPelsWidth = static_cast<DWORD>(width);
  mode.dmPelsHeight = static_cast<DWORD>(height);
  displaySwitched = true;  // given back even when the switch fails: that costs nothing
  if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
    displayModeNotCompatible();
    return;
  }
  DEVMODEA now;
  ZeroMemory(&now, sizeof now);
  now.dmSize = sizeof now;
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &now) || now.dmPelsWidth != mode.dmPelsWidth ||
      now.dmPelsHeight != mode.dmPelsHeight)
    displayModeNotCompatible();
}

}  // namespace

bool shellCreateWindow(const char* title, int width, int height, bool fullScreen) {
  appInstance = GetModuleHandleA(nullptr);
  windowThread = GetCurrentThreadId();
  windowed = !fullScreen;

  WNDCLASSA windowClass;
  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = appInstance;
  windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);  // a failed registration shows as a failed window

  DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (fullScreen) {
    style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    setDisplayMode(width, height);
    ShowCursor(FALSE);
    cursorHidden = true;
  }

  RECT outer = {0, 0, width, height};
  AdjustWindowRect(&outer, style, FALSE);
  mainWindow = CreateWindowExA(0, className, title, style, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                               nullptr, nullptr, appInstance, nullptr);
  if (!mainWindow) {
    writeLine("cannot create the window");
    restoreDesktop();
    return false;
  }
  ShowWindow(mainWindow, SW_SHOWNORMAL);
  UpdateWindow(mainWindow);
  SetFocus(mainWindow);
  return true;
}

void shellClientSize(int* width, int* height) {
  RECT client = {0, 0, 0, 0};
  if (mainWindow) GetClientRect(mainWindow, &client);
  *width = client.right - client.left;
  *height = client.bottom - client.top;
}

ShellContextResult shellCreateContext() {
  if (!mainWindow) return ShellContextResult::noContext;
  deviceContext = GetDC(mainWindow);  // held until the shutdown: the swap and the glyph lists use it

  PIXELFORMATDESCRIPTOR request;
  ZeroMemory(&request, sizeof request);
  request.nSize = sizeof request;
  request.nVersion = 1;
  request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  request.iPixelType = PFD_TYPE_RGBA;
  request.cColorBits = 32;
  request.cDepthBits = 32;
  request.iLayerType = PFD_MAIN_PLANE;
  const int format = ChoosePixelFormat(deviceContext, &request);
  if (format == 0) return ShellContextResult::noPixelFormat;
  // The closest format may still lack what the scenes cannot do without: GL, RGBA, a depth buffer.
  PIXELFORMATDESCRIPTOR chosen;
  ZeroMemory(&chosen, sizeof chosen);
  if (!DescribePixelFormat(deviceContext, format, sizeof chosen, &chosen) || !(chosen.dwFlags & PFD_SUPPORT_OPENGL) ||
      chosen.iPixelType != PFD_TYPE_RGBA || chosen.cDepthBits == 0)
    return ShellContextResult::noPixelFormat;
  if (!SetPixelFormat(deviceContext, format, &request)) return ShellContextResult::formatRejected;

  glContext = wglCreateContext(deviceContext);
  if (!glContext) return ShellContextResult::noContext;
  if (!wglMakeCurrent(deviceContext, glContext)) return ShellContextResult::noContext;

  // The frame limiter alone paces the frames: no waiting for the vertical blank in the swap, where
  // the driver lets us say so.
  using SwapInterval = BOOL(WINAPI*)(int);
  const PROC found = wglGetProcAddress("wglSwapIntervalEXT");
  if (found) reinterpret_cast<SwapInterval>(reinterpret_cast<void*>(found))(0);
  // Sizes seen while the window was made and shown found no context to resize: the one just made has
  // its viewport set from the client area.
  resizeSeen = false;
  return ShellContextResult::ready;
}

ShellMessage shellTakeMessage(int* exitCode, int* width, int* height) {
  MSG message;
  const bool taken = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0;
  if (taken && message.message == WM_QUIT) {
    quitWaiting = false;
    *exitCode = static_cast<int>(message.wParam);
    return ShellMessage::quit;
  }
  if (taken) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // A size change mostly arrives as a sent message, handled inside PeekMessageA even when nothing was taken.
  if (resizeSeen && glContext) {
    resizeSeen = false;
    *width = resizeWidth;
    *height = resizeHeight;
    return ShellMessage::resized;
  }
  if (keySeen) {
    keySeen = false;
    return ShellMessage::key;
  }
  return taken ? ShellMessage::handled : ShellMessage::none;
}

int shellKeyTaken() { return lastKey; }

void* shellGLFunction(const char* name) {
  return reinterpret_cast<void*>(wglGetProcAddress(name));
}

void shellPostQuit(int exitCode) {
  if (quitWaiting.exchange(true)) return;
  // WM_QUIT comes out of the queue after every message posted before it.
  if (windowThread == 0 || GetCurrentThreadId() == windowThread) {
    PostQuitMessage(exitCode);
  } else if (!PostThreadMessageA(windowThread, WM_QUIT, static_cast<WPARAM>(exitCode), 0)) {
    endRun(exitCode);  // a queue that cannot take it must not swallow the quit
  }
}

void shellSwapBuffers() { SwapBuffers(deviceContext); }

// Safe to call twice, and from the one exit on any thread: what a thread cannot release, the process's end does.
void shellRestoreDesktop() { restoreDesktop(); }

void shellShutdown() {
  if (glContext) {
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(glContext);
    glContext = nullptr;
  }
  if (deviceContext) {
    ReleaseDC(mainWindow, deviceContext);
    deviceContext = nullptr;
  }
  restoreDesktop();
  // A class cannot be unregistered while a window of it exists.
  if (mainWindow) DestroyWindow(mainWindow);
  mainWindow = nullptr;
  UnregisterClassA(className, appInstance);
}
