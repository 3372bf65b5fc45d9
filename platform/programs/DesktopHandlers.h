#pragma once
// The desktop's programs for a kind of document, found the way freedesktop.org
// desktops find them: desktop entries (applications/*.desktop in
// $XDG_DATA_HOME and $XDG_DATA_DIRS) that list the document's MIME type,
// ordered by the users' and the system's choices in mimeapps.list. Asked
// before a document is handed to the desktop's opener, so that "no program
// can show this" is known and said, not only printed by xdg-open on stderr.

#include <QString>
#include <QStringList>

#include <optional>

namespace programs {

/// A desktop entry that opens a kind of document.
struct DocumentHandler
{
    QString desktopId;     ///< "org.gnome.Evince.desktop"
    QString entryPath;     ///< the .desktop file
    QString exec;          ///< its Exec line, field codes included
    QString mimeType;      ///< the type it was found for: the document's own or one it derives from
};

/// The desktop entry that opens `path`: its MIME type (by name and
/// content) first, then the types it derives from (a CSV file is also
/// text). Per type, the defaults of mimeapps.list, then its added
/// associations, then every entry listing the type, skipping removed
/// associations, hidden entries and entries whose program is not installed.
/// Nothing when no entry opens it.
std::optional<DocumentHandler> documentHandler(const QString &path);

/// The command that opens `path` with the entry's Exec line: the line cut
/// into words by the desktop entry rules (quotes, escapes), %f %F %u %U
/// replaced by the file (a URL for %u %U), the other field codes dropped;
/// the file appended when the line names none. Empty when the line is.
QStringList handlerCommand(const QString &exec, const QString &path);

} // namespace programs
