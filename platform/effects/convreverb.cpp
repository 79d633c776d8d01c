#include "platform/effects/convreverb.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace effects {

namespace {

// Partitions from kQuantum up to this size; longer ones gain little.
constexpr std::uint32_t kMaxPartition = 8192;

// The process's threads, sorted.
std::vector<int> Tasks() {
  std::vector<int> tids;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", ec))
    tids.push_back(std::atoi(entry.path().filename().c_str()));
  std::sort(tids.begin(), tids.end());
  return tids;
}

// Whether a thread of the process is blocked (or gone).
bool Sleeping(int tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const std::size_t close = line.rfind(')');
  return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'R';
}

}  // namespace

ConvolutionReverb::ConvolutionReverb(const StereoImpulse& impulse, Threads threads) {
  const std::vector<float>& l = impulse[0];
  const std::vector<float>& r = impulse[1];
  if (l.size() != r.size() || l.size() <= kQuantum)
    throw std::invalid_argument("reverb: the impulse response's sides differ or are too short");
  for (std::uint32_t i = 0; i < kQuantum; ++i)
    if (l[i] != 0.0f || r[i] != 0.0f)
      throw std::invalid_argument("reverb: the impulse response needs a pre-delay of " +
                                  std::to_string(kQuantum) + " frames");
  const auto length = std::uint32_t(l.size() - kQuantum);
  // The convolver makes FFTW plans here, on the caller's thread, while
  // other threads of the program may plan too (the pitch tracker).
  static std::once_flag threadSafePlanner;
  std::call_once(threadSafePlanner, [] { fftwf_make_planner_thread_safe(); });
  conv_.set_options(Convproc::OPT_LATE_CONTIN);
  if (conv_.configure(1, 2, length, kQuantum, kQuantum, kMaxPartition, 0.0f) != 0)
    throw std::runtime_error("reverb: the convolver cannot be configured");
  // zita-convolver takes the data as non-const but only copies it.
  conv_.impdata_create(0, 0, 1, const_cast<float*>(l.data()) + kQuantum, 0, int32_t(length));
  conv_.impdata_create(0, 1, 1, const_cast<float*>(r.data()) + kQuantum, 0, int32_t(length));
  const std::vector<int> before = Tasks();
  int started = conv_.start_process(threads.priority, threads.policy);
  if (started != 0 && threads.policy != SCHED_OTHER && conv_.state() == Convproc::ST_STOP)
    started = conv_.start_process(0, SCHED_OTHER);
  if (started != 0) {
    conv_.cleanup();
    throw std::runtime_error("reverb: the convolver's threads cannot start");
  }
  awaitThreads(before);
  refreshBuffers();
}

// Until a level's thread has started, the convolver computes that level
// itself, and the change to the thread shifts the level's output by one of
// its cycles. So nothing is processed before zita-convolver's new threads
// all wait for their first cycle (they are the process's new threads that
// sleep). Should one not be seen asleep within the time allowed, the reverb
// runs all the same, at worst with one such shift at its start.
void ConvolutionReverb::awaitThreads(const std::vector<int>& before) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (std::chrono::steady_clock::now() < deadline) {
    bool asleep = true;
    for (int tid : Tasks())
      if (!std::binary_search(before.begin(), before.end(), tid) && !Sleeping(tid)) asleep = false;
    if (asleep) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

ConvolutionReverb::~ConvolutionReverb() {
  conv_.stop_process();
  while (!conv_.check_stop()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  conv_.cleanup();
}

// The convolver moves its buffers along after each block.
void ConvolutionReverb::refreshBuffers() noexcept {
  input_ = conv_.inpdata(0);
  left_ = conv_.outdata(0);
  right_ = conv_.outdata(1);
}

void ConvolutionReverb::process(const float* in, float* wet, std::uint32_t frames,
                                bool sync) noexcept {
  for (std::uint32_t i = 0; i < frames;) {
    const std::uint32_t n = std::min(frames - i, kQuantum - at_);
    for (std::uint32_t k = 0; k < n; ++k, ++i) {
      wet[2 * i] = left_[at_ + k];
      wet[2 * i + 1] = right_[at_ + k];
      input_[at_ + k] = 0.5f * (in[2 * i] + in[2 * i + 1]);
    }
    at_ += n;
    if (at_ == kQuantum) {
      conv_.process(sync);
      refreshBuffers();
      at_ = 0;
    }
  }
}

}  // namespace effects
