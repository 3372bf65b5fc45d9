#pragma once
// The name a measurement is saved under, derived from the name chosen in
// the Save dialog.

#include <QString>
#include <QStringList>

namespace savename {

/// The CSV name for `chosen`: in the file-name part every "." is removed,
/// then a trailing "CSV" or "csv" (exactly those spellings) is dropped, and
/// ".csv" is appended. The folder part stays as chosen, so a folder with a
/// dot in its name is still found.
/// "a.b.csv" -> "ab.csv", "data.Csv" -> "dataCsv.csv", "datacsv" -> "data.csv".
QString csvName(const QString &chosen);

/// The existing files that saving under `chosen` concerns, each to be
/// confirmed before it is replaced: the name as typed, then the CSV name
/// when that is another existing file ("data" when "data.csv" exists).
/// A name that is a link is given as the file it leads to (also one that
/// does not exist yet). Folders do not count.
QStringList filesToConfirm(const QString &chosen);

} // namespace savename
