// The round-trip row of the device sheet's recording side: the user's
// correction in milliseconds ("延迟补偿（毫秒）"), remembered in the user's
// settings, and a button that measures the round trip with clicks and
// proposes the correction. The measurement runs while the window goes on
// working; the panel looks for its end with a timer.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

namespace soundcard {

class LatencyPanel : public QWidget {
  Q_OBJECT
 public:
  explicit LatencyPanel(QWidget* parent = nullptr);
  ~LatencyPanel() override;  // a measurement in progress is dropped

  QSpinBox* offsetBox() const { return offset_; }
  QPushButton* measureButton() const { return measure_; }
  QLabel* status() const { return status_; }

  // Sets the card's correction to the box's value and remembers it.
  void apply();
  // Starts a measurement (the button's action).
  void measure();
  // Looks whether the measurement has ended and shows its outcome; true
  // once it has (the timer's action).
  bool poll();

 private:
  QSpinBox* offset_;
  QPushButton* measure_;
  QLabel* status_;
  QTimer* timer_;
  QElapsedTimer elapsed_;
  bool measuring_ = false;
};

}  // namespace soundcard
