// Every wave-in format gets exactly the recording mix, converted, in order,
// without a gap or a repeat between buffers.
#include <algorithm>
#include <cmath>
#include <tuple>

#include "cardtest.h"

using namespace cardtest;

namespace {

using FormatParam = std::tuple<DWORD, WORD, WORD>;  // rate, channels, bits

class WaveInFormats : public CardTest, public ::testing::WithParamInterface<FormatParam> {};

// The stream a handle of `format` should get for the test signal from
// `start` on, converted in one go.
std::vector<std::uint8_t> Expected(const WAVEFORMATEX& format, std::uint64_t start,
                                   std::size_t mixFrames) {
  std::vector<float> mix(2 * mixFrames);
  for (std::size_t i = 0; i < mixFrames; ++i) {
    mix[2 * i] = soundcard::TestSignalSample(start + i, 0);
    mix[2 * i + 1] = soundcard::TestSignalSample(start + i, 1);
  }
  return soundcard::ConvertMix(mix.data(), mixFrames, format);
}

TEST_P(WaveInFormats, ReceiveTheConvertedRecordingMixExactly) {
  const auto [rate, channels, bits] = GetParam();
  const WAVEFORMATEX format = Pcm(rate, channels, bits);
  soundcard::SetMicrophoneTestSignal();
  soundcard::EnableWaveInTaps(1 << 22);

  // Odd-sized buffers, so that buffer ends fall everywhere inside periods.
  BufferSet buffers(6, 1000 * format.nBlockAlign + format.nBlockAlign / 2);
  Collector collector;
  HWAVEIN h = nullptr;
  ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, &format, collector.proc(), collector.instance(),
                       CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  for (WAVEHDR& hdr : buffers.headers) {
    ASSERT_EQ(waveInPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  }
  const std::uint64_t opened = soundcard::ClockFrames();
  soundcard::Advance(1234);  // not started yet: nothing is recorded
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  const std::uint64_t mixFrames = 3 * soundcard::kSampleRate + 77;
  soundcard::Advance(mixFrames);
  collector.requeue = false;
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  for (WAVEHDR& hdr : buffers.headers) ASSERT_EQ(waveInUnprepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);

  const auto history = soundcard::WaveInHistory();
  ASSERT_EQ(history.size(), 1u);
  const soundcard::WaveInRecord& rec = history[0];
  EXPECT_EQ(rec.startFrame, opened + 1234);
  EXPECT_EQ(rec.lostFrames, 0u);
  EXPECT_FALSE(rec.tapOverflowed);
  // What came back through the buffers is what the card wrote, in order.
  EXPECT_EQ(collector.bytes, rec.delivered);

  const std::vector<std::uint8_t> expected = Expected(format, rec.startFrame, mixFrames);
  const std::size_t frames = rec.delivered.size() / format.nBlockAlign;
  const std::size_t expectedFrames = expected.size() / format.nBlockAlign;
  // Streaming and one-go conversion hold back the same filter delay, give
  // or take a few frames.
  EXPECT_NEAR(double(frames), double(expectedFrames), 64.0);
  const std::size_t n = std::min(frames, expectedFrames) * format.nBlockAlign;
  ASSERT_GT(n, std::size_t(rate));  // more than two seconds compared
  if (rate == soundcard::kSampleRate) {
    EXPECT_EQ(frames, mixFrames);
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + n, rec.delivered.begin()));
    return;
  }
  int worst = 0;
  for (std::size_t i = 0; i < n; i += bits / 8) {
    const int got = bits == 16 ? std::int16_t(rec.delivered[i] | rec.delivered[i + 1] << 8)
                               : int(rec.delivered[i]);
    const int want = bits == 16 ? std::int16_t(expected[i] | expected[i + 1] << 8) : int(expected[i]);
    worst = std::max(worst, std::abs(got - want));
  }
  EXPECT_LE(worst, 1);
}

INSTANTIATE_TEST_SUITE_P(AllTwelve, WaveInFormats,
                         ::testing::Combine(::testing::Values(11025u, 22050u, 44100u),
                                            ::testing::Values(WORD(1), WORD(2)),
                                            ::testing::Values(WORD(8), WORD(16))),
                         [](const auto& info) {
                           return std::to_string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) == 1 ? "Mono" : "Stereo") +
                                  std::to_string(std::get<2>(info.param)) + "Bit";
                         });

}  // namespace
