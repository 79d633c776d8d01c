#include "cli/textlevel.h"

#include <algorithm>

namespace cli {

TTextLevel::TTextLevel(TMMChannel channel, int spots, QObject* parent) : QObject(parent) {
  block_.Channel = channel;
  scale_.NumSpots = std::max(spots, 1);
}

void TTextLevel::SetDisplayFormat(const WAVEFORMATEX* Format) {
  if (!Format) return;
  block_.Channels = Format->nChannels;
  block_.Bits = Format->wBitsPerSample == 16 ? b16Bit : b8Bit;
}

int TTextLevel::DataBlockSize() const { return (int(block_.Bits) + 1) * block_.Channels * block_.Samples; }

void TTextLevel::ShowBlock(const void* Data) {
  if (Data) ShowPeak(MMLevelBlockPeak(Data, block_));
}

void TTextLevel::ClearDisplay() { highest_ = 0; }

void TTextLevel::ShowPeak(std::int64_t peak) {
  highest_ = std::max(highest_, std::min(MMLevelSpots(peak, scale_), scale_.NumSpots));
}

int TTextLevel::Take() {
  const int lit = highest_;
  highest_ = 0;
  return lit;
}

QString TTextLevel::Bar(int lit) const {
  lit = std::clamp(lit, 0, scale_.NumSpots);
  return QLatin1Char('[') + QString(lit, QLatin1Char('#')) + QString(scale_.NumSpots - lit, QLatin1Char('.')) +
         QLatin1Char(']');
}

}  // namespace cli
