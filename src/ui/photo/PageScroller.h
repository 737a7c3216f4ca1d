#pragma once

#include <QPointer>
#include <QWidget>

class QScrollArea;
class QToolButton;

// A strip that shows one row of controls and scrolls it sideways with an arrow button at
// each end when the row is wider than the strip (the photos tool bar lives in one).
class PageScroller : public QWidget {
    Q_OBJECT

public:
    explicit PageScroller(QWidget* content, QWidget* parent = nullptr);

    // Scrolls so that a child of the content is in view, and keeps it there when the strip
    // changes its width.
    void ensureVisible(QWidget* child);
    // The current horizontal offset of the row, in pixels.
    int position() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void scrollBy(int dx);
    void updateArrows();

    QScrollArea* area_;
    QWidget* content_;
    QToolButton* left_;
    QToolButton* right_;
    QPointer<QWidget> keepVisible_;
};
