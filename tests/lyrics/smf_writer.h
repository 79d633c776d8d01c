// Standard MIDI files written byte by byte for the tests: tracks of
// (delta ticks, event bytes), a header with any division.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace smftest {

using Bytes = std::vector<std::uint8_t>;

struct Track {
  std::vector<std::pair<std::uint32_t, Bytes>> events;  // delta, bytes
  Track& At(std::uint32_t delta, Bytes bytes) {
    events.emplace_back(delta, std::move(bytes));
    return *this;
  }
  Track& Meta(std::uint32_t delta, std::uint8_t type, const std::string& text) {
    Bytes b{0xFF, type, std::uint8_t(text.size())};
    for (char c : text) b.push_back(std::uint8_t(c));
    return At(delta, std::move(b));
  }
  Track& Tempo(std::uint32_t delta, std::uint32_t us) {
    return At(delta, {0xFF, 0x51, 0x03, std::uint8_t(us >> 16), std::uint8_t(us >> 8), std::uint8_t(us)});
  }
  Track& Note(std::uint32_t delta) { return At(delta, {0x90, 60, 100}); }
};

inline void VarLen(Bytes& out, std::uint32_t v) {
  std::uint8_t buf[5];
  int n = 0;
  buf[n++] = v & 0x7F;
  while (v >>= 7) buf[n++] = std::uint8_t(0x80 | (v & 0x7F));
  while (n) out.push_back(buf[--n]);
}

// `endDelta`: the ticks from a track's last event to its end-of-track.
inline Bytes File(const std::vector<Track>& tracks, std::uint16_t division, std::uint32_t endDelta = 0) {
  Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, std::uint8_t(tracks.size() > 1 ? 1 : 0), 0,
               std::uint8_t(tracks.size()), std::uint8_t(division >> 8), std::uint8_t(division)};
  for (const Track& t : tracks) {
    Bytes body;
    for (const auto& [delta, bytes] : t.events) {
      VarLen(body, delta);
      body.insert(body.end(), bytes.begin(), bytes.end());
    }
    VarLen(body, endDelta);
    body.insert(body.end(), {0xFF, 0x2F, 0x00});
    const std::uint32_t n = std::uint32_t(body.size());
    out.insert(out.end(), {'M', 'T', 'r', 'k', std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8),
                           std::uint8_t(n)});
    out.insert(out.end(), body.begin(), body.end());
  }
  return out;
}

}  // namespace smftest
