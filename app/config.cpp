#include "app/config.h"

#include "app/formstyle.h"

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Tunelark 设置"));
  SetUpFixedWindow(this, 288, 188, TBorderIcons::SystemMenu);
}
