#pragma once
// Sample lines as the instrument sends them: the logging time and six
// values (ACT, MAX, MIN of both inputs) padded to fixed columns, ended by
// CR LF, about 70 characters each.

#include <QByteArray>

#include <cmath>
#include <vector>

namespace bench {

/// The sample line of second `second`: values that wander over the scale.
inline QByteArray sampleLine(int second)
{
    const double act1 = 50.0 + 40.0 * std::sin(second / 30.0) + (second % 7) * 0.1;
    const double act2 = 100.0 + 60.0 * std::cos(second / 45.0);
    QByteArray line = QByteArray::number(second).rightJustified(5, ' ');
    for (double value : {act1, 90.0, 10.0, act2, 160.0, 40.0})
        line += QByteArray::number(value, 'f', 1).rightJustified(11, ' ');
    return line + "\r\n";
}

/// `count` consecutive sample lines, one block each.
inline std::vector<QByteArray> sampleBlocks(int count, int firstSecond = 1)
{
    std::vector<QByteArray> blocks;
    blocks.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        blocks.push_back(sampleLine(firstSecond + i));
    return blocks;
}

} // namespace bench
