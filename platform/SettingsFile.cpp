#include "SettingsFile.h"

#include "DurableFile.h"
#include "FilePaths.h"
#include "Rules.h"
#include "SafeOpen.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <unistd.h>
#endif

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

/// A colour index by the start-up rule: the leading number, rounded halves
/// to even; nothing outside 0..15.
std::optional<int> leadingColorIndex(const QString &item)
{
    const double index = rules::roundHalfEven(rules::leadingNumber(item));
    if (!(index >= 0 && index <= 15))
        return std::nullopt;
    return int(index);
}

/// An item read as a whole number (halves to even) by the dialog's rule;
/// nothing when the item is not a number at all or does not fit 16 bits.
std::optional<int> wholeNumber(const QString &item)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(item.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    const std::optional<qint16> number = rules::toInt16(value);
    if (!number)
        return std::nullopt;
    return int(*number);
}

/// A colour index by the dialog's rule: a whole number within 0..15.
std::optional<int> wholeColorIndex(const QString &item)
{
    const std::optional<int> index = wholeNumber(item);
    if (!index || *index < 0 || *index > 15)
        return std::nullopt;
    return index;
}

} // namespace

QByteArray settingsFileBytes(const Settings &values)
{
    return entryLine(values.spreadsheetPath)
         + entryLine(values.port.number > 0 ? QString::number(values.port.number) : QString())
         + entryLine(languageName(values.language))
         + numberLine(values.foreColorIndex.value_or(0))
         + numberLine(values.backColorIndex.value_or(0))
         + "\r\n"       // baud rate: always empty, the port keeps its line settings
         + "\r\n"       // spare entry
         + entryLine(values.extendedMode.value_or(false) ? QStringLiteral("1") : QStringLiteral("0"))
         + "Ready\r\n";
}

bool writeSettingsFile(const QString &path, const Settings &values, QString *error)
{
    const QByteArray bytes = settingsFileBytes(values);
    const QFileInfo entry(path);
    if (!isWritableFolder(entry.absolutePath())) {
        // A read-only folder may still hold a writable file: write it in
        // place then, but only the file itself, never through a link.
        if (!entry.isSymLink())
            return durable::writeFile(path, bytes, error, durable::Fallback::InPlace);
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(EACCES));
        return false;
    }
#ifdef Q_OS_LINUX
    // A new file renamed over the name: whatever the name was (a link to
    // another file, of anybody), it is replaced and nothing is written
    // through it.
    const int content = ::memfd_create("qvx.ini", MFD_CLOEXEC);
    if (content < 0 || ::write(content, bytes.constData(), size_t(bytes.size())) != bytes.size()) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        if (content >= 0)
            ::close(content);
        return false;
    }
    QString why;
    const HeldFile held = HeldFile::adopt(content);   // closes it
    const bool written = durable::copyFrom(held, path, &why);
    // The caller names the file; only the reason is passed on.
    const QString named = QDir::toNativeSeparators(path) + QLatin1String(":\n");
    if (!written && error)
        *error = why.startsWith(named) ? why.mid(named.size()) : why;
    return written;
#else
    return durable::writeFile(path, bytes, error, durable::Fallback::InPlace);
#endif
}

SettingsFile::SettingsFile(const QString &folder)
    : m_path(settingsFileIn(folder))
{
}

Settings SettingsFile::readAtStartUp() const
{
    Settings settings;
    SettingsItems reader = items();
    // One shared text: an item that cannot be read keeps the one before it
    // and is taken all the same.
    QString item;
    int read = 0;
    for (int entry = 1; entry <= 9; ++entry) {
        if (reader.next(item))
            ++read;
        switch (entry) {
        case 1:
            settings.spreadsheetPath = item;
            break;
        case 2:
            settings.port.number = rules::toInt16(rules::leadingNumber(item)).value_or(0);
            break;
        case 3:
            settings.language = languageFromText(item);
            settings.spreadsheetEntriesRead = read == 3;
            break;
        case 4: settings.foreColorIndex = leadingColorIndex(item); break;
        case 5: settings.backColorIndex = leadingColorIndex(item); break;
        case 6:
            // The entry names the rate only; the line is always 8 data bits,
            // no parity, one stop bit.
            if (const std::optional<qint32> rate = PortSettings::baudRateFromText(item))
                settings.port.baudRate = *rate;
            break;
        // Entries 7 to 9 (a spare, the extended mode, "Ready") change
        // nothing at start-up.
        default: break;
        }
    }
    return settings;
}

Settings SettingsFile::readForDialog() const
{
    Settings settings;
    SettingsItems reader = items();
    // One shared text: an item that cannot be read keeps the one before it.
    QString item;
    int read = 0;
    for (int entry = 1; entry <= 11; ++entry) {
        if (reader.next(item))
            ++read;
        switch (entry) {
        case 1: settings.spreadsheetPath = item; break;
        case 2:
            if (item.size() == 1 && item.at(0) >= QLatin1Char('1') && item.at(0) <= QLatin1Char('9'))
                settings.port.number = qint16(item.at(0).digitValue());
            break;
        case 3:
            settings.language = languageFromText(item);
            settings.spreadsheetEntriesRead = read == 3;
            break;
        case 4: settings.foreColorIndex = wholeColorIndex(item); break;
        case 5: settings.backColorIndex = wholeColorIndex(item); break;
        case 6:
            if (const std::optional<qint32> rate = PortSettings::baudRateFromText(item))
                settings.port.baudRate = *rate;
            break;
        case 8:
            if (const std::optional<int> state = wholeNumber(item); state == 0 || state == 1)
                settings.extendedMode = *state == 1;
            break;
        // Entries 7 and 9 to 11 carry nothing.
        default: break;
        }
    }
    return settings;
}

SensorDefaults readSensorDefaults(const QString &folder)
{
    SettingsItems items(resolveNameIn(folder, sensorFileName()));
    QString item;
    qint16 values[2] = {0, 0};
    qint16 value = 0;
    for (qint16 &target : values) {
        if (items.next(item))
            value = rules::toInt16(rules::leadingNumber(item)).value_or(value);
        target = value;
    }
    return {values[0], values[1]};
}
