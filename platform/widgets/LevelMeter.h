#pragma once

#include <QLabel>
#include <QWidget>

/// A vertical level meter: a bar from the bottom up to level / full scale.
/// Screen readers read its level and full scale as a value.
class LevelMeter : public QWidget
{
    Q_OBJECT
public:
    explicit LevelMeter(QWidget *parent = nullptr);

    void setLevel(qint16 level);
    qint16 level() const { return m_level; }
    void setFullScale(qint16 fullScale);
    qint16 fullScale() const { return m_fullScale; }
    void setBarColor(const QColor &color);

    QSize sizeHint() const override { return {17, 133}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateAccessibleValue();
    qint16 m_level = 0;
    qint16 m_fullScale = 100;
    QColor m_barColor;
};

/// The scale caption beside a level meter, such as "100.0 90.0 80.0 ...":
/// its tick values, highest first, spread evenly from the meter's top to
/// its bottom, one scale step apart, whatever blanks separate them in the
/// text. text() keeps the caption exactly as set.
class MeterScaleLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

    /// Height of the meter beside the label; by default the label's own
    /// height less one line.
    void setScaleHeight(int pixels);
    int scaleHeight() const { return m_scaleHeight >= 0 ? m_scaleHeight : height() - fontMetrics().height(); }

    /// Where the meter's top must stand in this label's coordinates: half a
    /// line down, so that the top value is shown whole, centred on it.
    int scaleTop() const { return fontMetrics().height() / 2; }

    /// Vertical centre of each tick value, in this label's coordinates.
    QList<int> tickCentres() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_scaleHeight = -1;
};
