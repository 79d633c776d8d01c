#include "platform/sequencer/chase.h"

#include <fluidsynth.h>

namespace sequencer {

namespace {

constexpr std::uint8_t kBankMsb = 0, kBankLsb = 32;
constexpr std::uint8_t kDataMsb = 6, kDataLsb = 38;
constexpr std::uint8_t kNrpnLsb = 98, kNrpnMsb = 99, kRpnLsb = 100, kRpnMsb = 101;
constexpr std::uint8_t kAllSoundOff = 120, kResetControllers = 121, kAllNotesOff = 123;
constexpr std::uint8_t kNull = 127;  // no parameter selected

// The controllers that "reset all controllers" leaves as they are (bank,
// volume, balance, pan and their fine parts, sound controllers, effects).
bool KeptByReset(int n) {
  return n == 0 || n == 7 || n == 8 || n == 10 || n == 32 || n == 39 || n == 40 || n == 42 || (n >= 70 && n <= 79) ||
         (n >= 91 && n <= 95);
}

// General MIDI (1 or 2) system on, for this synthesizer or for all: the
// synthesizer resets every channel.
bool ResetsAll(const char* d, std::uint32_t n) {
  return n >= 4 && d[0] == 0x7E && (d[1] == 0x00 || d[1] == 0x7F) && d[2] == 0x09 && (d[3] == 0x01 || d[3] == 0x03);
}

}  // namespace

void ChaseState::ClearChannels() noexcept {
  for (Channel& ch : ch_) ch = Channel{};
}

void ChaseState::Clear() noexcept {
  ClearChannels();
  for (std::uint8_t& b : lastBankMsb_) b = 0;
  sysexFirst_ = 0;
  sysexCount_ = 0;
}

void ChaseState::Gather(const Song& song, std::size_t end) noexcept {
  Clear();
  const auto& ev = song.events;
  for (std::size_t i = 0; i < end && i < ev.size(); ++i) {
    const MidiEvent& e = ev[i];
    const int c = e.status & 0x0F;
    Channel& ch = ch_[c];
    switch (e.status & 0xF0) {
      case 0xB0:
        if ((e.data1 & 0x7F) == kBankMsb) lastBankMsb_[c] = e.data2;
        Controller(ch, e.data1 & 0x7F, e.data2);
        break;
      case 0xC0:
        ch.program = e.data1;
        ch.programBankMsb = ch.set[kBankMsb] ? ch.cc[kBankMsb] : 0;
        ch.programBankLsb = ch.set[kBankLsb] ? ch.cc[kBankLsb] : 0;
        break;
      case 0xD0: ch.pressure = e.data1; break;
      case 0xE0: ch.bend = e.data1 | (e.data2 << 7); break;
      case 0xF0:
        if (e.status == 0xF0 && e.sysexLength > 0) Sysex(song, e);
        break;
      default: break;  // notes and key pressure are not chased
    }
  }
}

void ChaseState::Controller(Channel& ch, std::uint8_t n, std::uint8_t value) noexcept {
  switch (n) {
    case kAllSoundOff:
    case kAllNotesOff: return;
    case kResetControllers:
      for (int k = 0; k < 128; ++k)
        if (!KeptByReset(k)) ch.set.reset(std::size_t(k));
      ch.bend = -1;
      ch.pressure = -1;
      ch.nrpnLast = false;
      return;
    case 124:
    case 125: ch.omni = n; return;
    case 126:
    case 127:
      ch.mode = n;
      ch.modeValue = value;
      return;
    case kDataMsb: DataEntry(ch, value); return;
    case kNrpnLsb:
    case kNrpnMsb: ch.nrpnLast = true; break;
    case kRpnLsb:
    case kRpnMsb: ch.nrpnLast = false; break;
    default: break;
  }
  ch.cc[n] = value;
  ch.set.set(n);
}

// A data entry goes to the parameter selected now, with the fine part (LSB)
// in force now, as the synthesizer takes it.
void ChaseState::DataEntry(Channel& ch, std::uint8_t value) noexcept {
  const auto get = [&ch](std::uint8_t n, std::uint8_t otherwise) { return ch.set[n] ? ch.cc[n] : otherwise; };
  const std::uint8_t msb = get(ch.nrpnLast ? kNrpnMsb : kRpnMsb, kNull);
  const std::uint8_t lsb = get(ch.nrpnLast ? kNrpnLsb : kRpnLsb, kNull);
  if (msb == kNull && lsb == kNull) return;
  Parameter* p = nullptr;
  for (int i = 0; i < ch.paramCount; ++i)
    if (ch.params[i].nrpn == ch.nrpnLast && ch.params[i].msb == msb && ch.params[i].lsb == lsb) p = &ch.params[i];
  if (!p) {
    if (ch.paramCount == kParameters) return;
    p = &ch.params[ch.paramCount++];
    *p = Parameter{ch.nrpnLast, msb, lsb, 0, 0};
  }
  p->dataMsb = value;
  p->dataLsb = get(kDataLsb, 0);
}

// A general reset makes everything before it void; otherwise the latest
// kSysex messages are kept, in order.
void ChaseState::Sysex(const Song& song, const MidiEvent& e) noexcept {
  if (ResetsAll(song.sysex.data() + e.sysexOffset, e.sysexLength)) {
    ClearChannels();
    sysexFirst_ = 0;
    sysexCount_ = 0;
  }
  const SysexRef ref{e.sysexOffset, e.sysexLength};
  if (sysexCount_ < kSysex) {
    sysex_[(sysexFirst_ + sysexCount_++) % kSysex] = ref;
  } else {
    sysex_[sysexFirst_] = ref;
    sysexFirst_ = (sysexFirst_ + 1) % kSysex;
  }
}

void ChaseState::Apply(fluid_synth_t* synth, const Song* song, std::uint16_t defaults) const noexcept {
  for (int c = 0; c < kChannels; ++c) {
    fluid_synth_cc(synth, c, kResetControllers, 0);
    fluid_synth_cc(synth, c, kBankMsb, 0);
    fluid_synth_cc(synth, c, 7, 100);  // volume, pan and expression at their defaults
    fluid_synth_cc(synth, c, 10, 64);
    fluid_synth_cc(synth, c, 11, 127);
    fluid_synth_pitch_bend(synth, c, 8192);
    if (defaults & (1u << c))
      fluid_synth_program_change(synth, c, 0);
    else
      fluid_synth_unset_program(synth, c);
  }
  for (int i = 0; song && i < sysexCount_; ++i) {
    const SysexRef& s = sysex_[(sysexFirst_ + i) % kSysex];
    fluid_synth_sysex(synth, song->sysex.data() + s.offset, int(s.length), nullptr, nullptr, nullptr, 0);
  }
  for (int c = 0; c < kChannels; ++c) {
    const Channel& ch = ch_[c];
    if (ch.program >= 0) {
      fluid_synth_cc(synth, c, kBankMsb, ch.programBankMsb);
      fluid_synth_cc(synth, c, kBankLsb, ch.programBankLsb);
      fluid_synth_program_change(synth, c, ch.program);
    }
    for (int n = 0; n < 128; ++n) {
      const bool later = n == kBankMsb || n == kBankLsb || n == kDataLsb || (n >= kNrpnLsb && n <= kRpnMsb);
      if (ch.set[std::size_t(n)] && !later) fluid_synth_cc(synth, c, n, ch.cc[n]);
    }
    for (int i = 0; i < ch.paramCount; ++i) {
      const Parameter& p = ch.params[i];
      fluid_synth_cc(synth, c, p.nrpn ? kNrpnMsb : kRpnMsb, p.msb);
      fluid_synth_cc(synth, c, p.nrpn ? kNrpnLsb : kRpnLsb, p.lsb);
      fluid_synth_cc(synth, c, kDataLsb, p.dataLsb);
      fluid_synth_cc(synth, c, kDataMsb, p.dataMsb);
    }
    if (ch.set[kDataLsb]) fluid_synth_cc(synth, c, kDataLsb, ch.cc[kDataLsb]);
    // The selection last made is made last.
    const std::uint8_t order[2][4] = {{kNrpnMsb, kNrpnLsb, kRpnMsb, kRpnLsb}, {kRpnMsb, kRpnLsb, kNrpnMsb, kNrpnLsb}};
    for (std::uint8_t n : order[ch.nrpnLast ? 1 : 0])
      if (ch.set[n]) fluid_synth_cc(synth, c, n, ch.cc[n]);
    for (std::uint8_t n : {kBankMsb, kBankLsb})
      if (ch.set[n]) fluid_synth_cc(synth, c, n, ch.cc[n]);
    if (ch.omni >= 0) fluid_synth_cc(synth, c, ch.omni, 0);
    if (ch.mode >= 0) fluid_synth_cc(synth, c, ch.mode, ch.modeValue);
    if (ch.bend >= 0) fluid_synth_pitch_bend(synth, c, ch.bend);
    if (ch.pressure >= 0) fluid_synth_channel_pressure(synth, c, ch.pressure);
  }
}

}  // namespace sequencer
