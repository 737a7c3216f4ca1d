#include "MessageBox.h"

#include "DialogBorder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QRegularExpression>
#include <QScreen>
#include <QStringList>

#include <algorithm>

namespace {

int layoutMinimumWidth(QLayout& layout)
{
    layout.activate();
    return layout.totalMinimumSize().width();
}

// Room left between a widened box and the edges of the screen.
constexpr int kScreenMargin = 24;

void appendLine(QStringList& lines, const QString& line)
{
    if (!line.isEmpty())
        lines << line;
}

} // namespace

QString pathsOnLinesOfTheirOwn(const QString& text, const std::function<bool(const QString& line)>& fits)
{
    static const QRegularExpression pathStart(QStringLiteral("(^|\\s)/"));
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch start = pathStart.match(line);
        if (fits(line) || !start.hasMatch()) {
            lines << line;
            continue;
        }
        const qsizetype pathBegins = start.capturedEnd() - 1;
        const qsizetype lastSlash = line.lastIndexOf(QLatin1Char('/'));
        qsizetype pathEnds = line.indexOf(QLatin1Char(' '), lastSlash);
        if (pathEnds < 0)
            pathEnds = line.size();
        appendLine(lines, line.left(pathBegins).trimmed());
        const QString pathAndRest = line.mid(pathBegins);
        if (fits(pathAndRest)) {
            lines << pathAndRest;
        } else {
            lines << line.mid(pathBegins, pathEnds - pathBegins);
            appendLine(lines, line.mid(pathEnds).trimmed());
        }
    }
    return lines.join(QLatin1Char('\n'));
}

ProgramMessageBox::ProgramMessageBox(Icon icon, const QString& text, StandardButtons buttons, QWidget* parent)
    : QMessageBox(icon, QStringLiteral("Lumatrim"), text, buttons, parent)
{
    setFixedDialogBorder(*this);
}

bool ProgramMessageBox::event(QEvent* event)
{
    const bool handled = QMessageBox::event(event);
    if (event->type() == QEvent::LayoutRequest && isVisible())
        fitTheLinesUnbroken();
    return handled;
}

void ProgramMessageBox::showEvent(QShowEvent* event)
{
    QMessageBox::showEvent(event);
    fitTheLinesUnbroken();
}

void ProgramMessageBox::fitTheLinesUnbroken()
{
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label || !layout() || !screen())
        return;
    // With wrapping off, the layout's minimum width is what the box needs for its lines whole.
    const bool wrapped = label->wordWrap();
    label->setWordWrap(false);
    const int needed = layoutMinimumWidth(*layout());
    if (needed <= width()) {
        label->setWordWrap(wrapped); // nothing was broken
        return;
    }
    const QRect area = screen()->availableGeometry();
    const int widest = area.width() - 2 * kScreenMargin;
    if (needed > widest) {
        const QFontMetrics metrics = label->fontMetrics();
        int textWidth = 0;
        for (const QString& line : label->text().split(QLatin1Char('\n')))
            textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
        const int besideText = needed - textWidth; // icon, margins, indent
        label->setText(pathsOnLinesOfTheirOwn(
            label->text(), [&](const QString& line) { return besideText + metrics.horizontalAdvance(line) <= widest; }));
    }
    int boxWidth = layoutMinimumWidth(*layout());
    if (boxWidth > widest) {
        // Still too wide for the screen: wrap at the screen's width.
        label->setWordWrap(true);
        boxWidth = widest;
    }
    const int boxHeight =
        layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(boxWidth) : layout()->totalMinimumSize().height();
    // Widened about its centre, where the toolkit placed it, and kept on the screen.
    const QPoint centre = geometry().center();
    setFixedSize(boxWidth, boxHeight);
    QRect placed(QPoint(0, 0), size());
    placed.moveCenter(centre);
    const QRect room = area.adjusted(kScreenMargin, 0, -kScreenMargin, 0);
    placed.moveLeft(std::clamp(placed.left(), room.left(), std::max(room.left(), room.right() + 1 - placed.width())));
    placed.moveTop(std::clamp(placed.top(), room.top(), std::max(room.top(), room.bottom() + 1 - placed.height())));
    move(placed.topLeft());
    // What changed above asked for a new layout, which would size the box the toolkit's way.
    QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
}
