#pragma once

#include <QString>

class Desktop;
class TPhoto;
class QWidget;

// Save As, Send Email To and Copy to Clipboard: the current photo's rendered bitmap leaves
// the program as a JPEG file, as a mail attachment or on the clipboard. The photo view must
// show a photo.
namespace PhotoOutput {

// The name Save As proposes: the source's folder, "new_", the source's file name without its
// extension (the text from its last dot on), ".jpg". "/pics/IMG_0412.JPG" gives
// "/pics/new_IMG_0412.jpg".
QString proposedSaveName(const QString& sourcePath);

// The mail file: photo.jpg in the program folder.
QString mailFilePath();

// Asks for a file name (proposing proposedSaveName) and writes the rendered photo there, at
// its JPEG quality and size limit. A photo still over its limit at quality 1 is written so,
// and a warning naming the photo says that once.
void SaveAs(TPhoto& photo, Desktop& desktop, QWidget* parent);
// Writes the rendered photo to the mail file as Save As does (with the same warning) and
// hands that file to the mail client.
void SendEmail(TPhoto& photo, Desktop& desktop);
// Puts the rendered pixels on the clipboard.
void CopyToClipboard(TPhoto& photo);

} // namespace PhotoOutput
