#include "FormDefault.h"

#include "ui/dialogs/EditDialog.h"
#include "ui/dialogs/LeaveRule.h"
#include "ui/dialogs/MaskFrameControls.h"
#include "ui/dialogs/MaskList.h"
#include "ui/dialogs/NumericBox.h"
#include "ui/dialogs/SizeFields.h"
#include "ui/dialogs/WatermarkFields.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QGroupBox* inPanel(QWidget* content, QWidget* parent)
{
    auto* panel = new QGroupBox(parent);
    content->setParent(panel);
    (new QVBoxLayout(panel))->addWidget(content);
    return panel;
}

} // namespace

TFormDefault::TFormDefault(Desktop& desktop, QWidget* parent)
    : ProgramDialog("TFormDefault", QStringLiteral("Default Settings"), parent)
{

    Size = new SizeFields({.label = "Label1", .spin = "UpDownSize", .edit = "EditSize", .note = "Label4"}, this);
    Watermark = new WatermarkFields({.signatureLabel = "Label2",
                                     .opacityLabel = "Label5",
                                     .marginLabel = "Label6",
                                     .xLabel = "Label7",
                                     .yLabel = "Label8",
                                     .positionLabel = "Label9",
                                     .trackBar = "TrackBarWatermark",
                                     .trackBarEdit = "EditWatermark",
                                     .unknownPositionRaisesAll = false},
                                    desktop, this);
    MaskFrame = new MaskFrameControls(
        {.thumbnailSide = 44, .listSize = QSize(465, 120), .borderLabelName = "Label12", .colorLabelName = "Label10"},
        desktop, this);

    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormDefault::ButtonOKClick);
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 8, 12, 8);
    column->addWidget(inPanel(Size, this));
    column->addWidget(inPanel(Watermark, this));
    column->addWidget(MaskFrame);
    column->addLayout(buttons);
    setFixedSize(489, sizeHint().height());
}

bool TFormDefault::MasksLoaded() const
{
    return MaskFrame->list()->loaded();
}

void TFormDefault::FormShow()
{
    Watermark->SetControls(*editInfo_);
    Size->SetControls(*editInfo_);
    MaskFrame->SetControls(*editInfo_);
    Size->sizeBox()->setFocus();
}


void TFormDefault::ButtonOKClick()
{
    QWidget* editing = focusWidget();
    ButtonOK->setFocus();
    commitBoxOf(editing);
    Size->ReadControls(*editInfo_);
    Watermark->ReadControls(*editInfo_);
    MaskFrame->ReadControls(*editInfo_);
    done(mrOk);
}
