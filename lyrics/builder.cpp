#include "lyrics/builder.h"

#include <algorithm>

namespace lyrics {

namespace {

bool Blank(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' '; });
}

void TrimLine(Line& line) {
  std::string& first = line.syllables.front().text;
  first.erase(0, first.find_first_not_of(' '));
  std::string& last = line.syllables.back().text;
  const std::size_t end = last.find_last_not_of(' ');
  last.erase(end == std::string::npos ? 0 : end + 1);
}

}  // namespace

void LyricsBuilder::AddText(std::uint32_t ms, const std::string& text) {
  std::string piece;
  int breaks = 0;  // CR or LF in a row
  bool afterCr = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (c == '\n' && afterCr) {  // CR LF is one break
        afterCr = false;
        continue;
      }
      if (breaks == 0) {
        AddSyllable(ms, std::move(piece));
        piece.clear();
      }
      ++breaks;
      afterCr = c == '\r';
      continue;
    }
    afterCr = false;
    if (breaks > 0) {
      pending_ = std::min(2, pending_ + breaks);
      breaks = 0;
    }
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\t')
      piece += ' ';
    else if (u >= 0x20 && u != 0x7F)
      piece += c;
  }
  if (breaks > 0)
    pending_ = std::min(2, pending_ + breaks);
  else
    AddSyllable(ms, std::move(piece));
}

void LyricsBuilder::AddSyllable(std::uint32_t ms, std::string text) {
  if (text.empty()) return;
  if (Blank(text)) {
    // Spaces between words, sent as syllables of their own.
    if (pending_ == 0 && !lyrics_.lines.empty()) lyrics_.lines.back().syllables.back().text += text;
    return;
  }
  if (lyrics_.lines.empty() || pending_ > 0) {
    Line& line = lyrics_.lines.emplace_back();
    line.newPage = lyrics_.lines.size() == 1 || pending_ >= 2;
  }
  pending_ = 0;
  lyrics_.lines.back().syllables.push_back(Syllable{ms, 0, std::move(text)});
  ++syllables_;
}

void FinishTimes(Lyrics& lyrics, std::uint32_t songEndMs) {
  std::vector<Line>& lines = lyrics.lines;
  if (!lines.empty()) lines.front().newPage = true;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::vector<Syllable>& s = lines[i].syllables;
    TrimLine(lines[i]);
    for (std::size_t j = 1; j < s.size(); ++j) s[j].startMs = std::max(s[j].startMs, s[j - 1].startMs);
    for (std::size_t j = 0; j + 1 < s.size(); ++j) s[j].endMs = s[j + 1].startMs;
    Syllable& last = s.back();
    const std::uint32_t hold = s.size() > 1 ? kWordHoldMs : kLineHoldMs;
    std::uint32_t end = last.startMs + std::min(hold, UINT32_MAX - last.startMs);
    if (last.endMs > last.startMs) end = last.endMs;
    if (i + 1 < lines.size()) end = std::min(end, lines[i + 1].startMs());
    else if (songEndMs > last.startMs) end = std::min(end, songEndMs);
    last.endMs = std::max(end, last.startMs);
  }
}

}  // namespace lyrics
