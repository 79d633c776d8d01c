// A level meter drawn with characters, for the terminal. It is a display of
// the connector like the window's meters and takes its level with the same
// arithmetic (MMLevelScale): the absolute peak of each block of one channel
// on the decibel scale, -35 dB to full scale.
#pragma once

#include <QObject>
#include <QString>

#include "audio/MMDisplay.h"
#include "controls/MMLevelScale.h"

namespace cli {

class TTextLevel : public QObject, public TMMDisplayClient {
  Q_OBJECT
 public:
  // `spots` characters for channel `channel` (chLeft or chRight).
  TTextLevel(TMMChannel channel, int spots, QObject* parent = nullptr);

  void SetDisplayFormat(const WAVEFORMATEX* Format) override;
  int DataBlockSize() const override;
  void ShowBlock(const void* Data) override;
  void ClearDisplay() override;
  QObject* DisplayObject() override { return this; }

  // Shows a raw peak (0..32767) as one block would, for levels that do not
  // come through a connector.
  void ShowPeak(std::int64_t peak);
  // The highest lit count since the last Take, then starts over.
  int Take();
  // "[#####.......]" for `lit` spots.
  QString Bar(int lit) const;
  int Spots() const { return scale_.NumSpots; }

 private:
  TMMLevelBlock block_;
  TMMLevelScale scale_;
  int highest_ = 0;
};

}  // namespace cli
