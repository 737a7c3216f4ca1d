#pragma once

#include <QString>

class QFileDialog;

// The folder the open dialog starts in on its first showing: the user's Pictures folder
// where it exists, else the home folder (never the folder the program was started from).
QString initialPictureFolder();

// Sizes a file dialog, before its first showing, so that its detail view shows every column
// whole beside whatever else the dialog holds (the open dialog's preview), and the list shows
// a good number of rows; never larger than the available area of the screen it opens on. The
// file dialogs are kept for the whole run: later showings keep the size the user gave them.
void sizeFileDialogForColumns(QFileDialog& dialog);
