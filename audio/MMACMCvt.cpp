#include "audio/MMACMCvt.h"

TMMADPCMConverter::TMMADPCMConverter(QObject* AOwner) : TMMCustomConverter(AOwner) {}

bool TMMADPCMConverter::DecodesTag(WORD Tag) const {
  return Tag == 0x0002 || Tag == 0x0003 || Tag == 0x0033 || Tag == 0x0206;
}
