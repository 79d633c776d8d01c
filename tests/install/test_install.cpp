// Installed like a desktop program: `cmake --install` into a temporary
// prefix lays out bin/ and share/; the program finds its own files in the
// build tree and when installed; the desktop entry and the AppStream data
// pass the standard validators.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "app/datadir.h"

namespace {

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "test_install";
  static char* argv[] = {name, nullptr};
  static auto* app = new QCoreApplication(argc, argv);
  return *app;
}

void Touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

int RunTool(const QString& program, const QStringList& args, QString* output = nullptr, const QString& cwd = QString()) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  if (!cwd.isEmpty()) p.setWorkingDirectory(cwd);
  p.start(program, args);
  if (!p.waitForFinished(120000)) return -1;
  if (output) *output = QString::fromUtf8(p.readAll());
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TEST(Install, TheProgramsFilesAreFoundBesideItOrInShareTunelark) {
  App();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Build tree: files beside the executable.
  const QString build = dir.filePath("build/app");
  Touch(build + "/help/index.htm");
  EXPECT_EQ(ProgramDataPath("help/index.htm", build), build + "/help/index.htm");
  // Installed: bin/ and share/tunelark/.
  const QString bin = dir.filePath("usr/bin");
  QDir().mkpath(bin);
  Touch(dir.filePath("usr/share/tunelark/midi/demo.mid"));
  EXPECT_EQ(ProgramDataPath("midi/demo.mid", bin), dir.filePath("usr/share/tunelark/midi/demo.mid"));
  EXPECT_EQ(ProgramDataPath("midi", bin), dir.filePath("usr/share/tunelark/midi"));
  // Nowhere: the path beside the program, for a dialog to start in.
  EXPECT_EQ(ProgramDataPath("wave", bin), bin + "/wave");
}

TEST(Install, TheDesktopEntryAndAppStreamDataPassTheValidators) {
  App();
  const QString packaging = QStringLiteral(TUNELARK_SOURCE_DIR "/packaging/");
  const QString desktopValidate = QStandardPaths::findExecutable("desktop-file-validate");
  const QString appstream = QStandardPaths::findExecutable("appstreamcli");
  if (desktopValidate.isEmpty() || appstream.isEmpty())
    GTEST_SKIP() << "desktop-file-utils or appstream is not installed (scripts/install-deps.sh installs them)";
  QString out;
  EXPECT_EQ(RunTool(desktopValidate, {packaging + "tunelark.desktop"}, &out), 0) << out.toStdString();
  EXPECT_EQ(RunTool(appstream, {"validate", "--no-net", packaging + "com.quillmoor.Tunelark.metainfo.xml"}, &out), 0)
      << out.toStdString();
}

TEST(Install, InstallsIntoAnyPrefix) {
  App();
  QTemporaryDir prefix;
  ASSERT_TRUE(prefix.isValid());
  QString out;
  ASSERT_EQ(RunTool(QStringLiteral(TUNELARK_CMAKE), {"--install", TUNELARK_BUILD_DIR, "--prefix", prefix.path()}, &out), 0)
      << out.toStdString();
  const QDir p(prefix.path());
  EXPECT_TRUE(QFileInfo(p.filePath("bin/tunelark")).isExecutable());
  EXPECT_TRUE(QFile::exists(p.filePath("share/applications/tunelark.desktop")));
  EXPECT_TRUE(QFile::exists(p.filePath("share/metainfo/com.quillmoor.Tunelark.metainfo.xml")));
  EXPECT_TRUE(QFile::exists(p.filePath("share/icons/hicolor/scalable/apps/tunelark.svg")));
  for (const char* size : {"48x48", "128x128", "256x256"})
    EXPECT_TRUE(QFile::exists(p.filePath(QStringLiteral("share/icons/hicolor/%1/apps/tunelark.png").arg(size)))) << size;
  EXPECT_TRUE(QFile::exists(p.filePath("share/tunelark/midi/demo.mid")));
  EXPECT_TRUE(QFile::exists(p.filePath("share/tunelark/help/index.htm")));
  EXPECT_TRUE(QFile::exists(p.filePath("share/tunelark/help/faq.htm")));

  // The installed program runs from any folder and finds its own files.
  QTemporaryDir elsewhere;
  EXPECT_EQ(RunTool(p.filePath("bin/tunelark"), {"--help"}, &out, elsewhere.path()), 0) << out.toStdString();
  EXPECT_TRUE(out.contains("record")) << out.toStdString();
  EXPECT_EQ(ProgramDataPath("midi/demo.mid", p.filePath("bin")), p.filePath("share/tunelark/midi/demo.mid"));
  EXPECT_EQ(ProgramDataPath("help/index.htm", p.filePath("bin")), p.filePath("share/tunelark/help/index.htm"));
}

}  // namespace
