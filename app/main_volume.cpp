// The main window's volume panel (group "音量控制").
#include "app/main.h"

void TForm1::FormActivate() {}
void TForm1::NewVol(bool) {}
void TForm1::LeftScrollChange() {}
void TForm1::RightScrollChange() {}
void TForm1::cbMuteClick() {}
void TForm1::cbLinkClick() {}
void TForm1::DestSelChange() {}
void TForm1::SourceSelChange() {}
void TForm1::Image2Click() {}
