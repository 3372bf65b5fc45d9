#pragma once

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
