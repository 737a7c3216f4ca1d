#pragma once

#include <QString>

#include <functional>

class Desktop;
class QAction;
class QIcon;
class QMenu;
class QToolBar;
class TFormAdd;
class TFormManage;
class TPhoto;

// The template commands of the main window: one Templates menu item per template of the
// store, a templates tool bar button for each template marked so, applying a template to the
// current photo, "Add to Templates..." and "Manage Templates...". Items and buttons carry
// their template's section name; they are built at start-up and built again after every
// change of the store the program makes.
class TemplateCommands {
public:
    struct Places {
        QMenu* menu = nullptr;     // MenuTemplates: Add, Manage, a separator, then the templates
        QToolBar* bar = nullptr;   // ToolBarTemplates: "None", then the template buttons
        QAction* none = nullptr;   // ToolButtonNone
    };
    TemplateCommands(const Places& places, TPhoto& photo, Desktop& desktop, TFormAdd& formAdd,
                     TFormManage& formManage, std::function<void()> updateControls);

    // Appends an item, and a button where the template has one, for every template.
    void LoadTemplates();
    // Removes every template item and button, then loads them again and updates the controls.
    void Rebuild();

    // Applies the template an item or button carries to the current photo only: its
    // settings block is replaced (crop, rotation and color balance stay), then it is rendered.
    void ToolButtonNoneClick(const QAction* sender);
    // Stores the current photo's settings block as a new template, under a typed name.
    void MenuAddClick();
    // Shows the Manage dialog and builds the commands again, whatever it ended with.
    void MenuManageClick();

    // The section name an item or button carries.
    static QString SectionOf(const QAction* item);

private:
    QAction* newTemplateAction(const QIcon& icon, const QString& name, const QString& section);

    Places places_;
    TPhoto& photo_;
    Desktop& desktop_;
    TFormAdd& formAdd_;
    TFormManage& formManage_;
    std::function<void()> updateControls_;
};
