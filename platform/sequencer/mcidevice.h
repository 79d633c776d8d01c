// One open device of the media control service. The service serialises the
// commands; a device's own threads (the card's, its helpers) only touch what
// the device guards for them.
#pragma once

#include <cstdint>

#include "platform/sequencer/keytempo.h"
#include "platform/sequencer/mci.h"

namespace sequencer {

class MciDevice {
 public:
  virtual ~MciDevice() = default;
  virtual DWORD DeviceType() const = 0;  // MCI_DEVTYPE_...
  virtual std::uint32_t LengthMs() const = 0;
  virtual std::uint32_t PositionMs() const = 0;
  virtual DWORD Mode() const = 0;  // MCI_MODE_...
  virtual bool Ready() const = 0;
  // Plays from the current position and returns at once. `notify`, when
  // set, receives MM_MCINOTIFY with `id` when playing ends or is stopped.
  virtual MCIERROR Play(HWND notify, MCIDEVICEID id) = 0;
  // Stops; the position stays.
  virtual MCIERROR Stop() = 0;
  // Stops and moves to `ms` (clamped to the length).
  virtual MCIERROR Seek(std::uint32_t ms) = 0;
  // See Cue (seqcontrol.h); a wave file's first buffers are queued as it
  // opens.
  virtual void Cue() {}
  // See AccompanimentEnd (seqcontrol.h).
  virtual bool EndClockFrame(std::uint64_t& frame) const = 0;
  // Plays at `kt` from now on (a change while playing is heard within a
  // buffer); it stays in force until changed, seeks and stops included.
  virtual void SetKeyTempo(const KeyTempo& kt) { keyTempo_ = kt; }
  const KeyTempo& CurrentKeyTempo() const { return keyTempo_; }

 protected:
  KeyTempo keyTempo_;
};

}  // namespace sequencer
