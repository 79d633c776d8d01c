#include "lyrics/readlyrics.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "lyrics/encoding.h"
#include "lyrics/id3lyrics.h"
#include "lyrics/lrc.h"
#include "lyrics/midilyrics.h"
#include "platform/sequencer/smf.h"

namespace lyrics {

namespace {

// As large as a MIDI file the sequencer opens; an LRC file is far smaller.
constexpr std::size_t kMaxBytes = 64u << 20;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Up to `limit` bytes of the file (all of it when smaller).
std::string ReadBytes(const std::string& path, std::size_t limit) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) throw ELyricsError("cannot read " + path + ": " + std::strerror(errno));
  std::string bytes;
  char chunk[65536];
  while (bytes.size() < limit) {
    const std::size_t n = std::fread(chunk, 1, std::min(sizeof chunk, limit - bytes.size()), f.get());
    bytes.append(chunk, n);
    if (n == 0) break;
  }
  if (std::ferror(f.get())) throw ELyricsError("cannot read " + path + ": " + std::strerror(errno));
  return bytes;
}

bool HasExtension(const std::filesystem::path& path, const char* lower) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == lower;
}

// The .lrc file beside a backing, or an empty path.
std::filesystem::path LrcBeside(const std::filesystem::path& song) {
  for (const char* ext : {".lrc", ".LRC", ".Lrc"}) {
    std::filesystem::path candidate = song;
    candidate.replace_extension(ext);
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return {};
}

}  // namespace

Lyrics ReadLyrics(const std::string& songPath, const std::string& encoding) {
  if (!encoding.empty() && !EncodingSupported(encoding)) throw ELyricsError("unknown text encoding: " + encoding);
  const std::filesystem::path path(songPath);
  const std::string head = ReadBytes(songPath, 12);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(head.data());
  if (sequencer::LooksLikeMidi(bytes, head.size())) {
    const std::string all = ReadBytes(songPath, kMaxBytes);
    return ReadMidiLyrics(reinterpret_cast<const std::uint8_t*>(all.data()), all.size(), encoding);
  }
  if (HasExtension(path, ".lrc")) return ParseLrc(ReadBytes(songPath, kMaxBytes), encoding);
  const std::filesystem::path lrc = LrcBeside(path);
  if (!lrc.empty()) return ParseLrc(ReadBytes(lrc.string(), kMaxBytes), encoding);
  if (head.compare(0, 3, "ID3") == 0 || HasExtension(path, ".mp3")) return ReadMp3Lyrics(songPath, encoding);
  return {};
}

}  // namespace lyrics
