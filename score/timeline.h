// Where a voice's frames fall in the song. A voice recorded with the
// accompaniment meets it at the song time the accompaniment played then, at
// the tempo and key in force; each anchor holds from its frame on.
#pragma once

#include <cstdint>
#include <vector>

namespace score {

struct TimelineAnchor {
  std::int64_t frame = 0;  // voice frame
  double songMs = 0;       // the song time at that frame
  int tempo = 100;         // percent: a second of voice is tempo/100 s of song
  int key = 0;             // semitones the accompaniment was moved
  bool operator==(const TimelineAnchor&) const = default;
};

class Timeline {
 public:
  Timeline() = default;  // not known yet
  // A voice whose frame 0 is the song's start, at one key and tempo (a
  // voice scored offline).
  Timeline(unsigned rate, int key, int tempo);
  explicit Timeline(unsigned rate) : rate_(rate) {}

  // Anchors are added in the order of their frames; one at an earlier
  // frame than the last replaces those after it.
  void Add(const TimelineAnchor& anchor);
  bool Known() const { return rate_ > 0 && !anchors_.empty(); }
  unsigned rate() const { return rate_; }
  const std::vector<TimelineAnchor>& anchors() const { return anchors_; }

  // The song time and key at a voice frame; before the first anchor, the
  // first one reaches back.
  double SongMs(std::int64_t frame) const;
  int KeyAt(std::int64_t frame) const;

  bool operator==(const Timeline&) const = default;

 private:
  unsigned rate_ = 0;
  std::vector<TimelineAnchor> anchors_;
};

}  // namespace score
