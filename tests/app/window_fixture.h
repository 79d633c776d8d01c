// The windows on the stepped card, with the user's part played by the test:
// the file dialogs answer from `answers` (an empty answer or none cancels),
// error boxes are collected in `errors`, files are written into `dir`.
#pragma once

#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <fstream>
#include <vector>

#include "app/dialogs.h"
#include "app/handlers.h"
#include "app/main.h"
#include "forms_fixture.h"
#include "platform/soundcard/cardcontrol.h"
#include "platform/winmsg/winmsg.h"

class WindowTest : public FormsTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    soundcard::SelectClock(soundcard::Clock::Stepped);
    soundcard::ResetCard();
    FormsTest::SetUp();
    SetHandlerErrorReporter([this](const QString& text) { errors << text; });
    TFileDialog::SetResponder([this](TFileDialog& d) {
      if (answers.isEmpty()) return false;
      d.FileName = answers.takeFirst();
      return !d.FileName.isEmpty();
    });
  }
  void TearDown() override {
    TFileDialog::SetResponder({});
    SetHandlerErrorReporter({});
    FormsTest::TearDown();
    ProcessMessages();
    wavname.clear();
    recording = false;
    soundcard::ResetCard();
  }
  QString Write(const QString& name, const std::vector<std::uint8_t>& bytes) {
    const QString path = dir.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }

  QTemporaryDir dir;
  QStringList answers, errors;
};
