// A recording process for the kill test: records the test signal on the
// stepped virtual card into the file named by its argument until killed.
// It reports "start <clock frame>" once and "written <bytes>" after every
// buffer that reached the file, one per line on standard output.
#include <QCoreApplication>
#include <cstdio>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/probes.h"
#include "platform/soundcard/soundcard.h"
#include "recplay/MMWRec.h"

namespace {

// Sits after the recorder: sees each buffer once the file has it.
class Reporter : public TMMDSPComponent {
 public:
  explicit Reporter(TMMWaveRecorder* recorder) : recorder_(recorder) { PublishInput(); }
  void BufferReady(PMMBufferHeader) override {
    if (!started_) {
      const auto history = soundcard::WaveInHistory();
      if (!history.empty()) {
        std::printf("start %llu\n", static_cast<unsigned long long>(history.back().startFrame));
        started_ = true;
      }
    }
    std::printf("written %lld\n", static_cast<long long>(recorder_->Wave()->GetPosition()));
    std::fflush(stdout);
  }

 private:
  TMMWaveRecorder* recorder_;
  bool started_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  QCoreApplication app(argc, argv);
  soundcard::SelectClock(soundcard::Clock::Stepped);
  soundcard::ResetCard();
  soundcard::SetMicrophoneTestSignal();
  soundcard::EnableWaveInTaps(1);

  TMMWaveRecorder rec;
  rec.Wave()->SetTimeFormat(tfByte);
  rec.SetBufferSize(3048);
  rec.SetNumBuffers(20);
  rec.SetDeviceID(MapperId);
  rec.SetMode(mStereo);
  rec.SetBitLength(b16Bit);
  rec.SetSampleRate(44100);
  Reporter reporter(&rec);
  rec.SetOutput(&reporter);
  rec.SetFileName(argv[1]);
  rec.Start();
  // Killed long before; the cap only ends an orphan whose parent died.
  for (int period = 0; period < 12000; ++period) soundcard::AdvanceAndPump(441);
  return 1;
}
