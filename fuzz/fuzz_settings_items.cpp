// Fuzz target: the item reader of the settings and start-up files, compared
// with a reading of the same bytes written out here.

#include "SettingsItems.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &detail = {})
{
    std::fprintf(stderr, "fuzz_settings_items: %s [%s]\n", what, detail.toHex(' ').left(400).constData());
    std::abort();
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

/// The items of `bytes`: blanks before an item skipped; an item ends at a
/// comma or a line end (CR LF, CR or LF is one end); a quoted item loses its
/// quotes, may hold commas and ends at the closing quote, the rest up to
/// the separator dropped; an unquoted item loses its trailing blanks.
QList<QByteArray> itemsOf(const QByteArray &bytes)
{
    QList<QByteArray> items;
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    for (;;) {
        while (i < n && isBlank(bytes[i]))
            ++i;
        if (i >= n)
            return items;
        QByteArray item;
        if (bytes[i] == '"') {
            const qsizetype start = ++i;
            while (i < n && bytes[i] != '"' && !isLineEnd(bytes[i]))
                ++i;
            item = bytes.mid(start, i - start);
            while (i < n && bytes[i] != ',' && !isLineEnd(bytes[i]))
                ++i;
        } else {
            const qsizetype start = i;
            while (i < n && bytes[i] != ',' && !isLineEnd(bytes[i]))
                ++i;
            item = bytes.mid(start, i - start);
            while (!item.isEmpty() && isBlank(item.back()))
                item.chop(1);
        }
        if (i < n && bytes[i] == ',')
            ++i;
        else if (i < n && bytes[i] == '\r')
            i += (i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
        else if (i < n)
            ++i;
        items << item;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> expected = itemsOf(bytes);

    SettingsItems items = SettingsItems::fromBytes(bytes);
    QString item;
    qsizetype count = 0;
    while (items.next(item)) {
        if (count >= expected.size())
            fail("more items than the bytes hold", bytes);
        if (item != QString::fromLatin1(expected.at(count)))
            fail("item differs", bytes);
        if (++count > qsizetype(size) + 1)
            fail("reader does not advance", bytes);
    }
    if (count != expected.size())
        fail("items missing", bytes);

    // Past the end the reader keeps failing and leaves the text as it was.
    const QString before = item;
    if (items.next(item) || item != before)
        fail("reading past the end changed the item", bytes);
    return 0;
}
