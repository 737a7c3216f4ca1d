#include "FormAdd.h"

#include "model/TemplateStore.h"
#include "ui/dialogs/EditDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kMaxNameLength = 100;

QPushButton* newButton(const char* name, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

TFormAdd::TFormAdd(QWidget* parent) : ProgramDialog("TFormAdd", QStringLiteral("Template Name"), parent)
{

    auto* label = new QLabel(QStringLiteral("Name:"), this);
    label->setObjectName(QStringLiteral("Label1"));
    EditName_ = new QLineEdit(this);
    EditName_->setObjectName(QStringLiteral("EditName"));
    EditName_->setMaxLength(kMaxNameLength);
    label->setBuddy(EditName_);
    connect(EditName_, &QLineEdit::textChanged, this, &TFormAdd::EditNameChange);
    CheckBoxToolbar_ = new QCheckBox(QStringLiteral("Add to templates toolbar"), this);
    CheckBoxToolbar_->setObjectName(QStringLiteral("CheckBoxToolbar"));

    ButtonOK_ = newButton("ButtonOK", QStringLiteral("OK"), this);
    ButtonOK_->setDefault(true);
    connect(ButtonOK_, &QPushButton::clicked, this, [this] { done(mrOk); });
    ButtonCancel_ = newButton("ButtonCancel", QStringLiteral("Cancel"), this);
    connect(ButtonCancel_, &QPushButton::clicked, this, [this] { done(mrCancel); });

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->addWidget(label, 0, 0);
    grid->addWidget(EditName_, 0, 1);
    grid->addWidget(CheckBoxToolbar_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOK_);
    buttons->addWidget(ButtonCancel_);
    grid->addLayout(buttons, 2, 0, 1, 2);
    setFixedSize(qMax(360, sizeHint().width()), sizeHint().height());

    // FormCreate
    CheckBoxToolbar_->setChecked(false);
}

void TFormAdd::FormShow()
{
    EditNameChange();
    EditName_->setFocus();
}

void TFormAdd::EditNameChange()
{
    ButtonOK_->setEnabled(!templateName(EditName_->text()).isEmpty());
}

