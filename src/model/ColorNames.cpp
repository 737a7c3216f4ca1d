#include "ColorNames.h"

#include "KeyValueFile.h"

#include <iterator>

namespace {

struct ColorName {
    const char* name;
    TColor value;
};

constexpr TColor sys(TColor index)
{
    return kSystemColorBase + index;
}

// In table order: the first name of a value is the one written.
constexpr ColorName kColorNames[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clActiveBorder", sys(10)},
    {"clActiveCaption", sys(2)},
    {"clAppWorkSpace", sys(12)},
    {"clBackground", sys(1)},
    {"clBtnFace", sys(15)},
    {"clBtnHighlight", sys(20)},
    {"clBtnShadow", sys(16)},
    {"clBtnText", sys(18)},
    {"clCaptionText", sys(9)},
    {"clDefault", clDefault},
    {"clGradientActiveCaption", sys(27)},
    {"clGradientInactiveCaption", sys(28)},
    {"clGrayText", sys(17)},
    {"clHighlight", sys(13)},
    {"clHighlightText", sys(14)},
    {"clHotLight", sys(26)},
    {"clInactiveBorder", sys(11)},
    {"clInactiveCaption", sys(3)},
    {"clInactiveCaptionText", sys(19)},
    {"clInfoBk", sys(24)},
    {"clInfoText", sys(23)},
    {"clMenu", sys(4)},
    {"clMenuBar", sys(30)},
    {"clMenuHighlight", sys(29)},
    {"clMenuText", sys(7)},
    {"clNone", clNone},
    {"clScrollBar", sys(0)},
    {"cl3DDkShadow", sys(21)},
    {"cl3DLight", sys(22)},
    {"clWindow", sys(5)},
    {"clWindowFrame", sys(6)},
    {"clWindowText", sys(8)},
};

static_assert(std::size(kColorNames) == 52, "twenty plain colors, thirty system colors, clNone and clDefault");

} // namespace

QString colorToString(TColor color)
{
    for (const ColorName& entry : kColorNames) {
        if (entry.value == color)
            return QString::fromLatin1(entry.name);
    }
    return QStringLiteral("$%1").arg(color, 8, 16, QLatin1Char('0')).toUpper();
}

std::optional<TColor> colorFromName(const QString& name)
{
    for (const ColorName& entry : kColorNames) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return entry.value;
    }
    return std::nullopt;
}

TColor colorFromString(const QString& text)
{
    if (const auto named = colorFromName(text))
        return *named;
    if (const auto number = parseStoredInteger(text))
        return TColor(*number);
    return clWhite;
}
