#include "Rules.h"

#include <cmath>
#include <limits>

namespace rules {

double leadingNumber(const QString &text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;

    QString number;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        number += text.at(i++);
    bool seenPoint = false;
    bool seenDigit = false;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            seenDigit = true;
            number += c;
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            number += c;
        } else if (c == QLatin1Char(' ') && seenDigit) {
            // The old runtime ignores blanks between digits ("1 2" is 12).
            continue;
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? value : 0.0;
}

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double down = std::floor(value);
    const double fraction = value - down;
    if (fraction < 0.5)
        return down;
    if (fraction > 0.5)
        return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

template<typename Int>
static std::optional<Int> toInt(double value)
{
    const double r = roundHalfEven(value);
    if (!std::isfinite(r) || r < double(std::numeric_limits<Int>::min())
        || r > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return Int(r);
}

std::optional<qint16> toInt16(double value) { return toInt<qint16>(value); }
std::optional<qint32> toInt32(double value) { return toInt<qint32>(value); }

} // namespace rules
