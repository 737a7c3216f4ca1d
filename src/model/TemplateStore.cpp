#include "TemplateStore.h"

#include <QFileInfo>
#include <QSet>

namespace {

const QString kName = QStringLiteral("NAME");
const QString kButton = QStringLiteral("BUTTON");

QString sectionFor(int number)
{
    return QStringLiteral("TEMPLATE%1").arg(number);
}

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// NAME, BUTTON and the block, in the order the store writes them.
KeyValueText::Pairs templateKeys(const QString& name, bool button, const TPhotoInfo& settings)
{
    return KeyValueText::Pairs{{kName, templateName(name)}, {kButton, flag(button)}} + settings.SettingsBlock();
}

// The templates the store's sections make, in file order.
QList<StoredTemplate> templatesOf(QList<KeyValueText::Section> sections)
{
    QList<StoredTemplate> templates;
    for (KeyValueText::Section& section : sections) {
        StoredTemplate stored;
        stored.section = section.name;
        stored.name = valueOf(section.keys, kName);
        // A boolean is any integer other than 0; anything else, or nothing, is false.
        stored.button = parseStoredInteger(valueOf(section.keys, kButton)).value_or(0) != 0;
        stored.keys = std::move(section.keys);
        templates.append(std::move(stored));
    }
    return templates;
}

} // namespace

QList<StoredTemplate> readTemplates(const QString& path)
{
    return templatesOf(KeyValueFile(path).readAllSections());
}

QList<StoredTemplate> readTemplateNames(const QString& path)
{
    return templatesOf(KeyValueFile(path).readAllSections({kName, kButton}));
}

QString templateName(const QString& typed)
{
    return typed.trimmed();
}

QString freeTemplateSection(const QList<KeyValueText::Section>& sections)
{
    QSet<QString> taken;
    for (const KeyValueText::Section& section : sections) {
        if (!section.keys.isEmpty())
            taken.insert(section.name.toCaseFolded());
    }
    int number = 1;
    while (taken.contains(sectionFor(number).toCaseFolded()))
        ++number;
    return sectionFor(number);
}

QString addTemplate(const QString& path, const QString& name, bool button, const TPhotoInfo& settings)
{
    QString section;
    KeyValueFile(path).update([&](KeyValueText& store) {
        section = freeTemplateSection(store.allSections());
        for (const auto& [key, value] : templateKeys(name, button, settings))
            store.setValue(section, key, value);
    });
    return section;
}

void rewriteTemplates(const QString& path, const QList<TemplateContent>& templates)
{
    // No store and nothing to store: there is nothing to write.
    if (templates.isEmpty() && !QFileInfo::exists(path))
        return;
    QList<KeyValueText::Section> sections;
    for (qsizetype i = 0; i < templates.size(); ++i) {
        const TemplateContent& content = templates[i];
        sections.append({sectionFor(int(i)), templateKeys(content.name, content.button, *content.settings)});
    }
    KeyValueFile(path).writeAllSections(sections);
}
