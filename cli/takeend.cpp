#include "cli/takeend.h"

#include <cmath>

#include "audio/MMWRec.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/latency.h"
#include "platform/soundcard/wavein.h"

namespace cli {

std::optional<std::int64_t> TakeBytesToAccompanimentEnd(const TMMWaveRecorder& rec, MCIDEVICEID id) {
  const HWAVEIN handle = rec.WaveIn()->Handle();
  const PWaveFormatEx format = rec.WaveIn()->GetWaveFormat();
  std::uint64_t takeStart = 0, end = 0;
  if (!handle || !format || waveInGetStartFrame(handle, &takeStart) != MMSYSERR_NOERROR ||
      !sequencer::AccompanimentEnd(id, end))
    return std::nullopt;
  // Both on the card's clock: the accompaniment's end comes through the
  // recording mix's delay line that much later.
  const std::uint64_t delay = soundcard::LatencyCompensation() ? soundcard::RoundTripFrames() : 0;
  const double cardFrames = double(std::int64_t(end + delay) - std::int64_t(takeStart));
  const std::int64_t frames = std::llround(cardFrames * format->nSamplesPerSec / soundcard::kSampleRate);
  return std::max<std::int64_t>(frames, 1) * format->nBlockAlign;
}

}  // namespace cli
