// The program's own pictures: the mark images of the results list, the
// toolbar and dialog buttons and the program's icon. They are painted here
// with QPainter so that they scale with the screen and need no image files.
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
// A blue padlock: the file lies in a reference folder and is never marked.
QPixmap ReferenceImage(int size = 16);

// Toolbar pictures (32 x 32 and smaller sizes for menus).
QIcon OpenFoldersIcon();
QIcon SavePlaylistIcon();
QIcon OptionsIcon();
QIcon AboutIcon();

// The program's icon: two overlapping notes over a fox-orange disc.
QIcon ApplicationIcon();

// Buttons of the dialogs and the details pane.
// A red cross: delete a file, remove a folder.
QIcon RedCrossIcon();
// A loudspeaker: play a file.
QIcon LoudspeakerIcon();
// A green plus: add a folder.
QIcon GreenPlusIcon();
// An eraser: remove all folders.
QIcon EraserIcon();
// A yellow folder: a row of the folder list.
QIcon FolderIcon();

}  // namespace artwork
