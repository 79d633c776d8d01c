#pragma once

#include <QWidget>

// The about box: the product's picture, name, version and the maker's
// addresses. Created hidden at start-up, shown by the about command.
class TAboutBox : public QWidget {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

extern TAboutBox* AboutBox;
