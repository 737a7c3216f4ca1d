#pragma once

#include <QList>
#include <QWidget>

class PageScroller;
class QButtonGroup;
class QHBoxLayout;
class QToolButton;

// The photos tool bar: one check-style 39 x 38 button per opened photo, in the order of the
// photo list, with the photo's 32 x 32 thumbnail and its full path as hint. Exactly one button
// is pressed, the current photo's, and framed in the highlight color. The row lives in a
// page scroller that scrolls it sideways when it is wider than its band.
class PhotosToolBar : public QWidget {
    Q_OBJECT

public:
    // The width of the highlight frame around the current photo's button.
    static constexpr int kCurrentFrameWidth = 3;

    PhotosToolBar();

    // The page scroller holding the bar, to be placed in a band.
    PageScroller* scroller() const { return scroller_; }

    int count() const { return int(buttons_.size()); }
    QToolButton* button(int index) const { return buttons_.at(index); }
    // Appends a button after every other one.
    void addButton(const QString& fileName, const QImage& thumbnail);
    void removeButton(int index);
    // Presses the button at index (releasing the others) and scrolls it into view.
    void press(int index);

signals:
    // A photo button was clicked, with its position.
    void clicked(int index);

private:
    QHBoxLayout* row_;
    QButtonGroup* group_;
    QList<QToolButton*> buttons_;
    PageScroller* scroller_;
};
