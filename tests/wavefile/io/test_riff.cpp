#include <gtest/gtest.h>

#include "tests/wavefile/io/riff_bytes.h"
#include "wavefile/MMRIFF.h"

namespace {

class RiffTest : public TempDirTest {
 protected:
  // Opens `bytes` as a file, descends to the chunk at `offset` and hands it over.
  HMMIO openAt(const Bytes& bytes, LONG offset, MMCKINFO* ck) {
    h_ = mmioOpenA(write("in.riff", bytes).c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    EXPECT_NE(h_, nullptr);
    mmioSeek(h_, offset, SEEK_SET_);
    EXPECT_EQ(mmioDescend(h_, ck, nullptr, 0), MMSYSERR_NOERROR);
    return h_;
  }
  void TearDown() override {
    if (h_ != nullptr) mmioClose(h_, 0);
    TempDirTest::TearDown();
  }
  HMMIO h_ = nullptr;
};

Bytes infoList(const std::vector<std::pair<const char*, std::string>>& entries) {
  Bytes data;
  putId(data, "INFO");
  for (const auto& [id, text] : entries) {
    Bytes t(text.begin(), text.end());
    t.push_back(0);
    putChunk(data, id, t);
  }
  Bytes list;
  putChunk(list, "LIST", data);
  return list;
}

}  // namespace

TEST(RiffInfoIds, TableHas23RowsInOrderAndEndsWithoutId) {
  int n = 0;
  while (RiffInfoIds[n].id != nullptr) ++n;
  EXPECT_EQ(n, RIFF_INFO_ID_COUNT);
  EXPECT_STREQ(RiffInfoIds[0].id, "IARL");
  EXPECT_STREQ(RiffInfoIds[14].id, "INAM");
  EXPECT_STREQ(RiffInfoIds[14].label, "Name");
  EXPECT_STREQ(RiffInfoIds[22].label, "Technician");
}

TEST_F(RiffTest, ReadsTextsLaterDuplicateWinsAndOverrunningSubChunkIsNotRead) {
  Bytes list = infoList({{"INAM", "first"}, {"IART", "Singer"}, {"INAM", "second"}, {"ICMT", "tail"}});
  // Make the last sub-chunk claim more than the list holds.
  const size_t icmt = list.size() - 14;
  ASSERT_EQ(idAt(list, icmt), "ICMT");
  list[icmt + 4] = 200;
  MMCKINFO ck{};
  HMMIO h = openAt(list, 0, &ck);
  ASSERT_EQ(ck.fccType, FOURCC_INFO);
  RiffInfoList* info = nullptr;
  ASSERT_EQ(RiffInfoListCreate(&info), RIFFERR_NOERROR);
  ASSERT_EQ(RiffInfoListRead(h, &ck, info), RIFFERR_NOERROR);
  int withText = 0;
  for (RiffInfoEntry* e = info->first; e != nullptr; e = e->next) {
    const char* text = RiffInfoEntryText(info, e);
    if (text == nullptr) continue;
    ++withText;
    if (e->index == 14) {
      EXPECT_STREQ(text, "second");
    }
    if (e->index == 1) {
      EXPECT_STREQ(text, "Singer");
    }
  }
  EXPECT_EQ(withText, 2);
  EXPECT_EQ(RiffInfoListFree(&info), RIFFERR_NOERROR);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(RiffInfoListFree(&info), RIFFERR_BADPARAM);
}

TEST_F(RiffTest, ALaterListReplacesTheTextsOfAnEarlierOne) {
  Bytes file = infoList({{"INAM", "first name"}, {"ICMT", "comment"}});
  const Bytes second = infoList({{"IART", "Artist"}});
  const LONG secondAt = LONG(file.size());
  file.insert(file.end(), second.begin(), second.end());
  MMCKINFO ck{};
  HMMIO h = openAt(file, 0, &ck);
  RiffInfoList* info = nullptr;
  ASSERT_EQ(RiffInfoListCreate(&info), RIFFERR_NOERROR);
  ASSERT_EQ(RiffInfoListRead(h, &ck, info), RIFFERR_NOERROR);
  mmioSeek(h, secondAt, SEEK_SET_);
  ASSERT_EQ(mmioDescend(h, &ck, nullptr, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(RiffInfoListRead(h, &ck, info), RIFFERR_NOERROR);
  std::vector<int> withText;
  for (RiffInfoEntry* e = info->first; e != nullptr; e = e->next)
    if (RiffInfoEntryText(info, e) != nullptr) withText.push_back(e->index);
  EXPECT_EQ(withText, std::vector<int>({1}));
  RiffInfoListFree(&info);
}

TEST_F(RiffTest, ListClaimingMoreThanTheFileIsRefusedWithoutReading) {
  Bytes list = infoList({{"INAM", "x"}});
  list[4] = 0xF0;
  list[7] = 0x7F;  // about 2 GB
  MMCKINFO ck{};
  HMMIO h = openAt(list, 0, &ck);
  RiffInfoList* info = nullptr;
  ASSERT_EQ(RiffInfoListCreate(&info), RIFFERR_NOERROR);
  EXPECT_EQ(RiffInfoListRead(h, &ck, info), RIFFERR_FILEERROR);
  EXPECT_EQ(info->raw, nullptr);
  RiffInfoListFree(&info);
}

TEST_F(RiffTest, WritesOnlyEntriesWithTextAndNothingForAnEmptyList) {
  HMMIO h = mmioOpenA(path("out").c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
  ASSERT_NE(h, nullptr);
  RiffInfoList* info = nullptr;
  ASSERT_EQ(RiffInfoListCreate(&info), RIFFERR_NOERROR);
  EXPECT_EQ(RiffInfoListWrite(h, info), RIFFERR_NOERROR);
  EXPECT_EQ(mmioSeek(h, 0, SEEK_END_), 0);
  ASSERT_EQ(RiffInfoListSetText(info, 14, "Hello"), RIFFERR_NOERROR);
  EXPECT_EQ(RiffInfoListWrite(h, info), RIFFERR_NOERROR);
  EXPECT_EQ(RiffInfoListWrite(nullptr, info), RIFFERR_BADPARAM);
  RiffInfoListFree(&info);
  ASSERT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

  const Bytes b = slurp(path("out"));
  ASSERT_EQ(b.size(), 26u);
  EXPECT_EQ(idAt(b, 0), "LIST");
  EXPECT_EQ(get32(b, 4), 18u);
  EXPECT_EQ(idAt(b, 8), "INFO");
  EXPECT_EQ(idAt(b, 12), "INAM");
  EXPECT_EQ(get32(b, 16), 6u);
  EXPECT_EQ(std::string(b.begin() + 20, b.begin() + 26), std::string("Hello\0", 6));
}

TEST_F(RiffTest, DisplayChunksRoundTripAndShortOnesAreSkipped) {
  Bytes chunks;
  Bytes tiny;
  put32(tiny, RIFF_DISP_TEXT);
  putChunk(chunks, "DISP", tiny);  // size 4: ignored
  Bytes text;
  put32(text, RIFF_DISP_TEXT);
  for (char c : std::string("Karaoke")) text.push_back(std::uint8_t(c));  // no zero in the file
  putChunk(chunks, "DISP", text);
  Bytes dib;
  put32(dib, RIFF_DISP_DIB);
  Bytes header(40, 0);
  header[0] = 40;   // biSize
  header[20] = 8;   // biSizeImage
  header[32] = 1;   // biClrUsed
  dib.insert(dib.end(), header.begin(), header.end());
  dib.insert(dib.end(), 12 + 10, 0xAB);  // colour, image, then 10 bytes beyond
  putChunk(chunks, "DISP", dib);
  Bytes other;
  put32(other, 2);
  other.push_back(1);
  putChunk(chunks, "DISP", other);

  const std::string in = write("disp", chunks);
  HMMIO h = mmioOpenA(in.c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
  RiffDispList* disp = nullptr;
  ASSERT_EQ(RiffDispListCreate(&disp), RIFFERR_NOERROR);
  MMCKINFO ck{};
  while (mmioDescend(h, &ck, nullptr, 0) == MMSYSERR_NOERROR) {
    ASSERT_EQ(RiffDispRead(h, &ck, disp), RIFFERR_NOERROR);
    ASSERT_EQ(mmioAscend(h, &ck, 0), MMSYSERR_NOERROR);
  }
  mmioClose(h, 0);
  int n = 0;
  for (RiffDispEntry* e = disp->first; e != nullptr; e = e->next) ++n;
  EXPECT_EQ(n, 3);

  h = mmioOpenA(path("disp_out").c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
  ASSERT_EQ(RiffDispListWrite(h, disp), RIFFERR_NOERROR);
  mmioClose(h, 0);
  const Bytes b = slurp(path("disp_out"));
  // Text with its added zero: 4 + 8 bytes; bitmap: 4 + 40 + 8 + 4 bytes.
  ASSERT_EQ(b.size(), 8 + 12 + 8 + 56u);
  EXPECT_EQ(get32(b, 4), 12u);
  EXPECT_EQ(std::string(b.begin() + 12, b.begin() + 20), std::string("Karaoke\0", 8));
  EXPECT_EQ(idAt(b, 20), "DISP");
  EXPECT_EQ(get32(b, 24), 56u);
  EXPECT_EQ(get32(b, 28), RIFF_DISP_DIB);

  // Removed data is not written back.
  disp->first->flags = RIFF_DISP_REMOVED;
  h = mmioOpenA(path("disp_out2").c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
  ASSERT_EQ(RiffDispListWrite(h, disp), RIFFERR_NOERROR);
  EXPECT_EQ(mmioSeek(h, 0, SEEK_END_), 64);
  mmioClose(h, 0);

  ASSERT_EQ(RiffDispListFree(&disp, false), RIFFERR_NOERROR);
  ASSERT_NE(disp, nullptr);
  EXPECT_EQ(disp->first, nullptr);
  ASSERT_EQ(RiffDispListFree(&disp, true), RIFFERR_NOERROR);
  EXPECT_EQ(disp, nullptr);
}

TEST_F(RiffTest, BitmapSizesBeyondTheDataAreCutToIt) {
  Bytes dib;
  put32(dib, RIFF_DISP_DIB);
  Bytes header(40, 0);
  header[0] = 40;
  header[23] = 0x7F;  // biSizeImage near 2 GB
  dib.insert(dib.end(), header.begin(), header.end());
  Bytes chunk;
  putChunk(chunk, "DISP", dib);
  MMCKINFO ck{};
  HMMIO h = openAt(chunk, 0, &ck);
  RiffDispList* disp = nullptr;
  RiffDispListCreate(&disp);
  ASSERT_EQ(RiffDispRead(h, &ck, disp), RIFFERR_NOERROR);
  HMMIO out = mmioOpenA(path("o").c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE);
  ASSERT_EQ(RiffDispListWrite(out, disp), RIFFERR_NOERROR);
  EXPECT_EQ(mmioSeek(out, 0, SEEK_END_), 8 + 4 + 40);
  mmioClose(out, 0);
  RiffDispListFree(&disp, true);
}
