// Soundfonts: the default is the best installed, the user's choice is
// remembered and comes first, and the MIDI device sheet lists and applies.
#include <QListWidget>

#include "platform/devicesheet/soundfontdialog.h"
#include "platform/sequencer/soundfonts.h"
#include "platform/sequencer/synth.h"
#include "seqtest.h"

using namespace seqtest;

namespace {

class Soundfonts : public SeqTest {};

const char* const kLite = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3";
const char* const kTim = "/usr/share/sounds/sf2/TimGM6mb.sf2";

TEST_F(Soundfonts, TheBestInstalledComesFirstAndTheRememberedChoiceBeforeIt) {
  const auto installed = sequencer::InstalledSoundfonts();
  ASSERT_FALSE(installed.empty());
  const bool lite = QFile::exists(kLite);
  EXPECT_EQ(sequencer::DefaultSoundfont(), lite ? kLite : kTim);
  EXPECT_EQ(installed.front(), sequencer::DefaultSoundfont());
  // Each file once, though default-GM links point at them.
  for (std::size_t i = 0; i < installed.size(); ++i)
    for (std::size_t j = i + 1; j < installed.size(); ++j)
      EXPECT_NE(QFileInfo(QString::fromStdString(installed[i])).canonicalFilePath(),
                QFileInfo(QString::fromStdString(installed[j])).canonicalFilePath());

  // The environment (the tests' small soundfont) comes first, then the
  // remembered choice; a remembered file that is gone is skipped.
  sequencer::RememberSoundfont(dir.filePath("gone.sf2").toStdString());
  auto candidates = sequencer::SoundfontCandidates();
  ASSERT_GE(candidates.size(), 1u);
  EXPECT_EQ(candidates[0], kTim);
  EXPECT_EQ(std::count(candidates.begin(), candidates.end(), dir.filePath("gone.sf2").toStdString()), 0);
  sequencer::RememberSoundfont("");
  EXPECT_EQ(sequencer::RememberedSoundfont(), "");
}

TEST_F(Soundfonts, TheDeviceSheetListsTheInstalledAndRemembersTheChoice) {
  sequencer::SoundfontDialog dialog(nullptr, QStringLiteral("MIDI 设备"));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("MIDI 设备"));
  auto* list = dialog.findChild<QListWidget*>();
  ASSERT_NE(list, nullptr);
  EXPECT_GE(list->count(), int(sequencer::InstalledSoundfonts().size()));
  dialog.choose(QString::fromUtf8(kTim));
  EXPECT_EQ(dialog.chosen(), QString::fromUtf8(kTim));
  dialog.apply();
  EXPECT_EQ(sequencer::RememberedSoundfont(), kTim);
  // A file chosen from elsewhere joins the list.
  const int before = list->count();
  dialog.choose(dir.filePath("mine.sf2"));
  EXPECT_EQ(list->count(), before + 1);
  EXPECT_EQ(dialog.chosen(), dir.filePath("mine.sf2"));
}

// Registered before the synthesizer exists, so it runs after the
// synthesizer's own exit handler: by then the load must be over.
void ExitWithTheLoadsState() {
  const auto& synth = sequencer::Synth::instance();
  std::_Exit(!synth.Working() && (synth.Ready() || synth.Failed()) ? 0 : 3);
}

// A program that ends while the soundfont is still loading waits for the
// load: the loader must not run on while the libraries tear down at exit.
TEST(SoundfontAtExit, ALoadStillRunningWhenTheProgramEndsFinishesFirst) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit(ExitWithTheLoadsState);
        auto& synth = sequencer::Synth::instance();
        synth.StartLoading();
        while (!synth.Working() && !synth.Ready() && !synth.Failed()) std::this_thread::yield();
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
