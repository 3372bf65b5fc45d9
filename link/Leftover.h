#pragma once
// What a run leaves in the working file when it ends. A measurement the
// user declined to save (Exit or a stop answered No) is noted beside the
// file, so that the next start replaces it without a word; anything else
// left there (a crash, a kill, a power cut, the settings restart) is kept
// under a new name before the next start replaces the file.

#include <QDateTime>
#include <QString>

namespace leftover {

/// Name of the note beside the working file.
QString noteName();

/// Notes that the user declined to keep what the working file holds now.
/// A note that cannot be written only means the next start keeps the data.
void noteDeclined(const QString &workFilePath);

/// Removes the note, if there is one.
void clearNote(const QString &workFilePath);

/// What start-up found in the working file.
struct Found
{
    enum class Kind {
        Nothing,    ///< no working file, or an empty one
        Declined,   ///< the content the user declined to save: to be replaced
        Kept,       ///< copied to `keptName`
        NotKept     ///< the copy failed (`error`); the data are still in `dataPath`
    };
    Kind kind = Kind::Nothing;
    QString keptName;
    QString error;
    QString dataPath;
};

/// Run at start-up before the working file is replaced: tells a declined
/// measurement from one the last run could not finish, keeps the latter
/// and removes the note.
Found settle(const QString &workFilePath, const QDateTime &now);

} // namespace leftover
