#include "app/vol.h"

#include <QGroupBox>
#include <QLabel>

#include "app/clicklabel.h"
#include "app/formstyle.h"
#include "app/handlers.h"
#include "mixer/Audio.h"

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QWidget(parent) {
  setWindowTitle(tr("高级音量控制"));
  SetUpFixedWindow(this, 291, 196, TBorderIcons::SystemMenuAndMinimize);

  GroupBox1 = new QGroupBox(this);
  GroupBox1->setGeometry(20, 8, 253, 177);
  const TVolumeControls c = BuildVolumeControls(this, GroupBox1, 8);
  Label6 = new QLabel(tr("注意:先选择放音或录音再选择要控制的设备"), GroupBox1);
  Label6->setGeometry(8, 152, 241, 17);

  Audio1 = CreatePanelAudio(this);
  panel_ = std::make_unique<TVolumePanel>(Audio1, c);

  BindVolumeControls(this, c);

  RunHandler([this] { FormCreate(); });
}

TForm4::~TForm4() = default;

void TForm4::NewVol(bool leftLed) { panel_->NewVol(leftLed); }
void TForm4::FormActivate() { panel_->FormActivate(); }
void TForm4::LeftScrollChange() { NewVol(true); }
void TForm4::RightScrollChange() { NewVol(false); }
void TForm4::cbMuteClick() { NewVol(true); }
void TForm4::cbLinkClick() { RightScrollChange(); }
void TForm4::DestSelChange() { panel_->DestSelChange(); }
void TForm4::SourceSelChange() { FormActivate(); }
void TForm4::FormCreate() { panel_->FormCreate(); }
