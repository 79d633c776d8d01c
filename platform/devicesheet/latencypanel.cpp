#include "platform/devicesheet/latencypanel.h"

#include <QHBoxLayout>
#include <algorithm>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/soundcard/calibration.h"
#include "platform/soundcard/devicesettings.h"
#include "platform/soundcard/latency.h"

namespace soundcard {

namespace {

constexpr int kLimitMs = kLatencyOffsetLimitMs;
// A measurement takes about 3.3 s of the card's time; a card that does not
// run gives up after this much of the user's.
constexpr qint64 kGiveUpMs = 15000;

QString Ms(double ms) { return QString::number(ms, 'f', 1); }

}  // namespace

LatencyPanel::LatencyPanel(QWidget* parent) : QWidget(parent) {
  offset_ = new QSpinBox(this);
  offset_->setRange(-kLimitMs, kLimitMs);
  offset_->setValue(std::clamp(LatencyOffsetMs(), -kLimitMs, kLimitMs));
  measure_ = new QPushButton(tr("自动测量…"), this);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  // Room for the longest message (three lines in Chinese, up to five in
  // other languages), so the sheet never has to grow while it is open.
  status_->setMinimumHeight(5 * status_->fontMetrics().lineSpacing());
  status_->setMinimumWidth(260);
  timer_ = new QTimer(this);
  timer_->setInterval(50);
  connect(measure_, &QPushButton::clicked, this, &LatencyPanel::measure);
  connect(timer_, &QTimer::timeout, this, &LatencyPanel::poll);

  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(offset_);
  row->addWidget(measure_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(row);
  layout->addWidget(status_);
}

LatencyPanel::~LatencyPanel() {
  if (measuring_) CancelCalibration();
}

void LatencyPanel::apply() {
  SetLatencyOffsetMs(offset_->value());
  RememberLatencyOffsetMs(offset_->value());
}

void LatencyPanel::measure() {
  if (measuring_) return;
  if (!StartCalibration()) {
    status_->setText(tr("另一个测量正在进行，请稍后再试。"));
    return;
  }
  measuring_ = true;
  measure_->setEnabled(false);
  status_->setText(tr("正在测量，请保持安静……"));
  elapsed_.start();
  timer_->start();
}

bool LatencyPanel::poll() {
  if (!measuring_) return true;
  if (!CalibrationDone()) {
    if (elapsed_.elapsed() < kGiveUpMs) return false;
    CancelCalibration();
    status_->setText(tr("测量没有完成：声卡没有运行。请检查设备后再试一次。"));
  } else {
    const CalibrationResult r = FinishCalibration();
    if (r.found) {
      offset_->setValue(std::clamp(r.proposedOffsetMs, -kLimitMs, kLimitMs));
      status_->setText(tr("测得往返延迟 %1 毫秒（设备报告 %2 毫秒），已填入建议的补偿值 %3 毫秒。")
                           .arg(Ms(r.roundTripMs), Ms(MsOfFrames(r.reportedFrames)))
                           .arg(r.proposedOffsetMs));
    } else {
      status_->setText(tr(NoClickHeardText()));
    }
  }
  measuring_ = false;
  timer_->stop();
  measure_->setEnabled(true);
  return true;
}

}  // namespace soundcard
