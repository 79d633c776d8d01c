// A take in time: the recorder's WAV file holds a simulated singer's clicks
// (left) on the accompaniment's clicks (right) at every quality, whether the
// accompaniment comes from the synthesizer or from a wave played through
// Wave Out; without compensation they are the round trip apart.
#include <cmath>
#include <memory>

#include "recplay/MMWRec.h"
#include "tests/audio/rec/rec_fixture.h"
#include "tests/platform/soundcard/clicktrack.h"
#include "platform/soundcard/latency.h"
#include "wavefile/MMWave.h"

using namespace rectest;

namespace {

class TakeInTime : public RecTest {
 protected:
  void SetUp() override {
    RecTest::SetUp();
    soundcard::SetMicrophoneSilence();  // the singer is the simulated one only
    clicktrack::InstallSplitMixers();
  }
};

TEST_F(TakeInTime, TheRecordedFileHasTheSingerOnTheAccompanimentAtEveryQuality) {
  int take = 0;
  for (bool synthesizer : {true, false}) {
    for (int ms : {30, 120, 250}) {
      for (int rate : {44100, 22050, 11025}) {
        for (bool on : {true, false}) {
          SCOPED_TRACE(testing::Message() << (synthesizer ? "SW Synth" : "Wave Out") << ", " << ms << " ms, "
                                          << rate << " Hz, compensation " << (on ? "on" : "off"));
          soundcard::SetSimulatedRoundTripMs(ms);
          soundcard::SetLatencyCompensation(on);
          clicktrack::Synth synth;
          std::unique_ptr<clicktrack::WavePlayer> player;
          if (synthesizer)
            soundcard::SetSynthRender(&clicktrack::Synth::Render, &synth);
          else
            player = std::make_unique<clicktrack::WavePlayer>(3 * 44100);
          ASSERT_TRUE(!player || player->opened());

          const std::string name = Path("take" + std::to_string(take++) + ".wav");
          {
            TMMWaveRecorder rec;
            ConfigureTakeRecorder(rec, rate);
            rec.SetFileName(name);
            rec.Start();
            Run(2500);
            rec.Stop();
          }
          soundcard::SetSynthRender(nullptr, nullptr);
          player.reset();

          const auto file = ReadFile(name);
          ASSERT_EQ(U32(file, 24), std::uint32_t(rate));
          const auto data = DataOf(file);
          std::vector<float> left, right;
          for (std::size_t i = 0; i + 3 < data.size(); i += 4) {
            left.push_back(std::int16_t(data[i] | data[i + 1] << 8) / 32768.0f);
            right.push_back(std::int16_t(data[i + 2] | data[i + 3] << 8) / 32768.0f);
          }
          const auto sung = clicktrack::ClickPeaks(left, std::size_t(rate / 20));
          const auto accompaniment = clicktrack::ClickPeaks(right, std::size_t(rate / 20));
          const auto apart = clicktrack::Distances(accompaniment, sung, rate / 10);
          ASSERT_GE(apart.size(), 3u);
          const std::int64_t tolerance = rate == 44100 ? 44 : 1;
          const std::int64_t expected = on ? 0 : std::llround(ms * 44.1 * rate / 44100);
          for (std::int64_t d : apart) EXPECT_LE(std::llabs(d - expected), tolerance) << d;
        }
      }
    }
  }
}

}  // namespace
