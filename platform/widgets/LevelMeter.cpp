#include "LevelMeter.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>
#include <QRegularExpression>

namespace {

/// Screen readers see a meter as a progress bar whose value is the level
/// and whose maximum is the full scale.
class LevelMeterAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit LevelMeterAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::ProgressBar) {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::number(meter()->level());
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return int(meter()->level()); }
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return int(meter()->fullScale()); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    LevelMeter *meter() const { return static_cast<LevelMeter *>(widget()); }
};

QAccessibleInterface *meterFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("LevelMeter") && object && object->isWidgetType())
        return new LevelMeterAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

LevelMeter::LevelMeter(QWidget *parent)
    : QWidget(parent), m_barColor(0, 160, 0)
{
    static const bool registered = [] {
        QAccessible::installFactory(meterFactory);
        return true;
    }();
    Q_UNUSED(registered);
    setAccessibleName(QStringLiteral("Level"));
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
    setAccessibleDescription(QStringLiteral("%1 / %2").arg(m_level).arg(m_fullScale));
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, int(m_level));
        QAccessible::updateAccessibility(&event);
    }
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

namespace {

QStringList tickValues(const QString &caption)
{
    return caption.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

} // namespace

void MeterScaleLabel::setScaleHeight(int pixels)
{
    m_scaleHeight = pixels;
    update();
}

QList<int> MeterScaleLabel::tickCentres() const
{
    const int count = int(tickValues(text()).size());
    QList<int> centres;
    const int last = std::max(0, scaleHeight() - 1);
    for (int i = 0; i < count; ++i)
        centres << scaleTop() + (count > 1 ? (i * last + (count - 1) / 2) / (count - 1) : 0);
    return centres;
}

void MeterScaleLabel::paintEvent(QPaintEvent *)
{
    const QStringList ticks = tickValues(text());
    if (ticks.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const int lineHeight = fontMetrics().height();
    const QList<int> centres = tickCentres();
    for (int i = 0; i < ticks.size(); ++i) {
        // Centred on its tick, but kept whole inside the label.
        const int top = std::clamp(centres.at(i) - lineHeight / 2, 0, std::max(0, height() - lineHeight));
        painter.drawText(QRect(0, top, width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, ticks.at(i));
    }
}
