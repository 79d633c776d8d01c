#include <gtest/gtest.h>

#include <memory>

#include "tests/audio/chain/chain_nodes.h"

namespace {

// Publishes its Output through Qt's property system instead of the chain's table.
class QtPublished : public TMMDSPComponent {
  Q_OBJECT
  Q_PROPERTY(TMMDSPComponent* Output READ GetOutput WRITE SetOutput)
 public:
  QtPublished() { PublishInput(); }
};

TEST(Linking, LinksAreSetOnBothSidesAndCyclesAreRefused) {
  Node a("A"), b("B"), c("C");
  a.SetOutput(&b);
  EXPECT_EQ(b.Input(), &a);
  EXPECT_EQ(a.OutputPropName(), "Input");
  EXPECT_EQ(b.InputPropName(), "Output");

  b.SetOutput(&a);  // would close A -> B -> A
  EXPECT_EQ(b.Output(), nullptr);
  EXPECT_EQ(a.Input(), nullptr);
  b.SetOutput(&c);
  c.SetOutput(&a);  // longer cycle
  a.SetInput(&c);
  a.SetInput(&a);
  EXPECT_EQ(c.Output(), nullptr);
  EXPECT_EQ(a.Input(), nullptr);
  EXPECT_EQ(a.Output(), &b);

  b.SetInput(nullptr);
  EXPECT_EQ(a.Output(), nullptr);
  EXPECT_EQ(b.Input(), nullptr);
}

TEST(Linking, RelinkingDetachesTheOldNeighbourAndStopsTheRelinked) {
  Node a("A"), b("B"), c("C"), d("D");
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  a.SetWaveFormat(&f);
  a.Opened();
  a.Started();
  a.SetOutput(&b);
  EXPECT_FALSE(a.IsStarted());
  ASSERT_NE(b.GetWaveFormat(), nullptr);
  a.SetOutput(&c);
  EXPECT_EQ(b.Input(), nullptr);
  EXPECT_EQ(b.GetWaveFormat(), nullptr) << "the old consumer loses its format";
  EXPECT_EQ(c.Input(), &a);
  // From the consumer's side: D takes A away from C.
  d.SetInput(&a);
  EXPECT_EQ(c.Input(), nullptr);
  EXPECT_EQ(a.Output(), &d);
}

TEST(Linking, WrongClassOrMissingPropertyIsRefusedSilently) {
  Node a("A"), b("B");
  TMMComponent plain;
  EXPECT_FALSE(a.CanConnectInput(&plain));
  Node noOutput("N", nullptr, nullptr, true, false);
  a.SetInput(&noOutput);
  EXPECT_EQ(a.Input(), nullptr);
  noOutput.OutputWithoutProperty = true;
  a.SetInput(&noOutput);
  EXPECT_EQ(a.Input(), &noOutput);
  Node noInput("I", nullptr, nullptr, false, true);
  b.SetOutput(&noInput);
  EXPECT_EQ(b.Output(), nullptr);

  // Qt properties serve as published links: relinking finds Q's Output by name.
  QtPublished q;
  Node x("X"), y("Y");
  x.SetInput(&q);
  ASSERT_EQ(x.Input(), &q);
  y.SetInput(&q);
  EXPECT_EQ(x.Input(), nullptr);
}

TEST(Destruction, DestroyedNeighboursLeaveNilLinks) {
  const std::size_t before = TMMDSPComponent::InstanceCount();
  Node a("A"), c("C");
  auto b = std::make_unique<Node>("B");
  a.SetOutput(b.get());
  b->SetOutput(&c);
  b.reset();
  EXPECT_EQ(a.Output(), nullptr);
  EXPECT_EQ(c.Input(), nullptr);
  EXPECT_EQ(TMMDSPComponent::InstanceCount(), before + 2);

  // X publishes nothing, so only the removal notice can clear Y's link.
  auto x = std::make_unique<Node>("X", nullptr, nullptr, false, false);
  x->OutputWithoutProperty = true;
  c.SetInput(x.get());
  ASSERT_EQ(c.Input(), x.get());
  x.reset();
  EXPECT_EQ(c.Input(), nullptr);

  // The owner destroys its parts.
  auto owner = std::make_unique<Node>("Owner");
  owner->SetOutput(new Node("Part", nullptr, owner.get()));
  owner.reset();
  EXPECT_EQ(TMMDSPComponent::InstanceCount(), before + 2);
}

TEST(Buffers, ReadyFlowsDownAndLoadFlowsUpWithTheAfterLoadHook) {
  Node a("A"), b("B"), c("C");
  a.SetOutput(&b);
  b.SetOutput(&c);
  alignas(16) unsigned char block[MMBufferBlockSize(64)];
  PMMBufferHeader h = MMInitBufferHeader(block, 64);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(h->lpData), block + MMBufferHeaderSize);
  EXPECT_EQ(h->dwBufferLength, 64u);

  std::string seen;
  for (Node* n : {&a, &b, &c})
    n->OnBufferReady = [&seen](QObject* s, PWaveHdr hdr) {
      seen += s->objectName().toStdString() + std::to_string(hdr->dwBytesRecorded--);
    };
  h->dwBytesRecorded = 10;
  a.BufferReady(h);
  EXPECT_EQ(seen, "A10B9C8");

  a.OnBufferLoad = [](QObject*, PWaveHdr hdr, bool& more) { hdr->dwBytesRecorded = 32, more = true; };
  int hooks = 0;
  c.OnAfterLoad = [&](QObject*, PWaveHdr) { ++hooks; };
  bool more = false;
  h->dwBytesRecorded = 0;
  c.BufferLoad(h, more);
  EXPECT_TRUE(more);
  EXPECT_EQ(h->dwBytesRecorded, 32u);
  a.OnBufferLoad = nullptr;  // nothing loaded: no hook
  h->dwBytesRecorded = 0;
  c.BufferLoad(h, more);
  EXPECT_EQ(hooks, 1);
}

}  // namespace

#include "test_linking.moc"
