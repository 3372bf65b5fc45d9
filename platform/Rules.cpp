#include "Rules.h"

#include <charconv>
#include <cmath>
#include <string>
#include <limits>

namespace rules {

double leadingNumber(const QString &text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;

    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        negative = text.at(i++) == QLatin1Char('-');

    // Digits and the point gathered into a small buffer: this runs twice
    // per received block, so no string is built on the heap for it.
    std::string longNumber;
    char buffer[64];
    int length = 0;
    bool seenPoint = false;
    bool seenDigit = false;
    auto add = [&](char c) {
        if (length < int(sizeof buffer))
            buffer[length] = c;
        else {
            if (longNumber.empty())
                longNumber.assign(buffer, sizeof buffer);
            longNumber += c;
        }
        ++length;
    };
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            seenDigit = true;
            add(char(c.unicode()));
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            add('.');
        } else if (c == QLatin1Char(' ') && seenDigit) {
            // Blanks between digits are skipped ("1 2" is 12).
            continue;
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    const char *first = longNumber.empty() ? buffer : longNumber.data();
    double value = 0.0;
    const auto result = std::from_chars(first, first + length, value);
    if (result.ec != std::errc())
        return 0.0;
    return negative ? -value : value;
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
