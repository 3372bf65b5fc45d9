#include "Windows1252.h"

#include <QStringList>

#include <optional>

namespace {

/// Characters of 0x80-0x9F; a null marks a byte the code page leaves
/// undefined.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<char> byteFor(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == c)
            return char(0x80 + i);
    }
    return std::nullopt;
}

/// Calls `f(codePoint, asText)` for each character of `text`; a lone
/// surrogate is a character of its own.
template <typename F>
void forEachCharacter(QStringView text, F f)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            f(QChar::surrogateToUcs4(c, text.at(i + 1)), text.mid(i, 2));
            ++i;
        } else {
            f(char32_t(c.unicode()), text.mid(i, 1));
        }
    }
}

} // namespace

namespace windows1252 {

QByteArray encode(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    forEachCharacter(text, [&bytes](char32_t c, QStringView) { bytes += byteFor(c).value_or('?'); });
    return bytes;
}

QStringList unencodable(QStringView text)
{
    QStringList found;
    forEachCharacter(text, [&found](char32_t c, QStringView asText) {
        if (!byteFor(c) && !found.contains(asText))
            found << asText.toString();
    });
    return found;
}

} // namespace windows1252
