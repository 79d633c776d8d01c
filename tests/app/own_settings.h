// The remembered settings of a test kept in a folder of its own: what the
// code stores while an OwnSettings lives goes there, and the folder it
// replaced is put back when it ends.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

struct OwnSettings {
  OwnSettings() {
    EXPECT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  }
  ~OwnSettings() { QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, saved); }
  OwnSettings(const OwnSettings&) = delete;
  OwnSettings& operator=(const OwnSettings&) = delete;

  QTemporaryDir dir;
  QString saved = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
};
