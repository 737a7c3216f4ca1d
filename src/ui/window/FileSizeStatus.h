#pragma once

#include <QObject>

class FileSizeEstimator;
class QLabel;
class QStatusBar;
class TPhoto;
struct FileSizeEstimate;

// The status bar's file size panel (StatusPanelFileSize), beside the photo's pixel size: the
// size of the JPEG file the photo on screen gives at its quality and size limit ("About
// 212 KB"), worked out in the background after every render. Empty while no photo is shown
// and while the size of a newly rendered photo is being worked out.
class FileSizeStatus : public QObject {
    Q_OBJECT

public:
    FileSizeStatus(TPhoto& photo, QStatusBar& bar, QObject* parent = nullptr);

    QLabel* panel() const { return panel_; }

private:
    void photoChanged();
    void estimated(const FileSizeEstimate& estimate);

    TPhoto& photo_;
    QLabel* panel_;
    FileSizeEstimator* estimator_;
    qint64 shownKey_ = 0; // the bitmap whose size the panel shows or awaits
};
