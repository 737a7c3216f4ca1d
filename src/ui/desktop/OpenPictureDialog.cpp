#include "OpenPictureDialog.h"

#include "PreviewLoader.h"
#include "formats/FormatRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
constexpr int kPreviewSide = 180;
const QString kReading = QStringLiteral("(reading...)");
}

OpenPictureDialog::OpenPictureDialog(QWidget* parent)
    : QFileDialog(parent, QStringLiteral("Open"))
{
    setObjectName(QStringLiteral("OpenPictureDialog"));
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilter(toQtFileFilter(QString::fromLatin1(kOpenPicturesFilter)));

    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    imagePreview_ = new QLabel(panel);
    imagePreview_->setObjectName(QStringLiteral("ImagePreview"));
    imagePreview_->setFixedSize(kPreviewSide + 4, kPreviewSide + 4);
    imagePreview_->setFrameShape(QFrame::StyledPanel);
    imagePreview_->setAlignment(Qt::AlignCenter);
    labelSize_ = new QLabel(panel);
    labelSize_->setObjectName(QStringLiteral("LabelSize"));
    labelSize_->setAlignment(Qt::AlignHCenter);
    column->addWidget(imagePreview_);
    column->addWidget(labelSize_);
    column->addStretch();

    // The non-native dialog lays itself out in a grid; the preview takes a column of its own.
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1);

    loader_ = new PreviewLoader(QSize(kPreviewSide, kPreviewSide), this);
    connect(loader_, &PreviewLoader::ready, this, [this](const QString&, const PicturePreview& preview) {
        setPreview(preview);
    });
    connect(this, &QFileDialog::currentChanged, this, &OpenPictureDialog::showPreview);
    // A typed name picks its file in the list without making it current: preview it too.
    if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(name, &QLineEdit::textEdited, this, &OpenPictureDialog::previewTypedName);
}

void OpenPictureDialog::previewTypedName(const QString& text)
{
    if (text.isEmpty())
        return;
    const QString path = QDir(directory().absolutePath()).absoluteFilePath(text);
    if (QFileInfo(path).isFile())
        showPreview(path);
}

void OpenPictureDialog::showPreview(const QString& fileName)
{
    const bool isFile = !fileName.isEmpty() && QFileInfo(fileName).isFile();
    // The same file again (typed, then made current): its preview is shown or on its way.
    if (isFile && fileName == previewedFile_)
        return;
    previewedFile_ = fileName;
    imagePreview_->clear();
    labelSize_->clear();
    if (!isFile) {
        loader_->cancel();
        return;
    }
    loader_->request(fileName);
    if (loader_->pending())
        labelSize_->setText(kReading);
}

void OpenPictureDialog::setPreview(const PicturePreview& preview)
{
    if (preview.image.isNull()) {
        imagePreview_->clear();
        labelSize_->setText(QStringLiteral("(no preview)"));
        return;
    }
    imagePreview_->setPixmap(QPixmap::fromImage(preview.image));
    labelSize_->setText(QStringLiteral("%1 x %2").arg(preview.pictureSize.width()).arg(preview.pictureSize.height()));
}

void OpenPictureDialog::done(int result)
{
    const QStringList files = selectedFiles();
    if (result == QDialog::Accepted && !files.isEmpty())
        loader_->finish(files.constFirst());
    else
        loader_->cancel();
    if (labelSize_->text() == kReading) {
        labelSize_->clear(); // the decode was dropped
        previewedFile_.clear();
    }
    QFileDialog::done(result);
}
