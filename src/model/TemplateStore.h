#pragma once

#include "PhotoInfo.h"

#include <QList>
#include <QString>

// The template store templates.dat: a key/value file in which every section, whatever its
// name, is one template, in file order. A section holds NAME (the name the user sees), BUTTON
// (whether the template has a button on the templates tool bar) and the settings block. The
// section name is the template's identity while the menu and tool bar stand; the user never
// sees it.
struct StoredTemplate {
    QString section;
    QString name;
    bool button = false;
    KeyValueText::Pairs keys; // every key of the section, for TPhotoInfo::LoadSettings
};

// The templates of the store in one reading. A missing or unreadable file is an empty store.
// Headers that repeat a section name (in any case) are one template, at its first place.
QList<StoredTemplate> readTemplates(const QString& path);
// The same templates with only what the menu and the tool bar show (section, NAME and BUTTON;
// keys holds just those two), read without decoding the settings blocks.
QList<StoredTemplate> readTemplateNames(const QString& path);

// A name as the store keeps it: without leading and trailing blanks.
QString templateName(const QString& typed);

// The section a new template takes: TEMPLATE<n> for the lowest n >= 1 for which the store has
// no such section holding a key. A header without keys is free.
QString freeTemplateSection(const QList<KeyValueText::Section>& sections);

// Stores a new template (NAME, BUTTON, then the settings block) in the free section, in one
// update of the file: a section that is new is appended at the end, a free header keeps its
// place. Returns the section. Throws FileWriteError, leaving the file as it was.
QString addTemplate(const QString& path, const QString& name, bool button, const TPhotoInfo& settings);

// One template of a rewritten store.
struct TemplateContent {
    QString name;
    bool button = false;
    const TPhotoInfo* settings = nullptr;
};

// Replaces the whole store by these templates, in this order, as sections TEMPLATE0,
// TEMPLATE1, ...; nothing else of the old file is kept. One update of the file: a failure
// (FileWriteError) leaves the old store byte for byte.
void rewriteTemplates(const QString& path, const QList<TemplateContent>& templates);
