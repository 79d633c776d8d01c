#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/mmio/mmio.h"

namespace fs = std::filesystem;

namespace {

class MmioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tl_mmio_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const char* name) const { return (dir_ / name).string(); }

  static std::vector<char> slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path dir_;
};

HMMIO openBuffered(const std::string& p, DWORD flags, LONG bufSize) {
  MMIOINFO info{};
  info.cchBuffer = bufSize;
  return mmioOpenA(p.c_str(), &info, flags | (bufSize > 0 ? MMIO_ALLOCBUF : 0));
}

DWORD wordAt(const std::vector<char>& bytes, size_t off) {
  DWORD v = 0;
  std::memcpy(&v, bytes.data() + off, 4);
  return v;
}

}  // namespace

// Random reads, writes and seeks through buffers of several sizes must give
// the same bytes as a plain model of the file, both while the handle is open
// and on disk after closing.
TEST_F(MmioTest, BufferedAccessMatchesModel) {
  for (LONG bufSize : {0, 7, 64, 8192}) {
    const std::string p = path(("model" + std::to_string(bufSize)).c_str());
    HMMIO h = openBuffered(p, MMIO_CREATE | MMIO_READWRITE, bufSize);
    ASSERT_NE(h, nullptr);
    std::vector<char> model;
    std::int64_t pos = 0;
    std::mt19937 rng(1234 + bufSize);
    SCOPED_TRACE(bufSize);
    for (int step = 0; step < 3000; ++step) {
      const int op = rng() % 3;
      SCOPED_TRACE(step);
      if (op == 0) {
        std::vector<char> data(rng() % 200);
        for (auto& c : data) c = char(rng());
        ASSERT_EQ(mmioWrite(h, data.data(), LONG(data.size())), data.empty() ? 0 : LONG(data.size()));
        if (model.size() < pos + data.size()) model.resize(pos + data.size(), 0);
        std::copy(data.begin(), data.end(), model.begin() + pos);
        pos += data.size();
      } else if (op == 1) {
        std::vector<char> got(rng() % 200);
        const LONG n = mmioRead(h, got.data(), LONG(got.size()));
        const std::int64_t expect =
            std::max<std::int64_t>(0, std::min<std::int64_t>(got.size(), std::int64_t(model.size()) - pos));
        ASSERT_EQ(n, expect) << "step " << step;
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + n, model.begin() + pos));
        pos += n;
      } else {
        const LONG target = LONG(rng() % (model.size() + 50));
        ASSERT_EQ(mmioSeek(h, target, SEEK_SET_), target);
        pos = target;
      }
      ASSERT_EQ(mmioSeek(h, 0, SEEK_CUR_), pos);
      ASSERT_EQ(mmioSeek(h, 0, SEEK_END_), LONG(model.size()));
      ASSERT_EQ(mmioSeek(h, LONG(pos), SEEK_SET_), pos);
    }
    ASSERT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(slurp(p), model) << "buffer size " << bufSize;
  }
}

TEST_F(MmioTest, SeekRefusesPositionsBeforeStartAndBadOrigins) {
  HMMIO h = openBuffered(path("s"), MMIO_CREATE | MMIO_READWRITE, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(mmioWrite(h, "abcdef", 6), 6);
  EXPECT_EQ(mmioSeek(h, -7, SEEK_END_), -1);
  EXPECT_EQ(mmioSeek(h, -2, SEEK_END_), 4);
  EXPECT_EQ(mmioSeek(h, 0, 3), -1);
  char c[4] = {};
  EXPECT_EQ(mmioRead(h, c, 4), 2);
  EXPECT_EQ(mmioRead(h, c, 4), 0);
  EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

TEST_F(MmioTest, ReadOnlyHandleRefusesWrites) {
  { std::ofstream(path("ro"), std::ios::binary) << "data"; }
  HMMIO h = mmioOpenA(path("ro").c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(mmioWrite(h, "x", 1), -1);
  MMIOINFO info{};
  ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(info.dwFlags & MMIO_CREATE, 0u);
  EXPECT_EQ(info.cchBuffer, MMIO_DEFAULTBUFFER);
  EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(slurp(path("ro")), std::vector<char>({'d', 'a', 't', 'a'}));
}

TEST_F(MmioTest, NameFlagsAndOpenFailures) {
  const std::string p = path("named");
  MMIOINFO info{};
  EXPECT_EQ(mmioOpenA(p.c_str(), &info, MMIO_EXIST), nullptr);
  EXPECT_EQ(info.wErrorRet, MMIOERR_FILENOTFOUND);
  EXPECT_EQ(mmioOpenA(p.c_str(), nullptr, MMIO_READ), nullptr);
  EXPECT_NE(mmioOpenA(p.c_str(), nullptr, MMIO_PARSE), nullptr);
  EXPECT_EQ(mmioOpenA("", nullptr, MMIO_PARSE), nullptr);
  EXPECT_EQ(mmioOpenA((dir_.string() + "/").c_str(), nullptr, MMIO_PARSE), nullptr);
  EXPECT_EQ(mmioOpenA(dir_.c_str(), nullptr, MMIO_READ), nullptr);

  HMMIO h = mmioOpenA(p.c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
  EXPECT_NE(info.dwFlags & MMIO_CREATE, 0u);
  EXPECT_EQ(info.fccIOProc, FOURCC_DOS);
  // Buffered bytes count for the size and flush puts them on disk.
  EXPECT_EQ(mmioWrite(h, "abc", 3), 3);
  EXPECT_EQ(fs::file_size(p), 0u);
  EXPECT_EQ(mmioSeek(h, 0, SEEK_END_), 3);
  ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
  EXPECT_NE(info.dwFlags & MMIO_DIRTY, 0u);
  EXPECT_EQ(mmioFlush(h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(fs::file_size(p), 3u);
  // Replacing the buffer writes out what it held first.
  EXPECT_EQ(mmioWrite(h, "de", 2), 2);
  EXPECT_EQ(mmioSetBuffer(h, nullptr, 32768, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(fs::file_size(p), 5u);
  ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(info.cchBuffer, 32768);
  EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

  EXPECT_NE(mmioOpenA(p.c_str(), nullptr, MMIO_EXIST), nullptr);
  EXPECT_NE(mmioOpenA(p.c_str(), nullptr, MMIO_DELETE), nullptr);
  EXPECT_FALSE(fs::exists(p));
  EXPECT_EQ(mmioOpenA(p.c_str(), nullptr, MMIO_DELETE), nullptr);
}

TEST_F(MmioTest, ChunksGetSizesPadBytesAndDescendBack) {
  const std::string p = path("chunks");
  HMMIO h = openBuffered(p, MMIO_CREATE | MMIO_READWRITE, 8192);
  ASSERT_NE(h, nullptr);
  MMCKINFO riff{};
  riff.fccType = mmioFOURCC('T', 'E', 'S', 'T');
  ASSERT_EQ(mmioCreateChunk(h, &riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
  EXPECT_EQ(riff.ckid, FOURCC_RIFF);
  EXPECT_EQ(riff.dwDataOffset, 8u);
  EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR_), 12);
  MMCKINFO odd{};
  odd.ckid = mmioFOURCC('o', 'd', 'd', ' ');
  ASSERT_EQ(mmioCreateChunk(h, &odd, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(odd.dwFlags, MMIO_DIRTY);
  EXPECT_EQ(mmioWrite(h, "xyz", 3), 3);
  ASSERT_EQ(mmioAscend(h, &odd, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(odd.cksize, 3u);
  EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR_), 24);
  MMCKINFO list{};
  list.fccType = mmioFOURCC('I', 'N', 'F', 'O');
  ASSERT_EQ(mmioCreateChunk(h, &list, MMIO_CREATELIST), MMSYSERR_NOERROR);
  EXPECT_EQ(mmioWrite(h, "ab", 2), 2);
  ASSERT_EQ(mmioAscend(h, &list, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(list.cksize, 6u);
  ASSERT_EQ(mmioAscend(h, &riff, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(riff.cksize, 4u + 12 + 14);
  ASSERT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

  const auto bytes = slurp(p);
  ASSERT_EQ(bytes.size(), 38u);
  EXPECT_EQ(std::string(bytes.data(), 4), "RIFF");
  EXPECT_EQ(wordAt(bytes, 4), 30u);
  EXPECT_EQ(std::string(bytes.data() + 12, 4), "odd ");
  EXPECT_EQ(wordAt(bytes, 16), 3u);
  EXPECT_EQ(bytes[23], 0);  // pad byte, not counted
  EXPECT_EQ(std::string(bytes.data() + 24, 4), "LIST");
  EXPECT_EQ(std::string(bytes.data() + 32, 4), "INFO");

  h = openBuffered(p, MMIO_READ, 16);
  ASSERT_NE(h, nullptr);
  MMCKINFO r{};
  ASSERT_EQ(mmioDescend(h, &r, nullptr, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(r.ckid, FOURCC_RIFF);
  EXPECT_EQ(r.fccType, mmioFOURCC('T', 'E', 'S', 'T'));
  MMCKINFO c{};
  c.fccType = mmioFOURCC('I', 'N', 'F', 'O');
  ASSERT_EQ(mmioDescend(h, &c, &r, MMIO_FINDLIST), MMSYSERR_NOERROR);
  EXPECT_EQ(c.dwDataOffset, 32u);
  EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR_), 36);
  ASSERT_EQ(mmioAscend(h, &c, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR_), 38);
  EXPECT_EQ(mmioDescend(h, &c, &r, 0), MMIOERR_CHUNKNOTFOUND);
  EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR_), 38);
  // Flags 0 read the next header even beyond the parent's end; a search
  // stays inside the parent.
  r.cksize = 4;
  mmioSeek(h, 12, SEEK_SET_);
  ASSERT_EQ(mmioDescend(h, &c, &r, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(c.ckid, mmioFOURCC('o', 'd', 'd', ' '));
  mmioSeek(h, 12, SEEK_SET_);
  c.ckid = FOURCC_LIST;
  EXPECT_EQ(mmioDescend(h, &c, &r, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
  EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

TEST_F(MmioTest, MemoryImagesStayInPlaceOrGrowByTheirStep) {
  char image[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  MMIOINFO info{};
  info.fccIOProc = FOURCC_MEM;
  info.pchBuffer = image;
  info.cchBuffer = 8;
  HMMIO h = mmioOpenA(nullptr, &info, MMIO_READWRITE | MMIO_ALLOCBUF);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(mmioSeek(h, 0, SEEK_END_), 8);
  EXPECT_EQ(mmioSeek(h, 6, SEEK_SET_), 6);
  EXPECT_EQ(mmioWrite(h, "XYZ", 3), 2);  // the fixed image ends after "XY"
  EXPECT_EQ(mmioWrite(h, "Z", 1), -1);
  EXPECT_EQ(std::string(image, 8), "abcdefXY");
  mmioSeek(h, 2, SEEK_SET_);
  char got[10] = {};
  EXPECT_EQ(mmioRead(h, got, 10), 6);
  EXPECT_EQ(std::string(got, 6), "cdefXY");
  MMIOINFO state{};
  ASSERT_EQ(mmioGetInfo(h, &state, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(state.fccIOProc, FOURCC_MEM);
  EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

  info.adwInfo[0] = 5;
  h = mmioOpenA(nullptr, &info, MMIO_READWRITE);
  ASSERT_NE(h, nullptr);
  mmioSeek(h, 10, SEEK_SET_);
  EXPECT_EQ(mmioWrite(h, "!!", 2), 2);
  ASSERT_EQ(mmioGetInfo(h, &state, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(state.cchBuffer, 12);
  EXPECT_EQ(std::string(state.pchBuffer, 12), std::string("abcdefXY\0\0!!", 12));
  EXPECT_EQ(std::string(image, 8), "abcdefXY");  // grown images are the handle's own copy
  EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

  info.fccIOProc = mmioFOURCC('X', 'X', 'X', ' ');
  EXPECT_EQ(mmioOpenA(nullptr, &info, MMIO_READ), nullptr);
}

TEST(MmioFourcc, FirstFourCharactersBlankPadded) {
  EXPECT_EQ(mmioStringToFOURCCA("INAM", 0), mmioFOURCC('I', 'N', 'A', 'M'));
  EXPECT_EQ(mmioStringToFOURCCA("fmt", 0), mmioFOURCC('f', 'm', 't', ' '));
  EXPECT_EQ(mmioStringToFOURCCA("datalong", 0), mmioFOURCC('d', 'a', 't', 'a'));
  EXPECT_EQ(mmioStringToFOURCCA("", 0), mmioFOURCC(' ', ' ', ' ', ' '));
  EXPECT_EQ(mmioStringToFOURCCA("wave", MMIO_TOUPPER), mmioFOURCC('W', 'A', 'V', 'E'));
}
