#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <functional>

// Every picture is drawn with QPainter into a transparent pixmap, so the
// program needs no image files and no icon theme. Coordinates are in pixels
// of the 16 x 16 (or 32 x 32) grid; half-pixel offsets keep 1-pixel lines
// sharp.

namespace {

using Drawer = std::function<void(QPainter&)>;

QPixmap Draw(int size, const Drawer& drawer) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  drawer(p);
  return pixmap;
}

const QColor kOutline(60, 60, 60);
const QColor kFolder(240, 196, 64);
const QColor kFolderDark(176, 128, 24);
const QColor kBlue(40, 96, 200);
const QColor kGreen(32, 150, 48);
const QColor kRed(208, 32, 32);

// A sheet of paper with a folded top-right corner.
void Page(QPainter& p) {
  QPolygonF sheet({{2.5, 0.5}, {10.5, 0.5}, {13.5, 3.5}, {13.5, 15.5}, {2.5, 15.5}});
  p.setPen(QPen(kOutline, 1));
  p.setBrush(Qt::white);
  p.drawPolygon(sheet);
  p.drawPolyline(QPolygonF({{10.5, 0.5}, {10.5, 3.5}, {13.5, 3.5}}));
}

// An open yellow folder.
void Folder(QPainter& p) {
  p.setPen(QPen(kFolderDark, 1));
  p.setBrush(kFolder.darker(110));
  p.drawPolygon(QPolygonF({{0.5, 3.5}, {5.5, 3.5}, {6.5, 5.5}, {13.5, 5.5}, {13.5, 14.5}, {0.5, 14.5}}));
  p.setBrush(kFolder);
  p.drawPolygon(QPolygonF({{2.5, 7.5}, {15.5, 7.5}, {13.5, 14.5}, {0.5, 14.5}}));
}

// A short sine wave across the given rectangle.
void Wave(QPainter& p, const QRectF& r, const QColor& colour, qreal width) {
  QPainterPath path;
  const int steps = 24;
  for (int i = 0; i <= steps; ++i) {
    const qreal t = qreal(i) / steps;
    const QPointF pt(r.left() + t * r.width(), r.center().y() - std::sin(t * 2 * M_PI) * r.height() / 2);
    if (i == 0)
      path.moveTo(pt);
    else
      path.lineTo(pt);
  }
  p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
}

// Two beamed eighth notes with their heads at the bottom of the rectangle.
void Notes(QPainter& p, const QRectF& r, const QColor& colour) {
  const qreal head = r.width() * 0.32;
  const qreal stem = std::max(1.0, r.width() / 10);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  const QPointF left(r.left() + head / 2, r.bottom() - head / 2);
  const QPointF right(r.right() - head / 2, r.bottom() - head / 2 - r.height() * 0.1);
  p.drawEllipse(left, head / 2, head * 0.4);
  p.drawEllipse(right, head / 2, head * 0.4);
  const qreal topL = r.top() + r.height() * 0.1;
  const qreal topR = r.top();
  p.drawRect(QRectF(left.x() + head / 2 - stem, topL, stem, left.y() - topL));
  p.drawRect(QRectF(right.x() + head / 2 - stem, topR, stem, right.y() - topR));
  p.drawPolygon(QPolygonF({{left.x() + head / 2 - stem, topL},
                           {right.x() + head / 2, topR},
                           {right.x() + head / 2, topR + r.height() * 0.18},
                           {left.x() + head / 2 - stem, topL + r.height() * 0.18}}));
}

// A filled circle with a white character in it (help, about).
void Badge(QPainter& p, const QColor& colour, const QString& text) {
  p.setPen(QPen(colour.darker(140), 1));
  p.setBrush(colour);
  p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
  QFont font("DejaVu Sans");
  font.setPixelSize(12);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, text);
}

void DrawDelete(QPainter& p) {
  p.setPen(QPen(kRed, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(3, 3), QPointF(13, 13));
  p.drawLine(QPointF(13, 3), QPointF(3, 13));
}

void DrawNewWav(QPainter& p) {
  Page(p);
  Wave(p, QRectF(4, 6, 8, 6), kBlue, 1.3);
  // A small star of "new" at the top left.
  p.setPen(QPen(QColor(230, 160, 0), 1.2));
  p.drawLine(QPointF(1, 2.5), QPointF(6, 2.5));
  p.drawLine(QPointF(3.5, 0), QPointF(3.5, 5));
}

void DrawOpenWav(QPainter& p) {
  Folder(p);
  Wave(p, QRectF(4, 8.5, 9, 5), kBlue, 1.3);
}

void DrawSaveMp3(QPainter& p) {
  p.setPen(QPen(kBlue.darker(150), 1));
  p.setBrush(kBlue);
  p.drawPolygon(QPolygonF({{0.5, 0.5}, {13.5, 0.5}, {15.5, 2.5}, {15.5, 15.5}, {0.5, 15.5}}));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(3, 1, 10, 6));
  p.setBrush(QColor(200, 200, 200));
  p.drawRect(QRectF(4, 10, 8, 5.5));
  p.setBrush(kBlue.darker(150));
  p.drawRect(QRectF(9, 11, 2, 3.5));
}

void DrawBrowseMidi(QPainter& p) {
  Folder(p);
  Notes(p, QRectF(5, 1, 9, 11), Qt::black);
}

void DrawRecord(QPainter& p) {
  QRadialGradient g(QPointF(6, 6), 8);
  g.setColorAt(0, QColor(255, 120, 120));
  g.setColorAt(1, kRed);
  p.setPen(QPen(kRed.darker(150), 1));
  p.setBrush(g);
  p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
}

void DrawPlay(QPainter& p) {
  p.setPen(QPen(kGreen.darker(150), 1, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
  p.setBrush(kGreen);
  p.drawPolygon(QPolygonF({{4.5, 2.5}, {13.5, 8}, {4.5, 13.5}}));
}

void DrawPause(QPainter& p) {
  p.setPen(QPen(kBlue.darker(150), 1));
  p.setBrush(kBlue);
  p.drawRect(QRectF(3.5, 2.5, 3, 11));
  p.drawRect(QRectF(9.5, 2.5, 3, 11));
}

void DrawStop(QPainter& p) {
  p.setPen(QPen(QColor(20, 20, 60), 1));
  p.setBrush(QColor(50, 50, 110));
  p.drawRect(QRectF(3.5, 3.5, 9, 9));
}

void DrawSettings(QPainter& p) {
  // A gear: eight teeth round a wheel with a hole.
  QPainterPath gear;
  const QPointF c(8, 8);
  for (int i = 0; i < 8; ++i) {
    const qreal a = i * M_PI / 4;
    QPolygonF tooth;
    for (qreal d : {-0.22, 0.22}) {
      tooth << QPointF(c.x() + 5 * std::cos(a + d * 1.6), c.y() + 5 * std::sin(a + d * 1.6));
    }
    tooth << QPointF(c.x() + 7.5 * std::cos(a + 0.2), c.y() + 7.5 * std::sin(a + 0.2))
          << QPointF(c.x() + 7.5 * std::cos(a - 0.2), c.y() + 7.5 * std::sin(a - 0.2));
    QPainterPath t;
    t.addPolygon(tooth);
    t.closeSubpath();
    gear = gear.united(t);
  }
  QPainterPath wheel;
  wheel.addEllipse(c, 5.5, 5.5);
  gear = gear.united(wheel);
  QPainterPath hole;
  hole.addEllipse(c, 2.2, 2.2);
  gear = gear.subtracted(hole);
  p.setPen(QPen(QColor(70, 70, 70), 0.8));
  p.setBrush(QColor(150, 150, 150));
  p.drawPath(gear);
}

void DrawHelp(QPainter& p) { Badge(p, kBlue, QStringLiteral("?")); }

void DrawWeb(QPainter& p) {
  p.setPen(QPen(kBlue.darker(140), 1));
  p.setBrush(QColor(120, 180, 240));
  p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(4.5, 0.5, 7, 15));
  p.drawLine(QPointF(8, 0.5), QPointF(8, 15.5));
  p.drawLine(QPointF(0.5, 8), QPointF(15.5, 8));
  p.drawLine(QPointF(2, 4.5), QPointF(14, 4.5));
  p.drawLine(QPointF(2, 11.5), QPointF(14, 11.5));
}

void DrawMail(QPainter& p) {
  p.setPen(QPen(kOutline, 1));
  p.setBrush(QColor(255, 255, 230));
  p.drawRect(QRectF(0.5, 3.5, 15, 10));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({{0.5, 3.5}, {8, 9.5}, {15.5, 3.5}}));
}

void DrawAbout(QPainter& p) { Badge(p, QColor(0, 140, 120), QStringLiteral("i")); }

// A microphone on its stand, in a 32 x 32 grid.
void Microphone(QPainter& p) {
  p.setPen(QPen(QColor(40, 40, 40), 1));
  QLinearGradient g(10, 0, 22, 0);
  g.setColorAt(0, QColor(90, 90, 90));
  g.setColorAt(0.5, QColor(220, 220, 220));
  g.setColorAt(1, QColor(90, 90, 90));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(11.5, 2.5, 9, 16), 4.5, 4.5);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.drawArc(QRectF(8, 8, 16, 15), 180 * 16, 180 * 16);
  p.drawLine(QPointF(16, 23), QPointF(16, 28));
  p.drawLine(QPointF(10, 29), QPointF(22, 29));
}

}  // namespace

QList<QPixmap> MakeImagebar() {
  const Drawer drawers[imgCount] = {DrawDelete,   DrawNewWav, DrawOpenWav, DrawSaveMp3, DrawBrowseMidi,
                                    DrawRecord,   DrawPlay,   DrawPause,   DrawStop,    DrawSettings,
                                    DrawHelp,     DrawWeb,    DrawMail,    DrawAbout};
  QList<QPixmap> images;
  for (const Drawer& d : drawers) images.append(Draw(16, d));
  return images;
}

QPixmap MidiGroupPicture() {
  return Draw(32, [](QPainter& p) {
    // A staff with two beamed notes on it.
    p.setPen(QPen(QColor(120, 120, 120), 1));
    for (int i = 0; i < 5; ++i) p.drawLine(QPointF(1, 8.5 + i * 4), QPointF(31, 8.5 + i * 4));
    Notes(p, QRectF(7, 3, 18, 24), QColor(20, 20, 120));
  });
}

QPixmap WavGroupPicture() { return Draw(32, Microphone); }

QPixmap VolumePicture() {
  return Draw(32, [](QPainter& p) {
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(160, 160, 170));
    p.drawPolygon(QPolygonF({{3.5, 11.5}, {9.5, 11.5}, {16.5, 4.5}, {16.5, 27.5}, {9.5, 20.5}, {3.5, 20.5}}));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kBlue, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(12, 10, 10, 12), -50 * 16, 100 * 16);
    p.drawArc(QRectF(11, 5, 17, 22), -50 * 16, 100 * 16);
    p.drawArc(QRectF(10, 1, 24, 30), -50 * 16, 100 * 16);
  });
}

QIcon ProgramIcon() {
  QIcon icon;
  icon.addPixmap(Draw(32, [](QPainter& p) {
    Microphone(p);
    Notes(p, QRectF(20, 1, 11, 13), kRed);
  }));
  icon.addPixmap(Draw(16, DrawRecord));
  return icon;
}
