#pragma once
// A scale caption: tick values separated by blanks, drawn in a narrow tall
// label with one tick value per grid line of the chart beside it.

#include <QLabel>

/// Shows a scale caption such as "100.0      90.0      80.0 ..." as a
/// column of tick values, top down, each centred on its tick line. text()
/// keeps the caption exactly as set.
class ScaleLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    /// Rows of the tick lines, top down, in this label's coordinates. The
    /// values stand on them where the caption has one value per line;
    /// otherwise they are spread evenly from the first line to the last.
    /// Without lines they span the label, half a line inside its edges.
    void setTickRows(const QList<int> &rows);

    /// The row each value of the caption is centred on, top down.
    QList<int> tickCentres() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<int> m_rows;
};
