#include "app/vol.h"

#include "app/formstyle.h"

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("高级音量控制"));
  SetUpFixedWindow(this, 291, 196, TBorderIcons::SystemMenuAndMinimize);
}
