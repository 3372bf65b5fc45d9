#include "SettingsFile.h"

#include "DurableFile.h"
#include "FilePaths.h"

namespace {

/// One entry as a line. Readers end an entry at a comma, so a text with a
/// comma (a folder like "Tools, old") is quoted to stay one entry.
QByteArray entryLine(const QString &text)
{
    QByteArray bytes = text.toLatin1();
    if (bytes.contains(','))
        bytes = '"' + bytes + '"';
    return bytes + "\r\n";
}

/// A number as the settings file holds it: one blank before, one after.
QByteArray numberLine(int value)
{
    return ' ' + QByteArray::number(value) + " \r\n";
}

} // namespace

QByteArray settingsFileBytes(const SettingsValues &values)
{
    return entryLine(values.spreadsheetPath)
         + entryLine(values.portNumber)
         + entryLine(values.language)
         + numberLine(values.foreColorIndex)
         + numberLine(values.backColorIndex)
         + "\r\n"       // baud rate: always empty, the port keeps its line settings
         + "\r\n"       // spare entry
         + entryLine(values.extendedMode)
         + "Ready\r\n";
}

bool writeSettingsFile(const QString &path, const SettingsValues &values, QString *error)
{
    // A read-only folder may still hold a writable file: write it in place then.
    return durable::writeFile(path, settingsFileBytes(values), error, durable::Fallback::InPlace);
}

SettingsFile::SettingsFile(const QString &folder)
    : m_path(settingsFileIn(folder))
{
}
