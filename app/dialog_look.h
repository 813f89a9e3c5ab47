#pragma once

#include <QFont>
#include <QString>
#include <Qt>

#include <string_view>

class QDialog;
class QLabel;
class QLayout;
class QWidget;

namespace flash {

// The dialogs' face: the desktop's own font, so that they follow its size and the
// theme's choice, never smaller than 8 points.
QFont DialogFont();

// Lays a dialog out for the font it has: its content, and its buttons below it
// (or beside it, on the right). The content scrolls when the screen has no room for
// all of it, so that the buttons stay in sight; the dialog never outgrows the screen.
void LayOutDialog(QDialog& dialog, QLayout* content, QLayout* buttons,
                  Qt::Orientation buttonsGo = Qt::Vertical);

// A word-wrapped text that keeps at least this many characters a line.
QLabel* WrappedText(const QString& text, int leastChars, QWidget* parent);

// Static texts and message boxes break lines at CR LF, and at a CR or LF alone.
QString DialogText(std::string_view text);

}  // namespace flash
