// The ADPCM converter of the player's chain: decodes Microsoft ADPCM (2),
// IEEE float (3) and the tags 0x0033 and 0x0206 to 16-bit PCM where the
// decoder knows them; PCM and every other format pass through unchanged.
#pragma once

#include "audio/MMWaveDecode.h"

class TMMADPCMConverter : public TMMCustomConverter {
  Q_OBJECT
 public:
  explicit TMMADPCMConverter(QObject* AOwner = nullptr);

 protected:
  bool DecodesTag(WORD Tag) const override;
};
