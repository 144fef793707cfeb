// The fake shell's implementation of the seam, recording what the portable code asked of it.
#include "fake_shell.h"

#include <cstdlib>

#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/shell.h"

FakeShell fake;

void resetFake() { fake = FakeShell{}; }

bool shellCreateWindow(const char*, int, int, bool) { return true; }
void shellClientSize(int* width, int* height) { *width = 1024, *height = 768; }
ShellContextResult shellCreateContext() { return ShellContextResult::noContext; }

ShellMessage shellTakeMessage(int* exitCode, int*, int*) {
  fake.clock += fake.ticksPerPoll;
  if (fake.messages.empty()) {
    if (fake.idlePollsBeforeQuit > 0 && --fake.idlePollsBeforeQuit == 0) fake.messages.push_back(0);
    return ShellMessage::none;
  }
  const int message = fake.messages.front();
  fake.messages.pop_front();
  if (message >= 0) {
    *exitCode = message;
    fake.log.push_back("quit");
    return ShellMessage::quit;
  }
  fake.log.push_back("message");
  return ShellMessage::handled;
}

void shellPostQuit(int exitCode) { fake.messages.push_back(exitCode); }
void shellSwapBuffers() {
  ++fake.swaps;
  fake.log.push_back("swap");
}
uint64_t clockMilliseconds() { return fake.clock; }
void showFailure(FailureStyle, const char* text) { fake.log.push_back(std::string("error:") + text); }
void endRun(int) { std::abort(); }
void shellShutdown() { fake.log.push_back("shutdown"); }
