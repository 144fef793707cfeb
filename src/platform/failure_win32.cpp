// Failures on Win32: a message box captioned "Error", a line on standard error, and the one early exit.
#include "platform/failure.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/shell.h"

namespace {

// A GUI program may have no standard error at all; when it has one (a console, a pipe, Wine's terminal)
// the line goes straight to it, past any buffering of the C library.
void writeLine(const char* text) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  char line[1024];
  const char* body = text ? text : "";
  size_t length = std::strlen(body);
  while (length > 0 && (body[length - 1] == '\n' || body[length - 1] == '\r')) --length;
  const int written = std::snprintf(line, sizeof line, "vostrel: %.*s\n", static_cast<int>(length), body);
  if (written <= 0) return;
  DWORD size = static_cast<DWORD>(written < static_cast<int>(sizeof line) ? written : sizeof line - 1);
  if (size > 0 && line[size - 1] != '\n') line[size - 1] = '\n';  // a cut line still ends
  DWORD done = 0;
  WriteFile(error, line, size, &done, nullptr);
}

}  // namespace

namespace {
std::atomic<FailureListener> listener{nullptr};
}  // namespace

void listenToFailures(FailureListener to) { listener.store(to); }

void showFailure(FailureStyle style, const char* text) {
  if (const FailureListener to = listener.load()) return to(text);
  // Owned by the window that has the focus, so the box comes up over the full-screen window; before
  // that window exists it has no owner.
  if (style == FailureStyle::box && MessageBoxA(GetFocus(), text, "Error", MB_OK) != 0) return;
  writeLine(text);
}

void endRun(int exitCode) {
  shellRestoreDesktop();
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(exitCode));
}
