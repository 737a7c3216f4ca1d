#include "PhotoOutput.h"

#include "Photo.h"
#include "model/ProgramFolder.h"
#include "ui/desktop/Desktop.h"


#include <stdexcept>

namespace {

// A photo whose source could not be read renders to nothing; writing that would give an
// empty file under the user's chosen name, so the command says why it cannot save instead.
// A source that was read but gave no bitmap (over the size limits, no pixels) has the
// photo's own message.
void requireRendered(const TPhoto& photo)
{
    if (!photo.Bitmap().isNull() && photo.Bitmap().width() > 0 && photo.Bitmap().height() > 0)
        return;
    if (photo.Source() && !photo.Core().Message().isEmpty())
        throw std::runtime_error(photo.Core().Message().toStdString());
    const QString file = photo.Info() ? photo.Info()->FileName : QString();
    throw std::runtime_error(
        QStringLiteral("There is no picture to save: %1 could not be read.").arg(file).toStdString());
}

// Writes the photo; a file still over its size limit at quality 1 was written all the same,
// and the user is told so once.
void save(const TPhoto& photo, const QString& fileName, Desktop& desktop, QWidget* parent)
{
    const FittedJpeg jpeg = photo.SaveToFile(fileName);
    if (!jpeg.fits)
        desktop.warn(parent, sizeLimitMissedMessage(photo.Info()->FileName, jpeg.bytes.size(), photo.Info()->MaxFileKB));
}

} // namespace

namespace PhotoOutput {

QString proposedSaveName(const QString& sourcePath)
{
    const int slash = sourcePath.lastIndexOf(QLatin1Char('/'));
    const QString folder = sourcePath.left(slash + 1);
    QString name = sourcePath.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return folder + QStringLiteral("new_") + name + QStringLiteral(".jpg");
}

QString mailFilePath()
{
    return dataFile(QStringLiteral("photo.jpg"));
}

void SaveAs(TPhoto& photo, Desktop& desktop, QWidget* parent)
{
    if (!photo.Info())
        return;
    requireRendered(photo);
    const QString fileName = desktop.savePicture(parent, proposedSaveName(photo.Info()->FileName));
    if (fileName.isEmpty())
        return;
    save(photo, fileName, desktop, parent);
}

void SendEmail(TPhoto& photo, Desktop& desktop)
{
    if (!photo.Info())
        return;
    requireRendered(photo);
    const QString fileName = mailFilePath();
    save(photo, fileName, desktop, nullptr);
    desktop.sendMail({fileName});
}

void CopyToClipboard(TPhoto& photo)
{
    if (!photo.Info())
        return;
    photo.CopyToClipboard();
}

} // namespace PhotoOutput
