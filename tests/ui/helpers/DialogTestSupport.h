#pragma once

#include "ui/photo/Photo.h"

#include <QTest>
#include <QWidget>

#include <functional>

// A photo view showing one record whose source loads; setup adjusts the record before the
// first render.
struct ShownPhoto {
    TPhotoInfo info;
    TPhoto view;
    explicit ShownPhoto(const QString& file, const std::function<void(TPhotoInfo&)>& setup = {}) : info(file)
    {
        if (setup)
            setup(info);
        view.SetPhotoInfo(&info);
    }
};

// The control of that name (its objectName); a missing one ends the test program.
template <typename T>
T* child(QWidget& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// Types into a box as the user does: the box gets the focus, its text is replaced.
inline void typeInto(QWidget* box, const QString& text)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}
