#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <functional>
#include <thread>

#include "platform/winmsg/winmsg.h"
#include "tests/audio/chain/chain_nodes.h"

namespace {

struct Notice {
  const char* name;
  std::function<void(TMMDSPComponent&)> send;
};

// Opened first so that Started takes; every notice is sent to a fresh chain.
const Notice kNotices[] = {
    {"Opened", [](TMMDSPComponent& c) { c.Opened(); }},
    {"Started", [](TMMDSPComponent& c) { c.Started(); }},
    {"Paused", [](TMMDSPComponent& c) { c.Paused(); }},
    {"Restarted", [](TMMDSPComponent& c) { c.Restarted(); }},
    {"PositionReset", [](TMMDSPComponent& c) { c.PositionReset(); }},
    {"Looped", [](TMMDSPComponent& c) { c.Looped(); }},
    {"Stopped", [](TMMDSPComponent& c) { c.Stopped(); }},
    {"Closed", [](TMMDSPComponent& c) { c.Closed(); }},
};

Log Expect(std::initializer_list<const char*> who, const std::string& notice) {
  Log l;
  for (const char* w : who) l.push_back(std::string(w) + "." + notice);
  return l;
}

class Spreading : public ::testing::TestWithParam<Notice> {};

// A -> S -> B -> C: the whole chain hears the notice once, S last of all.
TEST_P(Spreading, OneSoundComponentReachesTheWholeChain) {
  const Notice& n = GetParam();
  Log log;
  Node a("A", &log), b("B", &log), c("C", &log);
  Sound s("S", &log);
  s.SetInput(&a);
  s.SetOutput(&b);
  b.SetOutput(&c);
  log.clear();
  n.send(s);
  EXPECT_EQ(log, Expect({"S", "A", "B", "C"}, n.name));
}

// A -> S1 -> B -> S2 -> C: S1's notice stops at S2, which passes it on to C;
// S2's own notice reaches only C. Closed and Stopped reach S2 first.
TEST_P(Spreading, TwoSoundComponentsShareTheChain) {
  const Notice& n = GetParam();
  const bool downstreamFirst = std::string(n.name) == "Stopped" || std::string(n.name) == "Closed";
  Log log;
  Node a("A", &log), b("B", &log), c("C", &log);
  Sound s1("S1", &log), s2("S2", &log);
  s1.SetInput(&a);
  s1.SetOutput(&b);
  b.SetOutput(&s2);
  s2.SetOutput(&c);
  log.clear();
  n.send(s1);
  if (downstreamFirst)
    EXPECT_EQ(log, Expect({"S1", "S2", "C", "A", "B", "S2", "C"}, n.name));
  else
    EXPECT_EQ(log, Expect({"S1", "A", "B", "S2", "C"}, n.name));
  log.clear();
  n.send(s2);
  EXPECT_EQ(log, Expect({"S2", "C"}, n.name));
}

INSTANTIATE_TEST_SUITE_P(AllNotices, Spreading, ::testing::ValuesIn(kNotices),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SpreadingOpened, PassesTheBufferSizeAndMarksSecondaryComponents) {
  Node a("A"), b("B"), c("C");
  Sound s1("S1"), s2("S2");
  s1.SetInput(&a);
  s1.SetOutput(&b);
  b.SetOutput(&s2);
  s2.SetOutput(&c);
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  a.SetWaveFormat(&f);
  s1.SetBufferSize(3050);
  s1.Opened();
  EXPECT_FALSE(s1.IsSecondary());
  EXPECT_TRUE(s2.IsSecondary());
  for (TMMDSPComponent* x : std::initializer_list<TMMDSPComponent*>{&a, &s1, &b, &s2, &c}) {
    EXPECT_TRUE(x->IsOpened()) << x->objectName().toStdString();
    EXPECT_EQ(x->RealBufferSize(), 3048) << x->objectName().toStdString();
  }
  s1.Started();
  EXPECT_TRUE(c.IsStarted());
  s1.Paused();
  EXPECT_TRUE(a.IsPaused());
  s1.Stopped();
  EXPECT_FALSE(c.IsStarted());
  EXPECT_FALSE(a.IsPaused());
  s1.Closed();
  EXPECT_FALSE(c.IsOpened());
  EXPECT_FALSE(s1.IsOpened());
}

QCoreApplication& app() {
  static int argc = 1;
  static char name[] = "test_audiochain";
  static char* argv[] = {name, nullptr};
  static QCoreApplication a(argc, argv);
  return a;
}

class Worker : public TMMDSPThread {
 public:
  using TMMDSPThread::TMMDSPThread;
  std::function<void()> body;

 protected:
  void Execute() override { body(); }
};

TEST(SynchronizeCall, RunsOnTheMainThreadOnlyForRegisteredWorkers) {
  app();
  Sound owner("S");
  const std::size_t threadsBefore = TMMDSPThread::InstanceCount();
  std::atomic<bool> done{false};
  bool fromWorkerOnMain = false;
  auto* worker = new Worker(&owner);
  EXPECT_EQ(worker->Owner(), &owner);
  EXPECT_EQ(TMMDSPThread::InstanceCount(), threadsBefore + 1);
  worker->FreeOnTerminate = true;
  worker->body = [&] {
    TMMDSPComponent::SynchronizeCall([&] { fromWorkerOnMain = IsMainThread(); });
    done = true;
  };
  worker->Resume();
  while (!done) PumpMessagesFor(10);
  EXPECT_TRUE(fromWorkerOnMain);
  for (int i = 0; i < 500 && TMMDSPThread::InstanceCount() != threadsBefore; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(TMMDSPThread::InstanceCount(), threadsBefore) << "freed itself and left the registry";

  // Any other thread calls directly.
  bool onCaller = false;
  std::thread other([&] {
    const auto id = std::this_thread::get_id();
    TMMDSPComponent::SynchronizeCall([&] { onCaller = std::this_thread::get_id() == id; });
  });
  other.join();
  EXPECT_TRUE(onCaller);
}

}  // namespace
