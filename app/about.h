#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The about box: the product's picture and icon, name, version, the maker
// line and the maker's web, mail and postal addresses. Created hidden at
// start-up, shown without blocking by the about command; "确定" and the
// close box hide it.
class TAboutBox : public QWidget {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  void OKButtonClick();

  QLabel* Image1 = nullptr;  // the product picture (a JPEG resource)
  QLabel* Image2 = nullptr;  // the program's icon
  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
  QLabel* Copyright = nullptr;
  QLabel* Label1 = nullptr;  // web
  QLabel* Label2 = nullptr;  // mail
  QLabel* Label3 = nullptr;  // address
  QPushButton* OKButton = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

extern TAboutBox* AboutBox;

// Where the about box's picture lives among the program's resources
// (registered once an about box exists).
inline constexpr const char* kAboutPicture = ":/about/about.jpg";
