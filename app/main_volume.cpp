// The main window's volume panel (group "音量控制"); the panel's logic is
// shared with the advanced volume window (volpanel.h).
#include "app/formstyle.h"
#include "app/main.h"
#include "app/vol.h"
#include "app/volpanel.h"

void TForm1::FormActivate() {
  if (VolPanel) VolPanel->FormActivate();
}
void TForm1::NewVol(bool leftLed) {
  if (VolPanel) VolPanel->NewVol(leftLed);
}
void TForm1::LeftScrollChange() { NewVol(true); }
void TForm1::RightScrollChange() { NewVol(false); }
void TForm1::cbMuteClick() { NewVol(true); }
// Checking the box makes the left slider follow the right one.
void TForm1::cbLinkClick() { RightScrollChange(); }
void TForm1::DestSelChange() {
  if (VolPanel) VolPanel->DestSelChange();
}
void TForm1::SourceSelChange() { FormActivate(); }

// Reached by clicking the panel's icon (pointing hand, hint "高级音量控制").
void TForm1::Image2Click() {
  if (Form4) ShowInFront(Form4);
}
