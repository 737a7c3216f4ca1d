// Text output of the metafile canvas: fonts, alignment, character advances, 8-bit encodings.
#include "MetafileCanvas.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <map>

namespace metafile {

namespace {

// Windows-1252, the common 8-bit text of metafiles: Latin-1 except for 0x80..0x9F.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

const char* encodingForCharSet(uint8_t charSet)
{
    switch (charSet) {
    case 77: return "macintosh";
    case 128: return "Shift_JIS";
    case 129: return "windows-949";
    case 134: return "GBK";
    case 136: return "Big5";
    case 161: return "windows-1253";
    case 162: return "windows-1254";
    case 163: return "windows-1258";
    case 177: return "windows-1255";
    case 178: return "windows-1256";
    case 186: return "windows-1257";
    case 204: return "windows-1251";
    case 222: return "windows-874";
    case 238: return "windows-1250";
    case 255: return "IBM437";
    default: return nullptr;
    }
}

// Longer text runs are cut: more characters than any line of a picture holds.
constexpr qsizetype kMaxTextLength = 8192;

// Default font size when a font asks for none: about that of the interface's system font.
constexpr double kDefaultFontPixels = 16;

// Whether t only turns, moves and scales by a moderate, equal amount on both axes.
bool similarity(const QTransform& t)
{
    const double a = t.m11(), b = t.m12(), c = t.m21(), d = t.m22();
    const double mean = (a * a + b * b + c * c + d * d) / 2;
    const double spread = std::hypot((a * a + b * b - c * c - d * d) / 2, a * c + b * d);
    const double largest = std::sqrt(mean + spread);
    const double smallest = std::sqrt(std::max(0.0, mean - spread));
    return a * d - b * c > 0 && smallest > 0.5 && largest < 2 && largest / smallest < 1.25;
}

} // namespace

QString decodeAnsiText(const QByteArray& bytes, uint8_t charSet)
{
    if (const char* name = encodingForCharSet(charSet)) {
        QStringDecoder decoder(name);
        if (decoder.isValid()) {
            QString text = decoder(bytes);
            if (!decoder.hasError())
                return text;
        }
    }
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = uint8_t(c);
        text += QChar(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

void MetafileCanvas::text(const TextRun& run)
{
    const QTransform t = logicalToTarget();
    const bool updateCp = state_.textAlign & AlignUpdateCp;
    const QPointF reference = updateCp ? state_.position : run.reference;

    if (run.rect && (run.options & TextOpaque) && !pathOpen_) {
        QPainterPath box;
        box.addRect(run.rect->normalized());
        fillTarget(t.map(box), BrushSpec{BrushSpec::Solid, state_.backgroundColor, 0, {}});
    }
    if (run.text.isEmpty() || (run.options & TextGlyphIndex))
        return; // glyph indexes name glyphs of a font we do not have
    if (run.text.size() > kMaxTextLength) {
        TextRun shorter = run;
        shorter.text.truncate(kMaxTextLength);
        if (shorter.dx.size() > size_t(kMaxTextLength))
            shorter.dx.resize(size_t(kMaxTextLength));
        shorter.options &= ~uint32_t(TextOpaque);
        text(shorter);
        return;
    }

    // Text space: target pixels along the logical axes, with the glyphs upright on the
    // surface even where the mapping turns the y axis upwards.
    const double sx = std::hypot(t.m11(), t.m12());
    const double sy = std::hypot(t.m21(), t.m22());
    if (!(sy > 0) || !(sx > 0) || !std::isfinite(sx) || !std::isfinite(sy))
        return;
    QTransform axes;
    if (state_.world.isIdentity()) {
        axes = QTransform(sx / sy, 0, 0, 1, 0, 0);
    } else {
        const double flip = t.determinant() < 0 ? -1 : 1;
        axes = QTransform(t.m11() / sy, t.m12() / sy, flip * t.m21() / sy, flip * t.m22() / sy, 0, 0);
    }
    const QPointF origin = t.map(reference);
    QTransform textTransform = QTransform().rotate(-state_.font.escapement / 10.0) * axes;
    textTransform *= QTransform::fromTranslate(origin.x(), origin.y());
    if (!withinReach(QRectF(origin, QSizeF(1, 1))))
        return;

    // The font, sized in text-space pixels.
    const FontSpec& wanted = state_.font;
    double pixels = wanted.height == 0 ? kDefaultFontPixels * std::sqrt(std::abs(setup_.deviceToTarget.determinant()))
                                     : std::abs(double(wanted.height)) * sy;
    if (!(pixels >= 0.5))
        return; // too small to show
    pixels = std::min(pixels, 4.0 * std::max(setup_.target.width(), setup_.target.height()) + 16);
    QPaintDevice* device = painter_ ? painter_->device() : nullptr;
    QImage scratch;
    if (!device) {
        scratch = QImage(1, 1, QImage::Format_RGB32);
        device = &scratch;
    }
    const double dpi = device->logicalDpiY() > 0 ? device->logicalDpiY() : 96;
    QFont font;
    if (!wanted.face.isEmpty())
        font.setFamilies({wanted.face});
    switch (wanted.pitchAndFamily & 0xF0) {
    case 0x10: font.setStyleHint(QFont::Serif); break;
    case 0x20: font.setStyleHint(QFont::SansSerif); break;
    case 0x30: font.setStyleHint(QFont::Monospace); break;
    case 0x40: font.setStyleHint(QFont::Cursive); break;
    case 0x50: font.setStyleHint(QFont::Decorative); break;
    default: break;
    }
    font.setWeight(QFont::Weight(std::clamp(wanted.weight == 0 ? 400 : wanted.weight, 1, 1000)));
    font.setItalic(wanted.italic);
    font.setUnderline(wanted.underline);
    font.setStrikeOut(wanted.strikeOut);
    font.setKerning(false);
    font.setPointSizeF(pixels * 72 / dpi);
    if (wanted.height > 0) {
        // A positive height is the character cell (ascent plus descent), not the em.
        const QFontMetricsF probe(font, device);
        const double cell = probe.ascent() + probe.descent();
        if (cell > 0)
            font.setPointSizeF(std::max(0.1, pixels * pixels / cell) * 72 / dpi);
    }
    if (wanted.width > 0) {
        const QFontMetricsF probe(font, device);
        const double natural = probe.averageCharWidth();
        if (natural > 0) {
            const double stretch = std::clamp(100.0 * wanted.width * sy / natural, 1.0, 4000.0);
            if (std::abs(stretch - 100) > 3)
                font.setStretch(int(std::lround(stretch)));
        }
    }
    const QFontMetricsF metrics(font, device);

    // Character positions: the file's advances where given, else the font's.
    std::vector<double> positions;
    double width = 0;
    if (!run.dx.empty()) {
        positions.reserve(size_t(run.text.size()));
        for (qsizetype i = 0; i < run.text.size(); ++i) {
            positions.push_back(width);
            if (size_t(i) < run.dx.size())
                width += run.dx[size_t(i)] * sy;
        }
    } else {
        width = metrics.horizontalAdvance(run.text);
    }
    double x = 0;
    switch (state_.textAlign & AlignHorizontalMask) {
    case AlignRight: x = -width; break;
    case AlignCenter: x = -width / 2; break;
    default: break;
    }
    double baseline = 0;
    switch (state_.textAlign & AlignVerticalMask) {
    case AlignBaseline: baseline = 0; break;
    case AlignBottom: baseline = -metrics.descent(); break;
    default: baseline = metrics.ascent(); break;
    }
    if (updateCp) {
        const double advance = (state_.textAlign & AlignHorizontalMask) == AlignRight ? -width : width;
        state_.position += QPointF(advance / sy, 0); // text-space pixels are 1/sy logical units
    }

    auto forEachPiece = [&](auto&& draw) {
        if (positions.empty()) {
            draw(QPointF(x, baseline), run.text);
            return;
        }
        for (qsizetype i = 0; i < run.text.size(); ++i) {
            const QChar c = run.text[i];
            if (c.isLowSurrogate())
                continue;
            const qsizetype length = c.isHighSurrogate() && i + 1 < run.text.size() ? 2 : 1;
            draw(QPointF(x + positions[size_t(i)], baseline), run.text.mid(i, length));
        }
    };

    const QRectF cell(x, baseline - metrics.ascent(), width, metrics.ascent() + metrics.descent());
    if (pathOpen_) {
        QPainterPath outlines;
        forEachPiece([&](QPointF at, const QString& piece) { outlines.addText(at, font, piece); });
        path_.addPath(textTransform.map(outlines));
        figureOpen_ = false;
        return;
    }
    if (!painter_) {
        addToBounds(textTransform.mapRect(cell));
        return;
    }
    const QRectF cellBox = textTransform.mapRect(cell);
    if (!withinReach(cellBox))
        return;

    painter_->save();
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (run.rect && (run.options & TextClipped)) {
        painter_->setWorldTransform(t * base_);
        painter_->setClipRect(run.rect->normalized(), Qt::IntersectClip);
    }
    painter_->setWorldTransform(textTransform * base_);
    painter_->setRenderHint(QPainter::Antialiasing, false);
    if (state_.opaqueBackground && !(run.rect && (run.options & TextOpaque)))
        painter_->fillRect(cell, state_.backgroundColor);
    const bool smooth = smoothAt(cellBox);
    painter_->setRenderHint(QPainter::TextAntialiasing, smooth);
    painter_->setRenderHint(QPainter::Antialiasing, smooth);
    if (similarity(textTransform)) {
        painter_->setFont(font);
        painter_->setPen(state_.textColor);
        forEachPiece([&](QPointF at, const QString& piece) { painter_->drawText(at, piece); });
    } else {
        // Stretched, sheared or mirrored text is filled as outlines: the glyph cache renders
        // such transforms poorly, and nearly flat ones not at all.
        QPainterPath outlines;
        forEachPiece([&](QPointF at, const QString& piece) { outlines.addText(at, font, piece); });
        painter_->fillPath(outlines, state_.textColor);
    }
    painter_->restore();
}

} // namespace metafile
