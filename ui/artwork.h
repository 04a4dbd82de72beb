// The main window's own pictures: the mark images of the results list, the
// toolbar buttons and the program's icon. They are painted here with QPainter
// so that they scale with the screen and need no image files at run time.
// Main thread only (QPixmap).
#pragma once

#include <QIcon>
#include <QPixmap>

namespace artwork {

// A small grey dot: the file of this cell is not marked. size x size pixels,
// transparent background.
QPixmap UnmarkedImage(int size = 16);
// A green tick: the file of this cell is marked for deletion.
QPixmap MarkedImage(int size = 16);

// Toolbar pictures (32 x 32 and smaller sizes for menus).
QIcon OpenFoldersIcon();
QIcon SavePlaylistIcon();
QIcon OptionsIcon();
QIcon AboutIcon();

// The program's icon: two overlapping notes over a fox-orange disc.
QIcon ApplicationIcon();

}  // namespace artwork
