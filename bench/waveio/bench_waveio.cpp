// Writes 100 MB of PCM in the recorder's 3048-byte blocks, once through
// WaveFileWrite (with the wave object's 32768-byte I/O buffer) and once with
// plain fwrite given the same 32768-byte buffer (setvbuf), to files in the
// same folder, and prints how the two compare in wall time and in CPU time,
// so that the ratio compares the layers, not their buffer sizes. Closing
// (and so the final write-out) is timed too.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "wavefile/MMWaveIO.h"

namespace {

constexpr std::int64_t kTotalBytes = 100LL * 1024 * 1024;
constexpr LONG kBlock = 3048;

std::filesystem::path benchDir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("tl_bench_waveio_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

std::vector<char> pcmBlock() {
  std::vector<char> block(kBlock);
  for (size_t i = 0; i < block.size(); ++i) block[i] = char(i * 31);
  return block;
}

void BM_WaveFileWrite(benchmark::State& state) {
  const std::vector<char> block = pcmBlock();
  const std::string name = (benchDir() / "waveio.wav").string();
  WAVEFORMATEX fmt{};
  fmt.wFormatTag = WAVE_FORMAT_PCM;
  fmt.nChannels = 2;
  fmt.nSamplesPerSec = 44100;
  fmt.wBitsPerSample = 16;
  fmt.nBlockAlign = 4;
  fmt.nAvgBytesPerSec = 176400;
  for (auto _ : state) {
    WaveIOBlock* wave = nullptr;
    if (WaveFileFromFormat(&wave, &fmt) != WIOERR_NOERROR || WaveFileCreate(wave, name.c_str()) != WIOERR_NOERROR ||
        WaveFileSetIOBuffer(wave, 32768) != WIOERR_NOERROR) {
      state.SkipWithError("cannot create the wave file");
      break;
    }
    for (std::int64_t done = 0; done < kTotalBytes; done += kBlock)
      benchmark::DoNotOptimize(WaveFileWrite(wave, block.data(), kBlock));
    WaveFileClose(wave);
    WaveFileFree(&wave);
  }
  state.SetBytesProcessed(state.iterations() * kTotalBytes);
}

void BM_Fwrite(benchmark::State& state) {
  const std::vector<char> block = pcmBlock();
  const std::string name = (benchDir() / "plain.raw").string();
  for (auto _ : state) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (f == nullptr || std::setvbuf(f, nullptr, _IOFBF, 32768) != 0) {
      if (f) std::fclose(f);
      state.SkipWithError("cannot create the plain file");
      break;
    }
    for (std::int64_t done = 0; done < kTotalBytes; done += kBlock)
      benchmark::DoNotOptimize(std::fwrite(block.data(), 1, kBlock, f));
    std::fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * kTotalBytes);
}

BENCHMARK(BM_WaveFileWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_Fwrite)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Keeps each benchmark's wall and CPU time per iteration to print their
// ratios after the run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0)
        times_[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const Times ours = find("BM_WaveFileWrite");
    const Times plain = find("BM_Fwrite");
    if (ours.wall > 0 && plain.wall > 0 && ours.cpu > 0 && plain.cpu > 0)
      std::cout << "WaveFileWrite / fwrite throughput (both with 32768-byte buffers): wall time "
                << plain.wall / ours.wall << ", CPU time " << plain.cpu / ours.cpu << " (goal: at least 0.8)\n";
  }

 private:
  struct Times {
    double wall = 0;
    double cpu = 0;
  };
  Times find(const std::string& prefix) const {
    for (const auto& [name, value] : times_)
      if (name.rfind(prefix, 0) == 0) return value;
    return {};
  }
  std::map<std::string, Times> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(benchDir());
  return 0;
}
