#include "app/about.h"

#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/formstyle.h"
#include "app/icons.h"
#include "app/opener.h"

TAboutBox* AboutBox = nullptr;

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitAboutResource() { Q_INIT_RESOURCE(about); }

namespace {

// Decoded by Qt's JPEG image plugin; without it the picture stays empty.
QPixmap AboutPicture() {
  // The resource lives in a static library: registering it by hand makes
  // the linker keep it.
  InitAboutResource();
  QImageReader reader(QString::fromLatin1(kAboutPicture), "jpeg");
  return QPixmap::fromImage(reader.read());
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QWidget(parent) {
  setWindowTitle(tr("关于"));
  SetUpFixedWindow(this, 244, 254, TBorderIcons::SystemMenu);

  Image1 = new QLabel(this);
  Image1->setGeometry(48, 8, 150, 110);
  Image1->setPixmap(AboutPicture());
  Image2 = new QLabel(this);
  Image2->setGeometry(176, 96, 32, 32);
  Image2->setPixmap(ProgramIcon().pixmap(32, 32));

  const QString name = QString::fromLatin1(maker::kName);
  ProductName = AddLabel(this, tr("名称:Tunelark"), 16, 136);
  Version = AddLabel(this, tr("版本:V1.6"), 144, 136);
  Copyright = AddLabel(this, tr("版权:%1出品 2026年12月").arg(name), 16, 152);
  Label1 = AddLabel(this, tr("公司网站:") + QString::fromLatin1(maker::kWebSiteShown), 16, 168);
  Label2 = AddLabel(this, tr("作者信箱:") + QString::fromLatin1(maker::kMailAddress), 16, 184);
  Label3 = AddLabel(this, tr("地址:羽沼市书苑路16号"), 16, 200);

  OKButton = new QPushButton(tr("确定"), this);
  OKButton->setGeometry(87, 220, 75, 25);
  OKButton->setDefault(true);
  OKButton->setAutoDefault(true);
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

void TAboutBox::OKButtonClick() { hide(); }

// Enter presses the default button; Escape closes the box, as a dialog's do.
void TAboutBox::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      OKButton->click();
      return;
    case Qt::Key_Escape:
      hide();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}
