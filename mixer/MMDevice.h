// The device base of the mixer components: a component that stands for one
// multimedia device of a kind (MIDI in/out, wave in/out, auxiliary, mixer),
// reads its identity, and tells observers when it changes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "audio/MMDSPObj.h"
#include "mixer/MMObsrv.h"
#include "platform/mmsystem.h"

// A device property out of range or an operation the device cannot do.
class EMMDeviceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failed call of the multimedia services; the message is the service's
// text for the code or "MMSystem error: <code>".
class EMMMCIError : public std::runtime_error {
 public:
  EMMMCIError(MMRESULT code, const std::string& message) : std::runtime_error(message), Code(code) {}
  MMRESULT Code;
};

namespace mmdevmsg {
inline constexpr const char* kIdOutOfRange = "Device id is out of range";
}

// Raises EMMMCIError for any result but MMSYSERR_NOERROR.
void MMCheckResult(MMRESULT result);
// The text MMCheckResult raises for `result`.
std::string MMErrorText(MMRESULT result);

enum TMMDeviceType : int {
  dtMidiIn = 0,
  dtMidiOut = 1,
  dtWaveIn = 2,
  dtWaveOut = 3,
  dtAux = 4,
  dtMixer = 5,
};

struct TMMDeviceCaps {
  WORD ManufacturerId = 0;
  WORD ProductId = 0;
  BYTE VerMajor = 0;
  BYTE VerMinor = 0;
  std::string ProductName;
  bool operator==(const TMMDeviceCaps&) const = default;
};

class TMMCustomAudioDevice : public TMMComponent {
  Q_OBJECT
 public:
  explicit TMMCustomAudioDevice(QObject* AOwner = nullptr, TMMDeviceType kind = dtWaveOut);
  ~TMMCustomAudioDevice() override;

  TMMDeviceType DeviceType() const { return FDeviceType; }
  // The platform's device count for the kind.
  int DeviceCount() const;
  const TMMDeviceCaps& DeviceCaps() const { return FDeviceCaps; }
  // Whether the kind's mapper answers its capability query.
  bool Mapper() const;
  bool Active() const { return FOpen; }
  void SetActive(bool value);
  TMMDeviceId DeviceId() const { return FDeviceId; }
  // 0, MapperId and InvalidId are always taken; other ids must name a
  // device. A change closes, re-reads and reopens the device if it was open.
  virtual void SetDeviceId(TMMDeviceId value);
  // At least one device of the kind and a DeviceId other than InvalidId.
  bool IsValid() const;

  TMMObservable* Observable() { return &FObservable; }

  virtual void Open() { FOpen = true; }
  virtual void Close() { FOpen = false; }
  // Re-reads the identity, then Changed.
  virtual void DeviceChanged();
  // Sends TMMDeviceChange to the observers, then fires OnChange.
  virtual void Changed();

  TNotifyEvent OnChange;

 protected:
  void Loaded() override;
  void ReadCaps();
  // Stores an id without closing, reading or announcing.
  void StoreDeviceId(TMMDeviceId value) { FDeviceId = value; }

  bool FOpen = false;

 private:
  TMMDeviceType FDeviceType;
  TMMDeviceId FDeviceId = 0;
  bool FStoredActive = false;
  TMMDeviceCaps FDeviceCaps;
  TMMObservable FObservable;
};
