#include "platform/winmsg/winmsg.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

QCoreApplication& app() {
  static int argc = 1;
  static char name[] = "test_winmsg";
  static char* argv[] = {name, nullptr};
  static QCoreApplication a(argc, argv);
  return a;
}

// A window that records (message, wParam) and whether it ran on the main thread.
class WinMsgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    wnd = AllocateHWnd([this](HWND, UINT msg, WPARAM wp, LPARAM) -> LRESULT {
      got.push_back({msg, wp});
      onMain = onMain && IsMainThread();
      return LRESULT(wp * 2);
    });
  }
  void TearDown() override { DeallocateHWnd(wnd); }
  HWND wnd = nullptr;
  std::vector<std::pair<UINT, WPARAM>> got;
  bool onMain = true;
};

TEST_F(WinMsgTest, PostsFromAnyThreadArriveInOrderOnTheMainThread) {
  std::thread([&] {
    for (WPARAM i = 0; i < 3000; ++i) PostMessage(wnd, WM_USER, i, 0);  // beyond the first ring size
  }).join();
  EXPECT_TRUE(got.empty()) << "nothing is delivered before the loop runs";
  ProcessMessages();
  ASSERT_EQ(got.size(), 3000u);
  for (WPARAM i = 0; i < 3000; ++i) ASSERT_EQ(got[i].second, i);
  EXPECT_TRUE(onMain);

  // The running event loop delivers without an explicit pump.
  got.clear();
  std::thread([&] { PostMessage(wnd, WM_USER, 7, 0); }).join();
  QTimer guard;  // ends a loop that never gets the message
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  guard.start(5000);
  HWND quitter = AllocateHWnd([](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
    QCoreApplication::exit(0);
    return 0;
  });
  PostMessage(quitter, WM_USER, 0, 0);
  EXPECT_EQ(app().exec(), 0);
  DeallocateHWnd(quitter);
  EXPECT_EQ(got, (std::vector<std::pair<UINT, WPARAM>>{{WM_USER, 7}}));
}

TEST_F(WinMsgTest, RemovingPendingMessagesDropsOnlyThatWindowAndNumber) {
  std::vector<WPARAM> other;
  HWND second = AllocateHWnd([&](HWND, UINT, WPARAM wp, LPARAM) -> LRESULT {
    other.push_back(wp);
    return 0;
  });
  PostMessage(wnd, WM_USER + 1, 1, 0);
  PostMessage(wnd, WM_USER + 2, 2, 0);
  PostMessage(second, WM_USER + 1, 3, 0);
  PostMessage(wnd, WM_USER + 1, 4, 0);
  EXPECT_EQ(RemovePendingMessages(wnd, WM_USER + 1), 2);
  ProcessMessages();
  EXPECT_EQ(got, (std::vector<std::pair<UINT, WPARAM>>{{WM_USER + 2, 2}}));
  EXPECT_EQ(other, std::vector<WPARAM>{3});

  // A released window loses its queue, refuses posts and its handle is not reused.
  PostMessage(second, WM_USER, 5, 0);
  DeallocateHWnd(second);
  EXPECT_FALSE(PostMessage(second, WM_USER, 6, 0));
  HWND fresh = AllocateHWnd(nullptr);
  EXPECT_NE(fresh, second);
  ProcessMessages();
  EXPECT_EQ(other, std::vector<WPARAM>{3});
  DeallocateHWnd(fresh);
}

// Real-time posts on a full queue wait behind it in order; a later post of
// another thread, or one refused for want of room, comes after them; a
// removal reaches the waiting ones too, and the list never grows the queue.
TEST_F(WinMsgTest, RealtimePostsOnAFullQueueWaitInOrderAndLoseNothing) {
  HWND filler = AllocateHWnd([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  int filled = 0;
  while (TryPostMessage(filler, WM_USER, 0, 0) == PostResult::Posted) ++filled;
  const DeferredPostCounts before = DeferredPosts();
  std::thread([&] {
    for (WPARAM i = 0; i < 3000; ++i) ASSERT_TRUE(PostMessageRealtime(wnd, WM_USER + 1, i, 0));
    ASSERT_FALSE(PostMessageRealtime(reinterpret_cast<HWND>(1), WM_USER, 0, 0)) << "no such window";
  }).join();
  EXPECT_EQ(TryPostMessage(wnd, WM_USER + 2, 0, 0), PostResult::Full) << "behind the waiting ones";
  PostDeferredMessages();  // the card's next period: still no room
  EXPECT_EQ(DeferredPosts().waiting, 3000u);
  EXPECT_EQ(RemovePendingMessages(wnd, WM_USER + 5), 0) << "a number none has";
  PostMessage(wnd, WM_USER + 3, 3000, 0);  // grows the queue, after them
  ProcessMessages();
  ProcessMessages();
  ASSERT_EQ(got.size(), 3001u);
  for (WPARAM i = 0; i <= 3000; ++i) ASSERT_EQ(got[i].second, i);
  EXPECT_EQ(got.back().first, UINT(WM_USER + 3));
  EXPECT_EQ(DeferredPosts().deferred - before.deferred, 3000u);
  EXPECT_EQ(DeferredPosts().overflowed, before.overflowed);

  // Waiting messages of a window removed, or of one destroyed, never arrive.
  got.clear();
  for (int i = 0; i < filled; ++i) TryPostMessage(filler, WM_USER, 0, 0);
  ASSERT_TRUE(PostMessageRealtime(wnd, WM_USER + 1, 1, 0));
  ASSERT_TRUE(PostMessageRealtime(wnd, WM_USER + 4, 2, 0));
  ASSERT_TRUE(PostMessageRealtime(filler, WM_USER, 3, 0));
  EXPECT_EQ(RemovePendingMessages(wnd, WM_USER + 1), 1);
  DeallocateHWnd(filler);
  ProcessMessages();
  PostDeferredMessages();
  ProcessMessages();
  EXPECT_EQ(got, (std::vector<std::pair<UINT, WPARAM>>{{WM_USER + 4, 2}}));
  EXPECT_EQ(DeferredPosts().waiting, 0u);
}

TEST_F(WinMsgTest, MessagesPostedDuringDeliveryWaitForTheNextRound) {
  HWND self = AllocateHWnd([&](HWND w, UINT, WPARAM wp, LPARAM) -> LRESULT {
    got.push_back({0, wp});
    if (wp < 3) PostMessage(w, WM_USER, wp + 1, 0);
    if (wp == 1) throw std::runtime_error("handler failed");
    return 0;
  });
  int handled = 0;
  SetApplicationExceptionHandler([&](std::exception_ptr) { ++handled; });
  PostMessage(self, WM_USER, 1, 0);
  ProcessMessages();
  EXPECT_EQ(got.size(), 1u) << "a handler that keeps posting cannot starve the loop";
  ProcessMessages();
  ProcessMessages();
  EXPECT_EQ(got.size(), 3u);
  EXPECT_EQ(handled, 1) << "the exception went to the application's handler";
  SetApplicationExceptionHandler(nullptr);
  DeallocateHWnd(self);
}

TEST_F(WinMsgTest, SynchronizedCallsAndSendMessageRunOnTheMainThreadInOrder) {
  EXPECT_EQ(SendMessage(wnd, WM_USER, 21, 0), 42);
  std::atomic<bool> done{false};
  bool ranOnMain = false, caught = false;
  LRESULT sent = 0;
  std::thread worker([&] {
    PostMessage(wnd, WM_USER, 1, 0);
    SynchronizeMain([&] {
      ranOnMain = IsMainThread();
      got.push_back({0, 2});
    });
    sent = SendMessage(wnd, WM_USER, 5, 0);
    try {
      SynchronizeMain([] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
    done = true;
  });
  while (!done) PumpMessagesFor(10);
  worker.join();
  EXPECT_TRUE(ranOnMain);
  EXPECT_TRUE(caught);
  EXPECT_EQ(sent, 10);
  EXPECT_EQ(got, (std::vector<std::pair<UINT, WPARAM>>{{WM_USER, 21}, {WM_USER, 1}, {0, 2}, {WM_USER, 5}}));
  EXPECT_TRUE(onMain);

  SetApplicationTerminated(true);
  PumpMessagesFor(60000);  // returns at once, or the test times out
  SetApplicationTerminated(false);
}


TEST_F(WinMsgTest, ALoopOpenedDuringProcessMessagesDeliversPostedMessages) {
  // A Qt event handled inside ProcessMessages opens a modal loop, as a
  // message box does; a message posted meanwhile must reach its window
  // while that loop runs, not after it.
  bool delivered = false, timedOut = false;
  QMetaObject::invokeMethod(
      &app(),
      [&] {
        QEventLoop modal;
        HWND w = AllocateHWnd([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
          delivered = true;
          modal.quit();
          return 0;
        });
        std::thread([w] { PostMessage(w, WM_USER, 0, 0); }).join();
        QTimer::singleShot(5000, &modal, [&] {
          timedOut = true;
          modal.quit();
        });
        modal.exec();
        DeallocateHWnd(w);
      },
      Qt::QueuedConnection);
  ProcessMessages();
  EXPECT_TRUE(delivered);
  EXPECT_FALSE(timedOut) << "the message waited for the loop to end";
}
}  // namespace
