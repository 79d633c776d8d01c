// The error of the lyrics layer: a file that cannot be read, an unknown
// text encoding, tags that cannot be written. The text names the file.
#pragma once

#include <stdexcept>

namespace lyrics {

class ELyricsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace lyrics
