// Feeds arbitrary bytes to one decoder through the format registry, as a file with the
// extension LUMATRIM_FUZZ_EXTENSION. A decoder may only succeed or throw PictureError.
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

    try {
        const auto picture = FormatRegistry::standard().decode(QStringLiteral("fuzz." LUMATRIM_FUZZ_EXTENSION),
                                                               std::span<const uint8_t>(data, size));
        if (picture)
            (void)toBgr888(picture->toImage());
    } catch (const PictureError&) {
    }
    return 0;
}
