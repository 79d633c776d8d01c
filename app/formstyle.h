#pragma once

#include <QLabel>
#include <QWidget>

// Window attributes the program's windows share: a fixed single border with
// a title and the system menu (close box), optionally a minimise box, and a
// place at the centre of the screen.

// SystemMenu: a dialog's frame (title and close box only, whatever the
// window manager would add to a window); SystemMenuAndMinimize: a window
// with a minimise box and no maximise box.
enum class TBorderIcons { SystemMenu, SystemMenuAndMinimize };

// Makes the widget a top-level window of fixed client size with the given
// border icons, in the program's font, centred on its screen.
void SetUpFixedWindow(QWidget* window, int clientWidth, int clientHeight, TBorderIcons icons);

// Moves a top-level window so that its centre is the centre of the available
// area of its screen.
void CentreOnScreen(QWidget* window);

// A label at (x, y) in `parent`, sized to its text.
QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y);

// Shows a window without blocking the others, in front and active; a window
// already shown comes up again.
void ShowInFront(QWidget* window);
