#pragma once
// The settings file "qvx.ini": nine lines by position, CR LF after each,
// ISO 8859-1. Start-up, the settings dialog and the viewers read one and the
// same file; only the settings dialog writes it.

#include "SettingsItems.h"

#include <QByteArray>
#include <QString>

/// The values the settings dialog saves, one per entry of the file.
struct SettingsValues
{
    QString spreadsheetPath;        ///< entry 1: spreadsheet program, may be empty
    QString portNumber;             ///< entry 2: "1" to "9"
    QString language;               ///< entry 3: "Deutsch", "English" or "Francais"
    int foreColorIndex = 0;         ///< entry 4: text colour index 0..15
    int backColorIndex = 0;         ///< entry 5: background colour index 0..15
    QString extendedMode = QStringLiteral("0"); ///< entry 8: "1" ticked, "0" not
};

/// The nine lines of the file: the values, the two colour indices with one
/// blank either side, two empty lines (the baud-rate entry and a spare),
/// the extended-mode flag and "Ready". A text that holds a comma is written
/// in double quotes, so readers still see it as one entry.
QByteArray settingsFileBytes(const SettingsValues &values);

/// Replaces the file at `path` with settingsFileBytes(). The old file stays
/// whole until the new one is complete. On failure returns false and puts
/// the platform's description into `error` (when given).
bool writeSettingsFile(const QString &path, const SettingsValues &values, QString *error = nullptr);

/// The settings file of one folder, found there regardless of letter case.
/// Each reader keeps its own rule for the values; this type only finds,
/// reads and writes the file.
class SettingsFile
{
public:
    /// The file "qvx.ini" (any spelling) in `folder`.
    explicit SettingsFile(const QString &folder);

    /// Full path: the existing file's spelling, else "qvx.ini".
    QString path() const { return m_path; }
    /// A reader at the first item; reads no item when the file is missing.
    SettingsItems items() const { return SettingsItems(m_path); }
    /// Replaces the file with `values` (see writeSettingsFile()).
    bool write(const SettingsValues &values, QString *error = nullptr) const
    {
        return writeSettingsFile(m_path, values, error);
    }

private:
    QString m_path;
};
