#include "app/about.h"

#include "app/formstyle.h"

TAboutBox* AboutBox = nullptr;

TAboutBox::TAboutBox(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("关于"));
  SetUpFixedWindow(this, 244, 254, TBorderIcons::SystemMenu);
}
