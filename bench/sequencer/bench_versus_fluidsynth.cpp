// Rendering a song through Tunelark beside FluidSynth's own file renderer
// (`fluidsynth -ni -F`), on the same file with the same soundfont and
// settings (44.1 kHz, dynamic sample loading, the same gain). Each side is a
// whole process, measured the same way: its processor time (user + system,
// from wait4) from start to exit, soundfont load included. FluidSynth's
// writes its WAV into a temporary folder; it goes on past the song's end
// until the last notes and effects have died away. Tunelark's side is this
// program run again as `--render-song SONG FRAMES`: the accompaniment on the
// stepped card (no real-time waiting; the synthesizer rendering ahead as on
// the real clocks), played and then left ringing, for as
// many frames as FluidSynth's WAV holds, so both render the same sound.
// Goal: ratio (Tunelark over FluidSynth) at most 1.00.
//
// Songs: a dense 16-channel arrangement (60 s) and the demo accompaniment;
// soundfonts: TimGM6mb and MuseScore General Lite. A missing soundfont or
// fluidsynth command skips the run with the reason.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench_versus_fluidsynth.h"
#include "platform/sequencer/mci.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/sequencer/synth.h"
#include "platform/soundcard/cardcontrol.h"

namespace {

constexpr const char* kSoundfonts[] = {"/usr/share/sounds/sf2/TimGM6mb.sf2",
                                       "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3"};
constexpr const char* kGain = "0.4";  // the synthesizer's own gain

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; }

// Runs `argv` with `env` added, quiet; its processor time, or -1 when it
// could not run or failed.
double ChildCpuSeconds(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage use{};
  if (wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return Seconds(use.ru_utime) + Seconds(use.ru_stime);
}

// The frames of a 16-bit stereo WAV, from its data chunk's size.
std::uint64_t WavFrames(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char id[4];
  std::uint32_t size = 0;
  in.seekg(12);
  while (in.read(id, 4) && in.read(reinterpret_cast<char*>(&size), 4)) {
    if (std::string(id, 4) == "data") return size / 4;
    in.seekg(size + (size & 1), std::ios::cur);
  }
  return 0;
}

std::string SelfPath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, std::size_t(n)) : std::string();
}

void Versus(benchmark::State& state, const std::string& song) {
  const std::string soundfont = kSoundfonts[state.range(0)];
  if (!std::ifstream(soundfont)) {
    state.SkipWithError(("no soundfont " + soundfont).c_str());
    return;
  }
  QTemporaryDir dir;
  const std::string wav = dir.filePath("out.wav").toStdString();
  const std::vector<std::string> fluidsynth = {
      "fluidsynth", "-ni", "-q", "-r", "44100", "-g", kGain, "-o", "synth.dynamic-sample-loading=1",
      "-F", wav, soundfont, song};
  const std::vector<std::string> env = {"TUNELARK_SOUNDFONT=" + soundfont, "QT_QPA_PLATFORM=offscreen"};
  double theirs = 0, ours = 0;
  std::uint64_t frames = 0;
  for (auto _ : state) {
    // Alternated, so that a busy machine weighs on both alike.
    const double f = ChildCpuSeconds(fluidsynth, {});
    frames = WavFrames(wav);
    const double t = ChildCpuSeconds({SelfPath(), "--render-song", song, std::to_string(frames)}, env);
    if (f < 0 || t < 0) {
      state.SkipWithError(f < 0 ? "the fluidsynth command did not run" : "Tunelark's render did not run");
      return;
    }
    theirs += f;
    ours += t;
  }
  const double n = double(state.iterations());
  state.counters["fluidsynth_cpu_s"] = theirs / n;
  state.counters["tunelark_cpu_s"] = ours / n;
  state.counters["ratio"] = ours / theirs;
  state.counters["audio_s"] = double(frames) / 44100.0;
  state.SetLabel(soundfont.substr(soundfont.rfind('/') + 1));
}

void RenderDenseVersusFluidsynth(benchmark::State& state) {
  QTemporaryDir dir;
  const std::string song = dir.filePath("dense.mid").toStdString();
  const std::vector<std::uint8_t> bytes = bench::DenseSong(60);
  std::ofstream(song, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  Versus(state, song);
}
BENCHMARK(RenderDenseVersusFluidsynth)->DenseRange(0, 1)->Iterations(3)->Unit(benchmark::kSecond);

void RenderDemoVersusFluidsynth(benchmark::State& state) { Versus(state, TUNELARK_DEMO_MID); }
BENCHMARK(RenderDemoVersusFluidsynth)->DenseRange(0, 1)->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

namespace bench {

// The song played on the stepped card, in periods of 100 ms, for `frames`
// and at least to its end.
int RenderSong(const char* path, std::uint64_t frames) {
  soundcard::SelectClock(soundcard::Clock::Stepped);
  // Rendered ahead as the real clocks have it, not a period at a time.
  sequencer::Synth::instance().SetSteppedAhead(sequencer::Synth::kAheadFrames);
  MCI_OPEN_PARMS open{};
  open.lpstrElementName = path;
  if (mciSendCommand(0, MCI_OPEN, MCI_WAIT | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open))) return 1;
  if (!sequencer::WaitDevicesSettled(120000)) return 1;
  MCI_PLAY_PARMS play{};
  if (mciSendCommand(open.wDeviceID, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play))) return 1;
  MCI_STATUS_PARMS mode{};
  mode.dwItem = MCI_STATUS_MODE;
  std::uint64_t done = 0;
  do {
    const std::uint64_t n = done < frames ? std::min<std::uint64_t>(4410, frames - done) : 4410;
    soundcard::Advance(n);
    done += n;
    mciSendCommand(open.wDeviceID, MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&mode));
  } while (mode.dwReturn == MCI_MODE_PLAY || done < frames);
  mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, MCI_WAIT, 0);
  return 0;
}

}  // namespace bench
