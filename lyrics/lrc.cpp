#include "lyrics/lrc.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "lyrics/builder.h"
#include "lyrics/encoding.h"

namespace lyrics {

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

// "mm:ss", "mm:ss.x..." or "mm:ss:xx" in milliseconds.
std::optional<std::int64_t> ParseTime(std::string_view s) {
  std::size_t i = 0;
  std::int64_t minutes = 0, seconds = 0;
  if (i >= s.size() || !Digit(s[i])) return std::nullopt;
  for (; i < s.size() && Digit(s[i]); ++i)
    if ((minutes = minutes * 10 + (s[i] - '0')) > 100000) return std::nullopt;
  if (i >= s.size() || s[i++] != ':') return std::nullopt;
  const std::size_t secondsFrom = i;
  for (; i < s.size() && Digit(s[i]) && i - secondsFrom < 2; ++i) seconds = seconds * 10 + (s[i] - '0');
  if (i == secondsFrom) return std::nullopt;
  std::int64_t ms = (minutes * 60 + seconds) * 1000;
  if (i == s.size()) return ms;
  if (s[i] != '.' && s[i] != ':') return std::nullopt;
  ++i;
  std::int64_t scale = 100;
  for (; i < s.size() && Digit(s[i]); ++i, scale /= 10) ms += (s[i] - '0') * scale;
  if (i != s.size()) return std::nullopt;
  return ms;
}

// Text as shown: a tab is a space, other control characters are dropped.
void AppendShown(std::string& to, char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (c == '\t')
    to += ' ';
  else if (u >= 0x20 && u != 0x7F)
    to += c;
}

std::string Trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

// A word of an enhanced line, with its time (none: the line's own).
struct Word {
  std::optional<std::int64_t> ms;
  std::string text;
};

// Splits a line's text at its "<mm:ss.xx>" word times.
std::vector<Word> SplitWords(std::string_view text) {
  std::vector<Word> words(1);
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '<') {
      const std::size_t close = text.find('>', i);
      if (close != std::string_view::npos) {
        if (const auto ms = ParseTime(text.substr(i + 1, close - i - 1))) {
          words.push_back(Word{ms, {}});
          i = close + 1;
          continue;
        }
      }
    }
    AppendShown(words.back().text, text[i++]);
  }
  return words;
}

// A line of the file at one of its times. Word times are written for the
// line's first time; `shift` moves them to this one.
struct TimedLine {
  std::int64_t ms;
  std::int64_t shift;
  std::string_view text;  // empty: a break
};

std::string Decode(std::string_view bytes, const std::string& encoding, std::string& used) {
  if (encoding.empty()) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      used = "UTF-8";
      return ToUtf8(bytes.substr(3), used);
    }
    if (bytes.substr(0, 2) == "\xFF\xFE") used = "UTF-16LE";
    else if (bytes.substr(0, 2) == "\xFE\xFF") used = "UTF-16BE";
    if (!used.empty()) return ToUtf8(bytes.substr(2), used);
    used = DetectEncoding(bytes);
  } else {
    used = encoding;
  }
  return ToUtf8(bytes, used);
}

}  // namespace

Lyrics ParseLrc(std::string_view bytes, const std::string& encoding) {
  Lyrics lyrics;
  const std::string text = Decode(bytes, encoding, lyrics.encoding);
  std::int64_t offset = 0;
  std::vector<TimedLine> timed;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t to = text.find('\n', from);
    if (to == std::string::npos) to = text.size();
    std::string_view line(text.data() + from, to - from);
    from = to + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    std::vector<std::int64_t> times;
    while (!line.empty() && line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) break;
      const std::string_view tag = line.substr(1, close - 1);
      line.remove_prefix(close + 1);
      if (const auto ms = ParseTime(tag)) {
        times.push_back(*ms);
        continue;
      }
      const std::size_t colon = tag.find(':');
      if (colon == std::string_view::npos) continue;
      std::string key(tag.substr(0, colon));
      for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
      std::string shown;
      for (char c : tag.substr(colon + 1)) AppendShown(shown, c);
      const std::string value = Trim(shown);
      if (key == "ti") lyrics.title = value;
      else if (key == "ar") lyrics.artist = value;
      else if (key == "offset") {
        try {
          offset = std::clamp<std::int64_t>(std::stoll(value), -86400000, 86400000);
        } catch (...) {
        }
      }
    }
    if (times.empty()) continue;
    const std::int64_t first = *std::min_element(times.begin(), times.end());
    for (std::int64_t ms : times) timed.push_back(TimedLine{ms, ms - first, line});
  }
  std::stable_sort(timed.begin(), timed.end(), [](const TimedLine& a, const TimedLine& b) { return a.ms < b.ms; });

  auto songTime = [&](std::int64_t ms) {
    return std::uint32_t(std::clamp<std::int64_t>(ms - offset, 0, std::int64_t(UINT32_MAX)));
  };
  for (const TimedLine& t : timed) {
    const std::vector<Word> words = SplitWords(t.text);
    Line line;
    for (std::size_t k = 0; k < words.size(); ++k) {
      const std::uint32_t at = songTime(words[k].ms ? *words[k].ms + t.shift : t.ms);
      if (Trim(words[k].text).empty()) {
        // Spaces join the word before; a last word time without a word
        // ends that word.
        if (line.syllables.empty()) continue;
        line.syllables.back().text += words[k].text;
        if (k + 1 == words.size() && words[k].ms) line.syllables.back().endMs = at;
        continue;
      }
      line.syllables.push_back(Syllable{at, 0, words[k].text});
    }
    if (line.syllables.empty()) {
      // A break: the line before it ends here at the latest.
      if (!lyrics.lines.empty()) {
        Syllable& last = lyrics.lines.back().syllables.back();
        const std::uint32_t at = songTime(t.ms);
        if (last.endMs == 0 || last.endMs > at) last.endMs = at;
      }
      continue;
    }
    lyrics.lines.push_back(std::move(line));
  }
  // A word time before its line's own puts the line earlier.
  std::stable_sort(lyrics.lines.begin(), lyrics.lines.end(),
                   [](const Line& a, const Line& b) { return a.startMs() < b.startMs(); });
  FinishTimes(lyrics, 0);
  return lyrics;
}

std::string LrcTime(std::uint32_t ms) {
  const std::uint64_t hundredths = (std::uint64_t(ms) + 5) / 10;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02llu:%02llu.%02llu", static_cast<unsigned long long>(hundredths / 6000),
                static_cast<unsigned long long>(hundredths / 100 % 60),
                static_cast<unsigned long long>(hundredths % 100));
  return buffer;
}

std::string WriteLrc(const Lyrics& lyrics) {
  std::string out;
  if (!lyrics.title.empty()) out += "[ti:" + lyrics.title + "]\n";
  if (!lyrics.artist.empty()) out += "[ar:" + lyrics.artist + "]\n";
  for (const Line& line : lyrics.lines) {
    out += "[" + LrcTime(line.startMs()) + "]";
    for (const Syllable& s : line.syllables) out += "<" + LrcTime(s.startMs) + ">" + s.text;
    out += '\n';
  }
  return out;
}

std::string WriteText(const Lyrics& lyrics) {
  std::string out;
  for (const Line& line : lyrics.lines) out += line.text() + '\n';
  return out;
}

}  // namespace lyrics
