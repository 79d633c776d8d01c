// Draws the about box's picture (150 x 110): an evening sky over a hill, a
// lark singing from the top of a microphone, notes rising from its beak and
// the product name, and writes it as a JPEG. Run once when the artwork
// changes; its output, about.jpg, is committed and compiled into the program
// as a resource.
//
//   cmake --build build --target make_about_picture
//   QT_QPA_PLATFORM=offscreen build/app/make_about_picture app/resources/about.jpg [preview.png]
//
// The optional second file gets a PNG preview at three times the size.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

namespace {

void Sky(QPainter& p) {
  QLinearGradient sky(0, 0, 0, 110);
  sky.setColorAt(0, QColor(34, 44, 110));
  sky.setColorAt(0.55, QColor(196, 96, 120));
  sky.setColorAt(1, QColor(252, 190, 110));
  p.fillRect(QRectF(0, 0, 150, 110), sky);
  QRadialGradient sun(QPointF(112, 78), 26);
  sun.setColorAt(0, QColor(255, 240, 190));
  sun.setColorAt(0.45, QColor(255, 214, 130, 220));
  sun.setColorAt(1, QColor(255, 200, 120, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(sun);
  p.drawEllipse(QPointF(112, 78), 26, 26);
  p.setBrush(QColor(255, 255, 230));
  for (const QPointF& s : {QPointF(14, 10), QPointF(40, 6), QPointF(66, 14), QPointF(98, 8), QPointF(134, 16),
                           QPointF(24, 30), QPointF(120, 34)})
    p.drawEllipse(s, 0.8, 0.8);
}

void Hill(QPainter& p) {
  QPainterPath hill;
  hill.moveTo(0, 96);
  hill.cubicTo(30, 82, 70, 88, 96, 94);
  hill.cubicTo(120, 99, 138, 92, 150, 90);
  hill.lineTo(150, 110);
  hill.lineTo(0, 110);
  hill.closeSubpath();
  QLinearGradient g(0, 84, 0, 110);
  g.setColorAt(0, QColor(46, 70, 60));
  g.setColorAt(1, QColor(18, 30, 28));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawPath(hill);
}

// A stage microphone on its stand; the lark perches on its head.
void Microphone(QPainter& p) {
  p.setPen(QPen(QColor(30, 30, 34), 2.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(40, 58), QPointF(40, 96));
  p.drawLine(QPointF(30, 98), QPointF(50, 98));
  p.setPen(QPen(QColor(30, 30, 34), 1));
  QLinearGradient body(33, 0, 47, 0);
  body.setColorAt(0, QColor(70, 70, 76));
  body.setColorAt(0.5, QColor(210, 210, 218));
  body.setColorAt(1, QColor(70, 70, 76));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(35, 44, 10, 16), 3, 3);
  QRadialGradient head(QPointF(38, 38), 9);
  head.setColorAt(0, QColor(235, 235, 240));
  head.setColorAt(1, QColor(110, 110, 120));
  p.setBrush(head);
  p.drawEllipse(QPointF(40, 40), 8, 7);
  p.setPen(QPen(QColor(90, 90, 100), 0.6));
  for (int i = -2; i <= 2; ++i) p.drawLine(QPointF(40 + i * 2.6, 34), QPointF(40 + i * 2.6, 46));
}

// The lark: a brown body, a pale breast, a crest, a raised open beak.
void Lark(QPainter& p) {
  p.save();
  p.translate(44, 27);
  p.rotate(-12);
  QPainterPath body;
  body.moveTo(-14, 4);
  body.cubicTo(-10, -6, 4, -8, 10, -4);
  body.cubicTo(14, 0, 10, 8, 0, 9);
  body.cubicTo(-6, 9, -11, 8, -14, 4);
  p.setPen(QPen(QColor(60, 38, 20), 0.8));
  p.setBrush(QColor(150, 104, 60));
  p.drawPath(body);
  QPainterPath breast;
  breast.moveTo(2, 8);
  breast.cubicTo(10, 6, 12, 0, 9, -3);
  breast.cubicTo(6, 2, 2, 5, -4, 7);
  p.setBrush(QColor(236, 212, 170));
  p.setPen(Qt::NoPen);
  p.drawPath(breast);
  QPainterPath tail;
  tail.moveTo(-13, 3);
  tail.lineTo(-24, 0);
  tail.lineTo(-22, 6);
  tail.closeSubpath();
  p.setBrush(QColor(110, 74, 40));
  p.drawPath(tail);
  QPainterPath wing;
  wing.moveTo(-8, 1);
  wing.cubicTo(-4, -4, 4, -4, 5, 1);
  wing.cubicTo(0, 4, -5, 4, -8, 1);
  p.setBrush(QColor(112, 76, 42));
  p.drawPath(wing);
  QPainterPath crest;
  crest.moveTo(6, -6);
  crest.lineTo(5, -12);
  crest.lineTo(9, -6);
  p.setBrush(QColor(120, 84, 46));
  p.drawPath(crest);
  p.setBrush(QColor(240, 180, 60));
  p.drawPolygon(QPolygonF({QPointF(11, -4), QPointF(18, -8), QPointF(12, -2)}));
  p.drawPolygon(QPolygonF({QPointF(11, -2), QPointF(18, -1), QPointF(11, 0)}));
  p.setBrush(Qt::black);
  p.drawEllipse(QPointF(8, -3), 1.1, 1.1);
  p.restore();
}

void Note(QPainter& p, QPointF at, qreal size, const QColor& colour, bool pair) {
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  const qreal stem = size * 2.4;
  p.drawEllipse(at, size * 0.62, size * 0.46);
  p.drawRect(QRectF(at.x() + size * 0.5, at.y() - stem, size * 0.18, stem));
  if (pair) {
    const QPointF second(at.x() + size * 1.8, at.y() - size * 0.5);
    p.drawEllipse(second, size * 0.62, size * 0.46);
    p.drawRect(QRectF(second.x() + size * 0.5, second.y() - stem, size * 0.18, stem));
    p.drawPolygon(QPolygonF({QPointF(at.x() + size * 0.5, at.y() - stem),
                             QPointF(second.x() + size * 0.68, second.y() - stem),
                             QPointF(second.x() + size * 0.68, second.y() - stem + size * 0.5),
                             QPointF(at.x() + size * 0.5, at.y() - stem + size * 0.5)}));
  } else {
    QPainterPath flag;
    flag.moveTo(at.x() + size * 0.68, at.y() - stem);
    flag.cubicTo(at.x() + size * 1.4, at.y() - stem + size * 0.6, at.x() + size * 1.4, at.y() - stem + size,
                 at.x() + size * 1.0, at.y() - stem + size * 1.6);
    p.setPen(QPen(colour, size * 0.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(flag);
  }
}

void Notes(QPainter& p) {
  // A wavy trail from the beak, notes riding on it.
  QPainterPath trail;
  trail.moveTo(62, 20);
  for (int i = 1; i <= 30; ++i) {
    const qreal t = i / 30.0;
    trail.lineTo(62 + t * 80, 20 - t * 6 + std::sin(t * 3 * M_PI) * 5);
  }
  p.setPen(QPen(QColor(255, 236, 200, 140), 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(trail);
  Note(p, QPointF(74, 28), 4.2, QColor(255, 246, 214), false);
  Note(p, QPointF(96, 22), 4.6, QColor(255, 228, 160), true);
  Note(p, QPointF(128, 20), 3.8, QColor(255, 246, 214), false);
}

void Title(QPainter& p) {
  QFont font(QStringLiteral("DejaVu Serif"));
  font.setPixelSize(19);
  font.setBold(true);
  font.setItalic(true);
  p.setFont(font);
  const QRectF box(56, 40, 92, 26);
  p.setPen(QColor(40, 20, 40, 160));
  p.drawText(box.translated(1, 1), Qt::AlignCenter, QStringLiteral("Tunelark"));
  p.setPen(QColor(255, 248, 232));
  p.drawText(box, Qt::AlignCenter, QStringLiteral("Tunelark"));
  QFont small(QStringLiteral("DejaVu Sans"));
  small.setPixelSize(9);
  p.setFont(small);
  p.setPen(QColor(255, 236, 210));
  p.drawText(QRectF(56, 64, 92, 12), Qt::AlignCenter, QStringLiteral("karaoke recorder"));
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("about.jpg");
  QImage image(150, 110, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  Sky(p);
  Hill(p);
  Microphone(p);
  Lark(p);
  Notes(p);
  Title(p);
  p.end();
  QImageWriter writer(out, "jpeg");
  writer.setQuality(92);
  if (!writer.write(image)) {
    std::fprintf(stderr, "%s\n", qPrintable(writer.errorString()));
    return 1;
  }
  if (argc > 2) image.scaled(450, 330).save(QString::fromLocal8Bit(argv[2]), "png");
  return 0;
}
