#pragma once

#include <QWidget>
#include <memory>

#include "app/volpanel.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QSlider;
class TAudio;

// The advanced volume window "高级音量控制": the volume panel of the main
// window on its own, with its own mixer component. Created hidden at
// start-up; its creation selects and writes a line as the main window's
// does. Unlike the main window it does not re-read the line when it
// becomes active.
class TForm4 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm4(QWidget* parent = nullptr);
  ~TForm4() override;

  void NewVol(bool leftLed);
  void FormActivate();
  void LeftScrollChange();
  void RightScrollChange();
  void cbMuteClick();
  void cbLinkClick();
  void DestSelChange();
  void SourceSelChange();
  void FormCreate();

  TAudio* Audio1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QCheckBox* cbLink = nullptr;
  QCheckBox* cbMute = nullptr;
  QComboBox* DestSel = nullptr;
  QComboBox* SourceSel = nullptr;
  QSlider* LeftScroll = nullptr;
  QSlider* RightScroll = nullptr;
  QLabel* Image2 = nullptr;
  QLabel* Label6 = nullptr;

 private:
  std::unique_ptr<TVolumePanel> panel_;
};

extern TForm4* Form4;
