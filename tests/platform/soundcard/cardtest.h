// Shared pieces of the sound card tests: a fixture on the stepped clock,
// formats, buffer sets and a collector that re-queues buffers the way a
// recorder does.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/probes.h"
#include "platform/soundcard/soundcard.h"

namespace cardtest {

inline WAVEFORMATEX Pcm(DWORD rate, WORD channels, WORD bits) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = WORD(channels * bits / 8);
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  return f;
}

// Headers and their memory, prepared by the caller.
struct BufferSet {
  BufferSet(std::size_t count, std::size_t bytes) : memory(count, std::vector<char>(bytes)), headers(count) {
    for (std::size_t i = 0; i < count; ++i) {
      headers[i] = WAVEHDR{};
      headers[i].lpData = memory[i].data();
      headers[i].dwBufferLength = DWORD(bytes);
    }
  }
  std::vector<std::vector<char>> memory;
  std::vector<WAVEHDR> headers;
};

// Collects every returned wave-in buffer's bytes in order and, while
// `requeue` is set, adds the buffer again at once (from the card's thread).
struct Collector {
  std::mutex mutex;
  std::vector<std::uint8_t> bytes;
  std::vector<WAVEHDR*> returned;
  std::vector<UINT> messages;
  // Cleared by the test while a running clock may be calling back.
  std::atomic<bool> requeue{true};

  static void CALLBACK_Proc(void* handle, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR) {
    auto* self = reinterpret_cast<Collector*>(instance);
    std::lock_guard g(self->mutex);
    self->messages.push_back(msg);
    if (msg != MM_WIM_DATA && msg != MM_WOM_DONE) return;
    auto* hdr = reinterpret_cast<WAVEHDR*>(p1);
    EXPECT_TRUE(hdr->dwFlags & WHDR_DONE);
    EXPECT_FALSE(hdr->dwFlags & WHDR_INQUEUE);
    self->returned.push_back(hdr);
    if (msg == MM_WIM_DATA) {
      self->bytes.insert(self->bytes.end(), hdr->lpData, hdr->lpData + hdr->dwBytesRecorded);
      if (self->requeue) waveInAddBuffer(static_cast<HWAVEIN>(handle), hdr, sizeof(WAVEHDR));
    } else if (self->requeue) {
      waveOutWrite(static_cast<HWAVEOUT>(handle), hdr, sizeof(WAVEHDR));
    }
  }
  DWORD_PTR proc() const { return reinterpret_cast<DWORD_PTR>(&CALLBACK_Proc); }
  DWORD_PTR instance() { return reinterpret_cast<DWORD_PTR>(this); }
};

// Every test starts from a fresh card on the stepped clock.
class CardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::InstallCardProbe();
    soundcard::ResetCard();
    soundcard::SetMicrophoneSilence();
  }
  void TearDown() override { soundcard::ResetCard(); }
};

// 16-bit samples of a byte block.
inline std::vector<std::int16_t> Samples16(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

}  // namespace cardtest
