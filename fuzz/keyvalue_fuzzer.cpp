// Feeds arbitrary bytes to the key/value parser and editor. Besides not crashing, it checks
// that lines it does not change survive an edit, that a value it writes reads back, and that
// reading all sections at once agrees with reading each one.
#include "model/KeyValueFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    KeyValueText text(bytes);
    if (text.toBytes() != bytes)
        abort(); // an unchanged file is written back byte for byte

    const QStringList sections = text.sections();
    for (const QString& section : sections)
        (void)text.section(section);
    // The one-pass reading of every section sees exactly what the lookup of each one sees.
    const QList<KeyValueText::Section> all = text.allSections();
    for (const KeyValueText::Section& section : all) {
        if (text.section(section.name) != section.keys)
            abort();
    }
    // Reading only the keys of the first section's first key leaves out exactly the others.
    if (!all.isEmpty() && !all.first().keys.isEmpty()) {
        const QString key = all.first().keys.first().first;
        const QList<KeyValueText::Section> some = text.allSections({key});
        if (some.size() != all.size())
            abort();
        for (qsizetype i = 0; i < all.size(); ++i) {
            KeyValueText::Pairs expected;
            for (const auto& pair : all[i].keys) {
                if (pair.first.toCaseFolded() == key.toCaseFolded())
                    expected.append(pair);
            }
            if (some[i].name != all[i].name || some[i].keys != expected)
                abort();
        }
    }
    (void)KeyValueText::fromSections(all).toBytes();
    (void)parseStoredInteger(QString::fromUtf8(bytes.left(16)));

    // Write into the first section (or PHOTO) a value derived from the input, then read it.
    const QString section = sections.isEmpty() ? QStringLiteral("PHOTO") : sections.first();
    const QString value = QStringLiteral("v%1w").arg(qHash(bytes));
    text.setValue(section, QStringLiteral("SIZE"), value);
    text.setValue(QStringLiteral("NEW"), QStringLiteral("K"), QStringLiteral("1"));
    const KeyValueText reread(text.toBytes());
    if (section.contains(QLatin1Char(']')) || section.trimmed() != section)
        return 0; // such a name cannot be written back as the same section header
    if (reread.value(section, QStringLiteral("size")) != value || reread.value(QStringLiteral("new"), QStringLiteral("K")) != QStringLiteral("1"))
        abort();
    text.eraseSection(section);
    (void)text.toBytes();
    return 0;
}
