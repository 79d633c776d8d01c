// The framework's media player control, without its buttons: a component
// that opens a file through the media control service and plays, stops and
// seeks it. The program uses it invisibly for the accompaniment.
//
// Main thread only. Errors: a failed Open raises EMCIDeviceError with the
// service's text for the code ("未知的错误代号" when it has none); Play,
// Stop, Seek and Length raise "没有打开的 MCI 设备" when no device is
// open; these texts are English when the service's are (mciUseEnglishTexts).
// Other result codes are only kept in Error().
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <stdexcept>
#include <string>

#include "platform/sequencer/mci.h"

class EMCIDeviceError : public std::runtime_error {
 public:
  explicit EMCIDeviceError(const std::string& text) : std::runtime_error(text) {}
};

enum TMPBtnType { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };
enum TMPDeviceTypes { dtAutoSelect, dtWaveAudio, dtSequencer };
enum TMPTimeFormats { tfMilliseconds = 0 };
enum TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };

class TMediaPlayer : public QObject {
  Q_OBJECT
 public:
  explicit TMediaPlayer(QObject* owner = nullptr);
  ~TMediaPlayer() override;  // closes the open device

  // --- properties
  QString FileName;
  TMPDeviceTypes DeviceType = dtAutoSelect;
  bool AutoOpen = false;
  bool AutoRewind = true;
  bool Visible = false;
  unsigned VisibleButtons = (1u << btPlay) | (1u << btPause) | (1u << btStop);
  // Called when a command sent with notification completes (Play: at the
  // end, or when it is stopped); NotifyValue() says how.
  std::function<void()> OnNotify;

  // --- commands
  void Open();   // closes an open device first
  void Close();
  void Play();   // rewinds first when AutoRewind is set and the position is at the end
  void Stop();
  void Pause();
  void Seek(int to);
  void SetTimeFormat(TMPTimeFormats format);

  // --- queries
  int Length();    // in the device's time unit
  int Position();  // asks the device even when none is open (then 0)
  TMPModes Mode();
  MCIDEVICEID DeviceID() const { return device_; }
  MCIERROR Error() const { return error_; }
  QString ErrorMessage() const;
  WPARAM NotifyValue() const { return notifyValue_; }
  bool CanPlay() const { return canPlay_; }
  bool CanRecord() const { return canRecord_; }
  bool CanEject() const { return canEject_; }
  bool HasVideo() const { return hasVideo_; }
  DWORD DeviceTypeCaps() const { return deviceTypeCaps_; }

 private:
  void CheckOpen() const;
  DWORD StatusItem(DWORD item);
  DWORD Capability(DWORD item);
  DWORD_PTR Callback() const { return reinterpret_cast<DWORD_PTR>(window_); }

  HWND window_ = nullptr;  // receives the service's notifications
  MCIDEVICEID device_ = 0;
  MCIERROR error_ = 0;
  WPARAM notifyValue_ = 0;
  bool canPlay_ = false, canRecord_ = false, canEject_ = false, hasVideo_ = false;
  DWORD deviceTypeCaps_ = 0;
};
