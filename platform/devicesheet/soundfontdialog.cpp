#include "platform/devicesheet/soundfontdialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/sequencer/seqcontrol.h"
#include "platform/sequencer/soundfonts.h"
#include "platform/sequencer/synth.h"

namespace sequencer {

namespace {

QListWidgetItem* AddItem(QListWidget* list, const QString& path) {
  auto* item = new QListWidgetItem(QFileInfo(path).fileName() + QStringLiteral("  (") + path + QLatin1Char(')'), list);
  item->setData(Qt::UserRole, path);
  return item;
}

}  // namespace

SoundfontDialog::SoundfontDialog(QWidget* parent, const QString& title) : QDialog(parent) {
  // A dialog's frame: no minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowTitle(title.isEmpty() ? QStringLiteral("MIDI") : title);
  list_ = new QListWidget(this);
  for (const std::string& p : InstalledSoundfonts()) AddItem(list_, QString::fromStdString(p));
  const std::vector<std::string> candidates = SoundfontCandidates();
  std::string current = SoundfontInUse();
  if (current.empty() && !candidates.empty()) current = candidates.front();
  if (!current.empty()) choose(QString::fromStdString(current));

  inUse_ = new QLabel(this);
  inUse_->setWordWrap(true);
  inUse_->setText(current.empty() ? tr("没有找到可用的音色库（SoundFont）。")
                                  : tr("正在使用: ") + QString::fromStdString(current));
  auto* other = new QPushButton(tr("其他音色库..."), this);
  connect(other, &QPushButton::clicked, this, &SoundfontDialog::browse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("MIDI 音色库（SoundFont）:"), this));
  layout->addWidget(list_);
  layout->addWidget(other);
  layout->addWidget(inUse_);
  layout->addWidget(buttons);
  // Wide enough for the longest entry (a soundfont's name and its folder),
  // as far as the screen allows; a longer one scrolls.
  const int entries = list_->sizeHintForColumn(0) + 2 * list_->frameWidth() +
                      style()->pixelMetric(QStyle::PM_ScrollBarExtent) + layout->contentsMargins().left() +
                      layout->contentsMargins().right() + 8;
  const int room = screen() ? screen()->availableGeometry().width() - 40 : 1000;
  resize(std::clamp(entries, 480, std::max(480, room)), 300);
}

QString SoundfontDialog::chosen() const {
  const QListWidgetItem* item = list_->currentItem();
  return item ? item->data(Qt::UserRole).toString() : QString();
}

void SoundfontDialog::choose(const QString& path) {
  for (int i = 0; i < list_->count(); ++i) {
    if (list_->item(i)->data(Qt::UserRole).toString() == path) {
      list_->setCurrentRow(i);
      return;
    }
  }
  list_->setCurrentItem(AddItem(list_, path));
}

void SoundfontDialog::browse() {
  const QString path = QFileDialog::getOpenFileName(this, tr("选择音色库"), QFileInfo(chosen()).path(),
                                                    QStringLiteral("SoundFont (*.sf2 *.sf3)"));
  if (!path.isEmpty()) choose(path);
}

void SoundfontDialog::apply() {
  const std::string path = chosen().toStdString();
  if (path.empty() || path == SoundfontInUse()) {
    if (!path.empty()) RememberSoundfont(path);
    return;
  }
  RememberSoundfont(path);
  Synth::instance().Reload();
}

bool ShowSoundfontDialog(QWidget* parent, const QString& title) {
  SoundfontDialog dialog(parent, title);
  if (dialog.exec() == QDialog::Accepted) dialog.apply();
  return true;
}

}  // namespace sequencer
