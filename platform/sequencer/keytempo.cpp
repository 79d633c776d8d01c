#include "platform/sequencer/keytempo.h"

#include <algorithm>

namespace sequencer {

KeyTempo KeyTempo::Clamped() const {
  return KeyTempo{std::clamp(key, kMinKey, kMaxKey), std::clamp(tempo, kMinTempo, kMaxTempo)};
}

std::uint64_t HeardFromSong(std::uint64_t songTime, int tempo) {
  if (tempo <= 0) return songTime;
  return (songTime * 100 + std::uint64_t(tempo) / 2) / std::uint64_t(tempo);
}

std::uint64_t SongFromHeard(std::uint64_t heardTime, int tempo) {
  if (tempo <= 0) return heardTime;
  return (heardTime * std::uint64_t(tempo) + 50) / 100;
}

}  // namespace sequencer
