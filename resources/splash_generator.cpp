// Draws the main window's background picture, 384 x 288 pixels in the 16 colours
// of the standard VGA palette, and writes it as a 4-bit BMP.
//
//   flash-splash-generator resources/splash.bmp

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;

// The 16 colours every display of the radio bench era could show.
constexpr std::array<QRgb, 16> kPalette = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};

enum Colour : int {
  Black = 0, Maroon, Green, Olive, Navy, Purple, Teal, Silver,
  Grey, Red, Lime, Yellow, Blue, Fuchsia, Aqua, White
};

QColor C(Colour c) { return QColor(kPalette[static_cast<std::size_t>(c)]); }

QFont PlainFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  // Antialiased edges would bring in colours outside the palette.
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

void DrawTitle(QPainter& p) {
  p.fillRect(0, 0, kWidth, 64, C(Navy));
  p.fillRect(0, 64, kWidth, 3, C(Yellow));
  p.setFont(PlainFont(38, true));
  p.setPen(C(Black));
  p.drawText(QRect(2, 2, kWidth, 50), Qt::AlignCenter, QStringLiteral("Flash Update"));
  p.setPen(C(White));
  p.drawText(QRect(0, 0, kWidth, 50), Qt::AlignCenter, QStringLiteral("Flash Update"));
  p.setFont(PlainFont(12, false));
  p.setPen(C(Aqua));
  p.drawText(QRect(0, 44, kWidth, 18), Qt::AlignCenter,
             QStringLiteral("radio firmware programming and verification"));
}

void DrawLaptop(QPainter& p) {
  // Lid and screen.
  p.setPen(QPen(C(Black), 2));
  p.setBrush(C(Grey));
  p.drawRect(40, 92, 150, 100);
  p.setBrush(C(Navy));
  p.drawRect(50, 100, 130, 82);
  p.setPen(Qt::NoPen);
  p.fillRect(56, 106, 70, 5, C(Lime));
  p.fillRect(56, 116, 96, 5, C(Lime));
  p.fillRect(56, 126, 84, 5, C(Lime));
  p.fillRect(56, 136, 104, 5, C(Lime));
  // Progress bar on the screen.
  p.fillRect(56, 160, 118, 12, C(Silver));
  p.fillRect(58, 162, 78, 8, C(Yellow));

  // Keyboard deck in perspective.
  QPolygon deck;
  deck << QPoint(40, 192) << QPoint(190, 192) << QPoint(214, 226) << QPoint(16, 226);
  p.setPen(QPen(C(Black), 2));
  p.setBrush(C(Silver));
  p.drawPolygon(deck);
  p.setPen(QPen(C(Grey), 1));
  constexpr int kKeysPerRow = 12;
  for (int row = 0; row < 3; ++row) {
    const int y = 197 + row * 8;
    // The deck widens toward the front: 24 pixels each side over its 34-pixel depth.
    const int spread = (y - 192) * 24 / 34;
    const int left = 40 - spread + 6;
    const int right = 190 + spread - 6;
    const int pitch = (right - left) / kKeysPerRow;
    for (int key = 0; key < kKeysPerRow; ++key) {
      p.setBrush(C(White));
      p.drawRect(left + key * pitch, y, pitch - 3, 5);
    }
  }
  p.setBrush(C(Grey));
  p.drawRect(94, 221, 42, 3);
}

void DrawRadio(QPainter& p) {
  // Cable from the laptop's side to the radio.
  p.setPen(QPen(C(Black), 3));
  QPainterPath cable;
  cable.moveTo(210, 210);
  cable.cubicTo(240, 240, 250, 170, 268, 182);
  p.setBrush(Qt::NoBrush);
  p.drawPath(cable);

  // Antenna and body.
  p.setPen(QPen(C(Black), 3));
  p.drawLine(300, 150, 300, 96);
  p.setPen(QPen(C(Black), 2));
  p.setBrush(C(Teal));
  p.drawRect(266, 150, 72, 80);
  p.setBrush(C(Black));
  p.drawRect(274, 158, 56, 22);
  p.setPen(Qt::NoPen);
  p.setFont(PlainFont(11, true));
  p.setPen(C(Lime));
  p.drawText(QRect(274, 158, 56, 22), Qt::AlignCenter, QStringLiteral("PROG"));
  p.setPen(QPen(C(Black), 1));
  for (int i = 0; i < 3; ++i) {
    p.setBrush(i == 0 ? C(Red) : C(Silver));
    p.drawEllipse(QPoint(284 + i * 18, 198), 6, 6);
  }
  p.setBrush(C(Silver));
  p.drawRect(276, 212, 52, 8);

  // Signal arcs from the antenna tip.
  p.setPen(QPen(C(Red), 2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRect(288, 84, 24, 24), 20 * 16, 140 * 16);
  p.drawArc(QRect(280, 76, 40, 40), 20 * 16, 140 * 16);
}

void DrawLogo(QPainter& p) {
  p.fillRect(0, 244, kWidth, 44, C(Silver));
  p.fillRect(0, 244, kWidth, 2, C(Grey));
  // The maker's mark: a red disc with the initials.
  p.setPen(QPen(C(Black), 2));
  p.setBrush(C(Red));
  p.drawEllipse(QPoint(30, 266), 16, 16);
  p.setFont(PlainFont(14, true));
  p.setPen(C(White));
  p.drawText(QRect(14, 250, 33, 33), Qt::AlignCenter, QStringLiteral("HQ"));
  p.setFont(PlainFont(16, true));
  p.setPen(C(Maroon));
  p.drawText(QRect(54, 248, 200, 20), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Halvane Quillo"));
  p.setFont(PlainFont(11, false));
  p.setPen(C(Black));
  p.drawText(QRect(54, 266, 220, 16), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Radio Communications"));
  p.drawText(QRect(250, 258, 126, 16), Qt::AlignRight | Qt::AlignVCenter,
             QStringLiteral("Version 4.12"));
}

int NearestIndex(QRgb rgb) {
  int best = 0;
  int bestDistance = 1 << 30;
  for (int i = 0; i < 16; ++i) {
    const int dr = qRed(rgb) - qRed(kPalette[static_cast<std::size_t>(i)]);
    const int dg = qGreen(rgb) - qGreen(kPalette[static_cast<std::size_t>(i)]);
    const int db = qBlue(rgb) - qBlue(kPalette[static_cast<std::size_t>(i)]);
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

void Put16(QByteArray& out, std::uint16_t v) {
  out.append(static_cast<char>(v & 0xFF));
  out.append(static_cast<char>(v >> 8));
}

void Put32(QByteArray& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A bottom-up BITMAPINFOHEADER file with a 16-entry colour table, 4 bits a pixel.
QByteArray EncodeBmp4(const QImage& image) {
  const int rowBytes = ((kWidth * 4 + 31) / 32) * 4;
  const std::uint32_t pixelBytes = static_cast<std::uint32_t>(rowBytes * kHeight);
  const std::uint32_t offset = 14 + 40 + 16 * 4;
  QByteArray out;
  out.append("BM");
  Put32(out, offset + pixelBytes);
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, kWidth);
  Put32(out, kHeight);
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, 0);  // no compression
  Put32(out, pixelBytes);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, 16);
  Put32(out, 16);
  for (QRgb rgb : kPalette) {
    out.append(static_cast<char>(qBlue(rgb)));
    out.append(static_cast<char>(qGreen(rgb)));
    out.append(static_cast<char>(qRed(rgb)));
    out.append('\0');
  }
  for (int y = kHeight - 1; y >= 0; --y) {
    QByteArray row(rowBytes, '\0');
    for (int x = 0; x < kWidth; ++x) {
      const int index = NearestIndex(image.pixel(x, y));
      char& cell = row[x / 2];
      cell = static_cast<char>(x % 2 == 0 ? (index << 4) : (static_cast<unsigned char>(cell) | index));
    }
    out.append(row);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
    return 2;
  }
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  image.fill(C(White));
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    DrawTitle(p);
    DrawLaptop(p);
    DrawRadio(p);
    DrawLogo(p);
  }

  QFile file(QString::fromLocal8Bit(argv[1]));
  if (!file.open(QIODevice::WriteOnly) || file.write(EncodeBmp4(image)) < 0) {
    std::fprintf(stderr, "cannot write %s: %s\n", argv[1], qPrintable(file.errorString()));
    return 1;
  }
  return 0;
}
