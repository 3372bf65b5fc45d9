#include "LevelMeter.h"

#include <QAccessible>
#include <QPainter>

LevelMeter::LevelMeter(QWidget *parent)
    : QWidget(parent), m_barColor(0, 160, 0)
{
    setAccessibleName(tr("Level"));
    updateAccessibleValue();
}

void LevelMeter::setLevel(qint16 level)
{
    if (level == m_level)
        return;
    m_level = level;
    updateAccessibleValue();
    update();
}

void LevelMeter::setFullScale(qint16 fullScale)
{
    if (fullScale == m_fullScale)
        return;
    m_fullScale = fullScale;
    updateAccessibleValue();
    update();
}

void LevelMeter::setBarColor(const QColor &color)
{
    m_barColor = color;
    update();
}

void LevelMeter::updateAccessibleValue()
{
    setAccessibleDescription(tr("%1 of %2").arg(m_level).arg(m_fullScale));
}

void LevelMeter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(frame, palette().color(QPalette::Base));
    if (m_fullScale > 0 && m_level > 0) {
        const double share = qMin(1.0, double(m_level) / double(m_fullScale));
        const int height = int(share * frame.height());
        painter.fillRect(QRect(frame.left(), frame.bottom() - height + 1, frame.width(), height),
                         m_level > m_fullScale ? QColor(200, 0, 0) : m_barColor);
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
}
