#include "EditDialog.h"

#include "LeaveRule.h"
#include "ui/photo/Photo.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>

TEditDialog::TEditDialog(TPhoto& photo, SettingsGroup group, QWidget* parent)
    : ProgramDialog(nullptr, QString(), parent), photo_(photo), group_(group)
{
    // FormCreate: SavedInfo lives as long as the dialog.
}

QBoxLayout* TEditDialog::protocolButtons(bool withAll)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto add = [this, row](const char* name, const char* caption, void (TEditDialog::*handler)()) {
        auto* button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, handler);
        return button;
    };
    ButtonOK = add("ButtonOK", "OK", &TEditDialog::ButtonOKClick);
    ButtonOK->setDefault(true);
    if (withAll)
        ButtonAll = add("ButtonAll", "OK for All", &TEditDialog::ButtonAllClick);
    ButtonCancel = add("ButtonCancel", "Cancel", &TEditDialog::ButtonCancelClick);
    ButtonApply = add("ButtonApply", "Apply", &TEditDialog::ButtonApplyClick);
    return row;
}

void TEditDialog::FormShow()
{
    if (TPhotoInfo* info = photo_.Info())
        savedInfo_.AssignSettings(*info);
    SetControls(savedInfo_);
    BuildPreview();
    if (QWidget* first = FirstControl())
        first->setFocus();
}

std::optional<TPhotoInfo> TEditDialog::PreviewInfo()
{
    const TPhotoInfo* info = photo_.Info();
    if (!info)
        return std::nullopt;
    TPhotoInfo scratch = *info;
    ReadControls(scratch);
    return scratch;
}

void TEditDialog::renderPhoto()
{
    if (group_ == SettingsGroup::Mask)
        photo_.LoadMask();
    photo_.Render();
}

void TEditDialog::writeGroup()
{
    // A box being edited takes its number before anything is read.
    QWidget* editing = focusWidget();
    ButtonOK->setFocus();
    commitBoxOf(editing);
    if (TPhotoInfo* info = photo_.Info()) {
        ReadControls(*info);
        renderPhoto();
    }
}

void TEditDialog::ButtonOKClick()
{
    writeGroup();
    done(mrOk);
}

void TEditDialog::ButtonApplyClick()
{
    writeGroup();
}

void TEditDialog::ButtonAllClick()
{
    writeGroup();
    done(mrAll);
}

void TEditDialog::ButtonCancelClick()
{
    if (TPhotoInfo* info = photo_.Info()) {
        CopyGroup(group_, savedInfo_, *info);
        renderPhoto();
    }
    done(mrCancel);
}

void TEditDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ButtonCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
