#include "app/dialog_look.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>

namespace flash {

QFont DialogFont() {
  QFont font = QApplication::font();
  if (font.pointSizeF() > 0 && font.pointSizeF() < 8) font.setPointSizeF(8);
  return font;
}

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  // Rounded average width of the 52 letters, as the template loader measures it.
  baseX_ = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
  baseY_ = metrics.height();
  if (baseX_ < 1) baseX_ = 1;
  if (baseY_ < 1) baseY_ = 1;
}

int DialogUnits::X(int units) const { return units * baseX_ / 4; }

int DialogUnits::Y(int units) const { return units * baseY_ / 8; }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  return QRect(X(x), Y(y), X(width), Y(height));
}

DialogUnits PrepareDialog(QWidget& dialog, int widthUnits, int heightUnits) {
  dialog.setFont(DialogFont());
  DialogUnits units(dialog.font());
  dialog.setFixedSize(units.X(widthUnits), units.Y(heightUnits));
  return units;
}

QString DialogText(std::string_view text) {
  QString out = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

}  // namespace flash
