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
  void (TMMDSPComponent::*send)();
};

const Notice kNotices[] = {
    {"Opened", &TMMDSPComponent::Opened},       {"Started", &TMMDSPComponent::Started},
    {"Paused", &TMMDSPComponent::Paused},       {"Restarted", &TMMDSPComponent::Restarted},
    {"PositionReset", &TMMDSPComponent::PositionReset}, {"Looped", &TMMDSPComponent::Looped},
    {"Stopped", &TMMDSPComponent::Stopped},     {"Closed", &TMMDSPComponent::Closed},
};

Log Expect(std::initializer_list<const char*> who, const std::string& notice) {
  Log l;
  for (const char* w : who) l.push_back(std::string(w) + "." + notice);
  return l;
}

class Spreading : public ::testing::TestWithParam<Notice> {};

// A -> S -> B -> C: the whole chain hears the notice once, S's own state last.
TEST_P(Spreading, OneSoundComponentReachesTheWholeChain) {
  Log log;
  Node a("A", &log), b("B", &log), c("C", &log);
  Sound s("S", &log);
  s.SetInput(&a);
  s.SetOutput(&b);
  b.SetOutput(&c);
  log.clear();
  (s.*GetParam().send)();
  EXPECT_EQ(log, Expect({"S", "A", "B", "C"}, GetParam().name));
}

// A -> S1 -> B -> S2 -> C: S1's notice ends at S2, which passes it on to C;
// S2's own notice reaches only C. Closed and Stopped reach S2 first.
TEST_P(Spreading, TwoSoundComponentsShareTheChain) {
  const std::string name = GetParam().name;
  Log log;
  Node a("A", &log), b("B", &log), c("C", &log);
  Sound s1("S1", &log), s2("S2", &log);
  s1.SetInput(&a);
  s1.SetOutput(&b);
  b.SetOutput(&s2);
  s2.SetOutput(&c);
  log.clear();
  (s1.*GetParam().send)();
  if (name == "Stopped" || name == "Closed")
    EXPECT_EQ(log, Expect({"S1", "S2", "C", "A", "B", "S2", "C"}, name));
  else
    EXPECT_EQ(log, Expect({"S1", "A", "B", "S2", "C"}, name));
  log.clear();
  (s2.*GetParam().send)();
  EXPECT_EQ(log, Expect({"S2", "C"}, name));
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
  for (TMMDSPComponent* x : {(TMMDSPComponent*)&a, (TMMDSPComponent*)&b, (TMMDSPComponent*)&s2, (TMMDSPComponent*)&c})
    EXPECT_EQ(x->RealBufferSize(), 3048) << x->objectName().toStdString();
  s1.Started();
  EXPECT_TRUE(c.IsStarted() && s1.IsStarted());
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
  bool onMain = false;
  auto* worker = new Worker(&owner);
  worker->FreeOnTerminate = true;
  worker->body = [&] {
    TMMDSPComponent::SynchronizeCall([&] { onMain = IsMainThread(); });
    done = true;
  };
  worker->Resume();
  while (!done) PumpMessagesFor(10);
  EXPECT_TRUE(onMain);
  for (int i = 0; i < 500 && TMMDSPThread::InstanceCount() != threadsBefore; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(TMMDSPThread::InstanceCount(), threadsBefore) << "freed itself and left the registry";

  bool onCaller = false;  // any other thread calls directly
  std::thread other([&] {
    const auto id = std::this_thread::get_id();
    TMMDSPComponent::SynchronizeCall([&] { onCaller = std::this_thread::get_id() == id; });
  });
  other.join();
  EXPECT_TRUE(onCaller);
}

}  // namespace
