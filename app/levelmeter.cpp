#include "app/levelmeter.h"

void SetUpWindowMeter(TMMLevel& level, TMMChannel channel) {
  TMMBevel bevel;
  bevel.BevelOuter = bvLowered;
  bevel.BevelOuterWidth = 1;
  level.SetBevel(bevel);
  level.SetKind(lkVertical);
  level.SetBar1Color(clYellow);
  level.SetBar2Color(clYellow);
  level.SetInactive1Color(clBlack);
  level.SetInactive2Color(clBlack);
  level.SetInactive3Color(clBlack);
  level.SetBitLength(b16Bit);
  level.SetChannel(channel);
  level.SetMode(mStereo);
}
