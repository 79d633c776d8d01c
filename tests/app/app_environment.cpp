// One application object for every test of the windows, set up as the
// program sets it up.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <memory>

#include "app/Tunelark.h"
#include "platform/language/language.h"

namespace {

class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The windows remember places and choices: in a folder of the tests'
    // own, never in the user's settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
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
  QTemporaryDir settings_;
  std::unique_ptr<TApplication> app_;
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace
