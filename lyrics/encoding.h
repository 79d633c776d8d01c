// The text encodings of lyrics found in real files: detection (uchardet)
// and conversion to UTF-8 (iconv), forgiving of bytes that are not text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lyrics {

// The encodings offered for a manual choice, as iconv names: "UTF-8",
// "GB18030" (GBK's superset), "BIG5", "CP932" (Shift-JIS as Windows writes
// it, where 0x5C is a backslash), "WINDOWS-1252" (Latin-1's superset).
const std::vector<std::string>& KnownEncodings();

// True when iconv can convert `name` into UTF-8.
bool EncodingSupported(const std::string& name);

// The encoding of `bytes`: "UTF-8" when they are valid UTF-8 (plain ASCII
// included), else uchardet's guess in the name KnownEncodings uses for it,
// else "GB18030" when the bytes decode cleanly as such, else "ISO-8859-1"
// (which decodes any byte).
std::string DetectEncoding(std::string_view bytes);

// Turns texts in one encoding into UTF-8. A byte sequence that is not valid
// in the encoding becomes U+FFFD and decoding goes on after it; an encoding
// iconv does not know decodes as ISO-8859-1. Never fails. Opened once for
// the many short texts of a song.
class TextDecoder {
 public:
  explicit TextDecoder(const std::string& encoding);
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;
  std::string operator()(std::string_view bytes) const;

 private:
  bool utf8_ = false;
  void* cd_ = nullptr;  // iconv's descriptor; null: ISO-8859-1
};

// `bytes` in `encoding` as UTF-8, as TextDecoder does it.
std::string ToUtf8(std::string_view bytes, const std::string& encoding);

}  // namespace lyrics
