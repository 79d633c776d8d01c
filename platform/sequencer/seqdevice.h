// The "sequencer" device: a Standard MIDI file played by the synthesizer.
// Its length, position and seeks are in heard milliseconds: the song's own
// times x 100/tempo, at the tempo in force.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/sequencer/mcidevice.h"
#include "platform/sequencer/smf.h"

namespace sequencer {

class SequencerDevice : public MciDevice {
 public:
  // Reads and parses the file; the error is 0 on success. Only one
  // sequencer device can be open at a time (the synthesizer plays one song).
  static std::unique_ptr<SequencerDevice> Open(const std::string& path, MCIERROR& error);
  ~SequencerDevice() override;

  DWORD DeviceType() const override { return MCI_DEVTYPE_SEQUENCER; }
  std::uint32_t LengthMs() const override;
  std::uint32_t PositionMs() const override;
  DWORD Mode() const override;
  bool Ready() const override;
  MCIERROR Play(HWND notify, MCIDEVICEID id) override;
  MCIERROR Stop() override;
  MCIERROR Seek(std::uint32_t ms) override;
  void Cue() override;
  bool EndClockFrame(std::uint64_t& frame) const override;
  void SetKeyTempo(const KeyTempo& kt) override;

 private:
  explicit SequencerDevice(std::shared_ptr<const Song> song) : song_(std::move(song)) {}
  std::shared_ptr<const Song> song_;
};

// The largest MIDI file read: far beyond any real song (a dense one-hour
// file is a few MB), small enough to refuse a mislabelled disk image.
constexpr std::size_t kMaxMidiBytes = 64u << 20;

// Reads a whole file of at most `limit` bytes; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& bytes);

}  // namespace sequencer
