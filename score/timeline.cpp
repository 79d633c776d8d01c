#include "score/timeline.h"

#include <algorithm>

namespace score {

Timeline::Timeline(unsigned rate, int key, int tempo) : rate_(rate) { anchors_.push_back({0, 0.0, tempo, key}); }

void Timeline::Add(const TimelineAnchor& anchor) {
  while (!anchors_.empty() && anchors_.back().frame >= anchor.frame) anchors_.pop_back();
  anchors_.push_back(anchor);
}

namespace {

// The anchor in force at `frame`: the last at or before it, else the first.
const TimelineAnchor& AnchorAt(const std::vector<TimelineAnchor>& anchors, std::int64_t frame) {
  auto after = std::upper_bound(anchors.begin(), anchors.end(), frame,
                                [](std::int64_t f, const TimelineAnchor& a) { return f < a.frame; });
  return after == anchors.begin() ? anchors.front() : *(after - 1);
}

}  // namespace

double Timeline::SongMs(std::int64_t frame) const {
  if (!Known()) return 0;
  const TimelineAnchor& a = AnchorAt(anchors_, frame);
  return a.songMs + double(frame - a.frame) * 1000.0 / rate_ * a.tempo / 100.0;
}

int Timeline::KeyAt(std::int64_t frame) const { return anchors_.empty() ? 0 : AnchorAt(anchors_, frame).key; }

}  // namespace score
