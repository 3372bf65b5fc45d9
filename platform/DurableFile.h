#pragma once
// Files that are complete on disk before the program reports them saved:
// the content goes to a temporary file beside the target, is synced, moved
// over the target's name and the folder synced, so a power cut leaves
// either the old file or the whole new one under the name, never a part.
// The temporary file has no name while it is written where the file system
// allows (else a short random one), so a killed copy leaves nothing, or a
// file removeAbandonedTemporaries() recognises.

#include <QByteArray>
#include <QString>

class HeldFile;

namespace durable {

/// What to do when the folder refuses a temporary file (read-only folder).
enum class Fallback {
    None,     ///< fail
    InPlace   ///< write the existing file in place (synced, but not atomic);
              ///< never through a link
};

/// Replaces `path` with `bytes` durably. On failure `error` (when given)
/// holds the system's description and an existing file is left as it was.
bool writeFile(const QString &path, const QByteArray &bytes, QString *error = nullptr,
               Fallback fallback = Fallback::None);

/// Copies `from` to `to` byte for byte, replacing `to` durably. Neither
/// name is followed when it is a link: `from` must be a file, and a link
/// at `to` is replaced by the copy, never written through. On failure
/// `error` (when given) holds the failing file's native path, a colon, a
/// line break and the system's description; an existing target is left as
/// it was.
bool copyFile(const QString &from, const QString &to, QString *error = nullptr);

/// The same from an open file, read from its start.
bool copyFrom(const HeldFile &from, const QString &to, QString *error = nullptr);

/// Whether a file's content is first written to a file without a name
/// where the file system has them (the default). Off, every copy goes
/// through a named temporary file, as on file systems without them.
void setUnnamedTemporariesAllowed(bool allowed);

/// True for the name of a temporary file of a copy: a distinctive prefix
/// and a short random suffix (the name stays short for any target).
bool isTemporaryName(const QString &name);

/// Removes the temporary files that copies in `folder` left behind when
/// they were killed midway: only plain files (never links) of the current
/// user's own with a temporary name that no running copy holds. Returns
/// how many were removed.
int removeAbandonedTemporaries(const QString &folder);

/// Syncs the folder entry of `path` (its name, after a create or rename) to
/// disk. File systems that cannot sync a folder count as success.
bool syncFolderOf(const QString &path, QString *error = nullptr);

} // namespace durable
