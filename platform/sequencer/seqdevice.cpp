#include "platform/sequencer/seqdevice.h"

#include <cstdio>

#include "platform/sequencer/synth.h"

namespace sequencer {

namespace {

MCIERROR ToError(SmfResult r) {
  switch (r) {
    case SmfResult::Ok: return 0;
    case SmfResult::NotMidi: return MCIERR_SEQ_NOT_MIDI;
    case SmfResult::Truncated: return MCIERR_SEQ_TRUNCATED;
    case SmfResult::NoNotes: return MCIERR_SEQ_NO_NOTES;
  }
  return MCIERR_INTERNAL;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::uint8_t chunk[65536];
  bool ok = true;
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
    if (n > 0) {
      if (bytes.size() + n > limit) {
        ok = false;
        break;
      }
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (n < sizeof chunk) {
      ok = !std::ferror(f);
      break;
    }
  }
  std::fclose(f);
  return ok;
}

std::unique_ptr<SequencerDevice> SequencerDevice::Open(const std::string& path, MCIERROR& error) {
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(path, kMaxMidiBytes, bytes)) {
    error = bytes.size() > kMaxMidiBytes / 2 ? MCIERR_SEQ_NOT_MIDI : MCIERR_FILE_READ;
    return nullptr;
  }
  auto song = std::make_shared<Song>();
  error = ToError(ParseSmf(bytes.data(), bytes.size(), *song));
  if (error) return nullptr;
  if (!Synth::instance().Attach(song)) {
    error = MCIERR_SEQ_PORT_INUSE;
    return nullptr;
  }
  return std::unique_ptr<SequencerDevice>(new SequencerDevice(std::move(song)));
}

SequencerDevice::~SequencerDevice() { Synth::instance().Detach(song_.get()); }

std::uint32_t SequencerDevice::LengthMs() const {
  return std::uint32_t(HeardFromSong(song_->lengthMs, keyTempo_.tempo));
}

std::uint32_t SequencerDevice::PositionMs() const {
  Synth& s = Synth::instance();
  const std::uint32_t length = LengthMs();
  if (s.Ended()) return length;
  const std::uint32_t ms = FramesToMs(s.PositionFrames(), keyTempo_.tempo);
  // Only the end itself reports the length.
  return length > 0 ? std::min(ms, length - 1) : 0;
}

DWORD SequencerDevice::Mode() const {
  return Synth::instance().Playing() ? MCI_MODE_PLAY : MCI_MODE_STOP;
}

bool SequencerDevice::Ready() const { return Synth::instance().Ready(); }

MCIERROR SequencerDevice::Play(HWND notify, MCIDEVICEID id) {
  Synth& s = Synth::instance();
  if (s.Failed()) return MCIERR_SEQ_NOMIDIPRESENT;
  s.Play(notify, id);
  return 0;
}

MCIERROR SequencerDevice::Stop() {
  Synth::instance().Stop();
  return 0;
}

MCIERROR SequencerDevice::Seek(std::uint32_t ms) {
  Synth::instance().Seek(ms >= LengthMs() ? song_->lengthFrames : MsToFrames(ms, keyTempo_.tempo));
  return 0;
}

void SequencerDevice::Cue() {
  if (!Synth::instance().Failed()) Synth::instance().Cue();
}

bool SequencerDevice::EndClockFrame(std::uint64_t& frame) const { return Synth::instance().EndClockFrame(frame); }

void SequencerDevice::SetKeyTempo(const KeyTempo& kt) {
  MciDevice::SetKeyTempo(kt);
  Synth::instance().SetKeyTempo(kt);
}

}  // namespace sequencer
