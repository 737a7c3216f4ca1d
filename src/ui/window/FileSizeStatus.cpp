#include "FileSizeStatus.h"

#include "ui/photo/FileSizeEstimator.h"
#include "ui/photo/Photo.h"

#include <QLabel>
#include <QStatusBar>

FileSizeStatus::FileSizeStatus(TPhoto& photo, QStatusBar& bar, QObject* parent)
    : QObject(parent), photo_(photo), estimator_(new FileSizeEstimator(this))
{
    panel_ = new QLabel(&bar);
    panel_->setObjectName(QStringLiteral("StatusPanelFileSize"));
    panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel_->setMinimumWidth(150);
    // Right after the pixel size, the third of the bar's four panels.
    bar.insertWidget(3, panel_);
    connect(&photo_, &TPhoto::OnChange, this, &FileSizeStatus::photoChanged);
    connect(estimator_, &FileSizeEstimator::estimated, this, &FileSizeStatus::estimated);
}

void FileSizeStatus::photoChanged()
{
    const QImage& bitmap = photo_.Bitmap();
    if (!photo_.Info() || bitmap.isNull() || bitmap.width() <= 0 || bitmap.height() <= 0) {
        estimator_->clear();
        panel_->clear();
        shownKey_ = 0;
        return;
    }
    // A zoom change keeps the bitmap and its size; another render shows nothing until the
    // new size is known, so the panel never shows the size of another picture.
    if (bitmap.cacheKey() != shownKey_)
        panel_->clear();
    shownKey_ = bitmap.cacheKey();
    estimator_->request(bitmap, *photo_.Info());
}

void FileSizeStatus::estimated(const FileSizeEstimate& estimate)
{
    panel_->setText(fileSizeText(estimate));
}
