#include "FormExport.h"

#include "batch/BatchExport.h"
#include "model/PhotoList.h"
#include "ui/desktop/Desktop.h"
#include "ui/desktop/ErrorReport.h"
#include "ui/dialogs/EditDialog.h"
#include "ui/dialogs/LeaveRule.h"
#include "ui/dialogs/NumericBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr int kAutoName = 1; // ComboBoxName: 0 "Original Name", 1 "Auto Created Name"

QLabel* newLabel(const char* name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QLineEdit* newEdit(const char* name, int maxLength, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(maxLength);
    return edit;
}

QComboBox* newList(const char* name, const QStringList& items, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->addItems(items);
    return list;
}

} // namespace

TFormExport::TFormExport(Desktop& desktop, QWidget* parent)
    : ProgramDialog("TFormExport", QStringLiteral("Export"), parent), desktop_(desktop)
{

    PanelFolder = buildFolderPanel();
    PanelName = buildNamePanel();
    PanelExport = buildExportPanel();

    ProgressBarProcess = new QProgressBar(this);
    ProgressBarProcess->setObjectName(QStringLiteral("ProgressBarProcess"));
    ProgressBarProcess->setRange(0, 100);
    ProgressBarProcess->hide();
    // The bar's room is kept while it is hidden, so the buttons stay where they are.
    QSizePolicy keep = ProgressBarProcess->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    ProgressBarProcess->setSizePolicy(keep);
    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, [this] { runCommand([this] { ButtonOKClick(); }); });
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormExport::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ProgressBarProcess, 1);
    bottom->addWidget(ButtonOK);
    bottom->addWidget(ButtonCancel);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->addWidget(PanelFolder, 1);
    column->addWidget(PanelName);
    column->addWidget(PanelExport);
    column->addLayout(bottom);
    setFixedSize(465, 398);

    // FormCreate: the initial values. The user's home folder stands for the root of the
    // first disk, which a user of this system cannot write to.
    const QString home = QDir::homePath();
    EditFolder->setText(home);
    const QModelIndex homeNode = folders_->index(home);
    for (QModelIndex above = homeNode.parent(); above.isValid(); above = above.parent())
        ShellTreeView->expand(above);
    ShellTreeView->setCurrentIndex(homeNode);
    EditPrefix->setText(QStringLiteral("new_"));
    UpDownStart->setValue(1);
    UpDownLength->setValue(1);
    RadioButtonSave->setChecked(true);
    ComboBoxNameChange();
}

QGroupBox* TFormExport::buildFolderPanel()
{
    auto* panel = new QGroupBox(this);
    panel->setObjectName(QStringLiteral("PanelFolder"));
    EditFolder = newEdit("EditFolder", 250, panel);
    folders_ = new QFileSystemModel(this);
    folders_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    folders_->setOption(QFileSystemModel::DontWatchForChanges);
    // The style's folder icons, as the file dialogs show them (shared by every tree, kept for
    // the whole run so no model outlives it).
    static QFileIconProvider icons;
    folders_->setIconProvider(&icons);
    folders_->setRootPath(QDir::rootPath());
    ShellTreeView = new QTreeView(panel);
    ShellTreeView->setObjectName(QStringLiteral("ShellTreeView"));
    ShellTreeView->setModel(folders_);
    ShellTreeView->setHeaderHidden(true);
    for (int column = 1; column < folders_->columnCount(); ++column)
        ShellTreeView->hideColumn(column);
    ShellTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShellTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellTreeView->setContextMenuPolicy(Qt::NoContextMenu);
    connect(ShellTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFormExport::ShellTreeViewChange);

    auto* grid = new QGridLayout(panel);
    grid->addWidget(newLabel("Label1", QStringLiteral("Folder:"), panel), 0, 0);
    grid->addWidget(EditFolder, 0, 1);
    grid->addWidget(ShellTreeView, 1, 0, 1, 2);
    return panel;
}

QGroupBox* TFormExport::buildNamePanel()
{
    auto* panel = new QGroupBox(this);
    panel->setObjectName(QStringLiteral("PanelName"));
    EditPrefix = newEdit("EditPrefix", 50, panel);
    ComboBoxName = newList("ComboBoxName", {QStringLiteral("Original Name"), QStringLiteral("Auto Created Name")}, panel);
    connect(ComboBoxName, &QComboBox::currentIndexChanged, this, &TFormExport::ComboBoxNameChange);
    EditSuffix = newEdit("EditSuffix", 50, panel);
    ComboBoxExt = newList("ComboBoxExt", {QStringLiteral("jpg"), QStringLiteral("jpeg")}, panel);
    UpDownStart = new NumericBox({.spinName = QStringLiteral("UpDownStart"),
                                  .editName = QStringLiteral("EditStart"),
                                  .minimum = 0,
                                  .maximum = 9999,
                                  .maxLength = 4},
                                 panel);
    UpDownLength = new NumericBox({.spinName = QStringLiteral("UpDownLength"),
                                   .editName = QStringLiteral("EditLength"),
                                   .minimum = 1,
                                   .maximum = 99,
                                   .maxLength = 2},
                                  panel);
    CheckBoxLowercase = new QCheckBox(QStringLiteral("All lowercase"), panel);
    CheckBoxLowercase->setObjectName(QStringLiteral("CheckBoxLowercase"));

    auto* pattern = new QHBoxLayout;
    pattern->addWidget(newLabel("Label2", QStringLiteral("Filename:"), panel));
    pattern->addWidget(EditPrefix, 2);
    pattern->addWidget(newLabel("Label3", QStringLiteral("+"), panel));
    pattern->addWidget(ComboBoxName, 3);
    pattern->addWidget(newLabel("Label4", QStringLiteral("+"), panel));
    pattern->addWidget(EditSuffix, 2);
    pattern->addWidget(newLabel("Label5", QStringLiteral("."), panel));
    pattern->addWidget(ComboBoxExt);
    auto* numbers = new QHBoxLayout;
    numbers->addWidget(newLabel("Label6", QStringLiteral("Start From:"), panel));
    numbers->addWidget(UpDownStart);
    numbers->addSpacing(12);
    numbers->addWidget(newLabel("Label7", QStringLiteral("Digital Length:"), panel));
    numbers->addWidget(UpDownLength);
    numbers->addStretch();
    numbers->addWidget(CheckBoxLowercase);
    auto* rows = new QVBoxLayout(panel);
    rows->addLayout(pattern);
    rows->addLayout(numbers);
    return panel;
}

QGroupBox* TFormExport::buildExportPanel()
{
    auto* panel = new QGroupBox(this);
    panel->setObjectName(QStringLiteral("PanelExport"));
    RadioButtonSave = new QRadioButton(QStringLiteral("Only save photo(s)"), panel);
    RadioButtonSave->setObjectName(QStringLiteral("RadioButtonSave"));
    RadioButtonEmail = new QRadioButton(QStringLiteral("Save photo(s) and send through Email"), panel);
    RadioButtonEmail->setObjectName(QStringLiteral("RadioButtonEmail"));
    auto* row = new QHBoxLayout(panel);
    row->addWidget(RadioButtonSave);
    row->addWidget(RadioButtonEmail);
    row->addStretch();
    return panel;
}

void TFormExport::FormShow()
{
    ButtonOK->setEnabled(PhotoList_ != nullptr);
    ShellTreeView->scrollTo(ShellTreeView->currentIndex());
    EditFolder->setFocus();
}

void TFormExport::ComboBoxNameChange()
{
    const bool numbered = ComboBoxName->currentIndex() == kAutoName;
    UpDownStart->setEnabled(numbered);
    UpDownLength->setEnabled(numbered);
}

void TFormExport::ShellTreeViewChange()
{
    // Only a node that is a folder of the file system fills the box.
    const QString path = folders_->filePath(ShellTreeView->currentIndex());
    if (!path.isEmpty() && QFileInfo(path).isDir())
        EditFolder->setText(path);
}

NamePattern TFormExport::Pattern() const
{
    return {.prefix = withoutBlanks(EditPrefix->text()),
            .autoName = ComboBoxName->currentIndex() == kAutoName,
            .suffix = withoutBlanks(EditSuffix->text()),
            .extension = ComboBoxExt->currentText(),
            .length = UpDownLength->value(),
            .lowercase = CheckBoxLowercase->isChecked()};
}

void TFormExport::setExporting(bool exporting)
{
    for (QWidget* control : std::initializer_list<QWidget*>{PanelFolder, PanelName, PanelExport, ButtonOK, ButtonCancel})
        control->setEnabled(!exporting);
    ProgressBarProcess->setValue(0);
    ProgressBarProcess->setVisible(exporting);
    // The export runs without the event loop: paint the disabled look and the bar now.
    repaint();
}

void TFormExport::ButtonOKClick()
{
    QWidget* editing = focusWidget();
    ButtonOK->setFocus();
    commitBoxOf(editing);
    const QString folder = withoutBlanks(EditFolder->text());
    if (!ensureFolder(folder)) {
        desktop_.warn(this, QStringLiteral("Can not create folder ") + folder + QStringLiteral("!"));
        EditFolder->setFocus();
        return;
    }

    ExportResult result;
    {
        setExporting(true);
        const auto idleAgain = qScopeGuard([this] { setExporting(false); });
        SavedFiles_.clear();
        QList<TPhotoInfo*> photos;
        QStringList sources;
        for (int i = 0; PhotoList_ && i < PhotoList_->count(); ++i) {
            photos << PhotoList_->at(i);
            sources << PhotoList_->at(i)->FileName;
        }
        const QStringList paths = exportPaths(sources, folder, Pattern(), UpDownStart->value());
        result = exportPhotos(photos, paths, [this](int done, int total) {
            ProgressBarProcess->setValue(done * 100 / total);
            ProgressBarProcess->repaint();
        });
    }
    if (RadioButtonEmail->isChecked())
        SavedFiles_ = result.written;
    if (!result.unreadable.isEmpty())
        desktop_.warn(this, QStringLiteral("These photos could not be read and were not exported:\n") +
                                result.unreadable.join(QLatin1Char('\n')));
    if (!result.overLimit.isEmpty())
        desktop_.warn(this, result.overLimit.join(QLatin1Char('\n')));
    done(mrOk);
}

