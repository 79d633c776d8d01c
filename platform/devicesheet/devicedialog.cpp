#include "platform/devicesheet/devicedialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include "platform/soundcard/cardcontrol.h"
#include "platform/soundcard/devicesettings.h"
#include "platform/devicesheet/latencypanel.h"

namespace soundcard {

namespace {

const char* kDefaultLabel = QT_TRANSLATE_NOOP("soundcard::DeviceDialog", "默认设备");

// Item data: the device name; "" for the host's default.
void fill(QComboBox* box, const std::vector<HostDevice>& devices, bool input, const std::string& current) {
  box->addItem(DeviceDialog::tr(kDefaultLabel), QString());
  for (const HostDevice& d : devices) {
    if ((input ? d.inputChannels : d.outputChannels) == 0) continue;
    const QString name = QString::fromStdString(d.name);
    box->addItem(d.description.empty() ? name : QString::fromStdString(d.description), name);
  }
  box->addItem(QString::fromUtf8(VirtualDeviceName()), QString::fromUtf8(VirtualDeviceName()));
  const int at = box->findData(QString::fromStdString(current));
  box->setCurrentIndex(at < 0 ? 0 : at);
}

}  // namespace

DeviceDialog::DeviceDialog(QWidget* parent, const QString& title) : QDialog(parent) {
  // A dialog's frame: no minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowTitle(title.isEmpty() ? QStringLiteral("Audio") : title);
  input_ = new QComboBox(this);
  output_ = new QComboBox(this);
  std::string in = SelectedHostInput(), out = SelectedHostOutput();
  if (ActiveClock() == Clock::Virtual || ActiveClock() == Clock::Stepped)
    in = out = VirtualDeviceName();
  // One listing for both lists: each asks the sound server anew.
  const std::vector<HostDevice> devices = HostDevices();
  fill(input_, devices, true, in);
  fill(output_, devices, false, out);

  auto* form = new QFormLayout;
  latency_ = new LatencyPanel(this);
  form->addRow(tr("录音设备:"), input_);
  form->addRow(tr("延迟补偿（毫秒）"), latency_);
  form->addRow(tr("播放设备:"), output_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

QString DeviceDialog::chosenInput() const { return input_->currentData().toString(); }
QString DeviceDialog::chosenOutput() const { return output_->currentData().toString(); }

void DeviceDialog::apply() {
  const std::string in = chosenInput().toStdString();
  const std::string out = chosenOutput().toStdString();
  latency_->apply();
  RememberDevices(in, out);
  // The virtual device runs both directions; any host device means the host.
  if (out == VirtualDeviceName() || in == VirtualDeviceName()) {
    SelectClock(Clock::Virtual);
    return;
  }
  SelectHostDevices(in, out);
  if (ActiveClock() != Clock::Host) SelectClock(Clock::Host);
}

bool ShowDeviceDialog(QWidget* parent, const QString& title) {
  DeviceDialog dialog(parent, title);
  if (dialog.exec() == QDialog::Accepted) dialog.apply();
  return true;
}

}  // namespace soundcard
