#include "mp3/LameCoder.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "mp3/SiblingFile.h"
#include "mp3/WavInput.h"
#include "platform/language/language.h"
#include "platform/winmsg/winmsg.h"

namespace {

// One conversion at a time in the whole program: the run processes window
// messages after every chunk, so a user command could otherwise start a
// second one inside the first.
bool g_running = false;

// The framework's change-extension rule: the text from the last dot of the
// file-name part is replaced, or the extension appended when there is none.
QString ChangeFileExt(const QString& name, const QString& ext) {
  qsizetype i = name.size() - 1;
  while (i >= 0 && name[i] != u'/' && name[i] != u'.') --i;
  if (i >= 0 && name[i] == u'.') return name.left(i) + ext;
  return name + ext;
}

template <typename T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

// Everything one file holds open. CleanUp releases it in the order the
// encoder interface expects (the stream is closed after its output buffer is
// freed); the destructor does the same on every error path.
//
// How the MP3 reaches its name: a new name is written straight, created
// exclusively so that nothing that appeared meanwhile is replaced, and
// removed when the run fails; an older file of that name is replaced only
// when the whole conversion succeeded, by a visible temporary file beside it
// (SiblingFile), so a failed or stopped run leaves neither a partial MP3 nor
// a harmed older file. An empty file is written in place, as nothing of it
// can be lost. An output that is not a regular file (a device, a pipe) is
// written directly, since it cannot be replaced by renaming. A symbolic link
// is written through: the file it points to gets the MP3, the link stays.
struct FileRun {
  enum class Way { Created, InPlace, Sibling, Direct };

  std::vector<std::int16_t> input;
  QFile in;
  QFile out;
  Way way = Way::Direct;
  QString target;              // the file that ends up holding the MP3
  int openError = 0;           // why the output could not be opened (errno)
  int writeError = 0;          // why the last write failed (errno)
  bool succeeded = false;      // set when everything was written
  std::vector<BYTE> mp3;
  HBE_STREAM stream = 0;
  bool streamOpen = false;

  bool OpenOutput(const QString& name) {
    target = ResolveOutputName(name);
    if (target.isEmpty()) {
      openError = ELOOP;
      return false;
    }
    const QFileInfo info(target);
    QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    QString file = target;
    if (!info.exists()) {
      way = Way::Created;
      mode |= QIODevice::NewOnly;
    } else if (!info.isFile()) {
      way = Way::Direct;
      mode |= QIODevice::Truncate;
    } else if (info.size() == 0) {
      way = Way::InPlace;
      mode |= QIODevice::Truncate;
    } else {
      way = Way::Sibling;
      mode |= QIODevice::Truncate;
      file = CreateSiblingFile(target, nullptr);
      if (file.isEmpty()) {
        openError = errno ? errno : EIO;
        return false;
      }
    }
    out.setFileName(file);
    errno = 0;
    if (out.open(mode)) return true;
    openError = errno ? errno : EIO;
    if (way == Way::Sibling) QFile::remove(file);
    return false;
  }

  // Closes the output: the MP3 takes its name when the run succeeded, and
  // nothing of it stays otherwise. False when putting it in place failed.
  bool CloseOutput() {
    if (!out.isOpen()) return true;
    out.close();
    bool ok = true;
    switch (way) {
      case Way::Created:
        if (!succeeded) QFile::remove(target);
        break;
      case Way::InPlace:
        if (!succeeded) QFile::resize(target, 0);
        break;
      case Way::Sibling: {
        std::error_code error;
        if (succeeded)
          std::filesystem::rename(QFile::encodeName(out.fileName()).toStdString(),
                                  QFile::encodeName(target).toStdString(), error);
        ok = succeeded && !error;
        if (!ok) QFile::remove(out.fileName());
        break;
      }
      case Way::Direct:
        break;
    }
    return ok;
  }

  // Writes all `n` bytes: a write the system cut short is continued, so a
  // full disk shows as the error of the write that could not go on.
  bool Write(const void* data, qint64 n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
      errno = 0;
      const qint64 written = out.write(p, n);
      if (written <= 0) {
        writeError = errno ? errno : EIO;
        return false;
      }
      p += written;
      n -= written;
    }
    return true;
  }

  // The error of a failed write, saying whether the disk was full.
  // The text is followed by the file and the system's reason (a file size
  // limit is not a full disk).
  ELameError WriteFailed(const char* text) const {
    const bool full = writeError == ENOSPC || out.error() == QFileDevice::ResourceError;
    const QString where = language::CannotWrite(target, full ? ENOSPC : writeError ? writeError : EIO);
    return ELameError(QString::fromLatin1(text) + QLatin1Char('\n') + where, full);
  }

  bool CleanUp() {
    Release(input);
    in.close();
    const bool closed = CloseOutput();
    Release(mp3);
    if (streamOpen) beCloseStream(stream);
    streamOpen = false;
    return closed;
  }
  ~FileRun() { CleanUp(); }
};

// True when the two names lead to the same file (the same device and inode,
// whatever links or names lead there).
bool SameFile(const QString& a, const QString& b) {
  std::error_code error;
  return std::filesystem::equivalent(std::filesystem::path(QFile::encodeName(a).toStdString()),
                                     std::filesystem::path(QFile::encodeName(b).toStdString()), error) &&
         !error;
}

// Clears the program-wide running flag however the run ends.
struct RunGuard {
  RunGuard() { g_running = true; }
  ~RunGuard() { g_running = false; }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;
};

}  // namespace

TLameVersion::TLameVersion() { beVersion(&FVersion); }

void TLameVersion::Assign(const TLameVersion& Source) {
  FVersion.byDLLMajorVersion = Source.FVersion.byDLLMajorVersion;
  FVersion.byDLLMinorVersion = Source.FVersion.byDLLMinorVersion;
  FVersion.byMajorVersion = Source.FVersion.byMajorVersion;
  FVersion.byMinorVersion = Source.FVersion.byMinorVersion;
}

TLameCoder::TLameCoder(QObject* AOwner)
    : QObject(AOwner), FLameVersion(std::make_unique<TLameVersion>()) {}

TLameCoder::~TLameCoder() = default;

void TLameCoder::SetEnableVBR(BOOL Value) {
  FEnableVBR = Value;
  FWriteVBRHeader = Value;
}

void TLameCoder::SetInputFiles(const QStringList& Value) {
  FInputFiles = Value;
  FOutputFiles.clear();
  for (const QString& name : FInputFiles) FOutputFiles.append(ChangeFileExt(name, FDefaultExt));
}

void TLameCoder::Assign(const TLameCoder& Source) {
  FSampleRate = Source.FSampleRate;
  FMode = Source.FMode;
  FBitrate = Source.FBitrate;
  FMaxBitrate = Source.FMaxBitrate;
  FQuality = Source.FQuality;
  FPrivate = Source.FPrivate;
  FCRC = Source.FCRC;
  FCopyright = Source.FCopyright;
  FOriginal = Source.FOriginal;
  FWriteVBRHeader = Source.FWriteVBRHeader;
  FEnableVBR = Source.FEnableVBR;
  FVBRQuality = Source.FVBRQuality;
}

void TLameCoder::FillConfig(BE_CONFIG& Config) const {
  std::memset(&Config, 0, sizeof Config);
  Config.dwConfig = BE_CONFIG_LAME;
  Config.dwStructVersion = BE_CONFIG_STRUCT_VERSION;
  Config.dwStructSize = sizeof(BE_CONFIG);
  Config.dwSampleRate = FSampleRate;
  Config.dwReSampleRate = 0;
  Config.nMode = FMode;
  Config.dwBitrate = FBitrate;
  Config.dwMaxBitrate = FMaxBitrate;
  Config.nPreset = FQuality;
  Config.dwMpegVersion = BE_MPEG1;
  Config.dwPsyModel = 0;
  Config.dwEmphasis = 0;
  Config.bPrivate = FPrivate;
  Config.bCRC = FCRC;
  Config.bCopyright = FCopyright;
  Config.bOriginal = FOriginal;
  Config.bWriteVBRHeader = FWriteVBRHeader;
  Config.bEnableVBR = FEnableVBR;
  Config.nVBRQuality = FVBRQuality;
}

bool TLameCoder::Running() { return g_running; }

void TLameCoder::ProcessFiles() {
  if (g_running) throw ELameError("A conversion to MP3 is already running");
  RunGuard guard;
  FStop = false;
  // Every run that begins ends with OnEndProcess or OnAbortProcess.
  try {
    if (OnBeginProcess) OnBeginProcess(this);
    const qsizetype count = FInputFiles.size();
    for (qsizetype i = 0; i < count; ++i) {
      const WORD Num = static_cast<WORD>(i);
      // The lists are read at each step, so an OnBeginFile handler may still
      // change the names of the file it announces.
      if (i >= FInputFiles.size())
        throw std::out_of_range(
            QStringLiteral("List index out of bounds (%1)").arg(i).toStdString());
      if (OnBeginFile) OnBeginFile(this, Num, FInputFiles.at(i));
      if (i >= FInputFiles.size() || i >= FOutputFiles.size())
        throw std::out_of_range(
            QStringLiteral("List index out of bounds (%1)").arg(i).toStdString());
      const QString output = FOutputFiles.at(i);
      if (!ProcessFile(FInputFiles.at(i), output)) {
        if (OnAbortProcess) OnAbortProcess(this);
        return;
      }
      if (OnEndFile) OnEndFile(this, Num, output);
    }
  } catch (...) {
    if (OnAbortProcess) OnAbortProcess(this);
    throw;
  }
  if (OnEndProcess) OnEndProcess(this);
}

bool TLameCoder::ProcessFile(const QString& InputName, const QString& OutputName) {
  FileRun run;
  // Unbuffered: every chunk is one read, every MP3 block one write, and a
  // short write shows at once rather than at close.
  run.in.setFileName(InputName);
  errno = 0;
  if (!run.in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
    const int error = errno ? errno : EIO;
    throw ELameError(QStringLiteral("Cannot open file \"%1\".\n").arg(InputName) +
                     language::CannotOpen(InputName, error));
  }

  const TWavInput source = ProbeWavInput(run.in);
  if (!source.Error.isEmpty())
    throw ELameError(
        QStringLiteral("Cannot convert \"%1\" to MP3: %2").arg(InputName, source.Error));

  // A WAVE input is encoded at its own rate and with its own channel count;
  // the properties configure raw PCM.
  BE_CONFIG config;
  FillConfig(config);
  if (source.IsWave) {
    config.dwSampleRate = source.SamplesPerSec;
    config.nMode = source.Channels == 1 ? MONO : (FMode == MONO ? STEREO : FMode);
  }

  DWORD samples = 0;
  DWORD bufferSize = 0;
  const BE_ERR initResult = beInitStream(&config, &samples, &bufferSize, &run.stream);
  if (initResult != BE_ERR_SUCCESSFUL)
    throw ELameError(QStringLiteral("beInitStream failed %1").arg(initResult));
  run.streamOpen = true;
  run.mp3.resize(bufferSize);

  // Writing the MP3 over its own input would destroy the take.
  if (SameFile(InputName, OutputName))
    throw ELameError(QStringLiteral("Cannot create file \"%1\". It is the input file \"%2\".")
                         .arg(OutputName, InputName));
  if (!run.OpenOutput(OutputName))
    throw ELameError(QStringLiteral("Cannot create file \"%1\".\n").arg(OutputName) +
                     language::CannotCreate(run.target.isEmpty() ? OutputName : run.target, run.openError));

  // Chunk sizes are held in 16 bits.
  const WORD chunkSize = source.IsWave
                             ? static_cast<WORD>(samples * source.BlockAlign)
                             : static_cast<WORD>(config.nMode == MONO ? samples : 2 * samples);
  const DWORD dataSize = source.DataSize;
  if (chunkSize == 0 && dataSize != 0)
    throw ELameError(QStringLiteral("beInitStream returned an unusable chunk size"));
  if (!run.in.seek(source.DataOffset)) throw ELameError("Read Error");
  run.input.resize((chunkSize + 1) / 2);
  char* const input = reinterpret_cast<char*>(run.input.data());

  DWORD done = 0;
  while (done != dataSize) {
    const DWORD size = std::uint64_t(done) + chunkSize < dataSize ? chunkSize : dataSize - done;
    if (run.in.read(input, size) != qint64(size)) throw ELameError("Read Error");
    DWORD produced = 0;
    const BE_ERR result =
        beEncodeChunk(run.stream, size / 2, run.input.data(), run.mp3.data(), &produced);
    if (result != BE_ERR_SUCCESSFUL)
      throw ELameError("beEncodeChunk failed " + std::to_string(result));
    if (!run.Write(run.mp3.data(), produced)) throw run.WriteFailed("Write Error");
    done += size;
    const auto percent = static_cast<WORD>(std::trunc(double(done) / double(dataSize) * 100.0));
    if (OnProgress) OnProgress(this, percent);
    ProcessMessages();
    if (FStop) return false;
  }

  DWORD finalBytes = 0;
  beDeinitStream(run.stream, run.mp3.data(), &finalBytes);
  bool written = run.Write(run.mp3.data(), finalBytes);
  // The information frame goes over the first frame, which the encoder
  // reserved for it.
  DWORD infoBytes = 0;
  if (written && beGetInfoFrame(run.stream, run.mp3.data(), &infoBytes) == BE_ERR_SUCCESSFUL &&
      infoBytes > 0)
    written = run.out.seek(0) && run.Write(run.mp3.data(), infoBytes);
  if (!written) throw run.WriteFailed("Write error");
  run.succeeded = true;
  // Renaming the finished file over the output can fail as a write does
  // (a folder that became read-only).
  if (!run.CleanUp()) throw ELameError("Write error");
  return true;
}
