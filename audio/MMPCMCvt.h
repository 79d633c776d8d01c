// The PCM converter of the player's chain: decodes any non-PCM format that
// reaches it (IMA ADPCM, A-law, mu-law, GSM 6.10 and whatever else the
// decoder reads) to 16-bit PCM; PCM passes through unchanged. It stands after
// the ADPCM converter, so it sees what that one left alone.
#pragma once

#include "audio/MMWaveDecode.h"

class TMMPCMConverter : public TMMCustomConverter {
  Q_OBJECT
 public:
  explicit TMMPCMConverter(QObject* AOwner = nullptr);

 protected:
  bool DecodesTag(WORD Tag) const override;
};
