#pragma once
// A scale caption: tick values separated by runs of blanks, drawn in a
// narrow tall label with one tick value per line.

#include <QLabel>

/// Shows a scale caption such as "100.0      90.0      80.0 ..." as a
/// column of tick values. The blanks set the distance between the values:
/// each value is placed at the height its position in the text gives it,
/// between the first and the last tick line. text() keeps the caption
/// exactly as set.
class ScaleLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    /// Centres of the first and last tick value, in this label's coordinates;
    /// by default half a line inside the top and bottom edges.
    void setTickSpan(int firstY, int lastY);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_firstY = -1;
    int m_lastY = -1;
};
