// The scorer's error: a voice or song that cannot be read.
#pragma once

#include <stdexcept>

namespace score {

class EScoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace score
