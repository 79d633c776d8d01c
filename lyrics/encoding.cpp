#include "lyrics/encoding.h"

#include <iconv.h>
#include <uchardet.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cerrno>
#include <cstring>
#include <memory>

namespace lyrics {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 character at `i` (shortest form, no
// surrogates, at most U+10FFFF), or 0.
std::size_t CharLength(std::string_view s, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return 1;
  int extra = 0;
  std::uint32_t min = 0;
  if ((c & 0xE0) == 0xC0)
    extra = 1, min = 0x80;
  else if ((c & 0xF0) == 0xE0)
    extra = 2, min = 0x800;
  else if ((c & 0xF8) == 0xF0)
    extra = 3, min = 0x10000;
  else
    return 0;
  if (i + std::size_t(extra) >= s.size()) return 0;
  std::uint32_t cp = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const unsigned char t = static_cast<unsigned char>(s[i + std::size_t(k)]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (t & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return std::size_t(extra) + 1;
}

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = CharLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// Well-formed UTF-8: each byte that starts no valid character becomes
// U+FFFD. (iconv's own UTF-8 decoder lets the old five- and six-byte
// forms through.)
std::string RepairUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 8);
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = CharLength(s, i);
    if (n == 0) {
      out += kReplacement;
      ++i;
    } else {
      out.append(s.substr(i, n));
      i += n;
    }
  }
  return out;
}

// uchardet's names for the encodings of KnownEncodings; anything else it
// names is passed to iconv as it is.
std::string CanonicalName(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  if (name == "GB2312" || name == "GBK" || name == "HZ-GB-2312") return "GB18030";
  if (name == "SHIFT_JIS" || name == "SHIFT-JIS" || name == "SJIS" || name == "WINDOWS-31J") return "CP932";
  if (name == "BIG-5") return "BIG5";
  if (name == "LATIN1" || name == "LATIN-1") return "ISO-8859-1";
  return name;
}

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

Converter Open(const std::string& encoding) {
  iconv_t cd = iconv_open("UTF-8", encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return Converter(cd);
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Converts with `cd`; `clean` tells whether every byte was valid.
std::string Convert(iconv_t cd, std::string_view bytes, bool& clean) {
  clean = true;
  std::string out;
  out.reserve(bytes.size() * 2 + 8);
  char buffer[1024];
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    char* to = buffer;
    std::size_t toLeft = sizeof buffer;
    const std::size_t r = iconv(cd, &in, &inLeft, &to, &toLeft);
    out.append(buffer, std::size_t(to - buffer));
    if (r != std::size_t(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ: an invalid sequence; EINVAL: one cut off at the end.
    clean = false;
    out += kReplacement;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Flush a stateful encoding's shift sequence.
  char* to = buffer;
  std::size_t toLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &to, &toLeft);
  out.append(buffer, std::size_t(to - buffer));
  return out;
}

bool DecodesCleanly(std::string_view bytes, const std::string& encoding) {
  Converter cd = Open(encoding);
  if (!cd) return false;
  bool clean = false;
  Convert(static_cast<iconv_t>(cd.get()), bytes, clean);
  return clean;
}

}  // namespace

const std::vector<std::string>& KnownEncodings() {
  static const std::vector<std::string> names = {"UTF-8", "GB18030", "BIG5", "CP932", "WINDOWS-1252"};
  return names;
}

bool EncodingSupported(const std::string& name) { return !name.empty() && Open(name) != nullptr; }

std::string DetectEncoding(std::string_view bytes) {
  if (ValidUtf8(bytes)) return "UTF-8";
  std::string guess;
  if (uchardet_t detector = uchardet_new()) {
    uchardet_handle_data(detector, bytes.data(), bytes.size());
    uchardet_data_end(detector);
    if (const char* name = uchardet_get_charset(detector)) guess = CanonicalName(name);
    uchardet_delete(detector);
  }
  // Latin-1 text is mostly written by Windows, whose curly quotes sit in
  // 0x80-0x9F; a byte it leaves undefined leaves plain Latin-1.
  if (guess == "ISO-8859-1" || guess == "WINDOWS-1252")
    return DecodesCleanly(bytes, "WINDOWS-1252") ? "WINDOWS-1252" : "ISO-8859-1";
  if (!guess.empty() && guess != "ASCII" && DecodesCleanly(bytes, guess)) return guess;
  if (DecodesCleanly(bytes, "GB18030")) return "GB18030";
  return "ISO-8859-1";
}

TextDecoder::TextDecoder(const std::string& encoding) {
  const std::string name = CanonicalName(encoding);
  utf8_ = name == "UTF-8" || name == "UTF8";
  cd_ = Open(name).release();
}

TextDecoder::~TextDecoder() {
  if (cd_) iconv_close(static_cast<iconv_t>(cd_));
}

std::string TextDecoder::operator()(std::string_view bytes) const {
  if (bytes.empty()) return {};
  if (utf8_) return ValidUtf8(bytes) ? std::string(bytes) : RepairUtf8(bytes);
  if (!cd_) return Latin1ToUtf8(bytes);
  bool clean = false;
  std::string out = Convert(static_cast<iconv_t>(cd_), bytes, clean);
  return ValidUtf8(out) ? out : RepairUtf8(out);
}

std::string ToUtf8(std::string_view bytes, const std::string& encoding) { return TextDecoder(encoding)(bytes); }

}  // namespace lyrics
