#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include <string_view>

class QWidget;

namespace flash {

// The dialogs' face: the desktop's own font, so that they follow its size and the
// theme's choice, never smaller than the 8 points the layouts were drawn for.
QFont DialogFont();

// Turns dialog units into pixels for the dialog font, the way templates are laid out:
// a horizontal unit is a quarter of the average character width, a vertical unit an
// eighth of the character height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int X(int units) const;
  int Y(int units) const;
  QRect Rect(int x, int y, int width, int height) const;

 private:
  int baseX_;
  int baseY_;
};

// Sets the dialog font and the client size of a template given in dialog units.
DialogUnits PrepareDialog(QWidget& dialog, int widthUnits, int heightUnits);

// Static texts and message boxes break lines at CR LF, and at a CR or LF alone.
QString DialogText(std::string_view text);

}  // namespace flash
