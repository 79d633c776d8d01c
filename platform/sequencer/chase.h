// What a song has set on the synthesizer's channels at a position: the
// state a seek sets before playing on from there (notes are not chased).
// Gathered from the events before the position on any thread, then applied
// by the renderer in a bounded number of calls and without allocating:
// the record has a fixed size, whatever the song's length.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>

#include "platform/sequencer/smf.h"

struct _fluid_synth_t;

namespace sequencer {

class ChaseState {
 public:
  static constexpr int kChannels = 16;
  // Registered and non-registered parameters kept per channel, and system
  // exclusive messages kept since the last reset (the latest ones).
  static constexpr int kParameters = 8;
  static constexpr int kSysex = 64;

  ChaseState() { Clear(); }
  // The channels' defaults: nothing set.
  void Clear() noexcept;
  // The state the song's events [0, end) leave.
  void Gather(const Song& song, std::size_t end) noexcept;
  // Sets every channel as gathered: the defaults, the system exclusive
  // messages in order, then each channel's program with the bank it was
  // chosen from, controllers, parameters, selections, bank, bend and
  // pressure. `song` is the one gathered from (its system exclusive bytes;
  // none without it). Channels in `defaults` (a bit per channel) start with
  // their default instrument, the others with none until their program
  // change, since only the song's instruments are loaded.
  void Apply(_fluid_synth_t* synth, const Song* song, std::uint16_t defaults) const noexcept;
  // The last bank select (MSB) of the channel, 0 if none.
  std::uint8_t BankMsb(int channel) const noexcept { return lastBankMsb_[channel]; }

 private:
  struct Parameter {
    bool nrpn = false;
    std::uint8_t msb = 0, lsb = 0;          // the parameter's number
    std::uint8_t dataMsb = 0, dataLsb = 0;  // its data entry, with the LSB in force then
  };
  struct Channel {
    std::uint8_t cc[128];
    std::bitset<128> set;  // controllers to send, by number
    int program = -1;
    std::uint8_t programBankMsb = 0, programBankLsb = 0;  // the bank when the program was chosen
    int bend = -1;
    int pressure = -1;
    int omni = -1;  // the last of controllers 124/125, and of 126/127 (mono/poly) with its value
    int mode = -1;
    std::uint8_t modeValue = 0;
    bool nrpnLast = false;  // the last selection was a non-registered parameter
    Parameter params[kParameters];
    int paramCount = 0;
  };
  void Controller(Channel& ch, std::uint8_t number, std::uint8_t value) noexcept;
  void DataEntry(Channel& ch, std::uint8_t value) noexcept;
  void Sysex(const Song& song, const MidiEvent& e) noexcept;
  void ClearChannels() noexcept;

  Channel ch_[kChannels];
  std::uint8_t lastBankMsb_[kChannels] = {};
  struct SysexRef {
    std::uint32_t offset = 0, length = 0;
  };
  SysexRef sysex_[kSysex];  // a ring: the oldest at sysexFirst_
  int sysexFirst_ = 0, sysexCount_ = 0;
};

}  // namespace sequencer
