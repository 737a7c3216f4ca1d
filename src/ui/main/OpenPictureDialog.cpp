#include "OpenPictureDialog.h"

#include "formats/FormatRegistry.h"
#include "model/LastDecodedPicture.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <exception>

namespace {
constexpr int kPreviewSide = 180;
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

    connect(this, &QFileDialog::currentChanged, this, &OpenPictureDialog::showPreview);
    // Wide enough for the file list's columns beside the preview.
    resize(820, 460);
}

OpenPictureDialog::Preview OpenPictureDialog::previewImage(const QString& fileName, QSize box)
{
    const Picture* picture = nullptr;
    try {
        // Kept after the preview: opening the file next takes it without decoding again.
        picture = &LastDecodedPicture::load(fileName);
    } catch (const std::exception&) {
        // A file the preview cannot read simply shows no preview; opening it reports why.
        return {};
    }
    const int w = picture->width();
    const int h = picture->height();
    if (w <= 0 || h <= 0 || box.isEmpty())
        return {};
    QSize fitted = QSize(w, h).scaled(box, Qt::KeepAspectRatio);
    if (fitted.width() > w || fitted.height() > h)
        fitted = QSize(w, h); // small pictures are shown at their own size
    fitted = fitted.expandedTo(QSize(1, 1));
    QImage image(box, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QRect target((box.width() - fitted.width()) / 2, (box.height() - fitted.height()) / 2,
                       fitted.width(), fitted.height());
    picture->draw(painter, target);
    return {image, QSize(w, h)};
}

void OpenPictureDialog::showPreview(const QString& fileName)
{
    imagePreview_->clear();
    labelSize_->clear();
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return;
    const Preview preview = previewImage(fileName, QSize(kPreviewSide, kPreviewSide));
    if (preview.image.isNull()) {
        labelSize_->setText(QStringLiteral("(no preview)"));
        return;
    }
    imagePreview_->setPixmap(QPixmap::fromImage(preview.image));
    labelSize_->setText(QStringLiteral("%1 x %2").arg(preview.pictureSize.width()).arg(preview.pictureSize.height()));
}
