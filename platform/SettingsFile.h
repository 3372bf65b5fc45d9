#pragma once
// The settings file "qvx.ini": nine lines by position, CR LF after each,
// ISO 8859-1. Start-up reads it once into Settings; the settings dialog
// reads it by its own rules into the same type and writes it back.

#include "LanguageText.h"
#include "PortSettings.h"
#include "SettingsItems.h"

#include <QByteArray>
#include <QString>
#include <optional>

/// The entries of the settings file as the program uses them. A value left
/// empty (std::nullopt) was refused by the rule it was read with, and the
/// setting it is meant for keeps what it has.
struct Settings
{
    QString spreadsheetPath;            ///< entry 1: spreadsheet program, may be empty
    bool spreadsheetEntriesRead = false;///< entries 1 to 3 were in the file
    PortSettings port{.number = 0};              ///< entry 2: the number, 0 when none fits;
                                        ///< entry 6: the baud rate when it names one
    Language language = Language::Other;///< entry 3
    std::optional<int> foreColorIndex;  ///< entry 4: text colour index 0..15
    std::optional<int> backColorIndex;  ///< entry 5: background colour index 0..15
    std::optional<bool> extendedMode;   ///< entry 8: 1 ticked, 0 not
};

/// The nine lines of the file: the spreadsheet program, the port number
/// (empty for none) and the language's name (empty for an unknown one), the two colour indices with
/// one blank either side (0 when none), two empty lines (the baud-rate entry
/// and a spare), the extended-mode flag ("1" or "0") and "Ready". A text
/// that holds a comma is written in double quotes, so readers still see it
/// as one entry.
QByteArray settingsFileBytes(const Settings &values);

/// Replaces the file at `path` with settingsFileBytes(). The old file stays
/// whole until the new one is complete. On failure returns false and puts
/// the platform's description into `error` (when given).
bool writeSettingsFile(const QString &path, const Settings &values, QString *error = nullptr);

/// The settings file of one folder, found there regardless of letter case.
class SettingsFile
{
public:
    /// The file "qvx.ini" (any spelling) in `folder`.
    explicit SettingsFile(const QString &folder);

    /// Full path: the existing file's spelling, else "qvx.ini".
    QString path() const { return m_path; }
    /// A reader at the first item; reads no item when the file is missing.
    SettingsItems items() const { return SettingsItems(m_path); }

    /// The settings as start-up reads them: nine items into one shared text
    /// (an item that cannot be read keeps the text before it and counts all
    /// the same); the port and colours by their leading number rounded
    /// halves to even, a colour index outside 0..15 refused.
    Settings readAtStartUp() const;
    /// The settings as the settings dialog reads them: eleven items into one
    /// shared text; the port only when the item is one digit 1 to 9; colours
    /// and the extended mode only when the item is a whole number (rounded
    /// halves to even) in their range.
    Settings readForDialog() const;

    /// Replaces the file with `values` (see writeSettingsFile()).
    bool write(const Settings &values, QString *error = nullptr) const
    {
        return writeSettingsFile(m_path, values, error);
    }

private:
    QString m_path;
};

/// The values the header shows for both inputs until the instrument sends
/// its own: the file "sensor.ini" (any spelling) in a folder.
struct SensorDefaults
{
    qint16 inp1 = 0;
    qint16 inp2 = 0;
};

/// Two items of "sensor.ini" in `folder`, each by its leading number; an
/// item that cannot be read or does not fit keeps the value before it (0
/// for the first). A missing file gives zeros.
SensorDefaults readSensorDefaults(const QString &folder);
