#include "lyrics/id3lyrics.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegheader.h>
#include <taglib/mpegproperties.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>

#include "lyrics/builder.h"
#include "lyrics/encoding.h"
#include "lyrics/lrc.h"
#include "mp3/SiblingFile.h"

namespace lyrics {

namespace {

// A frame's text as the file's bytes when it was stored as Latin-1 (to be
// decoded in the song's encoding), else as UTF-8.
std::string RawText(const TagLib::String& text, TagLib::String::Type stored) {
  return text.to8Bit(stored != TagLib::String::Latin1);
}

std::string TextFrame(const TagLib::ID3v2::Tag& tag, const char* id, const TextDecoder& latin1) {
  const TagLib::ID3v2::FrameList& frames = tag.frameList(id);
  if (frames.isEmpty()) return {};
  const auto* frame = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frames.front());
  if (!frame) return {};
  if (frame->textEncoding() == TagLib::String::Latin1) return latin1(frame->toString().to8Bit(false));
  return frame->toString().to8Bit(true);
}

const TagLib::ID3v2::SynchronizedLyricsFrame* FindSylt(const TagLib::ID3v2::Tag& tag) {
  const TagLib::ID3v2::SynchronizedLyricsFrame* any = nullptr;
  for (const TagLib::ID3v2::Frame* f : tag.frameList("SYLT")) {
    const auto* sylt = dynamic_cast<const TagLib::ID3v2::SynchronizedLyricsFrame*>(f);
    if (!sylt || sylt->synchedText().isEmpty()) continue;
    if (sylt->type() == TagLib::ID3v2::SynchronizedLyricsFrame::Lyrics) return sylt;
    if (!any) any = sylt;
  }
  return any;
}

// The samples of one MPEG frame: 384 in Layer I, 576 in Layer III of MPEG-2
// and 2.5 (sample rates up to 24 kHz), 1152 otherwise.
int SamplesPerFrame(const TagLib::MPEG::Properties& p) {
  if (p.layer() == 1) return 384;
  if (p.layer() == 3 && p.version() != TagLib::MPEG::Header::Version1) return 576;
  return 1152;
}

// The milliseconds of a SYLT time given in MPEG frames.
std::uint32_t SyltMs(unsigned int time, bool mpegFrames, const TagLib::MPEG::Properties* audio) {
  if (!mpegFrames) return time;
  if (!audio || audio->sampleRate() <= 0) return 0;
  return std::uint32_t(std::uint64_t(time) * std::uint64_t(SamplesPerFrame(*audio)) * 1000 /
                       std::uint64_t(audio->sampleRate()));
}

// The bytes an ID3v2 tag takes at the start of a file (header, frames,
// padding, footer); 0 when there is none.
std::uint64_t Id3v2Size(const std::string& path) {
  unsigned char h[10] = {};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  const std::size_t n = std::fread(h, 1, sizeof h, f);
  std::fclose(f);
  if (n < 10 || h[0] != 'I' || h[1] != 'D' || h[2] != '3') return 0;
  const std::uint64_t body = std::uint64_t(h[6] & 0x7F) << 21 | std::uint64_t(h[7] & 0x7F) << 14 |
                             std::uint64_t(h[8] & 0x7F) << 7 | std::uint64_t(h[9] & 0x7F);
  return 10 + body + ((h[5] & 0x10) ? 10 : 0);
}

// Puts the file's data on the disk; false when that fails (a full disk
// seen only now).
bool Sync(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fdatasync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

}  // namespace

Lyrics ReadMp3Lyrics(const std::string& path, const std::string& encoding) {
  TagLib::MPEG::File file(path.c_str(), true, TagLib::AudioProperties::Fast);
  if (!file.isValid() || !file.hasID3v2Tag()) return {};
  const TagLib::ID3v2::Tag& tag = *file.ID3v2Tag();
  const auto* sylt = FindSylt(tag);
  const TagLib::ID3v2::UnsynchronizedLyricsFrame* uslt = nullptr;
  for (const TagLib::ID3v2::Frame* f : tag.frameList("USLT"))
    if ((uslt = dynamic_cast<const TagLib::ID3v2::UnsynchronizedLyricsFrame*>(f))) break;
  if (!sylt && !uslt) return {};

  // Latin-1 frames are detected from all their bytes together.
  const TagLib::String::Type stored = sylt ? sylt->textEncoding() : uslt->textEncoding();
  std::string used = encoding;
  if (used.empty()) {
    std::string sample;
    if (sylt)
      for (const auto& t : sylt->synchedText()) sample += RawText(t.text, stored);
    else
      sample = RawText(uslt->text(), stored);
    used = stored == TagLib::String::Latin1 ? DetectEncoding(sample) : "UTF-8";
  }
  const TextDecoder decode(stored == TagLib::String::Latin1 ? used : std::string("UTF-8"));

  LyricsBuilder builder;
  std::uint32_t lastMs = 0;
  if (sylt) {
    const bool frames = sylt->timestampFormat() == TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMpegFrames;
    for (const auto& t : sylt->synchedText()) {
      lastMs = std::max(lastMs, SyltMs(t.time, frames, file.audioProperties()));
      builder.AddText(lastMs, decode(RawText(t.text, stored)));
    }
  } else {
    // The words without times: each line at 0, a line feed after each.
    std::string words = decode(RawText(uslt->text(), stored));
    for (char& c : words)
      if (c == '\r') c = '\n';
    std::size_t from = 0;
    while (from < words.size()) {
      std::size_t to = words.find('\n', from);
      if (to == std::string::npos) to = words.size();
      builder.AddText(0, words.substr(from, to - from));
      builder.BreakLine();
      from = to + 1;
    }
  }
  Lyrics lyrics = builder.Take();
  if (lyrics.empty()) return {};
  const TextDecoder latin1(used);
  lyrics.title = TextFrame(tag, "TIT2", latin1);
  lyrics.artist = TextFrame(tag, "TPE1", latin1);
  lyrics.encoding = used;
  const int seconds = file.audioProperties() ? file.audioProperties()->lengthInMilliseconds() : 0;
  FinishTimes(lyrics, std::uint32_t(std::max(0, seconds)));
  return lyrics;
}

void WriteLyricsTags(const std::string& mp3Path, const Lyrics& words, const std::string& fallbackTitle) {
  if (words.empty()) return;
  const QString target = ResolveOutputName(QFile::decodeName(mp3Path.c_str()));
  if (target.isEmpty()) throw ELyricsError(mp3Path + ": the symbolic links loop");
  QString error;
  const QString temporary = CreateSiblingFile(target, &error);
  if (temporary.isEmpty())
    throw ELyricsError(mp3Path + ": cannot make a file beside it for the tags: " + error.toStdString());
  const std::string temp = QFile::encodeName(temporary).toStdString();
  const std::string to = QFile::encodeName(target).toStdString();
  try {
    std::filesystem::copy_file(to, temp, std::filesystem::copy_options::overwrite_existing);

    TagLib::MPEG::File file(temp.c_str(), false);
    if (!file.isValid()) throw ELyricsError(mp3Path + ": not an MP3 file TagLib can tag");
    TagLib::ID3v2::Tag& tag = *file.ID3v2Tag(true);
    for (const char* id : {"TIT2", "TPE1", "USLT", "SYLT"}) tag.removeFrames(id);
    const std::string& title = words.title.empty() ? fallbackTitle : words.title;
    const auto utf8 = [](const std::string& s) { return TagLib::String(s, TagLib::String::UTF8); };
    auto* titleFrame = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF16);
    titleFrame->setText(utf8(title));
    tag.addFrame(titleFrame);
    if (!words.artist.empty()) {
      auto* artistFrame = new TagLib::ID3v2::TextIdentificationFrame("TPE1", TagLib::String::UTF16);
      artistFrame->setText(utf8(words.artist));
      tag.addFrame(artistFrame);
    }

    std::string plain = WriteText(words);
    if (!plain.empty()) plain.pop_back();
    auto* uslt = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF16);
    uslt->setLanguage("und");
    uslt->setText(utf8(plain));
    tag.addFrame(uslt);

    TagLib::ID3v2::SynchronizedLyricsFrame::SynchedTextList synched;
    for (std::size_t i = 0; i < words.lines.size(); ++i) {
      const Line& line = words.lines[i];
      for (std::size_t j = 0; j < line.syllables.size(); ++j) {
        std::string text = line.syllables[j].text;
        if (i > 0 && j == 0) text.insert(0, line.newPage ? "\n\n" : "\n");
        synched.append(TagLib::ID3v2::SynchronizedLyricsFrame::SynchedText(line.syllables[j].startMs, utf8(text)));
      }
    }
    auto* sylt = new TagLib::ID3v2::SynchronizedLyricsFrame(TagLib::String::UTF16);
    sylt->setLanguage("und");
    sylt->setTimestampFormat(TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMilliseconds);
    sylt->setType(TagLib::ID3v2::SynchronizedLyricsFrame::Lyrics);
    sylt->setSynchedText(synched);
    tag.addFrame(sylt);

    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3))
      throw ELyricsError(mp3Path + ": the tags could not be written (disk full?)");
  } catch (const std::filesystem::filesystem_error& e) {
    QFile::remove(temporary);
    throw ELyricsError(mp3Path + ": cannot copy it to add the tags: " + e.code().message());
  } catch (...) {
    QFile::remove(temporary);
    throw;
  }
  // TagLib does not report a failed write (a full disk, a file size
  // limit): the tagged file must hold all of the MP3 behind its new tag,
  // and be on the disk, before it replaces the MP3.
  std::error_code sized;
  const std::uint64_t before = std::filesystem::file_size(to, sized);
  const std::uint64_t after = sized ? 0 : std::filesystem::file_size(temp, sized);
  const std::uint64_t tag = Id3v2Size(temp);
  if (sized || tag == 0 || after - tag != before - Id3v2Size(to) || !Sync(temp)) {
    QFile::remove(temporary);
    throw ELyricsError(mp3Path + ": the tags could not be written (disk full?)");
  }
  std::error_code renamed;
  std::filesystem::rename(temp, to, renamed);
  if (renamed) {
    QFile::remove(temporary);
    throw ELyricsError(mp3Path + ": cannot put the tagged file in place: " + renamed.message());
  }
}

}  // namespace lyrics
