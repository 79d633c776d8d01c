#include "cli/stopsignals.h"

#include <utility>

#include "platform/winmsg/signalpipe.h"

namespace cli {

namespace {

std::function<void(int)> gOnStop;
bool gRequested = false;

}  // namespace

void InstallStopSignals() {
  InstallSignalPipe([](int signal) {
    gRequested = true;
    if (gOnStop) gOnStop(signal);
  });
}

bool StopRequested() { return gRequested; }

void DeliverStopSignals() { DeliverPipedSignals(); }

TStopSignals::TStopSignals(std::function<void(int)> onStop) : previous_(std::exchange(gOnStop, std::move(onStop))) {}

TStopSignals::~TStopSignals() { gOnStop = std::move(previous_); }

}  // namespace cli
