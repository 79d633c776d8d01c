// Writes 100 MB of PCM in the recorder's 3048-byte blocks, once through
// WaveFileWrite (with the wave object's 32768-byte I/O buffer) and once with
// plain fwrite, to files in the same folder, and prints how the two
// throughputs compare. Closing (and so the final write-out) is timed too.
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
    if (f == nullptr) {
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

// Keeps each benchmark's throughput to print their ratio after the run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end() && run.run_type == Run::RT_Iteration)
        throughput_[run.benchmark_name()] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const double ours = find("BM_WaveFileWrite");
    const double plain = find("BM_Fwrite");
    if (ours > 0 && plain > 0)
      std::cout << "WaveFileWrite / fwrite throughput: " << ours / plain << " (goal: at least 0.8)\n";
  }

 private:
  double find(const std::string& prefix) const {
    for (const auto& [name, value] : throughput_)
      if (name.rfind(prefix, 0) == 0) return value;
    return 0;
  }
  std::map<std::string, double> throughput_;
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
