#pragma once
// Reader of comma- and line-separated items, the format of the settings
// file and the start-up file.

#include "FilePaths.h"

#include <QByteArray>
#include <QString>

/// Reads items one after the other from a file read whole at open.
/// An item: leading blanks skipped, ends at a comma or a line end, a quoted
/// item loses its quotes (and may hold commas). Reading past the end fails
/// and keeps the previous text: one text is shared by all reads.
class SettingsItems
{
public:
    /// Opens and reads the file; a file that cannot be opened reads no item.
    /// Only a regular file of the user or root is read (openTrustedFile());
    /// any other reads as a missing file. Files larger than maxBytes are
    /// read only up to that size.
    explicit SettingsItems(const QString &path, qint64 maxBytes = 1 << 20);
    /// Reads items from bytes already in memory (ISO 8859-1).
    static SettingsItems fromBytes(const QByteArray &bytes);

    /// True when the file could be opened.
    bool isOpen() const { return m_open; }
    /// What the open found (FileTrust::Trusted when it was read).
    FileTrust trust() const { return m_trust; }

    /// Reads the next item into `item`; returns false (and leaves `item`
    /// unchanged) when no item is left.
    bool next(QString &item);

private:
    SettingsItems() = default;
    QByteArray m_data;
    qsizetype m_pos = 0;
    bool m_open = false;
    FileTrust m_trust = FileTrust::Trusted;
};
