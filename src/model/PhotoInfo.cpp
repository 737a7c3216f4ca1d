#include "PhotoInfo.h"

#include "ColorNames.h"
#include "KeyValueFile.h"
#include "ProgramFolder.h"
#include "formats/ImageConversion.h"
#include "formats/JpegWriter.h"
#include "formats/Picture.h"
#include "formats/PictureError.h"

#include <QPainter>

#include <algorithm>

TPhotoInfo::TPhotoInfo(const QString& fileName)
{
    FileName = fileName;
    CropRect = TRect{};
    Rotation = Contrast = Brightness = Red = Green = Blue = 0;
    Grayscale = Negative = false;
    LoadSettings(settingsFilePath(), defaultSettingsSection());
}

void TPhotoInfo::AssignSettings(const TPhotoInfo& source)
{
    const QString keptName = FileName;
    static_cast<PhotoSettings&>(*this) = source;
    FileName = keptName;
}

void TPhotoInfo::LoadSettings(const QString& fileName, const QString& section)
{
    // One read of the file serves the whole block.
    LoadSettings(KeyValueFile(fileName).readSection(section));
}

void TPhotoInfo::LoadSettings(const KeyValueText::Pairs& stored)
{
    auto text = [&](const char* key, const QString& def) { return valueOf(stored, QLatin1String(key), def); };
    auto integer = [&](const char* key, int32_t def) {
        return parseStoredInteger(text(key, QString())).value_or(def);
    };
    auto boolean = [&](const char* key, bool def) { return integer(key, def ? 1 : 0) != 0; };

    MaxSize = integer("SIZE", 600);
    Optimize = boolean("OPTIMIZE", false);
    KeepSize = boolean("KEEP", true);
    Watermark = text("WATERMARK", QStringLiteral("Lumatrim"));
    Font.Name = text("FONTNAME", QStringLiteral("Arial"));
    Font.Size = integer("FONTSIZE", 10);
    Font.Color = colorFromString(text("FONTCOLOR", QStringLiteral("clWhite")));
    Font.Style = 0;
    if (boolean("BOLD", true))
        Font.Style |= fsBold;
    if (boolean("ITALIC", false))
        Font.Style |= fsItalic;
    if (boolean("UNDERLINE", false))
        Font.Style |= fsUnderline;
    if (boolean("STRIKEOUT", false))
        Font.Style |= fsStrikeOut;
    Opacity = integer("OPACITY", 128);
    Position = integer("POSITION", 6);
    MarginX = integer("X", 8);
    MarginY = integer("Y", 8);
    Mask = text("MASK", QString());
    BorderWidth = integer("MARGIN", 0);
    BackgroundColor = colorFromString(text("COLOR", QStringLiteral("clWhite")));
    Resample = boolean("RESAMPLE", false);
    // Numbers out of range (an edited file) are taken at the nearest end.
    JpegQuality = std::clamp(integer("QUALITY", kJpegQualityMax), kJpegQualityMin, kJpegQualityMax);
    MaxFileKB = std::clamp(integer("MAXKB", 0), 0, kMaxFileKBLimit);
}

void TPhotoInfo::SaveSettings(const QString& fileName, const QString& section) const
{
    // The whole block is one update of the file: a failure leaves the old file as it was.
    KeyValueFile(fileName).writeValues(section, SettingsBlock());
}

KeyValueText::Pairs TPhotoInfo::SettingsBlock() const
{
    auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    return {
        {QStringLiteral("SIZE"), QString::number(MaxSize)},
        {QStringLiteral("OPTIMIZE"), flag(Optimize)},
        {QStringLiteral("KEEP"), flag(KeepSize)},
        {QStringLiteral("WATERMARK"), Watermark},
        {QStringLiteral("FONTNAME"), Font.Name},
        {QStringLiteral("FONTSIZE"), QString::number(Font.Size)},
        {QStringLiteral("FONTCOLOR"), colorToString(Font.Color)},
        {QStringLiteral("BOLD"), flag(Font.has(fsBold))},
        {QStringLiteral("ITALIC"), flag(Font.has(fsItalic))},
        {QStringLiteral("UNDERLINE"), flag(Font.has(fsUnderline))},
        {QStringLiteral("STRIKEOUT"), flag(Font.has(fsStrikeOut))},
        {QStringLiteral("OPACITY"), QString::number(Opacity)},
        {QStringLiteral("POSITION"), QString::number(Position)},
        {QStringLiteral("X"), QString::number(MarginX)},
        {QStringLiteral("Y"), QString::number(MarginY)},
        {QStringLiteral("MASK"), Mask},
        {QStringLiteral("MARGIN"), QString::number(BorderWidth)},
        {QStringLiteral("COLOR"), colorToString(BackgroundColor)},
        {QStringLiteral("RESAMPLE"), flag(Resample)},
        {QStringLiteral("QUALITY"), QString::number(JpegQuality)},
        {QStringLiteral("MAXKB"), QString::number(MaxFileKB)},
    };
}

QImage TPhotoInfo::CreateThumbnail(const Picture& source, int width, int height) const
{
    const int W = source.width();
    const int H = source.height();
    if (W <= 0 || H <= 0)
        throw PictureError::cannotOpen(FileName, QStringLiteral("The picture is empty."));

    QImage thumbnail(width, height, kBitmapFormat);
    thumbnail.fill(Qt::white);
    const int M = std::max(W, H);
    const int w = int(int64_t(W) * 32 / M);
    const int h = int(int64_t(H) * 32 / M);
    const QRect target(QPoint((32 - w) / 2, (32 - h) / 2), QPoint((w + 32) / 2 - 1, (h + 32) / 2 - 1));
    QPainter painter(&thumbnail);
    source.draw(painter, target);
    return thumbnail;
}
