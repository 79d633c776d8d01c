#include <gtest/gtest.h>

#include <memory>

#include "tests/audio/chain/chain_nodes.h"

namespace {

// A component that publishes its Output through Qt's property system instead
// of the chain's own table.
class QtPublished : public TMMDSPComponent {
  Q_OBJECT
  Q_PROPERTY(TMMDSPComponent* Output READ GetOutput WRITE SetOutput)
 public:
  QtPublished() { PublishInput(); }
};

TEST(Linking, OutputAndInputAreSetOnBothSidesWithBackLinkNames) {
  Node a("A"), b("B");
  a.SetOutput(&b);
  EXPECT_EQ(a.Output(), &b);
  EXPECT_EQ(b.Input(), &a);
  EXPECT_EQ(a.OutputPropName(), "Input");
  EXPECT_EQ(b.InputPropName(), "Output");
  b.SetInput(nullptr);
  EXPECT_EQ(a.Output(), nullptr);
  EXPECT_EQ(b.Input(), nullptr);
}

TEST(Linking, CyclesAreRefusedAndTheOldLinksStay) {
  Node a("A"), b("B"), c("C");
  b.SetOutput(&a);  // B -> A
  a.SetOutput(&b);  // would close A -> B -> A
  EXPECT_EQ(a.Output(), nullptr);
  EXPECT_EQ(b.Output(), &a);
  EXPECT_EQ(a.Input(), &b);

  a.SetOutput(&c);  // B -> A -> C
  c.SetOutput(&b);  // longer cycle
  EXPECT_EQ(c.Output(), nullptr);
  b.SetInput(&c);
  EXPECT_EQ(b.Input(), nullptr);
  a.SetInput(&a);
  EXPECT_EQ(a.Input(), &b);
}

TEST(Linking, RelinkingAProducerDetachesTheOldConsumer) {
  Node a("A"), b("B"), c("C");
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  a.SetWaveFormat(&f);
  a.SetOutput(&b);
  ASSERT_NE(b.GetWaveFormat(), nullptr);
  a.SetOutput(&c);
  EXPECT_EQ(b.Input(), nullptr);
  EXPECT_EQ(b.GetWaveFormat(), nullptr) << "the old consumer loses its format";
  EXPECT_EQ(c.Input(), &a);
  ASSERT_NE(c.GetWaveFormat(), nullptr);

  // The same from the consumer's side: D takes A away from C.
  Node d("D");
  d.SetInput(&a);
  EXPECT_EQ(c.Input(), nullptr);
  EXPECT_EQ(a.Output(), &d);
  EXPECT_EQ(d.Input(), &a);
}

TEST(Linking, WrongClassOrMissingPropertyIsRefusedSilently) {
  Node a("A");
  TMMComponent plain;
  QObject object;
  EXPECT_FALSE(a.CanConnectInput(&plain));
  EXPECT_FALSE(a.CanConnectOutput(&object));

  Node noOutput("N", nullptr, nullptr, true, false);
  a.SetInput(&noOutput);
  EXPECT_EQ(a.Input(), nullptr);
  noOutput.OutputWithoutProperty = true;
  a.SetInput(&noOutput);
  EXPECT_EQ(a.Input(), &noOutput);

  Node noInput("I", nullptr, nullptr, false, true);
  Node b("B");
  b.SetOutput(&noInput);
  EXPECT_EQ(b.Output(), nullptr);
}

TEST(Linking, QtPropertiesServeAsPublishedLinks) {
  QtPublished q;
  Node a("A"), b("B");
  EXPECT_TRUE(q.HasPublishedProperty("Output"));
  a.SetInput(&q);
  ASSERT_EQ(a.Input(), &q);
  EXPECT_EQ(q.PublishedComponent("Output"), &a);
  b.SetInput(&q);  // found by name through Qt, so A is detached
  EXPECT_EQ(a.Input(), nullptr);
}

TEST(Linking, RelinkingStopsTheRelinkedComponent) {
  Log log;
  Node a("A", &log), b("B", &log);
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  a.SetWaveFormat(&f);
  a.Opened();
  a.Started();
  ASSERT_TRUE(a.IsStarted());
  a.SetOutput(&b);
  EXPECT_FALSE(a.IsStarted());
}

TEST(Destruction, AMiddleComponentLeavesNilLinks) {
  const std::size_t before = TMMDSPComponent::InstanceCount();
  Node a("A"), c("C");
  auto b = std::make_unique<Node>("B");
  a.SetOutput(b.get());
  b->SetOutput(&c);
  EXPECT_EQ(TMMDSPComponent::InstanceCount(), before + 3);
  b.reset();
  EXPECT_EQ(a.Output(), nullptr);
  EXPECT_EQ(c.Input(), nullptr);
  EXPECT_EQ(TMMDSPComponent::InstanceCount(), before + 2);
}

TEST(Destruction, RemovalNoticeClearsLinksThatNoPropertyNames) {
  // X publishes nothing, so relinking cannot find Y by name; only the
  // removal notice can clear Y's reference when X goes.
  auto x = std::make_unique<Node>("X", nullptr, nullptr, false, false);
  x->OutputWithoutProperty = true;
  Node y("Y");
  y.SetInput(x.get());
  ASSERT_EQ(y.Input(), x.get());
  x.reset();
  EXPECT_EQ(y.Input(), nullptr);
}

TEST(Destruction, TheOwnerDestroysItsComponents) {
  const std::size_t before = TMMDSPComponent::InstanceCount();
  auto owner = std::make_unique<Node>("Owner");
  auto* part = new Node("Part", nullptr, owner.get());
  owner->SetOutput(part);
  EXPECT_EQ(part->Owner(), owner.get());
  owner.reset();
  EXPECT_EQ(TMMDSPComponent::InstanceCount(), before);
}

TEST(Buffers, ReadyFlowsDownAndLoadFlowsUpWithTheAfterLoadHook) {
  Node a("A"), b("B"), c("C");
  a.SetOutput(&b);
  b.SetOutput(&c);
  std::vector<std::string> seen;
  alignas(16) unsigned char block[MMBufferBlockSize(64)];
  PMMBufferHeader h = MMInitBufferHeader(block, 64);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(h->lpData), block + MMBufferHeaderSize);
  EXPECT_EQ(h->dwBufferLength, 64u);
  EXPECT_EQ(h->LinkedHeader, nullptr);

  for (Node* n : {&a, &b, &c}) {
    n->OnBufferReady = [&seen](QObject* s, PWaveHdr hdr) {
      seen.push_back(s->objectName().toStdString() + std::to_string(hdr->dwBytesRecorded));
      hdr->dwBytesRecorded -= 1;  // a component may trim what passes
    };
  }
  h->dwBytesRecorded = 10;
  a.BufferReady(h);
  EXPECT_EQ(seen, (std::vector<std::string>{"A10", "B9", "C8"}));

  seen.clear();
  a.OnBufferLoad = [](QObject*, PWaveHdr hdr, bool& more) {
    hdr->dwBytesRecorded = 32;
    more = true;
  };
  int hooks = 0;
  c.OnAfterLoad = [&](QObject*, PWaveHdr) { ++hooks; };
  h->dwBytesRecorded = 0;
  bool more = false;
  c.BufferLoad(h, more);
  EXPECT_TRUE(more);
  EXPECT_EQ(h->dwBytesRecorded, 32u);
  EXPECT_EQ(hooks, 1);

  a.OnBufferLoad = nullptr;  // nothing loaded: no hook
  h->dwBytesRecorded = 0;
  c.BufferLoad(h, more);
  EXPECT_EQ(hooks, 1);
}

}  // namespace

#include "test_linking.moc"
