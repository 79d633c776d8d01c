// The windows on the stepped card, with the user's part played by the test:
// the file dialogs answer from `answers` (an empty answer or none cancels),
// error boxes are collected in `errors`, questions in `questions` (answered
// No unless `answerYes`), files are written into `dir`; the home folder and
// the desktop's trash are in `dir` too.
#pragma once

#include <QDir>
#include <QStringList>
#include <QToolButton>
#include <QTemporaryDir>

#include <cstdint>
#include <fstream>
#include <vector>

#include "app/dialogs.h"
#include "app/handlers.h"
#include "app/main.h"
#include "forms_fixture.h"
#include "platform/sequencer/seqcontrol.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/winmsg/winmsg.h"

// A one-note MIDI file of `ms` milliseconds: SMPTE time at 25 frames of 40
// ticks, so one tick is one millisecond.
inline std::vector<std::uint8_t> Song(std::uint32_t ms) {
  std::vector<std::uint8_t> track = {0x00, 0x90, 60, 100, 0x01, 0x80, 60, 0};
  std::uint32_t d = ms - 1;
  std::vector<std::uint8_t> delta = {std::uint8_t(d & 0x7F)};
  while (d >>= 7) delta.insert(delta.begin(), std::uint8_t(0x80 | (d & 0x7F)));
  track.insert(track.end(), delta.begin(), delta.end());
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  std::vector<std::uint8_t> f = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0xE7, 40, 'M', 'T', 'r', 'k', 0, 0, 0,
                                 std::uint8_t(track.size())};
  f.insert(f.end(), track.begin(), track.end());
  return f;
}

class WindowTest : public FormsTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    savedHome = qgetenv("HOME");
    savedDataHome = qgetenv("XDG_DATA_HOME");
    // It exists, beside the test's files: the trash is then the home's.
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("home/.local/share")));
    qputenv("HOME", dir.filePath(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("home/.local/share")).toLocal8Bit());
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    FormsTest::SetUp();
    SetHandlerErrorReporter([this](const QString& text) { errors << text; });
    TFileDialog::SetResponder([this](TFileDialog& d) {
      if (answers.isEmpty()) return false;
      d.FileName = answers.takeFirst();
      return !d.FileName.isEmpty();
    });
    SetQuestionResponder([this](const QString& text) {
      questions << text;
      return answerYes;
    });
  }
  void TearDown() override {
    TFileDialog::SetResponder({});
    SetHandlerErrorReporter({});
    SetQuestionResponder({});
    Restore("HOME", savedHome);
    Restore("XDG_DATA_HOME", savedDataHome);
    FormsTest::TearDown();
    ProcessMessages();
    wavname.clear();
    recording = false;
    soundcard::ResetCard();
  }
  static void Restore(const char* name, const QByteArray& value) {
    if (value.isNull())
      qunsetenv(name);
    else
      qputenv(name, value);
  }
  // Chooses `path` in the open dialog, runs the browse command and waits
  // until the accompaniment's devices are settled.
  void Browse(const QString& path) {
    answers = QStringList{path};
    Form1->btbrowse->click();
    ASSERT_TRUE(sequencer::WaitDevicesSettled(30000));
  }
  QString Write(const QString& name, const std::vector<std::uint8_t>& bytes) {
    const QString path = dir.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }

  QTemporaryDir dir;
  QStringList answers, errors, questions;
  bool answerYes = false;
  QByteArray savedHome, savedDataHome;
};
