// A take made by the recorder plays back to exactly the samples it holds.
#include <fstream>
#include <iterator>

#include "play_fixture.h"
#include "recplay/MMTakeRecorder.h"
#include "recplay/MMWPlay.h"
#include "recplay/MMWRec.h"

using namespace playtest;

namespace {

class RoundTrip : public PlayTest {};

TEST_F(RoundTrip, ARecordingPlaysBackToTheSameSamples) {
  const std::string path = Path("take.wav");
  {
    // The main window's recorder.
    TMMWaveRecorder recorder;
    ConfigureTakeRecorder(recorder);
    recorder.SetFileName(path);
    soundcard::SetMicrophoneTestSignal();
    recorder.Start();
    Run(44100);
    recorder.Stop();
  }
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(file.size(), 46u);
  std::uint32_t size = 0;
  std::memcpy(&size, file.data() + 42, 4);
  ASSERT_LE(46 + std::size_t(size), file.size());
  std::vector<std::int16_t> recorded(size / 2);
  std::memcpy(recorded.data(), file.data() + 46, recorded.size() * 2);
  ASSERT_GT(recorded.size(), 2u * 40000);
  ASSERT_TRUE(std::any_of(recorded.begin(), recorded.end(), [](std::int16_t s) { return s != 0; }));

  soundcard::SetMicrophoneSilence();
  TMMWavePlayer player;
  player.SetTimeFormat(tfByte);
  player.Wave()->SetFileName(path);
  Tap(recorded.size() / 2 + 4410);
  player.Start();
  RunUntil([&] { return !(player.State() & wosPlaying); }, 3 * 44100);
  ExpectMixHolds(Mix(), 0, recorded);
}

}  // namespace
