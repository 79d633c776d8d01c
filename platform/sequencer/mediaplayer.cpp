#include "platform/sequencer/mediaplayer.h"

#include <algorithm>
#include <vector>

#include "platform/winmsg/winmsg.h"

namespace {

constexpr UINT kErrorTextBytes = 4096;

std::string ErrorText(MCIERROR code) {
  std::vector<char> text(kErrorTextBytes);
  if (mciGetErrorString(code, text.data(), kErrorTextBytes) && text[0]) return text.data();
  return mciEnglishTexts() ? "Unknown error code" : "未知的错误代号";
}

}  // namespace

TMediaPlayer::TMediaPlayer(QObject* owner) : QObject(owner) {
  window_ = AllocateHWnd([this](HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg != MM_MCINOTIFY) return DefWindowProc(wnd, msg, wParam, lParam);
    if (MCIDEVICEID(lParam) != device_) return 0;  // a closed device's late word
    notifyValue_ = wParam;
    if (OnNotify) OnNotify();
    return 0;
  });
}

TMediaPlayer::~TMediaPlayer() {
  Close();
  DeallocateHWnd(window_);
}

void TMediaPlayer::CheckOpen() const {
  if (device_ == 0) throw EMCIDeviceError(mciEnglishTexts() ? "No MCI device is open" : "没有打开的 MCI 设备");
}

QString TMediaPlayer::ErrorMessage() const { return QString::fromStdString(ErrorText(error_)); }

void TMediaPlayer::Open() {
  if (device_ != 0) Close();
  const QByteArray name = FileName.toUtf8();
  MCI_OPEN_PARMS p{};
  p.dwCallback = Callback();
  p.lpstrElementName = name.constData();
  DWORD flags = MCI_WAIT | MCI_OPEN_ELEMENT;
  if (DeviceType != dtAutoSelect) {
    flags |= MCI_OPEN_TYPE;
    p.lpstrDeviceType = DeviceType == dtSequencer ? "sequencer" : "waveaudio";
  }
  error_ = mciSendCommand(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&p));
  if (error_) throw EMCIDeviceError(ErrorText(error_));
  device_ = p.wDeviceID;
  canPlay_ = Capability(MCI_GETDEVCAPS_CAN_PLAY) != 0;
  canRecord_ = Capability(MCI_GETDEVCAPS_CAN_RECORD) != 0;
  canEject_ = Capability(MCI_GETDEVCAPS_CAN_EJECT) != 0;
  hasVideo_ = Capability(MCI_GETDEVCAPS_HAS_VIDEO) != 0;
  deviceTypeCaps_ = Capability(MCI_GETDEVCAPS_DEVICE_TYPE);
  Mode();
  error_ = 0;
}

void TMediaPlayer::Close() {
  if (device_ == 0) return;
  MCI_GENERIC_PARMS p{Callback()};
  error_ = mciSendCommand(device_, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&p));
  device_ = 0;
  canPlay_ = canRecord_ = canEject_ = hasVideo_ = false;
}

void TMediaPlayer::Play() {
  CheckOpen();
  if (AutoRewind && Position() == Length()) {
    MCI_SEEK_PARMS s{Callback(), 0};
    error_ = mciSendCommand(device_, MCI_SEEK, MCI_WAIT | MCI_SEEK_TO_START, reinterpret_cast<DWORD_PTR>(&s));
  }
  MCI_PLAY_PARMS p{Callback(), 0, 0};
  error_ = mciSendCommand(device_, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&p));
}

void TMediaPlayer::Stop() {
  CheckOpen();
  MCI_GENERIC_PARMS p{Callback()};
  error_ = mciSendCommand(device_, MCI_STOP, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&p));
}

void TMediaPlayer::Pause() {
  CheckOpen();
  MCI_GENERIC_PARMS p{Callback()};
  error_ = mciSendCommand(device_, MCI_PAUSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&p));
}

void TMediaPlayer::Seek(int to) {
  CheckOpen();
  MCI_SEEK_PARMS p{Callback(), DWORD(std::max(to, 0))};
  error_ = mciSendCommand(device_, MCI_SEEK, MCI_WAIT | MCI_TO, reinterpret_cast<DWORD_PTR>(&p));
}

// Sent with notification to the device that is open now (none at start-up);
// the result is kept, not raised.
void TMediaPlayer::SetTimeFormat(TMPTimeFormats format) {
  MCI_SET_PARMS p{Callback(), DWORD(format), 0};
  error_ = mciSendCommand(device_, MCI_SET, MCI_NOTIFY | MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&p));
}

DWORD TMediaPlayer::StatusItem(DWORD item) {
  MCI_STATUS_PARMS p{};
  p.dwItem = item;
  error_ = mciSendCommand(device_, MCI_STATUS, MCI_WAIT | MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p));
  return error_ ? 0 : DWORD(p.dwReturn);
}

DWORD TMediaPlayer::Capability(DWORD item) {
  MCI_GETDEVCAPS_PARMS p{};
  p.dwItem = item;
  error_ = mciSendCommand(device_, MCI_GETDEVCAPS, MCI_WAIT | MCI_GETDEVCAPS_ITEM, reinterpret_cast<DWORD_PTR>(&p));
  return error_ ? 0 : p.dwReturn;
}

int TMediaPlayer::Length() {
  CheckOpen();
  return int(StatusItem(MCI_STATUS_LENGTH));
}

int TMediaPlayer::Position() { return int(StatusItem(MCI_STATUS_POSITION)); }

TMPModes TMediaPlayer::Mode() {
  const DWORD m = StatusItem(MCI_STATUS_MODE);
  if (error_ || m < MCI_MODE_NOT_READY || m > MCI_MODE_OPEN) return mpNotReady;
  return TMPModes(m - MCI_MODE_NOT_READY);
}
