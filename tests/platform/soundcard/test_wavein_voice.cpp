// A wave-in handle's voice: the microphone as the recording destination
// takes it, beside the recording mix, frame for frame with the buffers.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "cardtest.h"
#include "platform/soundcard/mixerdesc.h"
#include "platform/soundcard/wavein.h"

using namespace cardtest;

namespace {

struct Take {
  std::vector<std::uint8_t> take, voice;
  std::uint64_t lost = 0;
};

// A steady tone for the synthesizer line.
struct Tone {
  std::uint64_t at = 0;
  static void Render(void* user, float* out, std::uint32_t frames) {
    auto* self = static_cast<Tone*>(user);
    for (std::uint32_t i = 0; i < frames; ++i, ++self->at) {
      const float v = 0.3f * float(std::sin(2 * std::numbers::pi * 330.0 * double(self->at) / 44100.0));
      out[2 * i] = v;
      out[2 * i + 1] = -v;
    }
  }
};

void ReadVoice(HWAVEIN h, std::vector<std::uint8_t>& into) {
  std::uint8_t chunk[4096];
  DWORD read = 0;
  do {
    ASSERT_EQ(waveInReadVoice(h, chunk, sizeof chunk, &read), MMSYSERR_NOERROR);
    into.insert(into.end(), chunk, chunk + read);
  } while (read > 0);
}

// Records `frames` card frames in `f`, with a voice ring of `ringBytes`,
// reading the voice after each `step` frames once `readFrom` frames ran.
Take Record(const WAVEFORMATEX& f, std::size_t bufferBytes, DWORD ringBytes, std::uint64_t frames,
            std::uint64_t step, std::uint64_t readFrom = 0) {
  Take t;
  Collector c;
  HWAVEIN h = nullptr;
  EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, &f, c.proc(), c.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  BufferSet set(4, bufferBytes);
  for (WAVEHDR& hdr : set.headers) {
    waveInPrepareHeader(h, &hdr, sizeof hdr);
    waveInAddBuffer(h, &hdr, sizeof hdr);
  }
  DWORD read = 0;
  EXPECT_EQ(waveInReadVoice(h, nullptr, 4, &read), MMSYSERR_NOTENABLED);
  EXPECT_EQ(waveInEnableVoice(h, ringBytes), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInEnableVoice(h, ringBytes), WAVERR_STILLPLAYING)
      << "the voice cannot start in the middle of a take";
  for (std::uint64_t done = 0; done < frames; done += step) {
    soundcard::Advance(step);
    if (done + step >= readFrom) ReadVoice(h, t.voice);
  }
  // The part buffer comes back with its voice.
  c.requeue = false;
  waveInReset(h);
  ReadVoice(h, t.voice);
  t.lost = soundcard::LostFrames(h);
  for (WAVEHDR& hdr : set.headers) waveInUnprepareHeader(h, &hdr, sizeof hdr);
  EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  t.take = c.bytes;
  return t;
}

class Voice : public CardTest {};

// At 22050 Hz the voice goes through its own converter; the recording
// destination and its microphone line are at half volume. The voice is
// the take less the same take with the microphone muted: no accompaniment
// in it, nothing delayed, the same frames.
TEST_F(Voice, IsTheTakeLessTheAccompanimentFrameForFrame) {
  std::vector<float> mic(2 * 44100);
  for (std::size_t i = 0; i < mic.size() / 2; ++i) {
    mic[2 * i] = 0.5f * float(std::sin(2 * std::numbers::pi * 220.0 * double(i) / 44100.0));
    mic[2 * i + 1] = 0.5f * float(std::cos(2 * std::numbers::pi * 150.0 * double(i) / 44100.0));
  }
  auto run = [&](bool micMuted) {
    soundcard::ResetCard();
    std::vector<soundcard::MixerDesc> mixers = soundcard::DefaultMixers();
    soundcard::DestinationDesc& recording = mixers[0].destinations[1];
    recording.line.controls[0].initial = {32767, 32767};
    recording.sources[0].controls[0].initial = {32767, 32767};
    recording.sources[0].controls[1].initial = {micMuted ? 1 : 0};
    soundcard::InstallMixers(mixers);
    soundcard::SetMicrophoneSamples(mic, true);
    Tone tone;
    soundcard::SetSynthRender(&Tone::Render, &tone);
    Take t = Record(Pcm(22050, 2, 16), 2205 * 4, 1 << 20, 44100 / 2, 441);
    soundcard::SetSynthRender(nullptr, nullptr);
    return t;
  };
  const Take sung = run(false);
  const Take silent = run(true);

  ASSERT_GT(sung.take.size(), 22050u * 4 / 2 - 4 * 512);
  EXPECT_EQ(sung.voice.size(), sung.take.size());
  EXPECT_EQ(silent.take.size(), sung.take.size());
  EXPECT_EQ(sung.lost, 0u);
  const auto take = Samples16(sung.take), accompaniment = Samples16(silent.take),
             voice = Samples16(sung.voice);
  int worst = 0, peak = 0;
  for (std::size_t i = 0; i < voice.size(); ++i) {
    worst = std::max(worst, std::abs(int(take[i]) - int(accompaniment[i]) - int(voice[i])));
    if (i >= voice.size() / 2) peak = std::max(peak, std::abs(int(voice[i])));  // past the converter's start
  }
  EXPECT_LE(worst, 1) << "voice = take - accompaniment, to the rounding of each";
  EXPECT_NEAR(peak, 0.5 * 0.25 * 32768, 0.02 * 4096) << "the line's and the destination's volume";
  EXPECT_TRUE(std::all_of(silent.voice.begin(), silent.voice.end(), [](std::uint8_t b) { return b == 0; }))
      << "a muted microphone line gives a silent voice";
}

// A ring that is not read fills up: from then on the buffers take no more
// than the ring, so the take and the voice lose the same frames and stay
// byte for byte the same (the microphone alone, at full volume, is both).
TEST_F(Voice, AFullRingLosesTheSameFramesFromTheTake) {
  std::vector<float> ramp(2 * 44100);
  for (std::size_t i = 0; i < ramp.size() / 2; ++i)
    ramp[2 * i] = ramp[2 * i + 1] = float(int(i % 30000) - 15000) / 32768.0f;
  soundcard::SetMicrophoneSamples(ramp, false);
  const Take t = Record(Pcm(44100, 2, 16), 441 * 4, 2000 * 4 + 3, 44100 / 5, 441, 44100 / 10);

  EXPECT_EQ(t.lost, 44100u / 10 - 2000) << "frames the ring had no room for";
  EXPECT_EQ(t.take.size(), (44100 / 5 - t.lost) * 4);
  EXPECT_EQ(t.voice, t.take);
  // The take itself jumps where the frames went missing.
  const auto s = Samples16(t.take);
  std::size_t jumps = 0;
  for (std::size_t i = 2; i < s.size(); i += 2) jumps += s[i] != s[i - 2] + 1;
  EXPECT_EQ(jumps, 1u);
}

}  // namespace
