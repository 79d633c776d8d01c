// A sound file opened for reading with libsndfile, as the wave-audio
// device plays it.
//
// A WAVE file whose writer never came back to fill in its sizes (a recorder
// that crashed or was killed) says that its data chunk holds 0 bytes, and
// libsndfile then reads no audio at all, while the program's wave file layer
// reads such data to the end of the file. So a WAVE file whose data chunk
// says 0 bytes is shown to libsndfile through its virtual I/O with that size
// set to the rest of the file; every other file is opened as it is.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace sequencer {

class SoundFile {
 public:
  // Null when the file cannot be read or libsndfile refuses it.
  static std::unique_ptr<SoundFile> Open(const std::string& path, SF_INFO& info);
  ~SoundFile();
  SoundFile(const SoundFile&) = delete;
  SoundFile& operator=(const SoundFile&) = delete;

  SNDFILE* get() const { return sound_; }

  // The virtual I/O view (public for libsndfile's callbacks).
  sf_count_t Length() const { return sf_count_t(size_); }
  sf_count_t Seek(sf_count_t offset, int whence);
  sf_count_t Read(void* out, sf_count_t count);
  sf_count_t Tell() const { return sf_count_t(position_); }

 private:
  SoundFile() = default;
  // Finds a WAVE data chunk that says 0 bytes; true when one was found and
  // the size to show instead is in patch_.
  bool FindUnwrittenDataSize();

  std::FILE* file_ = nullptr;
  SNDFILE* sound_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t patchAt_ = 0;  // offset of the data chunk's size field
  unsigned char patch_[4] = {};
};

}  // namespace sequencer
