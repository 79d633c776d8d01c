#include "platform/sequencer/smf.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace sequencer {

namespace {

constexpr int kDrumChannel = 9;
constexpr int kDrumBank = 128;
constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds per quarter note
// The track index sits in what was padding: the synthesizer's queues hold
// events by value, so their size stays.
static_assert(sizeof(MidiEvent) == 24);

// A bounded big-endian reader over one region of the file.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  std::size_t left() const { return std::size_t(end_ - p_); }
  bool atEnd() const { return p_ >= end_; }
  const std::uint8_t* here() const { return p_; }
  bool byte(std::uint8_t& v) {
    if (atEnd()) return false;
    v = *p_++;
    return true;
  }
  bool u16(std::uint32_t& v) { return bigEndian(2, v); }
  bool u32(std::uint32_t& v) { return bigEndian(4, v); }
  bool le32(std::uint32_t& v) {
    if (left() < 4) return false;
    v = std::uint32_t(p_[0]) | std::uint32_t(p_[1]) << 8 | std::uint32_t(p_[2]) << 16 | std::uint32_t(p_[3]) << 24;
    p_ += 4;
    return true;
  }
  bool tag(const char* id) {
    if (left() < 4 || std::memcmp(p_, id, 4) != 0) return false;
    p_ += 4;
    return true;
  }
  bool skip(std::size_t n) {
    if (left() < n) return false;
    p_ += n;
    return true;
  }
  // A variable-length quantity of at most four bytes.
  bool vlq(std::uint32_t& v) {
    v = 0;
    for (int i = 0; i < 4; ++i) {
      std::uint8_t b;
      if (!byte(b)) return false;
      v = (v << 7) | (b & 0x7F);
      if (!(b & 0x80)) return true;
    }
    return false;
  }

 private:
  bool bigEndian(int n, std::uint32_t& v) {
    if (left() < std::size_t(n)) return false;
    v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | *p_++;
    return true;
  }
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

// An event as read from a track, before the tempo map gives it a frame.
struct TickEvent {
  std::uint64_t tick;
  std::uint32_t order;  // track and position within it, for a stable merge
  bool tempo;           // a tempo change: `tempoValue` holds it
  std::uint32_t tempoValue;
  MidiEvent event;
  std::uint8_t textType = 0;  // a text meta event: its bytes in Song::texts[textIndex]
  std::uint32_t textIndex = 0;
};

// Number of data bytes of a channel message.
int DataBytes(std::uint8_t status) {
  const std::uint8_t kind = status & 0xF0;
  return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

// Reads one track's events into `out`. A track that ends without an
// end-of-track event, or in the middle of an event, keeps what was read
// before; the end of the track is the time of its last complete event.
void ReadTrack(Reader r, int track, std::vector<TickEvent>& out, std::vector<char>& sysex,
               std::vector<MetaText>& texts, std::uint64_t& trackEnd) {
  std::uint64_t tick = 0;
  std::uint8_t running = 0;
  std::uint32_t index = 0;
  auto order = [&] { return (std::uint32_t(track) << 22) | std::min<std::uint32_t>(index++, (1u << 22) - 1); };
  while (!r.atEnd()) {
    std::uint32_t delta;
    if (!r.vlq(delta)) return;
    std::uint8_t status;
    if (!r.byte(status)) return;
    const std::uint64_t at = tick + delta;
    if (status == 0xFF) {  // meta event
      std::uint8_t type;
      std::uint32_t length;
      if (!r.byte(type) || !r.vlq(length) || r.left() < length) return;
      const std::uint8_t* body = r.here();
      r.skip(length);
      tick = at;
      trackEnd = tick;
      running = 0;
      if (type == 0x2F) return;  // end of track
      if (type == 0x51 && length == 3) {
        const std::uint32_t tempo = std::uint32_t(body[0]) << 16 | std::uint32_t(body[1]) << 8 | body[2];
        if (tempo > 0) out.push_back(TickEvent{tick, order(), true, tempo, {}});
      } else if ((type == 0x01 || type == 0x03 || type == 0x05) && length > 0) {
        MetaText text;
        text.type = type;
        text.track = track;
        text.bytes.assign(reinterpret_cast<const char*>(body), length);
        out.push_back(TickEvent{tick, order(), false, 0, {}, type, std::uint32_t(texts.size())});
        texts.push_back(std::move(text));
      }
      continue;
    }
    if (status == 0xF0 || status == 0xF7) {  // system exclusive, or its continuation / escape
      std::uint32_t length;
      if (!r.vlq(length) || r.left() < length) return;
      const std::uint8_t* body = r.here();
      r.skip(length);
      tick = at;
      trackEnd = tick;
      running = 0;
      // Only whole messages (F0 ... F7) go to the synthesizer.
      if (status == 0xF0 && length >= 1 && body[length - 1] == 0xF7) {
        MidiEvent e;
        e.status = 0xF0;
        e.sysexOffset = std::uint32_t(sysex.size());
        e.sysexLength = length - 1;
        e.track = std::uint16_t(track);
        sysex.insert(sysex.end(), body, body + length - 1);
        out.push_back(TickEvent{tick, order(), false, 0, e});
      }
      continue;
    }
    std::uint8_t first;
    if (status < 0x80) {  // running status: this byte is the first data byte
      if (!running) return;
      first = status;
      status = running;
    } else if (status >= 0xF0) {
      // System common and real-time bytes do not belong in a file; skip
      // their data and go on.
      const int n = status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
      if (!r.skip(std::size_t(n))) return;
      tick = at;
      trackEnd = tick;
      continue;
    } else {
      if (!r.byte(first)) return;
      running = status;
    }
    std::uint8_t second = 0;
    if (DataBytes(status) == 2 && !r.byte(second)) return;
    tick = at;
    trackEnd = tick;
    MidiEvent e;
    e.status = status;
    e.data1 = first & 0x7F;
    e.data2 = second & 0x7F;
    e.track = std::uint16_t(track);
    out.push_back(TickEvent{tick, order(), false, 0, e});
  }
}

// The time base: seconds = numerator / denominator, where the numerator
// grows by delta ticks times the tempo (or a fixed amount per tick).
struct TimeBase {
  bool smpte = false;
  std::uint64_t perTick = 0;       // SMPTE: numerator per tick
  unsigned __int128 denominator = 1;
};

bool MakeTimeBase(std::uint32_t division, TimeBase& base) {
  if (division & 0x8000) {
    const int fps = -int(std::int8_t(division >> 8));
    const std::uint32_t ticksPerFrame = division & 0xFF;
    if (ticksPerFrame == 0) return false;
    base.smpte = true;
    switch (fps) {
      case 24: case 25: case 30:
        base.perTick = 1;
        base.denominator = std::uint64_t(fps) * ticksPerFrame;
        return true;
      case 29:  // 30 drop-frame: 29.97 frames per second
        base.perTick = 1001;
        base.denominator = std::uint64_t(30000) * ticksPerFrame;
        return true;
      default:
        return false;
    }
  }
  if (division == 0) return false;
  base.denominator = (unsigned __int128)division * 1000000u;
  return true;
}

std::uint64_t ToFrames(unsigned __int128 numerator, const TimeBase& base) {
  return std::uint64_t((numerator * kSongRate + base.denominator / 2) / base.denominator);
}

const std::uint8_t* FindRmidData(const std::uint8_t* data, std::size_t size, std::size_t& length) {
  Reader r(data, size);
  std::uint32_t riffSize;
  if (!r.tag("RIFF") || !r.le32(riffSize) || !r.tag("RMID")) return nullptr;
  while (r.left() >= 8) {
    const bool isData = r.tag("data");
    if (!isData) r.skip(4);
    std::uint32_t chunk = 0;
    r.le32(chunk);
    if (isData) {
      length = std::min<std::size_t>(chunk, r.left());
      return r.here();
    }
    if (!r.skip(chunk + (chunk & 1))) return nullptr;
  }
  return nullptr;
}

}  // namespace

bool LooksLikeMidi(const std::uint8_t* data, std::size_t size) {
  if (size >= 4 && std::memcmp(data, "MThd", 4) == 0) return true;
  return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "RMID", 4) == 0;
}

SmfResult ParseSmf(const std::uint8_t* data, std::size_t size, Song& song) {
  song = Song{};
  if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0) {
    std::size_t length = 0;
    const std::uint8_t* inner = FindRmidData(data, size, length);
    if (!inner) return SmfResult::NotMidi;
    data = inner;
    size = length;
  }
  Reader r(data, size);
  std::uint32_t headerLength = 0, format = 0, tracks = 0, division = 0;
  if (!r.tag("MThd")) return SmfResult::NotMidi;
  if (!r.u32(headerLength)) return SmfResult::Truncated;
  if (headerLength < 6) return SmfResult::NotMidi;
  if (r.left() < headerLength) return SmfResult::Truncated;
  r.u16(format);
  r.u16(tracks);
  r.u16(division);
  r.skip(headerLength - 6);
  TimeBase base;
  if (format > 2 || tracks == 0 || !MakeTimeBase(division, base)) return SmfResult::NotMidi;

  std::vector<TickEvent> events;
  std::uint64_t endTick = 0;
  std::uint32_t found = 0;
  while (found < tracks && !r.atEnd()) {
    std::uint32_t length;
    const bool isTrack = r.tag("MTrk");
    if (!isTrack && !r.skip(4)) return SmfResult::Truncated;
    if (!r.u32(length)) return SmfResult::Truncated;
    if (r.left() < length) return SmfResult::Truncated;
    if (isTrack) {
      std::uint64_t trackEnd = 0;
      ReadTrack(Reader(r.here(), length), int(found), events, song.sysex, song.texts, trackEnd);
      endTick = std::max(endTick, trackEnd);
      ++found;
    }
    r.skip(length);
  }
  // A header that promises more tracks than follow is common enough in files
  // written by old tools: the tracks that are there play. A track cut short
  // by the end of the file is not played.
  if (found == 0) return SmfResult::Truncated;

  std::stable_sort(events.begin(), events.end(), [](const TickEvent& a, const TickEvent& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });

  // Walk the merged list once: the tempo map turns ticks into frames, and
  // each channel's bank and program changes tell which instruments the
  // synthesizer will select.
  unsigned __int128 numerator = 0;
  std::uint64_t lastTick = 0;
  std::uint64_t tempo = kDefaultTempo;
  auto advance = [&](std::uint64_t tick) {
    numerator += (unsigned __int128)(tick - lastTick) * (base.smpte ? base.perTick : tempo);
    lastTick = tick;
  };
  int bank[16] = {};
  bool chosen[16] = {};  // the channel has had a program change
  std::set<std::pair<int, int>> presets;
  std::set<int> programs;
  bool notes = false, sysex = false;
  song.events.reserve(events.size());
  // The texts were stored in file order; they are put in time order here.
  std::vector<MetaText> texts;
  texts.reserve(song.texts.size());
  for (const TickEvent& t : events) {
    advance(t.tick);
    if (t.tempo) {
      tempo = t.tempoValue;
      continue;
    }
    if (t.textType != 0) {
      MetaText& text = texts.emplace_back(std::move(song.texts[t.textIndex]));
      text.frame = ToFrames(numerator, base);
      text.ms = std::uint32_t((numerator * 1000 + base.denominator / 2) / base.denominator);
      continue;
    }
    MidiEvent e = t.event;
    e.frame = ToFrames(numerator, base);
    const int channel = e.status & 0x0F;
    switch (e.status & 0xF0) {
      case 0xB0:
        if (e.data1 == 0) bank[channel] = e.data2;
        break;
      case 0xC0:
        chosen[channel] = true;
        programs.insert(e.data1);
        presets.insert(channel == kDrumChannel ? std::pair(kDrumBank, int(e.data1))
                                               : std::pair(bank[channel], int(e.data1)));
        break;
      case 0x90:
        if (e.data2 > 0) {
          notes = true;
          if (!chosen[channel]) song.defaultChannels |= std::uint16_t(1u << channel);
        }
        break;
      case 0xF0: sysex = sysex || e.status == 0xF0; break;
      default: break;
    }
    song.events.push_back(e);
  }
  song.texts = std::move(texts);
  advance(std::max(endTick, lastTick));
  song.lengthFrames = ToFrames(numerator, base);
  song.lengthMs = std::uint32_t((numerator * 1000 + base.denominator / 2) / base.denominator);
  song.format = int(format);
  song.tracks = int(found);
  // A system exclusive message may reset every channel to its default or
  // make a channel a drum kit.
  if (sysex) {
    song.defaultChannels = 0xFFFF;
    for (int p : programs) presets.emplace(kDrumBank, p);
  }
  for (int c = 0; c < 16; ++c)
    if (song.defaultChannels & (1u << c)) presets.insert(c == kDrumChannel ? std::pair(kDrumBank, 0) : std::pair(0, 0));
  song.presets.assign(presets.begin(), presets.end());
  return notes ? SmfResult::Ok : SmfResult::NoNotes;
}

}  // namespace sequencer
