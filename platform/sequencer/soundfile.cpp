#include "platform/sequencer/soundfile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace sequencer {

namespace {

std::uint32_t Le32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Chunks looked at before the data chunk; a real file has a handful.
constexpr int kMaxChunks = 256;

sf_count_t VioLength(void* user) { return static_cast<SoundFile*>(user)->Length(); }
sf_count_t VioSeek(sf_count_t offset, int whence, void* user) {
  return static_cast<SoundFile*>(user)->Seek(offset, whence);
}
sf_count_t VioRead(void* out, sf_count_t count, void* user) { return static_cast<SoundFile*>(user)->Read(out, count); }
sf_count_t VioWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t VioTell(void* user) { return static_cast<SoundFile*>(user)->Tell(); }

SF_VIRTUAL_IO kView = {VioLength, VioSeek, VioRead, VioWrite, VioTell};

}  // namespace

std::unique_ptr<SoundFile> SoundFile::Open(const std::string& path, SF_INFO& info) {
  std::unique_ptr<SoundFile> f(new SoundFile);
  f->file_ = std::fopen(path.c_str(), "rb");
  if (!f->file_) return nullptr;
  struct stat st {};
  if (fstat(fileno(f->file_), &st) != 0 || st.st_size < 0) return nullptr;
  f->size_ = std::uint64_t(st.st_size);
  if (f->FindUnwrittenDataSize()) {
    f->sound_ = sf_open_virtual(&kView, SFM_READ, &info, f.get());
  } else {
    std::fclose(f->file_);
    f->file_ = nullptr;
    f->sound_ = sf_open(path.c_str(), SFM_READ, &info);
  }
  if (!f->sound_) return nullptr;
  return f;
}

SoundFile::~SoundFile() {
  if (sound_) sf_close(sound_);
  if (file_) std::fclose(file_);
}

bool SoundFile::FindUnwrittenDataSize() {
  unsigned char head[12];
  if (std::fread(head, 1, sizeof head, file_) != sizeof head) return false;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;
  std::uint64_t at = 12;
  for (int i = 0; i < kMaxChunks && at + 8 <= size_; ++i) {
    unsigned char chunk[8];
    if (fseeko(file_, off_t(at), SEEK_SET) != 0 || std::fread(chunk, 1, sizeof chunk, file_) != sizeof chunk)
      return false;
    const std::uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (size != 0) return false;
      // The rest of the file, as far as a chunk size can say.
      const std::uint64_t rest = std::min<std::uint64_t>(size_ - (at + 8), 0xFFFFFFF0u);
      if (rest == 0) return false;
      patchAt_ = at + 4;
      for (int b = 0; b < 4; ++b) patch_[b] = static_cast<unsigned char>(rest >> (8 * b));
      return true;
    }
    at += 8 + std::uint64_t(size) + (size & 1);
  }
  return false;
}

sf_count_t SoundFile::Seek(sf_count_t offset, int whence) {
  const std::int64_t base = whence == SEEK_CUR ? std::int64_t(position_) : whence == SEEK_END ? std::int64_t(size_) : 0;
  position_ = std::uint64_t(std::max<std::int64_t>(0, base + offset));
  return sf_count_t(position_);
}

sf_count_t SoundFile::Read(void* out, sf_count_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const auto n = std::size_t(std::min<std::uint64_t>(std::uint64_t(count), size_ - position_));
  if (fseeko(file_, off_t(position_), SEEK_SET) != 0) return 0;
  const std::size_t got = std::fread(out, 1, n, file_);
  // The repaired size field, where the bytes read cover it.
  auto* bytes = static_cast<unsigned char*>(out);
  for (std::uint64_t i = 0; i < 4; ++i) {
    const std::uint64_t at = patchAt_ + i;
    if (at >= position_ && at < position_ + got) bytes[at - position_] = patch_[i];
  }
  position_ += got;
  return sf_count_t(got);
}

}  // namespace sequencer
