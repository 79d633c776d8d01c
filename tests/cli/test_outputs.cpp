// What record and convert write, and where: never over a special file or an
// input, a take under its own name from the start (found there after a
// SIGKILL), a forced replacement beside the older file, names at the file
// system's limits, and a full disk.
#include <QFileInfo>
#include <QRegularExpression>
#include <csignal>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

#include "cli_fixture.h"

using namespace clitest;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

mode_t TypeOf(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// Starts a take and waits until it records; stderr so far in `err`.
void StartTake(QProcess& p, const QStringList& args, QByteArray& err) {
  Start(p, args, Environment());
  while (!err.contains("Recording") && p.state() == QProcess::Running) {
    p.waitForReadyRead(200);
    err += p.readAllStandardError();
  }
  ASSERT_TRUE(err.contains("Recording")) << err.constData();
}

// A small file system of its own (tmpfs; root only), unmounted at the end.
struct SmallDisk {
  QString path;
  bool mounted = false;
  SmallDisk(const QString& folder, int kilobytes) : path(folder) {
    QDir().mkpath(folder);
    const QByteArray size = "size=" + QByteArray::number(kilobytes) + "k";
    mounted = ::geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0,
                                          size.constData()) == 0;
  }
  ~SmallDisk() {
    if (mounted) ::umount(QFile::encodeName(path).constData());
  }
  // Fills it until `free` bytes are left for new files.
  void LeaveFree(qint64 free) {
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(QFile::encodeName(path).constData(), &fs), 0);
    const qint64 available = qint64(fs.f_bavail) * qint64(fs.f_frsize);
    WriteFile(path + "/fill", QByteArray(std::max<qint64>(available - free, 0), 'x'));
  }
};

}  // namespace

TEST(Outputs, SpecialFilesAndInputsAreNeverWrittenOverForcedOrNot) {
  QTemporaryDir dir;
  const QString acc = dir.filePath("acc.wav");
  WriteWav(acc, 44100, 44100);
  const QByteArray song = ReadAll(acc);
  const QString fifo = dir.filePath("fifo.wav");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
  const QString folder = dir.filePath("folder.wav");
  QDir().mkdir(folder);
  ASSERT_TRUE(QFile::link(acc, dir.filePath("link.wav")));
  ASSERT_EQ(::link(QFile::encodeName(acc).constData(), QFile::encodeName(dir.filePath("hard.wav")).constData()), 0);
  // A device node like /dev/null's (only root may make one).
  const QString device = dir.filePath("device.wav");
  const bool root =
      ::geteuid() == 0 && ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  const QStringList before = Entries(dir.path());

  struct Case {
    QStringList args;
    int code;
    const char* reason;
  };
  std::vector<Case> cases = {
      {{"record", "-f", "-s", "1", "-o", fifo}, 1, "named pipe"},
      {{"record", "-f", "-s", "1", "-o", folder}, 1, "folder"},
      {{"record", "-f", "-a", acc, "-o", acc}, 2, "accompaniment"},
      {{"record", "-f", "-a", acc, "-o", dir.path() + "/folder.wav/.././acc.wav"}, 2, "accompaniment"},
      {{"record", "-f", "-a", acc, "-o", dir.filePath("link.wav")}, 2, "accompaniment"},
      {{"record", "-f", "-a", acc, "-o", dir.filePath("hard.wav")}, 2, "accompaniment"},
      {{"record", "-f", "-a", acc, "-o", dir.filePath("new.wav"), "--mp3", dir.filePath("link.wav")},
       2,
       "accompaniment"},
      {{"convert", acc, "-f", "-o", fifo}, 1, "named pipe"},
      {{"convert", acc, "-f", "-o", dir.filePath("link.wav")}, 2, "input"},
  };
  if (root) {
    cases.push_back({{"record", "-f", "-s", "1", "-o", device}, 1, "device"});
    cases.push_back({{"convert", acc, "-f", "-o", device}, 1, "device"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const Result r = Tunelark(c.args);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.code, c.code) << r.err.constData();
    EXPECT_TRUE(r.err.contains(c.reason)) << r.err.constData();
    EXPECT_EQ(Entries(dir.path()), before);
  }
  EXPECT_EQ(ReadAll(acc), song);
  EXPECT_EQ(TypeOf(fifo), mode_t(S_IFIFO));
  EXPECT_EQ(TypeOf(dir.filePath("link.wav")), mode_t(S_IFLNK));
  if (root) EXPECT_EQ(TypeOf(device), mode_t(S_IFCHR));
}

TEST(Outputs, ATakeIsItsOwnNameFromTheStartAndAForcedOneIsWrittenBesideTheOlderFile) {
  QTemporaryDir dir;
  const QString take = dir.filePath("take.wav");
  // Killed 1 s into the take: it is there under its name, and nothing else.
  {
    QProcess p;
    QByteArray err;
    StartTake(p, {"record", "-a", Demo(), "-o", take}, err);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    p.kill();
    Finish(p, 30000);
    EXPECT_EQ(Entries(dir.path()), QStringList({"take.wav"}));
    EXPECT_GT(QFileInfo(take).size(), 100000);
  }
  // Forced over an older file: the new take goes beside it, visibly, under a
  // name stderr gives; killed, the older file is untouched.
  WriteFile(take, "keep me");
  {
    QProcess p;
    QByteArray err;
    StartTake(p, {"record", "-f", "-a", Demo(), "-o", take}, err);
    const QStringList during = Entries(dir.path());
    ASSERT_EQ(during.size(), 2) << during.join(' ').toStdString();
    EXPECT_TRUE(QRegularExpression("^take\\.new-[A-Za-z0-9]{6}\\.wav$").match(during[0]).hasMatch())
        << during[0].toStdString();
    EXPECT_TRUE(err.contains(dir.filePath(during[0]).toUtf8())) << err.constData();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    p.kill();
    Finish(p, 30000);
    EXPECT_EQ(ReadAll(take), QByteArray("keep me"));
    QFile::remove(dir.filePath(during[0]));
  }
  // Through a link: the file it points to gets the take, the link stays.
  ASSERT_TRUE(QFile::link(take, dir.filePath("link.wav")));
  const Result linked = Tunelark({"record", "-f", "-s", "1", "-q", "-o", dir.filePath("link.wav")});
  EXPECT_EQ(linked.code, 0) << linked.err.constData();
  EXPECT_TRUE(ReadRecordedWav(take).layoutOk);
  EXPECT_EQ(TypeOf(dir.filePath("link.wav")), mode_t(S_IFLNK));
  EXPECT_EQ(Entries(dir.path()), QStringList({"link.wav", "take.wav"}));
}

TEST(Outputs, NamesAtTheFileSystemsLimitsAreRecordedConvertedAndReplaced) {
  QTemporaryDir dir;
  // A 250-byte name (a temporary one beside it must be shortened), and a
  // legal path far longer than 260 bytes.
  const QString longName = dir.filePath(QString(246, QLatin1Char('n')));
  QString deep = dir.path();
  for (int i = 0; i < 3; ++i) deep += QLatin1Char('/') + QString(200, QLatin1Char('d'));
  ASSERT_TRUE(QDir().mkpath(deep));
  for (const QString& base : {longName, deep + "/take"}) {
    SCOPED_TRACE(base.size());
    for (const char* force : {"", "-f"}) {
      QStringList args = {"record", "-s", "1", "-q", "-o", base + ".wav", "--mp3", base + ".mp3"};
      if (*force) args << force;
      const Result r = Tunelark(args);
      EXPECT_EQ(r.code, 0) << r.err.constData();
      EXPECT_TRUE(ReadRecordedWav(base + ".wav").layoutOk);
      EXPECT_GT(Decode(base + ".mp3").frames, 0);
      EXPECT_EQ(Entries(QFileInfo(base).path()).size(), 2) << Entries(QFileInfo(base).path()).join(' ').toStdString();
    }
  }
}

TEST(Outputs, AFullDiskLeavesNoTakeThatHoldsNothingAndSaysTheMp3DoesNotFit) {
  QTemporaryDir dir;
  SmallDisk disk(dir.filePath("small"), 256);
  if (!disk.mounted) GTEST_SKIP() << "needs root to mount a small tmpfs file system";
  // Room for a file's first page, not for the recorder's first buffer with
  // the free space it keeps.
  disk.LeaveFree(16 * 1024);
  const Result take = Tunelark({"record", "-s", "2", "-q", "-o", disk.path + "/take.wav"});
  EXPECT_FALSE(take.crashed);
  EXPECT_EQ(take.code, 1);
  EXPECT_TRUE(take.err.contains("nothing could be recorded")) << take.err.constData();
  EXPECT_EQ(Entries(disk.path), QStringList({"fill"}));

  // The take fits elsewhere; its MP3 does not.
  const QString mp3 = disk.path + "/take.mp3";
  const Result withMp3 = Tunelark({"record", "-s", "2", "-q", "-o", dir.filePath("take.wav"), "--mp3", mp3});
  EXPECT_EQ(withMp3.code, 1);
  ASSERT_EQ(withMp3.ErrLines().size(), 1) << withMp3.err.constData();
  EXPECT_TRUE(withMp3.err.contains(mp3.toUtf8())) << withMp3.err.constData();
  EXPECT_TRUE(withMp3.err.contains("the disk is full")) << withMp3.err.constData();
  EXPECT_TRUE(ReadRecordedWav(dir.filePath("take.wav")).layoutOk);
  EXPECT_EQ(Entries(disk.path), QStringList({"fill"}));
}
