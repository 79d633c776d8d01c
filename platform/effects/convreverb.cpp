#include "platform/effects/convreverb.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

namespace effects {

namespace {

// Partitions from kQuantum up to this size; longer ones gain little.
constexpr std::uint32_t kMaxPartition = 8192;

// The convolver makes and frees FFTW plans on the thread that changes the
// preset while the pitch tracker may plan on its worker. FFTW's planner is
// made thread-safe during static initialisation, before any thread can
// already be planning (at the first reverb it could race with one).
const bool kPlannerThreadSafe = (fftwf_make_planner_thread_safe(), true);

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
  conv_.set_options(Convproc::OPT_LATE_CONTIN);
  if (conv_.configure(1, 2, length, kQuantum, kQuantum, kMaxPartition, 0.0f) != 0)
    throw std::runtime_error("reverb: the convolver cannot be configured");
  // zita-convolver takes the data as non-const but only copies it.
  conv_.impdata_create(0, 0, 1, const_cast<float*>(l.data()) + kQuantum, 0, int32_t(length));
  conv_.impdata_create(0, 1, 1, const_cast<float*>(r.data()) + kQuantum, 0, int32_t(length));
  const std::vector<int> before = Tasks();
  if (conv_.start_process(threads.priority, threads.policy) != 0) {
    conv_.cleanup();
    throw std::runtime_error("reverb: the convolver's threads cannot start");
  }
  // The threads start_process() made: the process's threads now that were
  // not there before (threads made later elsewhere are not waited for).
  std::vector<int> made;
  std::ranges::set_difference(Tasks(), before, std::back_inserter(made));
  awaitThreads(made);
  refreshBuffers();
}

// Until a level's thread has started, the convolver computes that level
// itself, and the change to the thread shifts the level's output by one of
// its cycles; a level whose thread has not started yet would also miss
// stop_process(). No call of the convolver tells that a thread has started,
// and processing silence beforehand would not make it start: so nothing is
// processed before the threads it made all wait for their first cycle (seen
// asleep). Should one not be within the time allowed, the reverb runs all
// the same, at worst with one such shift at its start.
void ConvolutionReverb::awaitThreads(const std::vector<int>& made) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (!std::ranges::all_of(made, Sleeping) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
