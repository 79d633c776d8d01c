#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

// A status bar of fixed-width panels, each a sunken frame with one line of
// text, and a note at its right end that the text leaves room for (the
// text is cut short first). The last panel takes the remaining width.
class TStatusBar : public QWidget {
  Q_OBJECT
 public:
  explicit TStatusBar(QWidget* parent = nullptr);

  // Appends a panel; width is ignored for the last panel.
  void AddPanel(int width);
  int PanelCount() const { return panels_.size(); }
  QString PanelText(int index) const;
  void SetPanelText(int index, const QString& text);
  QString PanelNote(int index) const;
  void SetPanelNote(int index, const QString& note);
  // The panel's rectangle in the bar's coordinates.
  QRect PanelRect(int index) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Panel {
    int width = 0;
    QString text;
    QString note;
  };
  QVector<Panel> panels_;
};
