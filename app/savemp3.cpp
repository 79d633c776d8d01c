#include "app/savemp3.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool) {
  setFixedSize(337, 57);
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(12);
  setFont(font);

  // The panel fills the window inside its one-pixel border.
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(1, 1, width() - 2, height() - 2);

  ProgressBar1 = new QProgressBar(Panel1);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(8, 8, 321, 25);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  Label1 = new QLabel(tr("正在转MP3，请稍等..."), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(8, 37);
  Label1->adjustSize();

  LameCoder1 = new TLameCoder(this);
  LameCoder1->setObjectName(QStringLiteral("LameCoder1"));
  LameCoder1->SetDefaultExt(QStringLiteral(".mp3"));
  LameCoder1->OnProgress = [this](QObject* s, WORD p) { LameCoder1Progress(s, p); };
  LameCoder1->OnEndProcess = [this](QObject* s) { LameCoder1EndProcess(s); };
  LameCoder1->OnAbortProcess = [this](QObject* s) { LameCoder1AbortProcess(s); };

  CenterOnScreen();
}

void TForm3::Convert(const QStringList& OutputFiles) {
  if (TLameCoder::Running()) return;
  show();
  raise();
  LameCoder1->SetOutputFiles(OutputFiles);
  LameCoder1->ProcessFiles();
}

void TForm3::LameCoder1Progress(QObject*, WORD PercentComplete) {
  ProgressBar1->setValue(PercentComplete);
}

void TForm3::LameCoder1EndProcess(QObject*) {
  ProgressBar1->setValue(0);
  hide();
}

void TForm3::LameCoder1AbortProcess(QObject* Sender) { LameCoder1EndProcess(Sender); }

void TForm3::showEvent(QShowEvent* event) {
  CenterOnScreen();
  QWidget::showEvent(event);
}

void TForm3::CenterOnScreen() {
  const QScreen* s = screen();
  if (!s) return;
  const QRect area = s->availableGeometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
}
