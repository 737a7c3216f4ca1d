#include "FormManage.h"

#include "FormAdd.h"
#include "FormDefault.h"
#include "model/ProgramFolder.h"
#include "model/TemplateStore.h"
#include "ui/desktop/Desktop.h"
#include "ui/desktop/ErrorReport.h"
#include "ui/desktop/ToolIcons.h"
#include "ui/dialogs/EditDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kImageRole = Qt::UserRole;

// A template of the list: its name is the node's text, its settings live in the node and go
// with it when it is deleted.
class TemplateNode : public QTreeWidgetItem {
public:
    explicit TemplateNode(const TPhotoInfo& settings) : info(settings) {}
    TPhotoInfo info;
};

// Image 0 is the tool bar button's image; image 1 is none, with the same room kept, so every
// name starts at the same place.
void setImageIndex(QTreeWidgetItem* node, int index)
{
    static const QIcon none = [] {
        QPixmap blank(16, 16);
        blank.fill(Qt::transparent);
        return QIcon(blank);
    }();
    node->setData(0, kImageRole, index);
    node->setIcon(0, index == 0 ? toolIcon(ToolIcon::Template) : none);
}

} // namespace

TFormManage::TFormManage(Desktop& desktop, TFormAdd& formAdd, TFormDefault& formDefault, QWidget* parent)
    : ProgramDialog("TFormManage", QStringLiteral("Manage Templates"), parent), desktop_(desktop), formAdd_(formAdd),
      formDefault_(formDefault)
{

    TreeView_ = new QTreeWidget(this);
    TreeView_->setObjectName(QStringLiteral("TreeView"));
    TreeView_->setHeaderHidden(true);
    TreeView_->setRootIsDecorated(false);
    TreeView_->setIndentation(19);
    TreeView_->setIconSize(QSize(16, 16));
    TreeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(TreeView_, &QTreeWidget::itemSelectionChanged, this, [this] { TreeViewChange(selectedNode()); });

    auto* actions = new QVBoxLayout;
    auto button = [&](const char* name, const char* text, void (TFormManage::*handler)()) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        b->setMinimumWidth(112);
        connect(b, &QPushButton::clicked, this, [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
        actions->addWidget(b);
        return b;
    };
    ButtonName = button("ButtonName", "Change Name", &TFormManage::ButtonNameClick);
    ButtonSettings = button("ButtonSettings", "Edit Settings", &TFormManage::ButtonSettingsClick);
    ButtonDelete = button("ButtonDelete", "Delete", &TFormManage::ButtonDeleteClick);
    actions->addSpacing(12);
    ButtonUp = button("ButtonUp", "Move Up", &TFormManage::ButtonUpClick);
    ButtonDown = button("ButtonDown", "Move Down", &TFormManage::ButtonDownClick);
    actions->addStretch();
    ButtonOK = button("ButtonOK", "OK", &TFormManage::ButtonOKClick);
    ButtonOK->setDefault(true);
    ButtonCancel = button("ButtonCancel", "Cancel", &TFormManage::reject);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->addWidget(TreeView_, 1);
    row->addLayout(actions);
    setFixedSize(420, 320);
}

int TFormManage::ImageIndex(const QTreeWidgetItem* node)
{
    return node->data(0, kImageRole).toInt();
}

TPhotoInfo& TFormManage::NodeInfo(QTreeWidgetItem* node)
{
    return static_cast<TemplateNode*>(node)->info;
}

void TFormManage::FormShow()
{
    // Deleting the nodes releases their settings.
    TreeView_->clear();
    TPhotoInfo settings;
    for (const StoredTemplate& stored : readTemplates(templatesFilePath())) {
        settings.LoadSettings(stored.keys);
        auto* node = new TemplateNode(settings);
        node->setText(0, stored.name);
        setImageIndex(node, stored.button ? 0 : 1);
        TreeView_->addTopLevelItem(node);
    }
    TreeViewChange(selectedNode());
    TreeView_->setFocus();
}

QTreeWidgetItem* TFormManage::selectedNode() const
{
    return TreeView_->selectedItems().value(0);
}

void TFormManage::TreeViewChange(QTreeWidgetItem* node)
{
    for (QPushButton* b : {ButtonName, ButtonSettings, ButtonDelete, ButtonUp, ButtonDown})
        b->setEnabled(node != nullptr);
    const int index = node ? TreeView_->indexOfTopLevelItem(node) : -1;
    ButtonUp->setEnabled(node && index > 0);
    ButtonDown->setEnabled(node && index + 1 < TreeView_->topLevelItemCount());
}

void TFormManage::ButtonNameClick()
{
    QTreeWidgetItem* node = selectedNode();
    if (!node)
        return;
    formAdd_.setWindowTitle(QStringLiteral("Template Name"));
    formAdd_.EditName()->setText(node->text(0));
    formAdd_.CheckBoxToolbar()->setChecked(ImageIndex(node) == 0);
    if (desktop_.execDialog(formAdd_) != mrOk)
        return;
    node->setText(0, templateName(formAdd_.EditName()->text()));
    setImageIndex(node, formAdd_.CheckBoxToolbar()->isChecked() ? 0 : 1);
}

void TFormManage::ButtonSettingsClick()
{
    QTreeWidgetItem* node = selectedNode();
    if (!node)
        return;
    formDefault_.setWindowTitle(QStringLiteral("Template Settings"));
    formDefault_.SetEditInfo(&NodeInfo(node));
    desktop_.execDialog(formDefault_);
    // The node may be deleted later: the dialog must not keep pointing at its settings.
    formDefault_.SetEditInfo(&formDefault_.OwnInfo());
}

void TFormManage::ButtonDeleteClick()
{
    QTreeWidgetItem* node = selectedNode();
    if (!node)
        return;
    delete node;
    // The list selects the node that took the deleted one's place, so Delete can go on.
    if (QTreeWidgetItem* next = TreeView_->currentItem())
        next->setSelected(true);
    TreeViewChange(selectedNode());
}

void TFormManage::ButtonUpClick()
{
    moveSelected(-1);
}

void TFormManage::ButtonDownClick()
{
    moveSelected(+1);
}

void TFormManage::moveSelected(int by)
{
    QTreeWidgetItem* node = selectedNode();
    if (!node)
        return;
    const int from = TreeView_->indexOfTopLevelItem(node);
    const int to = from + by;
    if (to < 0 || to >= TreeView_->topLevelItemCount())
        return;
    TreeView_->takeTopLevelItem(from);
    TreeView_->insertTopLevelItem(to, node);
    TreeView_->setCurrentItem(node);
    TreeViewChange(node);
}

void TFormManage::ButtonOKClick()
{
    done(mrOk);
    QList<TemplateContent> templates;
    for (int i = 0; i < TreeView_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = TreeView_->topLevelItem(i);
        templates.append({node->text(0), ImageIndex(node) == 0, &NodeInfo(node)});
    }
    rewriteTemplates(templatesFilePath(), templates);
}

