#include "MeasurementFiles.h"

#include "LanguageText.h"
#include "Measurement.h"

#include "FileDialog.h"
#include "DurableFile.h"
#include "FilePaths.h"
#include "Leftover.h"
#include "SaveName.h"
#include "UserDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTimer>

namespace {

/// Texts of the save and exit prompts, one column per language.
struct PromptTexts
{
    LanguageText saveTitle;      ///< caption of the Save dialog
    LanguageText replaceBefore;  ///< overwrite question, before the name
    LanguageText replaceAfter;   ///< overwrite question, after the name
    LanguageText saveQuestion;   ///< asked after a stop and at exit
};

const PromptTexts &texts()
{
    static const PromptTexts t{
        {QStringLiteral("Möchten Sie die Messung Speichern ?"),
         QStringLiteral("Do you want to save the measurement ?"),
         QStringLiteral("Voulez vous sauvegarder la mesure ?")},
        {QStringLiteral("Soll die Datei  "),
         QStringLiteral("Do you want to replace the file  "),
         QStringLiteral("Voulez vous sauvergarder le Ficher ")},
        {QStringLiteral(" überschreiben ?? "),
         QStringLiteral(" "),
         QStringLiteral("  ")},
        {QStringLiteral("Wollen Sie die Meßdaten speichern ? "),
         QStringLiteral("Do you want to save the datafile ?"),
         QStringLiteral("Voulez vous sauvegarder les donnes ?")},
    };
    return t;
}

const QString saveFilter = QStringLiteral("Filetyp Excel(*.csv)|*.csv");
const QString sendTimeoutQuestion = QStringLiteral("Data cannot be sent");

/// A failure on `path` as the boxes show it: the file, then the system's words.
QString fileError(const QString &path, const QFile &file)
{
    return QDir::toNativeSeparators(path) + QLatin1String(":\n") + file.errorString();
}

/// Copies `from` to `to` byte for byte, replacing `to`. The new content is
/// written beside the target, synced and moved over it only when complete,
/// so a failed copy or a power cut leaves an existing target as it was. On
/// failure `error` holds the system's description.
bool copyReplacing(const QString &from, const QString &to, QString *error)
{
    return durable::copyFile(from, to, error);
}

/// Lets pending events run for a short while without spinning the CPU.
void processEventsBriefly()
{
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
}

/// The message shown once when a measurement left by the last run was kept.
} // namespace

MeasurementFiles::MeasurementFiles(const QString &language, Measurement &measurement, FileDialog &fileDialog,
                                   UserDialogs &dialogs, Hooks hooks, QObject *parent)
    : QObject(parent), m_language(language), m_measurement(measurement), m_workFile(measurement.workingFile()),
      m_cmDialog1(fileDialog), m_dialogs(dialogs), m_hooks(std::move(hooks))
{
}

void MeasurementFiles::saveMeasurement()
{
    m_measurement.setUnsavedData(false);
    const QString &language = m_language;

    // An installed program's folder cannot take the file: the dialog then
    // starts in the current folder, where the measurements are kept.
    const QString programDir = QCoreApplication::applicationDirPath();
    m_cmDialog1.InitDir = isWritableFolder(programDir) ? programDir : QDir::currentPath();
    m_cmDialog1.DialogTitle = texts().saveTitle.pick(language);
    m_cmDialog1.Filter = saveFilter;
    m_cmDialog1.FileName.clear();

    // From here on the first failure ends the save. The working file stays
    // open during the dialog, so data arriving meanwhile are still recorded.
    if (!m_cmDialog1.ShowSave())
        return;
    const QString chosen = m_cmDialog1.FileName;

    // The question concerns the name as typed, and then the name the data
    // are written to when that is another existing file.
    for (const QString &existing : savename::filesToConfirm(chosen)) {
        const QString question = texts().replaceBefore.pick(language) + existing
                                 + texts().replaceAfter.pick(language);
        if (m_dialogs.message(question, style::Question | style::YesNo) != answer::Yes) {
            saveMeasurement();
            return;
        }
    }

    m_workFile.close();

    const QString target = savename::csvName(chosen);
    const QString workPath = resolveBareName(WorkingFile::bareName());
    // A working file that could not be emptied after the last save holds
    // data saved before; nothing was recorded since, so the file is empty.
    const QString source = m_workFileSaved ? QProcess::nullDevice() : workPath;
    QString error;
    if (!copyReplacing(source, target, &error)) {
        // The recorded data stay in the (closed) working file.
        m_dialogs.message(error, style::Exclamation);
        return;
    }
    m_saveTarget = target;

    // The saved data leave the working file: it is deleted, or else emptied,
    // so that the next measurement is recorded on its own.
    QFile saved(workPath);
    const bool deleted = saved.remove();
    m_workFileSaved = false;
    if (!deleted) {
        m_dialogs.message(fileError(workPath, saved), style::Exclamation);
        // Not even emptied, it holds saved data until it can be replaced.
        m_workFileSaved = !saved.resize(0);
        if (m_workFileSaved)
            m_dialogs.message(fileError(workPath, saved), style::Exclamation);
    }

    if (m_hooks.refreshFileList)
        m_hooks.refreshFileList();
    if (m_workFileSaved)
        return;

    if (deleted) {
        if (!m_measurement.openWorkingFile(WorkingFile::bareName()))
            return;
    } else if (!m_workFile.openForAppend(WorkingFile::bareName())) {
        m_dialogs.message(m_workFile.errorString(), style::Exclamation);
        return;
    }

    m_measurement.clearReceived();
    m_measurement.setUnsavedData(false);
    m_measurement.reopenPort();
}

void MeasurementFiles::askSaveAfterStop()
{
    m_measurement.setUnsavedData(false);
    const QString question = texts().saveQuestion.pick(m_language);
    m_workFile.close();

    if (m_dialogs.message(question, style::Question | style::YesNo) == answer::Yes) {
        saveMeasurement();
        return;
    }
    openWorkingFile();
    // Data that could not be discarded were still declined: the next start
    // replaces them without keeping a copy.
    if (!m_workFile.isOpen())
        leftover::noteDeclined(WorkingFile::bareName());
}

void MeasurementFiles::exit()
{
    m_measurement.setUnsavedData(false);
    const QString question = texts().saveQuestion.pick(m_language);
    m_workFile.close();

    if (m_dialogs.message(question, style::Question | style::YesNo) != answer::Yes) {
        // The data stay in the closed working file; the next start replaces
        // them without keeping a copy, as the user chose.
        leftover::noteDeclined(WorkingFile::bareName());
        endProgram();
        return;
    }
    saveMeasurement();
    unload();
}

bool MeasurementFiles::unload()
{
    if (m_measurement.hasUnsavedData()) {
        exit();
        // Exit either ended the program or ran an unload that the user
        // aborted; that answer holds for this close as well.
        return !m_ended;
    }

    if (m_measurement.isRunning()) {
        if (waitForOutput() == Drain::Aborted)
            return true;
        m_measurement.closePort();
    }
    if (m_workFile.isOpen())
        m_workFile.close();
    endProgram();
    return false;
}

void MeasurementFiles::openWorkingFile()
{
    // The dialog's file name serves as the store of the working file's path.
    m_cmDialog1.FileName = WorkingFile::bareName();
    const QString workFilePath = m_cmDialog1.FileName;

    if (m_measurement.openWorkingFile(workFilePath))
        m_workFileSaved = false;
}

MeasurementFiles::Drain MeasurementFiles::waitForOutput()
{
    // A monotonic clock, so the wait also ends across midnight.
    QElapsedTimer waited;
    waited.start();
    while (m_measurement.pendingOutput() != 0) {
        processEventsBriefly();
        if (m_measurement.pendingOutput() == 0)
            break;
        if (waited.elapsed() <= m_drainTimeoutMs)
            continue;
        switch (m_dialogs.message(sendTimeoutQuestion, style::Question | style::AbortRetryIgnore)) {
        case answer::Abort:
            return Drain::Aborted;
        case answer::Retry:
            waited.restart();
            break;
        default:
            return Drain::Ignored;
        }
    }
    return Drain::Sent;
}

void MeasurementFiles::endProgram()
{
    m_ended = true;
    if (m_hooks.endProgram)
        m_hooks.endProgram();
}
