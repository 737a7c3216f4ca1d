#include "SystemColors.h"

#include "model/ColorNames.h"

namespace {

// The palette entry that plays the part of each system color on this desktop.
struct SystemColor {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

SystemColor systemColor(uint32_t index)
{
    using P = QPalette;
    switch (index) {
    case 0: return {P::Active, P::Button};                // clScrollBar
    case 1: return {P::Active, P::Dark};                  // clBackground
    case 2: return {P::Active, P::Highlight};             // clActiveCaption
    case 3: return {P::Inactive, P::Highlight};           // clInactiveCaption
    case 4: return {P::Active, P::Window};                // clMenu
    case 5: return {P::Active, P::Base};                  // clWindow
    case 6: return {P::Active, P::Shadow};                // clWindowFrame
    case 7: return {P::Active, P::WindowText};            // clMenuText
    case 8: return {P::Active, P::Text};                  // clWindowText
    case 9: return {P::Active, P::HighlightedText};       // clCaptionText
    case 10: return {P::Active, P::Window};               // clActiveBorder
    case 11: return {P::Inactive, P::Window};             // clInactiveBorder
    case 12: return {P::Active, P::Dark};                 // clAppWorkSpace
    case 13: return {P::Active, P::Highlight};            // clHighlight
    case 14: return {P::Active, P::HighlightedText};      // clHighlightText
    case 15: return {P::Active, P::Button};               // clBtnFace
    case 16: return {P::Active, P::Dark};                 // clBtnShadow
    case 17: return {P::Disabled, P::Text};               // clGrayText
    case 18: return {P::Active, P::ButtonText};           // clBtnText
    case 19: return {P::Inactive, P::HighlightedText};    // clInactiveCaptionText
    case 20: return {P::Active, P::Light};                // clBtnHighlight
    case 21: return {P::Active, P::Shadow};               // cl3DDkShadow
    case 22: return {P::Active, P::Midlight};             // cl3DLight
    case 23: return {P::Active, P::ToolTipText};          // clInfoText
    case 24: return {P::Active, P::ToolTipBase};          // clInfoBk
    case 26: return {P::Active, P::Link};                 // clHotLight
    case 27: return {P::Active, P::Highlight};            // clGradientActiveCaption
    case 28: return {P::Inactive, P::Highlight};          // clGradientInactiveCaption
    case 29: return {P::Active, P::Highlight};            // clMenuHighlight
    case 30: return {P::Active, P::Window};               // clMenuBar
    default: return {P::Active, P::Dark};                 // unknown index: the workspace
    }
}

} // namespace

QColor screenColor(TColor color, const QPalette& palette)
{
    if ((color & 0xFF000000u) == kSystemColorBase) {
        const SystemColor entry = systemColor(color & 0x00FFFFFFu);
        return palette.color(entry.group, entry.role);
    }
    if (color == clNone || color == clDefault)
        return palette.color(QPalette::Active, QPalette::Dark);
    return drawnColor(color);
}

QColor drawnColor(TColor color)
{
    return QColor(colorRed(color), colorGreen(color), colorBlue(color));
}

TColor colorFromQColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return TColor(rgb.red()) | TColor(rgb.green()) << 8 | TColor(rgb.blue()) << 16;
}
