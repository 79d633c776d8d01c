// The mixer table at run time: the lines and controls built from a
// MixerDesc, control values the card's thread reads without locks, line
// peaks, and the per-period mix of the first mixer's two destinations.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/soundcard/mixerdesc.h"

namespace soundcard {

struct MixLine;

struct MixControl {
  DWORD id = 0;
  ControlDesc desc;       // flags include MIXERCONTROL_CONTROLF_MULTIPLE for item lists
  DWORD channels = 1;     // value channels: 1 for a uniform control, else the line's
  DWORD items = 0;        // 0 unless the control has items
  MixLine* line = nullptr;
  std::vector<DWORD> itemLineIds;  // per item: the named line's id, or 0xFFFFFFFF
  std::vector<DWORD> itemTypes;    // per item: the named line's component type
  // Values, item by item, each item holding its channels. Written by the
  // mixer calls, read by the card's thread.
  std::unique_ptr<std::atomic<LONG>[]> values;

  DWORD valueCount() const { return channels * (items ? items : 1); }
  bool isMeter() const {
    return (desc.type & MIXERCONTROL_CT_CLASS_MASK) == MIXERCONTROL_CT_CLASS_METER;
  }
};

struct MixLine {
  DWORD id = 0;
  DWORD destination = 0;
  int source = -1;  // -1: the destination line
  LineDesc desc;
  DWORD connections = 0;
  std::vector<MixControl*> controls;
  std::vector<MixLine*> sources;  // of a destination line
  MixControl* volume = nullptr;  // the first volume control
  MixControl* mute = nullptr;    // the first mute control
  MixControl* list = nullptr;    // the first item-list control (destinations)
  std::array<std::atomic<int>, 2> peak{};  // 0..32767 per channel, last period
};

struct MixMixer {
  MixerDesc desc;
  std::vector<std::unique_ptr<MixLine>> lines;  // destination line, its sources, next ...
  std::vector<std::unique_ptr<MixControl>> controls;
  std::vector<MixLine*> destinations;

  MixLine* line(DWORD destination, int source) const;
  MixLine* lineById(DWORD id) const;
  MixControl* controlById(DWORD id) const;
};

// The signals that feed source lines, interleaved stereo, one period.
struct MixInputs {
  const float* waveOut;
  const float* synth;
  const float* microphone;
  // The microphone the voice output takes, when it differs (the monitor's
  // effects recorded, the voice kept dry); null: `microphone`.
  const float* voiceMicrophone = nullptr;
};

class MixerTable {
 public:
  explicit MixerTable(std::vector<MixerDesc> descs);

  std::size_t count() const { return mixers_.size(); }
  MixMixer* mixer(std::size_t id) const { return id < mixers_.size() ? mixers_[id].get() : nullptr; }

  // Card's thread: builds the playback and recording mixes of the first
  // mixer (silence where it has no such destination) and updates the peaks.
  // The recording mix has inputs of its own (the accompaniment delayed by
  // the round trip). `voice` (may be null) gets the recording mix's
  // microphone lines alone: each with its volume and mute, through the
  // destination's selection and volume, so that the recording mix is the
  // voice plus the accompaniment (unless the voice has a microphone signal
  // of its own, `voiceMicrophone`).
  void mix(const MixInputs& playbackInputs, const MixInputs& recordingInputs, float* playback,
           float* recording, std::uint32_t frames, float* voice = nullptr) const;

  // A line's gain per channel from its volume (scaled to its range) and mute.
  static std::array<float, 2> lineGain(const MixLine& line);

 private:
  void mixDestination(const MixLine* dest, const MixInputs& inputs, float* out,
                      std::uint32_t frames, float* microphones) const;

  std::vector<std::unique_ptr<MixMixer>> mixers_;
  MixLine* playback_ = nullptr;
  MixLine* recording_ = nullptr;
};

}  // namespace soundcard
