// Feeds arbitrary bytes to one decoder through the format registry, as a file with the
// extension LUMATRIM_FUZZ_EXTENSION, in full and, where the format has one, through its
// reduced decodes for the open dialog's preview box and for high-quality renders (1/4, or
// 1/2 or 1/8 by the input's first byte), and turned while decoding where the format turns
// so (orientations 2 to 8 by the input's last byte). A decoder may only succeed or throw
// PictureError.
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;

    const QString name = QStringLiteral("fuzz." LUMATRIM_FUZZ_EXTENSION);
    const std::span<const uint8_t> bytes(data, size);
    try {
        const auto picture = FormatRegistry::standard().decode(name, bytes);
        if (picture)
            (void)toBgr888(picture->toImage());
    } catch (const PictureError&) {
    }
    try {
        (void)FormatRegistry::standard().decodeScaled(name, bytes, QSize(180, 180));
    } catch (const PictureError&) {
    }
    try {
        const int denominator = size > 0 ? 2 << (data[0] % 3) : 4;
        (void)FormatRegistry::standard().decodeReduced(name, bytes, [=](QSize) { return denominator; });
    } catch (const PictureError&) {
    }
    const FormatRegistry::Entry* entry = FormatRegistry::standard().find(QStringLiteral(LUMATRIM_FUZZ_EXTENSION));
    if (entry && entry->decodeUpright && size > 0) {
        try {
            (void)entry->decodeUpright(PictureFile{name, bytes}, 2 + data[size - 1] % 7);
        } catch (const PictureError&) {
        }
    }
    return 0;
}
