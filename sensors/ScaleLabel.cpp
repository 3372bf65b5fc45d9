#include "ScaleLabel.h"

#include <QPainter>
#include <QRegularExpression>

namespace {

QStringList tickValues(const QString &caption)
{
    return caption.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

} // namespace

void ScaleLabel::setTickRows(const QList<int> &rows)
{
    m_rows = rows;
    update();
}

QList<int> ScaleLabel::tickCentres() const
{
    const int count = int(tickValues(text()).size());
    if (count == m_rows.size())
        return m_rows;
    const int lineHeight = fontMetrics().height();
    const int first = m_rows.isEmpty() ? lineHeight / 2 : m_rows.constFirst();
    const int last = m_rows.isEmpty() ? height() - (lineHeight + 1) / 2 : m_rows.constLast();
    QList<int> centres;
    for (int i = 0; i < count; ++i)
        centres << first + (count > 1 ? qRound(double(i) * (last - first) / (count - 1)) : 0);
    return centres;
}

void ScaleLabel::paintEvent(QPaintEvent *)
{
    const QStringList ticks = tickValues(text());
    if (ticks.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const int lineHeight = fontMetrics().height();
    const QList<int> centres = tickCentres();
    for (int i = 0; i < ticks.size(); ++i) {
        const QRect line(0, centres.at(i) - lineHeight / 2, width(), lineHeight);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, ticks.at(i));
    }
}
