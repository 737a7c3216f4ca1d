#include "FontChooser.h"

#include "SystemColors.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QFont toQFont(const TFont& font)
{
    QFont result(font.Name);
    result.setPointSize(std::clamp(font.Size, 1, 1638));
    result.setBold(font.has(fsBold));
    result.setItalic(font.has(fsItalic));
    result.setUnderline(font.has(fsUnderline));
    result.setStrikeOut(font.has(fsStrikeOut));
    return result;
}

TFont fromQFont(const QFont& font, TColor color)
{
    TFont result;
    result.Name = font.family();
    result.Size = font.pointSize() > 0 ? font.pointSize() : 10;
    result.Color = color;
    result.Style = TFontStyles((font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0)
                               | (font.underline() ? fsUnderline : 0) | (font.strikeOut() ? fsStrikeOut : 0));
    return result;
}

void paintSwatch(QPushButton* button, TColor color)
{
    QPixmap swatch(32, 14);
    swatch.fill(drawnColor(color));
    button->setIcon(swatch);
    button->setIconSize(swatch.size());
}

} // namespace

std::optional<TFont> runFontChooser(QWidget* parent, const TFont& initial)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("FontDialog"));
    dialog.setWindowTitle(QStringLiteral("Font"));

    // The toolkit's font dialog, held as a plain widget inside ours so the color sits beside it.
    auto* fonts = new QFontDialog(&dialog);
    fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    fonts->setWindowFlags(Qt::Widget);
    // A face that is not installed is shown as the face it is drawn with, so that the styles
    // listed are real ones; accepted unchanged, the stored name stays as it was.
    QFont shown = toQFont(initial);
    const QString drawnFace = QFontInfo(shown).family();
    shown.setFamily(drawnFace);
    fonts->setCurrentFont(shown);

    // Kept as stored unless the user picks another: a symbolic color stays symbolic.
    TColor color = initial.Color;
    auto* colorLabel = new QLabel(QStringLiteral("Color:"), &dialog);
    auto* colorButton = new QPushButton(&dialog);
    colorButton->setObjectName(QStringLiteral("ButtonColor"));
    colorLabel->setBuddy(colorButton);
    paintSwatch(colorButton, color);
    QObject::connect(colorButton, &QPushButton::clicked, &dialog, [&] {
        const QColor chosen = QColorDialog::getColor(drawnColor(color), &dialog, QStringLiteral("Color"),
                                                     QColorDialog::DontUseNativeDialog);
        if (chosen.isValid()) {
            color = colorFromQColor(chosen);
            paintSwatch(colorButton, color);
        }
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(colorLabel);
    bottom->addWidget(colorButton);
    bottom->addStretch();
    bottom->addWidget(buttons);
    auto* column = new QVBoxLayout(&dialog);
    column->addWidget(fonts);
    column->addLayout(bottom);
    fonts->show();

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    TFont chosen = fromQFont(fonts->currentFont(), color);
    if (chosen.Name == drawnFace)
        chosen.Name = initial.Name;
    return chosen;
}
