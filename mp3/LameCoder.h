// The WAV-to-MP3 conversion component: streams each input file through the
// encoder interface chunk by chunk into its MP3 file, with progress events.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "mp3/Lame_dll.h"
#include "platform/mmsystem.h"

// Channel mode of the encoder, held as the configuration record's number.
enum TLameMode : LONG { STEREO = 0, JSTEREO = 1, DUALCHANNEL = 2, MONO = 3 };

// Raised for every failure of a conversion run. A write that failed because
// the disk is full says so through DiskFull (its text stays the run's own).
class ELameError : public std::runtime_error {
 public:
  explicit ELameError(const char* msg, bool diskFull = false) : std::runtime_error(msg), FDiskFull(diskFull) {}
  explicit ELameError(const std::string& msg) : std::runtime_error(msg) {}
  explicit ELameError(const QString& msg, bool diskFull = false)
      : std::runtime_error(msg.toStdString()), FDiskFull(diskFull) {}
  bool DiskFull() const { return FDiskFull; }

 private:
  bool FDiskFull = false;
};

// The encoder library's version, queried once when the holder is created.
class TLameVersion {
 public:
  TLameVersion();
  BYTE DLLMajorVersion() const { return FVersion.byDLLMajorVersion; }
  BYTE DLLMinorVersion() const { return FVersion.byDLLMinorVersion; }
  BYTE MajorVersion() const { return FVersion.byMajorVersion; }
  BYTE MinorVersion() const { return FVersion.byMinorVersion; }
  // Copies the four version bytes.
  void Assign(const TLameVersion& Source);

 private:
  BE_VERSION FVersion{};
};

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TProgressEvent = std::function<void(QObject* Sender, WORD PercentComplete)>;
// Num is the zero-based index of the file in InputFiles.
using TProcessFileEvent = std::function<void(QObject* Sender, WORD Num, const QString& FileName)>;

class TLameCoder : public QObject {
  Q_OBJECT
 public:
  explicit TLameCoder(QObject* AOwner = nullptr);
  ~TLameCoder() override;

  // Settings of the encoder. For raw PCM input they are used as they are;
  // for a WAVE input the sample rate and the channel count come from its
  // format chunk (a mono file is encoded as MONO; a stereo file uses Mode,
  // or STEREO when Mode is MONO).
  DWORD SampleRate() const { return FSampleRate; }
  void SetSampleRate(DWORD Value) { FSampleRate = Value; }
  DWORD Bitrate() const { return FBitrate; }
  void SetBitrate(DWORD Value) { FBitrate = Value; }
  DWORD MaxBitrate() const { return FMaxBitrate; }
  void SetMaxBitrate(DWORD Value) { FMaxBitrate = Value; }
  MPEG_QUALITY Quality() const { return FQuality; }
  void SetQuality(MPEG_QUALITY Value) { FQuality = Value; }
  BOOL Private() const { return FPrivate; }
  void SetPrivate(BOOL Value) { FPrivate = Value; }
  BOOL CRC() const { return FCRC; }
  void SetCRC(BOOL Value) { FCRC = Value; }
  TLameMode Mode() const { return FMode; }
  void SetMode(TLameMode Value) { FMode = Value; }
  BOOL Copyright() const { return FCopyright; }
  void SetCopyright(BOOL Value) { FCopyright = Value; }
  BOOL Original() const { return FOriginal; }
  void SetOriginal(BOOL Value) { FOriginal = Value; }
  BOOL WriteVBRHeader() const { return FWriteVBRHeader; }
  void SetWriteVBRHeader(BOOL Value) { FWriteVBRHeader = Value; }
  BOOL EnableVBR() const { return FEnableVBR; }
  // Also sets WriteVBRHeader to the same value.
  void SetEnableVBR(BOOL Value);
  LONG VBRQuality() const { return FVBRQuality; }
  void SetVBRQuality(LONG Value) { FVBRQuality = Value; }

  const QStringList& InputFiles() const { return FInputFiles; }
  // Copies the list and rebuilds OutputFiles: each input name with its
  // extension replaced by DefaultExt (or DefaultExt appended).
  void SetInputFiles(const QStringList& Value);
  const QStringList& OutputFiles() const { return FOutputFiles; }
  void SetOutputFiles(const QStringList& Value) { FOutputFiles = Value; }

  const TLameVersion& LameVersion() const { return *FLameVersion; }
  QString DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const QString& Value) { FDefaultExt = Value; }
  // Stored only; a run does not use it.
  QString Mp3FileName() const { return FMp3FileName; }
  void SetMp3FileName(const QString& Value) { FMp3FileName = Value; }

  // Events of a run, in this order: OnBeginProcess; per file OnBeginFile
  // (input name), OnProgress after every chunk, OnEndFile (output name);
  // OnEndProcess. A run that fails or is stopped calls none of the end
  // events but OnAbortProcess, just before the error leaves ProcessFiles.
  TNotifyEvent OnBeginProcess;
  TProcessFileEvent OnBeginFile;
  TProcessFileEvent OnEndFile;
  TNotifyEvent OnEndProcess;
  TProgressEvent OnProgress;
  TNotifyEvent OnAbortProcess;

  // Copies the encoder settings (not the lists, names or events).
  void Assign(const TLameCoder& Source);

  // The configuration record the properties give.
  void FillConfig(BE_CONFIG& Config) const;

  // Converts every entry of InputFiles into the entry of OutputFiles with the
  // same index. Runs on the user-interface thread and processes pending
  // window messages after every chunk. Raises ELameError when a file fails;
  // the outputs finished before it stay, the one being written leaves
  // nothing behind (an older file of its name stays as it was), the inputs
  // after it are not converted. Only one run can go
  // on in the program at a time: a second call while one runs raises
  // ELameError.
  void ProcessFiles();
  // Asks the running conversion to stop after the current chunk; it then
  // returns from ProcessFiles without further events except OnAbortProcess.
  void Stop() { FStop = true; }
  // True while a conversion runs anywhere in the program.
  static bool Running();

 private:
  // Converts one file; false when the run was stopped during it.
  bool ProcessFile(const QString& InputName, const QString& OutputName);

  DWORD FSampleRate = 44100;
  DWORD FBitrate = 128;
  DWORD FMaxBitrate = 320;
  MPEG_QUALITY FQuality = NORMAL_QUALITY;
  BOOL FPrivate = 0;
  BOOL FCRC = -1;
  TLameMode FMode = STEREO;
  BOOL FCopyright = 0;
  BOOL FOriginal = 0;
  BOOL FWriteVBRHeader = 0;
  BOOL FEnableVBR = 0;
  LONG FVBRQuality = 4;
  QStringList FInputFiles;
  QStringList FOutputFiles;
  std::unique_ptr<TLameVersion> FLameVersion;
  QString FDefaultExt = QStringLiteral(".mp3");
  QString FMp3FileName;
  bool FStop = false;
};
