#include "SettingsItems.h"

#include "FilePaths.h"

SettingsItems::SettingsItems(const QString &path, qint64 maxBytes)
{
    // Another user's file or link, and anything that is no regular file (a
    // FIFO would keep start-up waiting), reads as no file at all.
    if (std::optional<QByteArray> bytes = readTrustedFile(path, maxBytes, &m_trust)) {
        m_open = true;
        m_data = std::move(*bytes);
    }
}

SettingsItems SettingsItems::fromBytes(const QByteArray &bytes)
{
    SettingsItems items;
    items.m_open = true;
    items.m_data = bytes;
    return items;
}

bool SettingsItems::next(QString &item)
{
    const qsizetype n = m_data.size();
    qsizetype i = m_pos;
    // Leading blanks are skipped; an empty line is an empty item.
    while (i < n && (m_data.at(i) == ' ' || m_data.at(i) == '\t'))
        ++i;
    if (i >= n)
        return false;

    QByteArray value;
    if (m_data.at(i) == '"') {
        ++i;
        while (i < n && m_data.at(i) != '"' && m_data.at(i) != '\r' && m_data.at(i) != '\n')
            value += m_data.at(i++);
        if (i < n && m_data.at(i) == '"')
            ++i;
        // Anything between the closing quote and the separator is dropped.
        while (i < n && m_data.at(i) != ',' && m_data.at(i) != '\r' && m_data.at(i) != '\n')
            ++i;
    } else {
        const qsizetype start = i;
        while (i < n && m_data.at(i) != ',' && m_data.at(i) != '\r' && m_data.at(i) != '\n')
            ++i;
        value = m_data.mid(start, i - start);
        // Trailing blanks are not part of an unquoted item.
        while (!value.isEmpty() && (value.endsWith(' ') || value.endsWith('\t')))
            value.chop(1);
    }
    // Consume the separator: a comma, or one line end (CR LF, CR or LF).
    if (i < n && m_data.at(i) == ',') {
        ++i;
    } else if (i < n && m_data.at(i) == '\r') {
        ++i;
        if (i < n && m_data.at(i) == '\n')
            ++i;
    } else if (i < n && m_data.at(i) == '\n') {
        ++i;
    }
    m_pos = i;
    item = QString::fromLatin1(value);
    return true;
}
