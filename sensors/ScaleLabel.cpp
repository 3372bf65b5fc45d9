#include "ScaleLabel.h"

#include <QPainter>
#include <QRegularExpression>

void ScaleLabel::setTickSpan(int firstY, int lastY)
{
    m_firstY = firstY;
    m_lastY = lastY;
    update();
}

void ScaleLabel::paintEvent(QPaintEvent *)
{
    const QString caption = text();
    static const QRegularExpression word(QStringLiteral("\\S+"));

    // The words and where they start; the end of the last word closes the scale.
    QList<QRegularExpressionMatch> ticks;
    for (auto it = word.globalMatch(caption); it.hasNext();)
        ticks.append(it.next());
    if (ticks.isEmpty())
        return;

    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics = fontMetrics();
    const int lineHeight = metrics.height();
    const int first = m_firstY >= 0 ? m_firstY : lineHeight / 2;
    const int last = m_lastY >= 0 ? m_lastY : height() - (lineHeight + 1) / 2;

    const int firstStart = int(ticks.first().capturedStart());
    const int lastStart = int(ticks.last().capturedStart());
    const double span = std::max(1, lastStart - firstStart);
    for (const QRegularExpressionMatch &tick : ticks) {
        const double share = (tick.capturedStart() - firstStart) / span;
        const int centre = first + int(share * (last - first) + 0.5);
        const QRect line(0, centre - lineHeight / 2, width(), lineHeight);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, tick.captured());
    }
}
