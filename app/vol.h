#pragma once

#include <QWidget>

// The advanced volume window: the volume panel of the main window on its
// own, with its own mixer component. Created hidden at start-up.
class TForm4 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm4(QWidget* parent = nullptr);
};

extern TForm4* Form4;
