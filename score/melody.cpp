#include "score/melody.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/sequencer/seqdevice.h"
#include "platform/sequencer/smf.h"
#include "score/scoreerror.h"

namespace score {

namespace {

constexpr int kChannels = 16;
constexpr int kDrumChannel = 9;
// Bank select values that make a channel a drum kit, as the synthesizer
// plays them: 120 in General MIDI 2, 127 in XG.
constexpr int kGm2DrumBank = 120;
constexpr int kXgDrumBank = 127;
// The singable range the fallback counts notes in.
constexpr int kLowestSung = 40;
constexpr int kHighestSung = 84;
// A note that starts this little before the previous one ends is legato,
// not a chord.
constexpr std::uint32_t kLegatoMs = 50;
// A channel is monophonic when at most this share of its notes overlap.
constexpr double kMonophonicShare = 0.1;
// A piece of a note left between higher ones, too short to sing.
constexpr std::uint32_t kShortestPieceMs = 30;

struct TrackNote {
  Note note;
  int track = 0;
  int channel = 0;
};

std::uint32_t MsOf(std::uint64_t frame) {
  return std::uint32_t((frame * 1000 + sequencer::kSongRate / 2) / sequencer::kSongRate);
}

// Every note of the song but the drums', paired on/off per channel and key
// (a note struck again before its release ends the earlier one); a note
// never released lasts to the song's end.
std::vector<TrackNote> NotesOf(const sequencer::Song& song) {
  std::array<int, kChannels> bank{};
  struct Open {
    std::uint32_t startMs;
    int track;
    bool sounding = false;
  };
  std::array<std::array<Open, 128>, kChannels> open{};
  std::vector<TrackNote> notes;
  auto close = [&](int channel, int key, std::uint32_t atMs) {
    Open& o = open[channel][key];
    if (!o.sounding) return;
    o.sounding = false;
    if (atMs > o.startMs) notes.push_back({{o.startMs, atMs, key}, o.track, channel});
  };
  for (const sequencer::MidiEvent& e : song.events) {
    const int channel = e.status & 0x0F;
    const int kind = e.status & 0xF0;
    if (kind == 0xB0 && e.data1 == 0) bank[channel] = e.data2;
    if (kind != 0x80 && kind != 0x90) continue;
    const std::uint32_t ms = MsOf(e.frame);
    close(channel, e.data1, ms);
    const bool drums =
        channel == kDrumChannel || bank[channel] == kGm2DrumBank || bank[channel] == kXgDrumBank;
    if (kind == 0x90 && e.data2 > 0 && !drums) open[channel][e.data1] = {ms, int(e.track), true};
  }
  for (int c = 0; c < kChannels; ++c)
    for (int k = 0; k < 128; ++k) close(c, k, std::max(song.lengthMs, open[c][k].startMs + 1));
  std::stable_sort(notes.begin(), notes.end(), [](const TrackNote& a, const TrackNote& b) {
    return a.note.startMs != b.note.startMs ? a.note.startMs < b.note.startMs : a.note.pitch > b.note.pitch;
  });
  return notes;
}

// The track with the most words: lyric events, and .kar text events
// (those not starting with '@', which are headers); -1 without any.
int WordsTrack(const sequencer::Song& song) {
  std::vector<int> count(std::size_t(std::max(song.tracks, 1)), 0);
  for (const sequencer::MetaText& t : song.texts) {
    const bool words = t.type == 0x05 || (t.type == 0x01 && !t.bytes.empty() && t.bytes[0] != '@');
    if (words && t.track >= 0 && std::size_t(t.track) < count.size()) ++count[std::size_t(t.track)];
  }
  const auto best = std::max_element(count.begin(), count.end());
  return *best > 0 ? int(best - count.begin()) : -1;
}

// Of the channels with notes in `notes` (time order), the monophonic one
// with the most notes in the singable range; without a monophonic one, the
// one with the most there. -1 when no channel has notes in that range.
int MelodyChannel(const std::vector<TrackNote>& notes) {
  std::array<int, kChannels> total{}, inRange{}, overlaps{};
  std::array<std::uint32_t, kChannels> lastEnd{};
  for (const TrackNote& n : notes) {
    const int c = n.channel;
    if (total[c] > 0 && n.note.startMs + kLegatoMs < lastEnd[c]) ++overlaps[c];
    lastEnd[c] = std::max(lastEnd[c], n.note.endMs);
    ++total[c];
    if (n.note.pitch >= kLowestSung && n.note.pitch <= kHighestSung) ++inRange[c];
  }
  auto best = [&](bool monophonicOnly) {
    int chosen = -1;
    for (int c = 0; c < kChannels; ++c) {
      if (inRange[c] == 0) continue;
      if (monophonicOnly && overlaps[c] > kMonophonicShare * total[c]) continue;
      if (chosen < 0 || inRange[c] > inRange[chosen]) chosen = c;
    }
    return chosen;
  };
  const int monophonic = best(true);
  return monophonic >= 0 ? monophonic : best(false);
}

// Notes in time order made one at a time: a note is cut where the next
// one starts (of notes starting together, the highest stays).
std::vector<Note> CutOverlaps(const std::vector<Note>& notes) {
  std::vector<Note> out;
  for (const Note& n : notes) {
    if (!out.empty() && out.back().startMs == n.startMs) continue;  // a lower note of a chord
    if (!out.empty() && out.back().endMs > n.startMs) out.back().endMs = n.startMs;
    out.push_back(n);
  }
  return out;
}

// Notes in time order made one at a time by the highest sounding one: a
// lower note is heard only where nothing higher sounds.
std::vector<Note> HighestVoice(const std::vector<Note>& notes) {
  std::vector<std::uint32_t> times;
  for (const Note& n : notes) times.insert(times.end(), {n.startMs, n.endMs});
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  std::set<std::pair<int, std::size_t>> sounding;  // (pitch, index)
  std::vector<std::pair<std::uint32_t, std::size_t>> ends;  // min-heap of (end, index)
  auto later = [](const auto& a, const auto& b) { return a.first > b.first; };
  std::vector<Note> out;
  std::size_t next = 0;
  std::size_t current = notes.size();  // the note `out.back()` is a piece of
  for (std::size_t t = 0; t + 1 < times.size(); ++t) {
    const std::uint32_t at = times[t];
    while (!ends.empty() && ends.front().first <= at) {
      sounding.erase({notes[ends.front().second].pitch, ends.front().second});
      std::pop_heap(ends.begin(), ends.end(), later);
      ends.pop_back();
    }
    for (; next < notes.size() && notes[next].startMs <= at; ++next) {
      sounding.insert({notes[next].pitch, next});
      ends.emplace_back(notes[next].endMs, next);
      std::push_heap(ends.begin(), ends.end(), later);
    }
    if (sounding.empty()) {
      current = notes.size();
      continue;
    }
    const std::size_t top = std::prev(sounding.end())->second;
    if (top == current && out.back().endMs == at) {
      out.back().endMs = times[t + 1];
    } else {
      out.push_back({at, times[t + 1], notes[top].pitch});
      current = top;
    }
  }
  out.erase(std::remove_if(out.begin(), out.end(),
                           [](const Note& n) { return n.endMs - n.startMs < kShortestPieceMs; }),
            out.end());
  return out;
}

std::vector<Note> Pick(const std::vector<TrackNote>& notes, int track, int channel) {
  std::vector<Note> picked;
  for (const TrackNote& n : notes)
    if (n.channel == channel && (track < 0 || n.track == track)) picked.push_back(n.note);
  return picked;
}

}  // namespace

Melody MelodyOfSong(const sequencer::Song& song, int channel) {
  const std::vector<TrackNote> notes = NotesOf(song);
  Melody melody;
  if (channel >= 0 && channel < kChannels) {
    melody.notes = HighestVoice(Pick(notes, -1, channel));
    melody.channel = melody.notes.empty() ? -1 : channel;
    return melody;
  }
  int track = WordsTrack(song);
  std::vector<TrackNote> candidates;
  if (track >= 0)
    std::copy_if(notes.begin(), notes.end(), std::back_inserter(candidates),
                 [&](const TrackNote& n) { return n.track == track; });
  if (candidates.empty()) {
    track = -1;
    candidates = notes;
  }
  int chosen = MelodyChannel(candidates);
  if (chosen < 0 && track >= 0) {  // the words' track has notes, none singable: all tracks
    track = -1;
    chosen = MelodyChannel(notes);
  }
  if (chosen < 0) return melody;
  melody.notes = CutOverlaps(Pick(notes, track, chosen));
  melody.channel = chosen;
  return melody;
}

Melody ReadMelody(const std::string& path, int channel) {
  // A backing that is no MIDI file (a WAV of hundreds of MB) is told by its
  // first bytes, never read whole.
  std::uint8_t head[12];
  std::size_t headSize = 0;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EScoreError(path + ": " + std::strerror(errno));
    in.read(reinterpret_cast<char*>(head), sizeof head);
    headSize = std::size_t(in.gcount());
  }
  if (!sequencer::LooksLikeMidi(head, headSize)) return {};
  std::vector<std::uint8_t> bytes;
  errno = 0;
  if (!sequencer::ReadWholeFile(path, sequencer::kMaxMidiBytes, bytes)) {
    if (bytes.size() > sequencer::kMaxMidiBytes / 2) throw EScoreError(path + " is too large for a MIDI file");
    throw EScoreError(path + ": " + std::strerror(errno));
  }
  sequencer::Song song;
  switch (sequencer::ParseSmf(bytes.data(), bytes.size(), song)) {
    case sequencer::SmfResult::Ok: return MelodyOfSong(song, channel);
    case sequencer::SmfResult::NoNotes: return {};
    case sequencer::SmfResult::NotMidi:
    case sequencer::SmfResult::Truncated: break;
  }
  throw EScoreError(path + " is a damaged MIDI file");
}

}  // namespace score
