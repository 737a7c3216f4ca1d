#pragma once

#include "model/PhotoInfo.h"

#include <QWidget>

class NumericBox;
class QCheckBox;

// The size settings as the Resize and the settings dialogs show them: "Max Size:" with its
// four-character box (0..9999; what was typed stays in the box when it is left), the note on
// proportions, and the Optimize, High-quality scaling and Keep check boxes.
class SizeFields : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxSizeLimit = 9999;

    struct Names {
        const char* label = "Label1"; // "Max Size:"
        const char* spin = "UpDownMax";
        const char* edit = "EditMax";
        const char* note = "Label2"; // "* Always keep the original proportion."
    };
    SizeFields(const Names& names, QWidget* parent);

    NumericBox* sizeBox() const { return size_; }
    QCheckBox* keepBox() const { return CheckBoxKeep; }

    // A stored size beyond the box's range (from an edited settings file) shows as its limit.
    void SetControls(const TPhotoInfo& info);
    void ReadControls(TPhotoInfo& info) const;

private:
    NumericBox* size_;
    QCheckBox* CheckBoxOptimize;
    QCheckBox* CheckBoxResample;
    QCheckBox* CheckBoxKeep;
};
