#pragma once
// The fixed table of 16 colours behind the colour settings.

#include <QColor>
#include <array>
#include <optional>

/// The 16 colours selectable for the data windows, by index 0..15.
inline const std::array<QColor, 16> &colorIndexTable()
{
    static const std::array<QColor, 16> table = {
        QColor(0, 0, 0),       QColor(0, 0, 128),     QColor(0, 128, 0),     QColor(0, 128, 128),
        QColor(128, 0, 0),     QColor(128, 0, 128),   QColor(128, 128, 0),   QColor(192, 192, 192),
        QColor(128, 128, 128), QColor(0, 0, 255),     QColor(0, 255, 0),     QColor(0, 255, 255),
        QColor(255, 0, 0),     QColor(255, 0, 255),   QColor(255, 255, 0),   QColor(255, 255, 255)};
    return table;
}

/// The colour of an index, or nothing when the index is outside 0..15.
inline std::optional<QColor> colorForIndex(double index)
{
    if (index < 0 || index > 15 || index != double(int(index)))
        return std::nullopt;
    return colorIndexTable()[size_t(index)];
}
