#include "app/lyricslayout.h"

#include <algorithm>

namespace lyricsview {

double SungFraction(const lyrics::Syllable& syllable, std::int64_t ms) {
  if (ms < std::int64_t(syllable.startMs)) return 0.0;
  if (ms >= std::int64_t(syllable.endMs)) return 1.0;
  return double(ms - syllable.startMs) / double(syllable.endMs - syllable.startMs);
}

Slots SlotsAt(const lyrics::Lyrics& words, std::int64_t ms) {
  const auto& lines = words.lines;
  if (lines.empty()) return {};
  const auto unfinished = std::partition_point(
      lines.begin(), lines.end(), [ms](const lyrics::Line& line) { return std::int64_t(line.endMs()) <= ms; });
  const int count = int(lines.size());
  const int current = unfinished == lines.end() ? count - 1 : int(unfinished - lines.begin());
  return {current, current + 1 < count ? current + 1 : -1};
}

double SungWidth(const lyrics::Line& line, const std::vector<double>& edges, std::int64_t ms) {
  const auto& syllables = line.syllables;
  if (edges.size() != syllables.size() + 1) return 0.0;
  // The first syllable not yet sung to its end.
  const auto singing = std::partition_point(syllables.begin(), syllables.end(), [ms](const lyrics::Syllable& s) {
    return std::int64_t(std::max(s.startMs, s.endMs)) <= ms;
  });
  const std::size_t i = std::size_t(singing - syllables.begin());
  if (i == syllables.size()) return edges.back();
  return edges[i] + SungFraction(*singing, ms) * (edges[i + 1] - edges[i]);
}

}  // namespace lyricsview
