#include "audio/MMEngineErrors.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

bool MMAcceptCallbackMode(TMMCBMode mode, const char* caption) {
  if (mode != cmCallback) return true;
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
    auto* box = new QMessageBox(QMessageBox::Warning, caption, enginemsg::kCallbackWarning, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
  } else {
    std::fprintf(stderr, "%s: %s\n", caption, enginemsg::kCallbackWarning);
  }
  return false;
}
