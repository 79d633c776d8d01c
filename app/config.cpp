#include "app/config.h"

#include <QCheckBox>

#include "app/formstyle.h"

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Tunelark 设置"));
  SetUpFixedWindow(this, 288, 188, TBorderIcons::SystemMenu);
  recstop = new QCheckBox(QStringLiteral("当MIDI结束时停止"), this);
  recstop->setChecked(false);
  recstop->hide();  // placed with the rest of its page by the settings window
  nomidi = new QCheckBox(QStringLiteral("不必有MIDI即可录音"), this);
  nomidi->setChecked(false);
  nomidi->hide();
}
