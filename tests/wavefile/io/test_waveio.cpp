#include <gtest/gtest.h>

#include <QLocale>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/wavefile/io/riff_bytes.h"
#include "wavefile/MMWaveIO.h"

namespace {

WAVEFORMATEX pcm(WORD channels, DWORD rate, WORD bits) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = WORD(channels * bits / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * rate;
  return f;
}

struct Chunk {
  std::string id;
  size_t offset;  // of the header
  std::uint32_t size;
};

// The chunks inside the RIFF chunk, walked by their sizes.
std::vector<Chunk> chunksOf(const Bytes& b) {
  std::vector<Chunk> out;
  size_t off = 12;
  while (off + 8 <= b.size()) {
    const std::uint32_t size = get32(b, off + 4);
    out.push_back({idAt(b, off), off, size});
    off += 8 + size + (size & 1);
  }
  return out;
}

class WaveIOTest : public TempDirTest {
 protected:
  void TearDown() override {
    if (block_ != nullptr) WaveFileFree(&block_);
    TempDirTest::TearDown();
  }

  // Creates `name` for `fmt`, writes `data` and closes it.
  std::string record(const std::string& name, const WAVEFORMATEX& fmt, const Bytes& data) {
    const std::string p = path(name);
    WaveIOBlock* b = nullptr;
    EXPECT_EQ(WaveFileFromFormat(&b, &fmt), WIOERR_NOERROR);
    EXPECT_EQ(WaveFileCreate(b, p.c_str()), WIOERR_NOERROR);
    if (!data.empty()) {
      EXPECT_EQ(WaveFileWrite(b, reinterpret_cast<const char*>(data.data()), LONG(data.size())), LONG(data.size()));
    }
    EXPECT_EQ(WaveFileClose(b), WIOERR_NOERROR);
    WaveFileFree(&b);
    return p;
  }

  int open(const std::string& p, DWORD mode = WIOF_OPEN_FILE) {
    if (block_ != nullptr) WaveFileFree(&block_);
    return WaveFileOpen(&block_, p.c_str(), FOURCC_WAVE, mode);
  }

  WaveIOBlock* block_ = nullptr;
};

}  // namespace

// ---------------------------------------------------------------- created files

TEST_F(WaveIOTest, CreatedStereoFileHasTheExactLayout) {
  Bytes data(3048);
  for (size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 7);
  const Bytes b = slurp(record("rec.wav", pcm(2, 44100, 16), data));

  ASSERT_EQ(b.size(), 46 + 3048 + 12u);
  EXPECT_EQ(idAt(b, 0), "RIFF");
  EXPECT_EQ(get32(b, 4), b.size() - 8);
  EXPECT_EQ(idAt(b, 8), "WAVE");
  EXPECT_EQ(idAt(b, 12), "fmt ");
  EXPECT_EQ(get32(b, 16), 18u);
  const Bytes fmt(b.begin() + 20, b.begin() + 38);
  EXPECT_EQ(fmt, Bytes({0x01, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00, 0x04, 0x00,
                        0x10, 0x00, 0x00, 0x00}));
  EXPECT_EQ(idAt(b, 38), "data");
  EXPECT_EQ(get32(b, 42), 3048u);
  EXPECT_EQ(Bytes(b.begin() + 46, b.begin() + 46 + 3048), data);
  EXPECT_EQ(idAt(b, 3094), "fact");
  EXPECT_EQ(get32(b, 3098), 4u);
  EXPECT_EQ(get32(b, 3102), 762u);
}

TEST_F(WaveIOTest, EmptyAndOddSizedFilesAreFinished) {
  const Bytes empty = slurp(record("empty.wav", pcm(2, 44100, 16), {}));
  ASSERT_EQ(empty.size(), 58u);
  EXPECT_EQ(get32(empty, 4), 50u);
  EXPECT_EQ(get32(empty, 42), 0u);
  EXPECT_EQ(idAt(empty, 46), "fact");
  EXPECT_EQ(get32(empty, 54), 0u);

  const Bytes odd = slurp(record("odd.wav", pcm(1, 11025, 8), {1, 2, 3}));
  EXPECT_EQ(get32(odd, 42), 3u);
  EXPECT_EQ(odd[49], 0);  // pad byte
  EXPECT_EQ(idAt(odd, 50), "fact");
  EXPECT_EQ(get32(odd, 58), 3u);
  EXPECT_EQ(get32(odd, 4), odd.size() - 8);
}

TEST_F(WaveIOTest, NonPcmFormatChunkCarriesItsExtraBytesAndPad) {
  Bytes raw(18 + 3);
  WAVEFORMATEX f{};
  f.wFormatTag = 0x0002;
  f.nChannels = 1;
  f.nSamplesPerSec = 22050;
  f.nAvgBytesPerSec = 11155;
  f.nBlockAlign = 512;
  f.wBitsPerSample = 4;
  f.cbSize = 3;
  std::memcpy(raw.data(), &f, 18);
  raw[18] = 0xA1;
  raw[19] = 0xA2;
  raw[20] = 0xA3;
  const Bytes b = slurp(record("adpcm.wav", *reinterpret_cast<WAVEFORMATEX*>(raw.data()), {}));
  EXPECT_EQ(get32(b, 16), 21u);
  EXPECT_EQ(b[40], 0xA3);
  EXPECT_EQ(b[41], 0);  // pad after the odd format chunk
  EXPECT_EQ(idAt(b, 42), "data");

  ASSERT_EQ(open(path("adpcm.wav")), WIOERR_NOERROR);
  EXPECT_EQ(block_->format.cbSize, 3);
  EXPECT_EQ(block_->size, 127u + 3);
  EXPECT_EQ(WaveFileFormatSize(&block_->format), 21u);
}

// ---------------------------------------------------------------- rewriting

TEST_F(WaveIOTest, RewritingKeepsTextEntriesAndDisplayChunks) {
  Bytes chunks;
  putChunk(chunks, "fmt ", pcmFormat(1, 8000, 8));
  putChunk(chunks, "data", Bytes(100, 0x55));
  Bytes tiny;
  put32(tiny, RIFF_DISP_TEXT);
  putChunk(chunks, "DISP", tiny);  // size 4: skipped, so not written back
  Bytes disp;
  put32(disp, RIFF_DISP_TEXT);
  for (char c : std::string("Song title")) disp.push_back(std::uint8_t(c));
  disp.push_back(0);
  putChunk(chunks, "DISP", disp);
  Bytes info;
  putId(info, "INFO");
  putChunk(info, "INAM", Bytes({'T', 'u', 'n', 'e', 0}));
  putChunk(info, "ICMT", Bytes({0}));  // empty text: dropped
  putChunk(info, "IART", Bytes({'M', 'e', 0}));
  putChunk(chunks, "LIST", info);
  const std::string p = write("old.wav", riffWave(chunks));

  ASSERT_EQ(open(p), WIOERR_NOERROR);
  EXPECT_EQ(block_->dataSize, 100);
  ASSERT_NE(block_->dispList->first, nullptr);
  EXPECT_EQ(block_->dispList->first->next, nullptr);
  ASSERT_EQ(WaveFileReopen(block_), WIOERR_NOERROR);
  const Bytes fresh(40, 0x77);
  ASSERT_EQ(WaveFileWrite(block_, reinterpret_cast<const char*>(fresh.data()), 40), 40);
  EXPECT_EQ(block_->dataSize, 100);  // written over, not cut
  ASSERT_EQ(WaveFileClose(block_), WIOERR_NOERROR);

  const Bytes b = slurp(p);
  const auto cs = chunksOf(Bytes(b.begin(), b.begin() + 8 + get32(b, 4)));
  ASSERT_EQ(cs.size(), 5u);
  EXPECT_EQ(cs[1].id, "data");
  EXPECT_EQ(cs[1].size, 100u);
  EXPECT_EQ(b[cs[1].offset + 8], 0x77);
  EXPECT_EQ(b[cs[1].offset + 8 + 40], 0x55);
  EXPECT_EQ(cs[2].id, "fact");
  EXPECT_EQ(get32(b, cs[2].offset + 8), 100u);
  EXPECT_EQ(cs[3].id, "DISP");
  EXPECT_EQ(cs[3].size, disp.size());
  EXPECT_EQ(cs[4].id, "LIST");
  EXPECT_EQ(cs[4].size, 4 + (8 + 3 + 1) + (8 + 5 + 1u));  // INFO, IART "Me", INAM "Tune": table order
  EXPECT_EQ(idAt(b, cs[4].offset + 12), "IART");
  EXPECT_EQ(idAt(b, cs[4].offset + 24), "INAM");

  ASSERT_EQ(open(p), WIOERR_NOERROR);
  ASSERT_NE(block_->dispList->first, nullptr);
  EXPECT_STREQ(block_->dispList->first->data, "Song title");
  int texts = 0;
  for (RiffInfoEntry* e = block_->infoList->first; e != nullptr; e = e->next)
    texts += RiffInfoEntryText(block_->infoList, e) != nullptr;
  EXPECT_EQ(texts, 2);
}

// ---------------------------------------------------------------- opening

struct OpenCase {
  const char* name;
  Bytes file;
  int result;
  LONG dataSize;      // checked when the open succeeds
  WORD blockAlign;
  DWORD avgBytes;
};

std::vector<OpenCase> openCases() {
  std::vector<OpenCase> cases;
  auto add = [&](const char* name, Bytes file, int result, LONG dataSize = 0, WORD blockAlign = 0,
                 DWORD avg = 0) { cases.push_back({name, std::move(file), result, dataSize, blockAlign, avg}); };
  {
    // An unfinished recording: RIFF and data sizes 0, data to the end.
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(2, 44100, 16));
    putChunk(c, "data", Bytes(1002, 1), 0);
    add("sizes_zero", riffWave(c, 0), WIOERR_NOERROR, 1000, 4, 176400);
  }
  {
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(2, 44100, 16));
    putChunk(c, "data", Bytes(400, 1), 100000);
    add("truncated", riffWave(c, 100000), WIOERR_NOERROR, 400, 4, 176400);
  }
  {
    // Stated block alignment 6: the format is recomputed, and the data is
    // cut to whole blocks of the recomputed alignment.
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(2, 8000, 16, 6, 12345));
    putChunk(c, "data", Bytes(42, 1));
    add("wrong_block_align", riffWave(c), WIOERR_NOERROR, 40, 4, 32000);
  }
  {
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(2, 8000, 16));
    putChunk(c, "data", Bytes(16, 1));
    putChunk(c, "fact", Bytes({99, 0, 0, 0}));
    putChunk(c, "junk", Bytes(10, 9));
    add("data_ends_at_next_chunk", riffWave(c), WIOERR_NOERROR, 16, 4, 32000);
  }
  {
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(1, 8000, 8));
    add("no_data_chunk", riffWave(c), WIOERR_NOERROR, 0, 1, 8000);
  }
  {
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(2, 8000, 16, 0));  // pcmFormat fills 0 in, so patch below
    c[8 + 12] = 0;
    c[8 + 13] = 0;
    putChunk(c, "data", Bytes(10, 1));
    // PCM: channels x bits / 8 gives the alignment other players use.
    add("block_align_zero", riffWave(c), WIOERR_NOERROR, 8, 4, 32000);
  }
  {
    // Without PCM's rule there is nothing to recompute from.
    Bytes c;
    Bytes f = pcmFormat(2, 8000, 16);
    f[0] = 2;  // Microsoft ADPCM
    f[12] = f[13] = 0;
    putChunk(c, "fmt ", f);
    putChunk(c, "data", Bytes(8, 1));
    add("adpcm_block_align_zero", riffWave(c), WIOERR_FILEERROR);
  }
  {
    Bytes c;
    Bytes f = pcmFormat(2, 8000, 16);
    f.resize(14);
    putChunk(c, "fmt ", f);
    putChunk(c, "data", Bytes(8, 1));
    add("short_pcm_format", riffWave(c), WIOERR_FILEERROR);
  }
  {
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(1, 8000, 4));  // recomputes to 0 bytes per block
    c[8 + 12] = 1;
    putChunk(c, "data", Bytes(8, 1));
    add("pcm_recomputes_to_zero", riffWave(c), WIOERR_FILEERROR);
  }
  {
    Bytes c;
    putChunk(c, "data", Bytes(8, 1));
    add("no_format", riffWave(c), WIOERR_ERROR);
  }
  {
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(1, 8000, 8));
    add("not_riff", [&] { Bytes b = riffWave(c); b[0] = 'X'; return b; }(), WIOERR_FILEERROR);
    add("not_wave", riffWave(c, -1, "AVI "), WIOERR_FILEERROR);
  }
  add("empty_file", {}, WIOERR_FILEERROR);
  {
    // A list that claims 4 GB in a small file is cut to the file (and so
    // swallows the data chunk after it).
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(1, 8000, 8));
    Bytes info;
    putId(info, "INFO");
    putChunk(info, "INAM", Bytes({'x', 0}));
    putChunk(c, "LIST", info, 0xFFFFFFF0);
    putChunk(c, "data", Bytes(10, 1));
    add("huge_list", riffWave(c), WIOERR_NOERROR, 0, 1, 8000);
  }
  {
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(1, 8000, 8), 0xFFFFFFF0);
    add("huge_format", riffWave(c), WIOERR_NOERROR, 0, 1, 8000);
  }
  {
    Bytes c;
    putChunk(c, "fmt ", pcmFormat(1, 8000, 8));
    Bytes disp;
    put32(disp, RIFF_DISP_TEXT);
    putChunk(c, "DISP", disp);
    putChunk(c, "data", Bytes(6, 1));
    add("disp_of_size_4", riffWave(c), WIOERR_NOERROR, 6, 1, 8000);
  }
  return cases;
}

TEST_F(WaveIOTest, OpensOrRefusesFilesAsTheirChunksSay) {
  for (const OpenCase& c : openCases()) {
    SCOPED_TRACE(c.name);
    const std::string p = write(c.name, c.file);
    ASSERT_EQ(open(p), c.result);
    if (c.result != WIOERR_NOERROR) {
      EXPECT_EQ(block_, nullptr);
      EXPECT_FALSE(WaveFileIsValid(p.c_str(), WIOF_OPEN_FILE));
      continue;
    }
    EXPECT_TRUE(WaveFileIsValid(p.c_str(), WIOF_OPEN_FILE));
    EXPECT_EQ(block_->handle, nullptr);
    EXPECT_EQ(block_->fileSize, LONG(c.file.size()));
    EXPECT_EQ(block_->dataSize, c.dataSize);
    EXPECT_EQ(block_->format.nBlockAlign, c.blockAlign);
    EXPECT_EQ(block_->format.nAvgBytesPerSec, c.avgBytes);
    EXPECT_EQ(block_->totalSamples, c.dataSize / c.blockAlign);
    EXPECT_EQ(block_->lastSample, block_->totalSamples);
    EXPECT_STREQ(block_->fileName, p.c_str());

    // The same bytes in memory open the same way; the file read whole
    // through the file layer gives those very bytes.
    std::vector<char> image;
    ASSERT_EQ(WaveFileReadImage(p.c_str(), image), WIOERR_NOERROR);
    ASSERT_EQ(image.size(), c.file.size());
    EXPECT_EQ(std::memcmp(image.data(), c.file.data(), image.size()), 0);
    WaveIOBlock* mem = nullptr;
    ASSERT_EQ(WaveFileOpenMemory(&mem, image.data(), LONG(image.size())), WIOERR_NOERROR);
    EXPECT_EQ(mem->dataSize, block_->dataSize);
    EXPECT_EQ(mem->dataOffset, block_->dataOffset);
    EXPECT_EQ(mem->mode, WIOF_OPEN_MEMORY);
    WaveFileFree(&mem);
  }
}

TEST_F(WaveIOTest, DuplicateInfoIdsAndInfoOnlyMode) {
  Bytes info;
  putId(info, "INFO");
  putChunk(info, "INAM", Bytes({'o', 'l', 'd', 0}));
  putChunk(info, "INAM", Bytes({'n', 'e', 'w', 0}));
  Bytes c;
  putChunk(c, "LIST", info);
  const std::string p = write("info.wav", riffWave(c));
  EXPECT_EQ(open(p), WIOERR_ERROR);
  ASSERT_EQ(open(p, WIOF_INFO_ONLY), WIOERR_NOERROR);
  EXPECT_EQ(block_->size, 145u);
  EXPECT_EQ(block_->mode, WIOF_INFO_ONLY);
  const RiffInfoEntry* e = block_->infoList->first;
  while (e != nullptr && e->index != 14) e = e->next;
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(RiffInfoEntryText(block_->infoList, e), "new");
}

TEST_F(WaveIOTest, BadArgumentsGiveTheirCodes) {
  WaveIOBlock* b = nullptr;
  EXPECT_EQ(WaveFileFromFormat(&b, nullptr), WIOERR_BADPARAMS);
  EXPECT_EQ(WaveFileOpen(&b, path("missing.wav").c_str(), FOURCC_WAVE, WIOF_OPEN_FILE), WIOERR_FILEERROR);
  EXPECT_EQ(WaveFileOpenMemory(&b, nullptr, 10), WIOERR_FILEERROR);
  EXPECT_EQ(WaveFileOpenMemory(&b, "x", 0), WIOERR_FILEERROR);
  EXPECT_EQ(WaveFileFree(&b), WIOERR_BADPARAMS);
  EXPECT_EQ(WaveFileClose(nullptr), WIOERR_BADPARAMS);
  EXPECT_EQ(WaveFileSeek(nullptr, 0), WIOERR_FILEERROR);
  EXPECT_EQ(WaveFileRead(nullptr, nullptr, 4), -1);
  std::vector<char> image{'x'};
  EXPECT_EQ(WaveFileReadImage(path("missing.wav").c_str(), image), WIOERR_FILEERROR);
  EXPECT_TRUE(image.empty());
  image.push_back('x');
  EXPECT_EQ(WaveFileReadImage(dir_.c_str(), image), WIOERR_FILEERROR);  // a folder
  EXPECT_TRUE(image.empty());
  EXPECT_EQ(WaveFileReadImage(nullptr, image), WIOERR_BADPARAMS);
  EXPECT_EQ(WaveFileReadImage("", image), WIOERR_BADPARAMS);
  image.push_back('x');
  EXPECT_EQ(WaveFileReadImage(write("empty.wav", {}).c_str(), image), WIOERR_NOERROR);
  EXPECT_TRUE(image.empty());
  const WAVEFORMATEX f = pcm(2, 44100, 16);
  ASSERT_EQ(WaveFileFromFormat(&b, &f), WIOERR_NOERROR);
  EXPECT_EQ(b->size, 127u);
  EXPECT_EQ(WaveFileCreate(b, nullptr), WIOERR_BADPARAMS);
  EXPECT_EQ(WaveFileCreate(b, path("no/such/dir.wav").c_str()), WIOERR_FILEERROR);
  EXPECT_EQ(WaveFileSetIOBuffer(b, 8192), WIOERR_ERROR);
  EXPECT_EQ(WaveFileWrite(b, "abcd", 4), -1);
  EXPECT_EQ(WaveFileSeek(b, -1), WIOERR_FILEERROR);
  WaveFileFree(&b);
  EXPECT_EQ(b, nullptr);
}

TEST_F(WaveIOTest, ExtraFormatBytesTheChunkDoesNotHoldAreDropped) {
  Bytes f;
  put16(f, 0x0002);
  put16(f, 1);
  put32(f, 22050);
  put32(f, 11155);
  put16(f, 512);
  put16(f, 4);
  put16(f, 100);  // cbSize claims 100 bytes, the chunk holds 2
  f.push_back(7);
  f.push_back(7);
  Bytes c;
  putChunk(c, "fmt ", f);
  putChunk(c, "data", Bytes(512, 0));
  ASSERT_EQ(open(write("cb.wav", riffWave(c))), WIOERR_NOERROR);
  EXPECT_EQ(block_->format.cbSize, 2);
  EXPECT_EQ(WaveFileFormatSize(&block_->format), 20u);
}

// ---------------------------------------------------------------- positions

TEST_F(WaveIOTest, WritePositionsAndOverwriteKeepTheLargerSize) {
  const WAVEFORMATEX f = pcm(2, 44100, 16);
  const std::string p = path("pos.wav");
  ASSERT_EQ(WaveFileFromFormat(&block_, &f), WIOERR_NOERROR);
  ASSERT_EQ(WaveFileCreate(block_, p.c_str()), WIOERR_NOERROR);
  EXPECT_EQ(block_->dataOffset, 46);
  ASSERT_EQ(WaveFileSetIOBuffer(block_, 32768), WIOERR_NOERROR);
  EXPECT_EQ(WaveFileSetIOBuffer(block_, -1), WIOERR_ERROR);
  Bytes buf(3048, 0x11);
  ASSERT_EQ(WaveFileWrite(block_, reinterpret_cast<const char*>(buf.data()), 3048), 3048);
  EXPECT_EQ(block_->position, 762);
  ASSERT_EQ(WaveFileWrite(block_, reinterpret_cast<const char*>(buf.data()), 3048), 3048);
  EXPECT_EQ(block_->position, 1524);
  EXPECT_EQ(block_->totalSamples, 1524);
  EXPECT_EQ(block_->bytesLeft, 0);

  ASSERT_EQ(WaveFileSeek(block_, 0), WIOERR_NOERROR);
  EXPECT_EQ(block_->position, 0);
  EXPECT_EQ(block_->bytesLeft, 6096);
  Bytes other(1000, 0x22);
  ASSERT_EQ(WaveFileWrite(block_, reinterpret_cast<const char*>(other.data()), 1000), 1000);
  EXPECT_EQ(block_->position, 250);
  EXPECT_EQ(block_->dataSize, 6096);
  EXPECT_EQ(block_->totalSamples, 1524);
  EXPECT_EQ(block_->bytesLeft, 5096);
  ASSERT_EQ(WaveFileClose(block_), WIOERR_NOERROR);
  EXPECT_EQ(block_->position, 0);

  const Bytes b = slurp(p);
  EXPECT_EQ(get32(b, 42), 6096u);
  EXPECT_EQ(b[46 + 999], 0x22);
  EXPECT_EQ(b[46 + 1000], 0x11);
  EXPECT_EQ(idAt(b, 46 + 6096), "fact");
  EXPECT_EQ(get32(b, 46 + 6096 + 8), 1524u);
  EXPECT_EQ(block_->fileSize, LONG(b.size()));
}

// A recording opened by a reader while the writer still has it: its sizes
// are still 0, so the data runs to what has reached the disk.
TEST_F(WaveIOTest, ReopenWhileWritingSeesTheDataWrittenOut) {
  const WAVEFORMATEX f = pcm(2, 44100, 16);
  const std::string p = path("live.wav");
  WaveIOBlock* writer = nullptr;
  ASSERT_EQ(WaveFileFromFormat(&writer, &f), WIOERR_NOERROR);
  ASSERT_EQ(WaveFileCreate(writer, p.c_str()), WIOERR_NOERROR);
  ASSERT_EQ(WaveFileSetIOBuffer(writer, 32768), WIOERR_NOERROR);
  const Bytes buf(3048, 0x42);
  for (int i = 0; i < 33; ++i)
    ASSERT_EQ(WaveFileWrite(writer, reinterpret_cast<const char*>(buf.data()), 3048), 3048);

  ASSERT_EQ(open(p), WIOERR_NOERROR);
  EXPECT_GT(block_->dataSize, 33 * 3048 - 32768);
  EXPECT_LE(block_->dataSize, 33 * 3048);
  EXPECT_EQ(block_->dataSize % 4, 0);
  EXPECT_EQ(block_->totalSamples, block_->dataSize / 4);

  ASSERT_EQ(WaveFileClose(writer), WIOERR_NOERROR);
  WaveFileFree(&writer);
  ASSERT_EQ(open(p), WIOERR_NOERROR);
  EXPECT_EQ(block_->dataSize, 33 * 3048);
  EXPECT_EQ(block_->totalSamples, 33 * 762);
}

TEST_F(WaveIOTest, SeekingAfterWritingStillFinishesTheFile) {
  const WAVEFORMATEX f = pcm(1, 8000, 8);
  const std::string p = path("seek.wav");
  ASSERT_EQ(WaveFileFromFormat(&block_, &f), WIOERR_NOERROR);
  ASSERT_EQ(WaveFileCreate(block_, p.c_str()), WIOERR_NOERROR);
  ASSERT_EQ(WaveFileWrite(block_, "abcdefgh", 8), 8);
  ASSERT_EQ(WaveFileSeek(block_, 2), WIOERR_NOERROR);
  EXPECT_EQ(block_->bytesLeft, 6);
  ASSERT_EQ(WaveFileClose(block_), WIOERR_NOERROR);
  const Bytes b = slurp(p);
  EXPECT_EQ(get32(b, 4), b.size() - 8);
  EXPECT_EQ(get32(b, 42), 8u);
  EXPECT_EQ(idAt(b, 54), "fact");
}

TEST_F(WaveIOTest, SeekAndReadTrackBytesLeft) {
  Bytes data(4000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i);
  const std::string p = record("read.wav", pcm(2, 8000, 16), data);
  ASSERT_EQ(open(p), WIOERR_NOERROR);
  EXPECT_EQ(WaveFileRead(block_, nullptr, 4), -1);  // no handle yet
  // Without a handle only the position moves.
  ASSERT_EQ(WaveFileSeek(block_, 10), WIOERR_NOERROR);
  EXPECT_EQ(block_->position, 10);
  ASSERT_EQ(WaveFileReopen(block_), WIOERR_NOERROR);
  EXPECT_EQ(block_->bytesLeft, 4000 - 40);
  char buf[5000];
  ASSERT_EQ(WaveFileRead(block_, buf, 100), 100);
  EXPECT_EQ(std::uint8_t(buf[0]), 40);
  EXPECT_EQ(block_->bytesLeft, 3860);
  EXPECT_EQ(block_->position, 35);

  ASSERT_EQ(WaveFileSeek(block_, 5000), WIOERR_NOERROR);  // clamped to the last frame
  EXPECT_EQ(block_->position, 999);
  EXPECT_EQ(block_->bytesLeft, 4);
  ASSERT_EQ(WaveFileRead(block_, buf, 100), 4);
  EXPECT_EQ(block_->bytesLeft, 0);
  EXPECT_EQ(block_->position, 1000);
  EXPECT_EQ(WaveFileRead(block_, buf, 100), -1);

  ASSERT_EQ(WaveFileSeek(block_, 0), WIOERR_NOERROR);
  ASSERT_EQ(WaveFileRead(block_, buf, 5000), 4000);  // never past the data ("fact" follows)
  EXPECT_EQ(block_->bytesLeft, 0);
  ASSERT_EQ(WaveFileClose(block_), WIOERR_NOERROR);
  EXPECT_EQ(slurp(p).size(), 46 + 4000 + 12u);  // reading finishes nothing
}

// ---------------------------------------------------------------- conversions

TEST(WaveConversions, RoundToNearestAndUpToWholeBlocks) {
  EXPECT_EQ(MulDivRound(5, 1, 2), 3);
  EXPECT_EQ(MulDivRound(7, 1, 3), 2);
  EXPECT_EQ(MulDivRound(5, 1, 3), 2);
  EXPECT_EQ(MulDivRound(3, 1, 0), 0);
  EXPECT_EQ(MulDivRound(2000000000, 2000000000, 4), 1000000000000000000);

  const WAVEFORMATEX s16 = pcm(2, 44100, 16);
  EXPECT_EQ(wioBytesToSamples(&s16, 3048), 762);
  EXPECT_EQ(wioBytesToSamples(&s16, 3050), 763);  // 762.5 rounds up
  EXPECT_EQ(wioBytesToTime(&s16, 176400), 1000);
  EXPECT_EQ(wioBytesToTime(&s16, 88), 0);   // 0.4988 ms
  EXPECT_EQ(wioBytesToTime(&s16, 89), 1);   // 0.5045 ms
  EXPECT_EQ(wioSamplesToBytes(&s16, 762), 3048);
  EXPECT_EQ(wioSamplesToTime(&s16, 22050), 500);
  EXPECT_EQ(wioSamplesToTime(&s16, 22), 0);
  EXPECT_EQ(wioSamplesToTime(&s16, 23), 1);
  EXPECT_EQ(wioTimeToSamples(&s16, 1), 44);  // 44.1
  EXPECT_EQ(wioTimeToBytes(&s16, 1), 176);   // 176.4
  EXPECT_EQ(wioTimeToSamples(nullptr, 1), 0);

  // A block alignment that the byte rate does not divide: results go up to
  // whole blocks.
  WAVEFORMATEX adpcm{};
  adpcm.wFormatTag = 2;
  adpcm.nChannels = 1;
  adpcm.nSamplesPerSec = 22050;
  adpcm.nAvgBytesPerSec = 11155;
  adpcm.nBlockAlign = 512;
  EXPECT_EQ(wioSamplesToBytes(&adpcm, 1), 512);
  EXPECT_EQ(wioSamplesToBytes(&adpcm, 2000), 1024);  // 1011.8 -> 1012 -> 1024
  EXPECT_EQ(wioTimeToBytes(&adpcm, 100), 1536);      // 1115.5 -> 1116 -> 1536
  EXPECT_EQ(wioSamplesToBytes64(&adpcm, 2000), 1024);
  // Halves go to even in the 64-bit variants.
  WAVEFORMATEX half = pcm(1, 8000, 8);
  half.nAvgBytesPerSec = 4000;  // 0.5 bytes per sample
  half.nBlockAlign = 1;
  EXPECT_EQ(wioSamplesToBytes64(&half, 5), 2);  // 2.5 -> 2
  EXPECT_EQ(wioSamplesToBytes64(&half, 7), 4);  // 3.5 -> 4
  EXPECT_EQ(wioSamplesToTime64(&half, 4), 0);   // 0.5 -> 0
  EXPECT_EQ(wioSamplesToTime64(&half, 12), 2);  // 1.5 -> 2
  EXPECT_EQ(wioSamplesToTime64(&s16, 441000000000LL), 10000000000LL);
}

TEST(WaveFormatHelpers, SizesCopiesNamesAndDescriptions) {
  WAVEFORMATEX f = pcm(2, 44100, 16);
  f.cbSize = 22;
  EXPECT_EQ(WaveFileFormatSize(&f), 18u);
  EXPECT_EQ(WaveFileFormatSize(nullptr), 0u);
  WAVEFORMATEX* copy = WaveFileFormatCopy(&f);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->cbSize, 0);
  EXPECT_EQ(copy->nAvgBytesPerSec, 176400u);
  std::free(copy);

  EXPECT_STREQ(wioGetFormatName(&f), "PCM");
  f.wFormatTag = 0x0011;
  EXPECT_STREQ(wioGetFormatName(&f), "IMA ADPCM");
  f.wFormatTag = 0x0209;
  EXPECT_STREQ(wioGetFormatName(&f), "Dolby AC2");
  f.wFormatTag = 0xFFFF;
  EXPECT_STREQ(wioGetFormatName(&f), "*DEVELOPMENT ONLY TAG*");
  f.wFormatTag = 0x7777;
  EXPECT_STREQ(wioGetFormatName(&f), "Unknown");
  EXPECT_STREQ(wioGetFormatName(nullptr), "Unknown");
  EXPECT_EQ(sizeof(WaveFormatNames) / sizeof(WaveFormatNames[0]), 38u);
  // What those 38 rows stand for: the name each tag is shown with. A tag
  // with two rows shows the first (0x0011 is never "DVI ADPCM"); two tags may
  // share a name.
  const std::pair<WORD, const char*> shown[] = {
      {0x0000, "Unknown"},          {0x0001, "PCM"},
      {0x020C, "PCM 32"},           {0x0002, "Microsoft ADPCM"},
      {0x0003, "IEEE float"},       {0x0005, "IBM CVSD"},
      {0x0006, "CCITT A-Law"},      {0x0007, "CCITT mu-Law"},
      {0x0010, "OKI ADPCM"},        {0x0011, "IMA ADPCM"},
      {0x0012, "Mediaspace's ADPCM"}, {0x0013, "Sierra's ADPCM"},
      {0x0014, "CCITT G.723 ADPCM"}, {0x0015, "Digisound DIGISTD"},
      {0x0016, "Digisound DIGIFIX"}, {0x0017, "Dialogic OKI ADPCM"},
      {0x0020, "Yamaha ADPCM"},     {0x0021, "Sonarc"},
      {0x0022, "DSP Group's Truespeech"}, {0x0023, "Echo SC1"},
      {0x0024, "Audiofile AF36"},   {0x0025, "Audio Processing Technology"},
      {0x0026, "Audiofile AF10"},   {0x0030, "Dolby AC2"},
      {0x0209, "Dolby AC2"},        {0x0031, "GSM 6.10"},
      {0x0033, "Antex ADPCME"},     {0x0039, "CS IMA ADPCM"},
      {0x0040, "CCITT G.721 ADPCM"}, {0x0050, "MPEG 1"},
      {0x0055, "MPEG Layer-3"},     {0x0200, "Creative's ADPCM"},
      {0x1001, "Olivetti's ADPCM"}, {0x0204, "CDI-C"},
      {0x0205, "CDI-B"},            {0x0206, "Antex-DVI-OKI ADPCME"},
      {0xFFFF, "*DEVELOPMENT ONLY TAG*"},
  };
  for (const auto& [tag, name] : shown) {
    WAVEFORMATEX tagged = f;
    tagged.wFormatTag = tag;
    EXPECT_STREQ(wioGetFormatName(&tagged), name) << "tag " << tag;
  }
  // Tags between and beside the known ones have no name of their own.
  for (WORD tag : {WORD(0x0004), WORD(0x0008), WORD(0x0032), WORD(0x0056), WORD(0x0201), WORD(0x1000), WORD(0xFFFE)}) {
    WAVEFORMATEX tagged = f;
    tagged.wFormatTag = tag;
    EXPECT_STREQ(wioGetFormatName(&tagged), "Unknown") << "tag " << tag;
  }

  const WAVEFORMATEX s = pcm(2, 44100, 16);
  EXPECT_EQ(wioGetFormatDescription(&s, ".", ","), "44.100 kHz, 16 Bit, Stereo");
  const WAVEFORMATEX m = pcm(1, 8000, 8);
  EXPECT_EQ(wioGetFormatDescription(&m, ".", ","), "8.000 kHz, 8 Bit, Mono");
  const WAVEFORMATEX six = pcm(6, 48000, 24);
  EXPECT_EQ(wioGetFormatDescription(&six, ".", ","), "48.000 kHz, 24 Bit, 6 Channels");
  EXPECT_EQ(wioGetFormatDescription(nullptr, ".", ","), "Unknown");

  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  EXPECT_EQ(wioGetFormatDescription(&s), "44.100 kHz, 16 Bit, Stereo");
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(wioGetFormatDescription(&m), "8,000 kHz; 8 Bit; Mono");
  QLocale::setDefault(QLocale::c());
}
