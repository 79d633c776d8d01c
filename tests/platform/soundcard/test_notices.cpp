// Window messages of the card's thread when the message queue is full: the
// card keeps the buffers on their handles' queues and hands every one back,
// in order, once the queue has room again or a reset returns them.
#include <vector>

#include "cardtest.h"
#include "platform/soundcard/notes.h"
#include "platform/winmsg/winmsg.h"

using namespace cardtest;

namespace {

class Notices : public CardTest {
 protected:
  static constexpr std::size_t kBuffers = 3000;
  static constexpr DWORD kBytes = 32;  // 8 frames: many buffers finish each period

  void SetUp() override {
    CardTest::SetUp();
    wnd = AllocateHWnd([this](HWND, UINT msg, WPARAM, LPARAM l) -> LRESULT {
      if (msg == MM_WOM_DONE) {
        auto* hdr = reinterpret_cast<WAVEHDR*>(l);
        EXPECT_TRUE(hdr->dwFlags & WHDR_DONE);
        seen.push_back(hdr);
      }
      return 0;
    });
    filler = AllocateHWnd([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    const WAVEFORMATEX f = Pcm(44100, 2, 16);
    ASSERT_EQ(waveOutOpen(&h, 0, &f, DWORD_PTR(wnd), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    ProcessMessages();
  }
  void TearDown() override {
    if (h) {
      waveOutReset(h);
      waveOutClose(h);
    }
    ProcessMessages();
    DeallocateHWnd(wnd);
    DeallocateHWnd(filler);
    CardTest::TearDown();
  }

  // Fills the message queue to its capacity.
  void FillQueue() {
    int posted = 0;
    while (TryPostMessage(filler, WM_USER, 0, 0) == PostResult::Posted) ++posted;
    ASSERT_GT(posted, 0);
  }
  void WriteAll() {
    for (WAVEHDR& hdr : set.headers) {
      ASSERT_EQ(waveOutPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
      ASSERT_EQ(waveOutWrite(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    }
  }
  std::size_t DoneCount() const {
    std::size_t n = 0;
    for (const WAVEHDR& hdr : set.headers) n += (hdr.dwFlags & WHDR_DONE) ? 1 : 0;
    return n;
  }
  void ExpectAllSeenInOrder() {
    ASSERT_EQ(seen.size(), kBuffers);
    for (std::size_t i = 0; i < kBuffers; ++i) ASSERT_EQ(seen[i], &set.headers[i]) << i;
  }

  HWND wnd = nullptr;
  HWND filler = nullptr;
  HWAVEOUT h = nullptr;
  BufferSet set{kBuffers, kBytes};
  std::vector<WAVEHDR*> seen;
};

TEST_F(Notices, AFullQueueKeepsBuffersBackAndLaterDeliversEveryOneInOrder) {
  WriteAll();
  FillQueue();
  const std::uint64_t deferred = soundcard::DeferredNotices();
  const std::uint64_t dropped = soundcard::DroppedNotices();
  soundcard::Advance(soundcard::kSampleRate);  // far more than the buffers hold

  // Only as many buffers as the card's own ring holds are done; the rest
  // are still queued on the handle, none is lost.
  EXPECT_EQ(DoneCount(), soundcard::NoteList::kWindowPosts);
  EXPECT_TRUE(set.headers.back().dwFlags & WHDR_INQUEUE);
  EXPECT_GT(soundcard::DeferredNotices(), deferred);
  EXPECT_EQ(soundcard::DroppedNotices(), dropped);
  EXPECT_TRUE(seen.empty());

  for (int round = 0; round < 100 && seen.size() < kBuffers; ++round) {
    ProcessMessages();
    soundcard::Advance(soundcard::kPeriodFrames);
  }
  ProcessMessages();
  ExpectAllSeenInOrder();
  EXPECT_EQ(DoneCount(), kBuffers);
  EXPECT_EQ(soundcard::DroppedNotices(), dropped);
}

TEST_F(Notices, AResetAfterAFullQueueReturnsTheKeptBuffersAfterTheEarlierOnes) {
  WriteAll();
  FillQueue();
  soundcard::Advance(soundcard::kSampleRate);
  ASSERT_LT(DoneCount(), kBuffers);
  // The reset returns the rest on this thread; the card's waiting messages
  // must still come first.
  ASSERT_EQ(waveOutReset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(DoneCount(), kBuffers);
  ProcessMessages();
  ExpectAllSeenInOrder();
}

}  // namespace
