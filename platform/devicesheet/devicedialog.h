// The audio device sheet: a dialog listing the host's input and output
// devices and the virtual device, choosing the card's input and output.
// The choice is remembered in the user's settings (as a system setting would
// be) and applied at the next start as well.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "platform/soundcard/devicesettings.h"

class QComboBox;

namespace soundcard {

class LatencyPanel;

class DeviceDialog : public QDialog {
  Q_OBJECT
 public:
  explicit DeviceDialog(QWidget* parent = nullptr, const QString& title = QString());

  QString chosenInput() const;
  QString chosenOutput() const;

  // The recording side's round-trip correction and its measurement.
  LatencyPanel* latency() const { return latency_; }

  // Applies the choice to the card and remembers it.
  void apply();

 private:
  QComboBox* input_;
  QComboBox* output_;
  LatencyPanel* latency_;
};

// Shows the dialog modally; applies the choice when the user accepts it.
// Returns true when the dialog was shown.
bool ShowDeviceDialog(QWidget* parent, const QString& title);

}  // namespace soundcard
