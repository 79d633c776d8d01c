#include "lyrics/midilyrics.h"

#include <map>
#include <vector>

#include "lyrics/builder.h"
#include "lyrics/encoding.h"

namespace lyrics {

namespace {

constexpr std::uint8_t kText = 0x01;
constexpr std::uint8_t kLyric = 0x05;

bool IsHeader(const std::string& bytes) { return !bytes.empty() && bytes[0] == '@'; }

// The track holding most events of a type (the first such track on a tie);
// -1 when there are none.
int BusiestTrack(const sequencer::Song& song, std::uint8_t type) {
  std::map<int, std::size_t> counts;
  for (const sequencer::MetaText& t : song.texts)
    if (t.type == type && !IsHeader(t.bytes)) ++counts[t.track];
  int best = -1;
  std::size_t most = 0;
  for (const auto& [track, n] : counts)
    if (n > most) best = track, most = n;
  return best;
}

bool StartsWithMarker(const std::string& bytes) { return !bytes.empty() && (bytes[0] == '\\' || bytes[0] == '/'); }

// Whether a track's text events are .kar words: the file has .kar headers,
// the track marks its pages and lines, or it spreads at least four of them
// over the song. Many plain MIDI files carry a remark or two as text events
// ("Sequenced by ...", at the start), which are no words.
bool KarWords(const sequencer::Song& song, int track) {
  int count = 0;
  std::uint64_t first = 0, last = 0;
  for (const sequencer::MetaText& t : song.texts) {
    if (t.type != kText) continue;
    if (IsHeader(t.bytes) || (t.track == track && StartsWithMarker(t.bytes))) return true;
    if (t.track != track) continue;
    if (count++ == 0) first = t.frame;
    last = t.frame;
  }
  return count >= 4 && last > first;
}

// Whether the events of a kind on a track use the .kar markers: text events
// do; lyric events copied from them by some tools do too, and then have no
// CR or LF of their own.
bool UsesMarkers(const sequencer::Song& song, std::uint8_t type, int track) {
  if (type == kText) return true;
  bool markers = false;
  for (const sequencer::MetaText& t : song.texts) {
    if (t.type != type || t.track != track) continue;
    if (t.bytes.find_first_of("\r\n") != std::string::npos) return false;
    markers = markers || StartsWithMarker(t.bytes);
  }
  return markers;
}

// The words of one kind from one track. Markers are looked for in the
// file's bytes: in Shift-JIS a backslash decodes to a yen sign.
Lyrics Build(const sequencer::Song& song, std::uint8_t type, int track, const TextDecoder& decode) {
  const bool markers = UsesMarkers(song, type, track);
  LyricsBuilder builder;
  for (const sequencer::MetaText& t : song.texts) {
    if (t.type != type || t.track != track || IsHeader(t.bytes)) continue;
    std::string_view bytes = t.bytes;
    if (markers && StartsWithMarker(t.bytes)) {
      if (bytes[0] == '\\')
        builder.BreakPage();
      else
        builder.BreakLine();
      bytes.remove_prefix(1);
    }
    builder.AddText(t.ms, decode(bytes));
  }
  return builder.Take();
}

std::size_t CountSyllables(const Lyrics& lyrics) {
  std::size_t n = 0;
  for (const Line& line : lyrics.lines) n += line.syllables.size();
  return n;
}

}  // namespace

Lyrics LyricsOfSong(const sequencer::Song& song, const std::string& encoding) {
  int textTrack = BusiestTrack(song, kText);
  if (textTrack >= 0 && !KarWords(song, textTrack)) textTrack = -1;
  const int lyricTrack = BusiestTrack(song, kLyric);
  if (textTrack < 0 && lyricTrack < 0) return {};

  // The encoding is found from all the words that may be shown, together.
  std::string used = encoding;
  if (used.empty()) {
    std::string sample;
    for (const sequencer::MetaText& t : song.texts) {
      const bool candidate = (t.type == kText && (t.track == textTrack || IsHeader(t.bytes))) ||
                             (t.type == kLyric && t.track == lyricTrack);
      if (candidate) sample.append(t.bytes).push_back('\n');
    }
    used = DetectEncoding(sample);
  }
  const TextDecoder decode(used);

  Lyrics best;
  if (lyricTrack >= 0) best = Build(song, kLyric, lyricTrack, decode);
  if (textTrack >= 0) {
    Lyrics text = Build(song, kText, textTrack, decode);
    if (CountSyllables(text) >= CountSyllables(best)) best = std::move(text);
  }
  if (best.empty()) return {};

  int titles = 0;
  for (const sequencer::MetaText& t : song.texts) {
    if (t.type != kText || t.bytes.size() < 2 || t.bytes[0] != '@' || t.bytes[1] != 'T') continue;
    std::string value;
    for (char c : decode(std::string_view(t.bytes).substr(2)))
      if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) value += c;
    const std::size_t first = value.find_first_not_of(' ');
    const std::size_t last = value.find_last_not_of(' ');
    value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    if (titles == 0) best.title = value;
    else if (titles == 1) best.artist = value;
    ++titles;
  }
  best.encoding = used;
  FinishTimes(best, song.lengthMs);
  return best;
}

Lyrics ReadMidiLyrics(const std::uint8_t* data, std::size_t size, const std::string& encoding) {
  sequencer::Song song;
  const sequencer::SmfResult result = sequencer::ParseSmf(data, size, song);
  if (result != sequencer::SmfResult::Ok && result != sequencer::SmfResult::NoNotes) return {};
  return LyricsOfSong(song, encoding);
}

}  // namespace lyrics
