// The program's own artwork for the dialogs and the details pane, painted at
// run time so that any size stays sharp. Every icon has a transparent
// background. UI thread only (QPixmap).
#pragma once

#include <QIcon>

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
