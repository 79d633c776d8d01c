#include "audio/MMEngineWait.h"

#include <chrono>
#include <thread>

#include "platform/winmsg/winmsg.h"

namespace {
constexpr int kRoundMs = 10;
}

bool MMWaitRounds(int rounds, const std::function<bool()>& done, bool pump) {
  for (int i = 0; i < rounds; ++i) {
    if (done()) return true;
    if (pump && IsMainThread()) {
      if (ApplicationTerminated()) break;
      PumpMessagesFor(kRoundMs);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(kRoundMs));
    }
  }
  return done();
}
