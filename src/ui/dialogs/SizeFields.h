#pragma once

#include "model/PhotoInfo.h"

#include <QWidget>

class NumericBox;
class QCheckBox;
class TrackBarBox;

// The size settings as the Resize and the settings dialogs show them: "Max Size:" with its
// four-character box (0..9999; what was typed stays in the box when it is left), the note on
// proportions, and the Optimize, High-quality scaling and Keep check boxes; then the JPEG
// file's quality (a track bar with its box, 1..100) and its largest size ("Largest file:
// at most [ N ] KB", the box taking part while checked; unchecked is no limit).
class SizeFields : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxSizeLimit = 9999;
    // What the largest-file box shows while the photo has no limit.
    static constexpr int kProposedFileKB = 500;
    // On the JPEG controls: what the written file holds besides the pixels.
    static inline const char* const kMetadataHint = "No camera or location data is kept";

    struct Names {
        const char* label = "Label1"; // "Max Size:"
        const char* spin = "UpDownMax";
        const char* edit = "EditMax";
        const char* note = "Label2"; // "* Always keep the original proportion."
    };
    SizeFields(const Names& names, QWidget* parent);

    NumericBox* sizeBox() const { return size_; }
    QCheckBox* keepBox() const { return CheckBoxKeep; }
    TrackBarBox* qualityBar() const { return TrackBarQuality; }
    QCheckBox* maxFileCheck() const { return CheckBoxMaxFile; }
    NumericBox* maxFileBox() const { return UpDownMaxFile; }

    // A stored size beyond the box's range (from an edited settings file) shows as its limit.
    void SetControls(const TPhotoInfo& info);
    void ReadControls(TPhotoInfo& info) const;

signals:
    // The quality or the size limit in the controls changed (by the user or by program).
    void jpegChanged();

private:
    NumericBox* size_;
    QCheckBox* CheckBoxOptimize;
    QCheckBox* CheckBoxResample;
    QCheckBox* CheckBoxKeep;
    TrackBarBox* TrackBarQuality;
    QCheckBox* CheckBoxMaxFile;
    NumericBox* UpDownMaxFile;
};
