// A recorder and a player as the engines use the card: one wave-in and one
// wave-out handle at 44100 Hz, 16-bit stereo, 20 buffers of 3048 bytes
// each, re-queued from the callback the way the engines keep their rings
// full. Shared by the card's benchmarks, with their readings of CPU time.
#pragma once

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/soundcard.h"

namespace benchcard {

inline double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}
inline double ProcessCpuSeconds() { return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }
inline double ThreadCpuSeconds() { return CpuSeconds(CLOCK_THREAD_CPUTIME_ID); }

// The process's CPU time while the calling thread sleeps for `wall`, as a
// share of one core in percent: nearly all of it is the card's thread.
inline double PercentOfCoreWhileSleeping(std::chrono::milliseconds wall) {
  const double cpu = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(wall);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return 100.0 * (ProcessCpuSeconds() - cpu) / seconds;
}

inline void Requeue(void* handle, UINT msg, DWORD_PTR, DWORD_PTR p1, DWORD_PTR) {
  auto* hdr = reinterpret_cast<WAVEHDR*>(p1);
  if (msg == MM_WIM_DATA) waveInAddBuffer(static_cast<HWAVEIN>(handle), hdr, sizeof *hdr);
  if (msg == MM_WOM_DONE) waveOutWrite(static_cast<HWAVEOUT>(handle), hdr, sizeof *hdr);
}

struct DuplexSession {
  static constexpr int kBuffers = 20;
  static constexpr DWORD kBytes = 3048;
  std::vector<std::vector<char>> memory;
  std::vector<WAVEHDR> in, out;
  HWAVEIN hin = nullptr;
  HWAVEOUT hout = nullptr;

  DuplexSession() : memory(2 * kBuffers, std::vector<char>(kBytes, 1)), in(kBuffers), out(kBuffers) {
    const WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    waveInOpen(&hin, WAVE_MAPPER, &f, DWORD_PTR(&Requeue), 0, CALLBACK_FUNCTION);
    waveOutOpen(&hout, WAVE_MAPPER, &f, DWORD_PTR(&Requeue), 0, CALLBACK_FUNCTION);
    for (int i = 0; i < kBuffers; ++i) {
      in[i] = WAVEHDR{};
      in[i].lpData = memory[i].data();
      in[i].dwBufferLength = kBytes;
      out[i] = WAVEHDR{};
      out[i].lpData = memory[kBuffers + i].data();
      out[i].dwBufferLength = kBytes;
      waveInPrepareHeader(hin, &in[i], sizeof(WAVEHDR));
      waveInAddBuffer(hin, &in[i], sizeof(WAVEHDR));
      waveOutPrepareHeader(hout, &out[i], sizeof(WAVEHDR));
      waveOutWrite(hout, &out[i], sizeof(WAVEHDR));
    }
    waveInStart(hin);
  }
  ~DuplexSession() {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    // The callbacks queue the returned buffers again; the second reset
    // takes those back.
    for (int i = 0; i < 2; ++i) {
      waveInReset(hin);
      waveOutReset(hout);
    }
    waveInClose(hin);
    waveOutClose(hout);
    soundcard::ResetCard();
  }
  DuplexSession(const DuplexSession&) = delete;
  DuplexSession& operator=(const DuplexSession&) = delete;
};

}  // namespace benchcard
