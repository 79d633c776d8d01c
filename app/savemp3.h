#pragma once

#include <QWidget>

// The MP3 conversion progress window: borderless, stays on top, centred.
class TForm3 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* parent = nullptr);
};

extern TForm3* Form3;
