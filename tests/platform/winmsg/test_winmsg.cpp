#include "platform/winmsg/winmsg.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

namespace {

QCoreApplication& app() {
  static int argc = 1;
  static char name[] = "test_winmsg";
  static char* argv[] = {name, nullptr};
  static QCoreApplication a(argc, argv);
  return a;
}

struct Received {
  UINT msg;
  WPARAM wParam;
  bool onMain;
};

class WinMsgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    wnd = AllocateHWnd([this](HWND w, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
      got.push_back({msg, wp, IsMainThread()});
      return msg == 99 ? LRESULT(wp * 2) : DefWindowProc(w, msg, wp, lp);
    });
  }
  void TearDown() override { DeallocateHWnd(wnd); }
  HWND wnd = nullptr;
  std::vector<Received> got;
};

TEST_F(WinMsgTest, PostedMessagesArriveInOrderOnTheMainThread) {
  std::thread poster([&] {
    for (WPARAM i = 0; i < 500; ++i) ASSERT_TRUE(PostMessage(wnd, WM_USER + 1, i, 0));
  });
  poster.join();
  EXPECT_TRUE(got.empty()) << "nothing is delivered before the loop runs";
  ProcessMessages();
  ASSERT_EQ(got.size(), 500u);
  for (WPARAM i = 0; i < 500; ++i) {
    EXPECT_EQ(got[i].wParam, i);
    EXPECT_TRUE(got[i].onMain);
  }
}

TEST_F(WinMsgTest, TheEventLoopDeliversWithoutAnExplicitPump) {
  std::thread([&] { PostMessage(wnd, WM_USER, 7, 0); }).join();
  QTimer::singleShot(5000, &app(), [] { QCoreApplication::exit(1); });
  HWND quitter = AllocateHWnd([](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
    QCoreApplication::exit(0);
    return 0;
  });
  PostMessage(quitter, WM_USER, 0, 0);
  EXPECT_EQ(app().exec(), 0);
  DeallocateHWnd(quitter);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].wParam, 7u);
}

TEST_F(WinMsgTest, RemovingPendingMessagesDropsOnlyThatWindowAndNumber) {
  std::vector<WPARAM> other;
  HWND second = AllocateHWnd([&](HWND, UINT msg, WPARAM wp, LPARAM) -> LRESULT {
    if (msg == WM_USER + 1) other.push_back(wp);
    return 0;
  });
  PostMessage(wnd, WM_USER + 1, 1, 0);
  PostMessage(wnd, WM_USER + 2, 2, 0);
  PostMessage(second, WM_USER + 1, 3, 0);
  PostMessage(wnd, WM_USER + 1, 4, 0);
  EXPECT_EQ(RemovePendingMessages(wnd, WM_USER + 1), 2);
  ProcessMessages();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].msg, WM_USER + 2);
  EXPECT_EQ(other, std::vector<WPARAM>{3});
  DeallocateHWnd(second);
}

TEST_F(WinMsgTest, ReleasedWindowsLoseTheirQueueAndRefusePosts) {
  HWND gone = AllocateHWnd([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
    ADD_FAILURE() << "message of a released window delivered";
    return 0;
  });
  PostMessage(gone, WM_USER, 0, 0);
  DeallocateHWnd(gone);
  EXPECT_FALSE(PostMessage(gone, WM_USER, 0, 0));
  HWND fresh = AllocateHWnd(nullptr);
  EXPECT_NE(fresh, gone) << "handles are not reused";
  ProcessMessages();
  DeallocateHWnd(fresh);
}

TEST_F(WinMsgTest, ProcessMessagesDeliversOnlyWhatWasPendingAndNestsSafely) {
  std::vector<WPARAM> order;
  HWND chain = nullptr;
  chain = AllocateHWnd([&](HWND w, UINT, WPARAM wp, LPARAM) -> LRESULT {
    order.push_back(wp);
    if (wp == 1) {
      PostMessage(w, WM_USER, 3, 0);  // posted during delivery: next round
      ProcessMessages();              // a wait loop pumping inside a handler
    }
    return 0;
  });
  PostMessage(chain, WM_USER, 1, 0);
  PostMessage(chain, WM_USER, 2, 0);
  ProcessMessages();
  EXPECT_EQ(order, (std::vector<WPARAM>{1, 2, 3}));
  DeallocateHWnd(chain);
}

TEST_F(WinMsgTest, SendMessageCallsTheProcedureAndReturnsItsResult) {
  EXPECT_EQ(SendMessage(wnd, 99, 21, 0), 42);
  LRESULT fromWorker = 0;
  std::thread worker([&] { fromWorker = SendMessage(wnd, 99, 5, 0); });
  while (got.size() < 2) PumpMessagesFor(10);
  worker.join();
  EXPECT_EQ(fromWorker, 10);
  EXPECT_TRUE(got[1].onMain);
}

TEST(SynchronizeMain, RunsOnTheMainThreadInOrderAndPassesExceptionsBack) {
  app();
  EXPECT_TRUE(IsMainThread());
  std::vector<int> order;
  HWND wnd = AllocateHWnd([&](HWND, UINT, WPARAM wp, LPARAM) -> LRESULT {
    order.push_back(int(wp));
    return 0;
  });
  std::atomic<bool> done{false};
  bool ranOnMain = false;
  bool caught = false;
  std::thread worker([&] {
    EXPECT_FALSE(IsMainThread());
    PostMessage(wnd, WM_USER, 1, 0);
    SynchronizeMain([&] {
      ranOnMain = IsMainThread();
      order.push_back(2);
    });
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
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  bool direct = false;
  SynchronizeMain([&] { direct = true; });
  EXPECT_TRUE(direct);
  DeallocateHWnd(wnd);
}

TEST(Termination, FlagEndsPumpingEarly) {
  app();
  EXPECT_FALSE(ApplicationTerminated());
  SetApplicationTerminated(true);
  EXPECT_TRUE(ApplicationTerminated());
  PumpMessagesFor(60000);  // returns at once, or the test times out
  SetApplicationTerminated(false);
  EXPECT_FALSE(ApplicationTerminated());
}

}  // namespace
