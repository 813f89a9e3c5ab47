#pragma once

#include <QIcon>
#include <QPixmap>

namespace flash {

// The program's small red dot: the window icon and the about box's corners.
QPixmap RedDotPixmap(int size);
QIcon ProgramIcon();

// The wrench of the communication-failure dialog.
QPixmap WrenchPixmap(int size);

}  // namespace flash
