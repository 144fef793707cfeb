// A scripted stand-in for the platform shell: a settable clock and a queue of waiting messages.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

struct FakeShell {
  uint64_t clock = 0;
  std::deque<int> messages;   // waiting messages: -1 an ordinary message, >= 0 a quit request with that code
  std::vector<std::string> log;  // what the loop did, in order: "message", "quit", "swap", scene names, ...
  int swaps = 0;
  bool musicStarts = true;
  uint64_t ticksPerPoll = 0;   // the clock advances this much at every poll
  int idlePollsBeforeQuit = -1;  // when >= 0, a quit (code 0) is posted after that many polls found nothing
};

extern FakeShell fake;
void resetFake();
