#include "FormAbout.h"

#include "ui/desktop/Desktop.h"
#include "ui/desktop/DialogBorder.h"

#include <QFrame>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kClientWidth = 391;
constexpr int kClientHeight = 259;
constexpr int kUpperHeight = 215;
constexpr int kTextLeft = 160;

// One tilted print in the About picture.
void drawPrint(QPainter& p, QPointF centre, double angle, const QColor& sky, const QColor& land)
{
    p.save();
    p.translate(centre);
    p.rotate(angle);
    const QRectF frame(-40, -30, 80, 60);
    p.setPen(QPen(QColor(150, 150, 150), 1));
    p.setBrush(Qt::white);
    p.drawRect(frame);
    const QRectF image = frame.adjusted(5, 5, -5, -5);
    QLinearGradient gradient(image.topLeft(), image.bottomLeft());
    gradient.setColorAt(0, sky.lighter(130));
    gradient.setColorAt(1, sky);
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawRect(image);
    QPolygonF hills{image.bottomLeft(), {image.left(), image.top() + 30}, {image.left() + 25, image.top() + 20},
                    {image.left() + 45, image.top() + 32}, {image.right(), image.top() + 18}, image.bottomRight()};
    p.setBrush(land);
    p.drawPolygon(hills);
    p.restore();
}
}

QUrl homePageUrl()
{
    return QUrl(QString::fromLatin1(kMakerHomePage));
}

QUrl supportMailUrl()
{
    return QUrl(QStringLiteral("mailto:") + QString::fromLatin1(kMakerSupportEmail));
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

TFormAbout::TFormAbout(Desktop& desktop, QWidget* parent) : QDialog(parent), desktop_(desktop)
{
    setObjectName(QStringLiteral("TFormAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(kClientWidth, kClientHeight);
    setFixedDialogBorder(*this);

    auto* upper = new QFrame(this);
    upper->setObjectName(QStringLiteral("Shape1"));
    upper->setGeometry(0, 0, kClientWidth, kUpperHeight);
    upper->setAutoFillBackground(true);
    QPalette white = upper->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    upper->setPalette(white);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(0, kUpperHeight, kClientWidth, 2);

    auto* image = new QLabel(upper);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(20, 8, 117, 200);
    image->setPixmap(aboutPicture());

    // The text column right of the picture, top to bottom.
    auto* column = new QWidget(upper);
    column->setGeometry(kTextLeft, 16, kClientWidth - kTextLeft - 12, kUpperHeight - 32);
    auto* lines = new QVBoxLayout(column);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(6);

    auto* label1 = new QLabel(QStringLiteral("Lumatrim"), column);
    label1->setObjectName(QStringLiteral("Label1"));
    QFont titleFont = label1->font();
    titleFont.setBold(true);
    titleFont.setPixelSize(16);
    label1->setFont(titleFont);
    auto* label2 = new QLabel(QStringLiteral("Version 1.0 (December 2026)"), column);
    label2->setObjectName(QStringLiteral("Label2"));
    auto* label3 = new QLabel(QStringLiteral("\u00A9 2026 Quorvane. All rights reserved."), column);
    label3->setObjectName(QStringLiteral("Label3"));
    auto* domain = new LinkLabel(homePageUrl().host(), column);
    domain->setObjectName(QStringLiteral("LabelDomain"));
    connect(domain, &LinkLabel::clicked, this, &TFormAbout::LabelDomainClick);
    auto* email = new LinkLabel(QString::fromLatin1(kMakerSupportEmail), column);
    email->setObjectName(QStringLiteral("LabelEmail"));
    connect(email, &LinkLabel::clicked, this, &TFormAbout::LabelEmailClick);

    for (QLabel* label : {label1, label2, label3})
        label->setWordWrap(true);
    lines->addWidget(label1);
    lines->addSpacing(4);
    lines->addWidget(label2);
    lines->addWidget(label3);
    lines->addStretch(1);
    lines->addWidget(domain, 0, Qt::AlignLeft);
    lines->addWidget(email, 0, Qt::AlignLeft);

    buttonOK_ = new QPushButton(QStringLiteral("OK"), this);
    buttonOK_->setObjectName(QStringLiteral("ButtonOK"));
    buttonOK_->setDefault(true);
    const int buttonWidth = 75;
    const int buttonHeight = 25;
    buttonOK_->setGeometry(kClientWidth - buttonWidth - 12, kUpperHeight + (kClientHeight - kUpperHeight - buttonHeight) / 2,
                           buttonWidth, buttonHeight);
    // Enter (default button) and Escape (QDialog's reject) both close the box.
    connect(buttonOK_, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    buttonOK_->setFocus();
}

void TFormAbout::LabelDomainClick()
{
    desktop_.openUrl(homePageUrl());
}

void TFormAbout::LabelEmailClick()
{
    desktop_.openUrl(supportMailUrl());
}

QPixmap TFormAbout::aboutPicture()
{
    QPixmap pixmap(117, 200);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, 200);
    background.setColorAt(0, QColor(38, 70, 120));
    background.setColorAt(1, QColor(12, 24, 48));
    p.fillRect(pixmap.rect(), background);
    drawPrint(p, {58, 62}, -9, QColor(90, 150, 220), QColor(60, 130, 70));
    drawPrint(p, {60, 104}, 6, QColor(230, 150, 80), QColor(120, 80, 50));
    drawPrint(p, {56, 146}, -3, QColor(120, 190, 230), QColor(40, 110, 90));
    QFont font;
    font.setPixelSize(14);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 176, 117, 20), Qt::AlignCenter, QStringLiteral("Lumatrim"));
    return pixmap;
}
