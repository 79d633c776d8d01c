// One application object for every test of the windows, set up as the
// program sets it up.
#include <gtest/gtest.h>

#include <memory>

#include "app/Tunelark.h"
#include "platform/language/language.h"

namespace {

class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = std::make_unique<TApplication>(argc_, argv_);
    // The windows' own (Chinese) texts, whatever the locale; a test that
    // wants English chooses it.
    language::Choose(QStringLiteral("zh"));
    InitialiseApplication(*app_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[9] = "tunelark";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<TApplication> app_;
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace
