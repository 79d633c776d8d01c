#include "app/dialogs.h"

#include <QDir>
#include <QFileInfo>

QStringList QtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList result;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    const QString patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
    if (description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')')))
      result << description;
    else
      result << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return result;
}

QString TFileDialog::StartDirectory() const {
  const QFileInfo chosen(FileName);
  if (!FileName.isEmpty() && chosen.isAbsolute() && chosen.dir().exists()) return chosen.absolutePath();
  if (!InitialDir.isEmpty() && QDir(InitialDir).exists()) return InitialDir;
  return QDir::currentPath();
}

std::unique_ptr<QFileDialog> TFileDialog::CreateDialog() const {
  auto dialog = std::make_unique<QFileDialog>(owner_);
  // Qt's own dialog behaves the same on every desktop and under Xvfb.
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(mode_);
  if (!Title.isEmpty()) dialog->setWindowTitle(Title);
  if (mode_ == QFileDialog::AcceptOpen)
    dialog->setFileMode((Options & ofFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  else
    dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, !(Options & ofOverwritePrompt));
  dialog->setSizeGripEnabled(Options & ofEnableSizing);
  dialog->setNameFilters(QtNameFilters(Filter));
  dialog->setDefaultSuffix(DefaultExt);
  dialog->setDirectory(StartDirectory());
  if (!FileName.isEmpty()) dialog->selectFile(QFileInfo(FileName).fileName());
  return dialog;
}

namespace {

std::function<bool(TFileDialog&)>& Responder() {
  static std::function<bool(TFileDialog&)> responder;
  return responder;
}

}  // namespace

void TFileDialog::SetResponder(std::function<bool(TFileDialog&)> responder) { Responder() = std::move(responder); }

bool TFileDialog::Execute() {
  if (Responder()) {
    if (!Responder()(*this)) return false;
    Files = QStringList{FileName};
    return true;
  }
  const auto dialog = CreateDialog();
  if (dialog->exec() != QDialog::Accepted) return false;
  Files = dialog->selectedFiles();
  FileName = Files.value(0);
  return true;
}
