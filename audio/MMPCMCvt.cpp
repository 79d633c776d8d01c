#include "audio/MMPCMCvt.h"

TMMPCMConverter::TMMPCMConverter(QObject* AOwner) : TMMCustomConverter(AOwner) {}

bool TMMPCMConverter::DecodesTag(WORD Tag) const { return Tag != WAVE_FORMAT_PCM; }
