// Wave-in buffer handling: start, stop, reset, the two ways of being told,
// lost frames, and the refusals of bad calls.
#include <vector>

#include "cardtest.h"
#include "platform/winmsg/winmsg.h"

using namespace cardtest;

namespace {

class WaveIn : public CardTest {
 protected:
  const WAVEFORMATEX format = Pcm(44100, 2, 16);
};

void PrepareAndAdd(HWAVEIN h, BufferSet& set) {
  for (WAVEHDR& hdr : set.headers) {
    ASSERT_EQ(waveInPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
  }
}

TEST_F(WaveIn, StopReturnsThePartialBufferAndResetTheRestMarkedDone) {
  soundcard::SetMicrophoneTestSignal();
  Collector c;
  c.requeue = false;
  HWAVEIN h = nullptr;
  ASSERT_EQ(waveInOpen(&h, 0, &format, c.proc(), c.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  BufferSet set(4, 4000);  // 1000 frames each
  PrepareAndAdd(h, set);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  soundcard::Advance(1500);  // first buffer full, second half full
  ASSERT_EQ(c.returned.size(), 1u);
  EXPECT_EQ(c.returned[0], &set.headers[0]);
  EXPECT_EQ(set.headers[0].dwBytesRecorded, 4000u);

  ASSERT_EQ(waveInStop(h), MMSYSERR_NOERROR);
  ASSERT_EQ(c.returned.size(), 2u);  // back before waveInStop returned
  EXPECT_EQ(c.returned[1], &set.headers[1]);
  EXPECT_EQ(set.headers[1].dwBytesRecorded, 2000u);
  EXPECT_TRUE(set.headers[1].dwFlags & WHDR_DONE);
  EXPECT_FALSE(set.headers[2].dwFlags & WHDR_DONE);

  soundcard::Advance(2000);  // stopped: nothing more is recorded or lost
  EXPECT_EQ(c.returned.size(), 2u);
  EXPECT_EQ(soundcard::LostFrames(h), 0u);
  EXPECT_EQ(waveInClose(h), WAVERR_STILLPLAYING);

  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  ASSERT_EQ(c.returned.size(), 4u);
  for (int i = 2; i < 4; ++i) {
    EXPECT_EQ(c.returned[i], &set.headers[i]);
    EXPECT_EQ(set.headers[i].dwBytesRecorded, 0u);
    EXPECT_TRUE(set.headers[i].dwFlags & WHDR_DONE);
    EXPECT_FALSE(set.headers[i].dwFlags & WHDR_INQUEUE);
  }
  MMTIME t{};
  t.wType = TIME_BYTES;
  ASSERT_EQ(waveInGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.u.cb, 0u);  // reset rewinds the position
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  EXPECT_EQ(c.messages.front(), UINT(MM_WIM_OPEN));
  EXPECT_EQ(c.messages.back(), UINT(MM_WIM_CLOSE));
}

TEST_F(WaveIn, MessagesArePostedToTheCallbackWindowInOrder) {
  struct Seen {
    UINT msg;
    WPARAM handle;
    WAVEHDR* hdr;
    bool done;
  };
  std::vector<Seen> seen;
  HWND wnd = AllocateHWnd([&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    auto* hdr = reinterpret_cast<WAVEHDR*>(l);
    seen.push_back({msg, w, hdr, hdr && (hdr->dwFlags & WHDR_DONE)});
    return 0;
  });
  HWAVEIN h = nullptr;
  ASSERT_EQ(waveInOpen(&h, 0, &format, DWORD_PTR(wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
  BufferSet set(3, 1764);  // 441 frames: one period each
  PrepareAndAdd(h, set);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  soundcard::AdvanceAndPump(2 * soundcard::kPeriodFrames);
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  ProcessMessages();
  DeallocateHWnd(wnd);

  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[0].msg, UINT(MM_WIM_OPEN));
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(seen[i].msg, UINT(MM_WIM_DATA));
    EXPECT_EQ(seen[i].hdr, &set.headers[i - 1]);
    EXPECT_TRUE(seen[i].done);
  }
  EXPECT_EQ(set.headers[0].dwBytesRecorded, 1764u);
  EXPECT_EQ(set.headers[2].dwBytesRecorded, 0u);  // returned by the reset
  EXPECT_EQ(seen[4].msg, UINT(MM_WIM_CLOSE));
  for (const Seen& s : seen) EXPECT_EQ(s.handle, WPARAM(h));
}

TEST_F(WaveIn, LostFramesCountOnlyWhenNoBufferIsQueued) {
  Collector c;
  HWAVEIN h = nullptr;
  ASSERT_EQ(waveInOpen(&h, 0, &format, c.proc(), c.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
  // Two buffers of two periods: each period returns at most one, and it is
  // queued again before the next period.
  BufferSet set(2, 4 * 882);
  PrepareAndAdd(h, set);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  soundcard::Advance(10 * soundcard::kSampleRate);  // re-queued at once: nothing lost
  EXPECT_EQ(soundcard::LostFrames(h), 0u);

  c.requeue = false;
  soundcard::Advance(2 * 882);  // 441000 frames went into whole buffers; both fill up again
  EXPECT_EQ(soundcard::LostFrames(h), 0u);
  soundcard::Advance(1000);  // now no buffer is queued
  EXPECT_EQ(soundcard::LostFrames(h), 1000u);
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  EXPECT_EQ(soundcard::TotalLostFrames(), 1000u);
}

TEST_F(WaveIn, RefusesWhatTheServiceRefuses) {
  HWAVEIN h = nullptr;
  EXPECT_EQ(waveInOpen(&h, 1, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  WAVEFORMATEX bad = Pcm(44100, 2, 24);
  EXPECT_EQ(waveInOpen(&h, 0, &bad, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  bad = Pcm(200000, 2, 16);
  EXPECT_EQ(waveInOpen(&h, 0, &bad, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  bad = Pcm(8000, 1, 8);
  bad.nBlockAlign = 2;
  EXPECT_EQ(waveInOpen(nullptr, 0, &bad, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  const WAVEFORMATEX odd = Pcm(96000, 1, 8);
  EXPECT_EQ(waveInOpen(nullptr, WAVE_MAPPER, &odd, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInOpen(&h, 0, &format, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);

  ASSERT_EQ(waveInOpen(&h, 0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  BufferSet set(1, 64);
  EXPECT_EQ(waveInAddBuffer(h, &set.headers[0], sizeof(WAVEHDR)), WAVERR_UNPREPARED);
  ASSERT_EQ(waveInPrepareHeader(h, &set.headers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInAddBuffer(h, &set.headers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInAddBuffer(h, &set.headers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveInUnprepareHeader(h, &set.headers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
  UINT id = 99;
  EXPECT_EQ(waveInGetID(h, &id), MMSYSERR_NOERROR);
  EXPECT_EQ(id, 0u);
  ASSERT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInStart(h), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInClose(h), MMSYSERR_INVALHANDLE);

  char text[MAXERRORLENGTH];
  EXPECT_EQ(waveInGetErrorText(WAVERR_BADFORMAT, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_NE(std::string(text).find("format"), std::string::npos);
  EXPECT_EQ(waveInGetErrorText(12345, text, sizeof text), MMSYSERR_BADERRNUM);

  WAVEINCAPS caps{};
  EXPECT_EQ(waveInGetNumDevs(), 1u);
  ASSERT_EQ(waveInGetDevCaps(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_TRUE(caps.dwFormats & WAVE_FORMAT_4S16);
  EXPECT_TRUE(caps.dwFormats & WAVE_FORMAT_1M08);
  EXPECT_EQ(waveInGetDevCaps(1, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
}

}  // namespace
