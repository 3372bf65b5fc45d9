#include "MeasurementFiles.h"

#include "LanguageText.h"
#include "Measurement.h"

#include "FileDialog.h"
#include "FilePaths.h"
#include "SaveName.h"
#include "UserDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

// Texts of the save and exit prompts, per language.
/// Caption of the Save dialog.
const LanguageText saveTitle{QStringLiteral("Möchten Sie die Messung Speichern ?"),
                             QStringLiteral("Do you want to save the measurement ?"),
                             QStringLiteral("Voulez vous sauvegarder la mesure ?")};
/// The overwrite question, before and after the name.
const LanguageText replaceBefore{QStringLiteral("Soll die Datei  "),
                                 QStringLiteral("Do you want to replace the file  "),
                                 QStringLiteral("Voulez vous sauvergarder le Ficher ")};
const LanguageText replaceAfter{QStringLiteral(" überschreiben ?? "),
                                QStringLiteral(" "),
                                QStringLiteral("  ")};
/// Asked after a stop and at exit.
const LanguageText saveQuestion{QStringLiteral("Wollen Sie die Meßdaten speichern ? "),
                                QStringLiteral("Do you want to save the datafile ?"),
                                QStringLiteral("Voulez vous sauvegarder les donnes ?")};

const QString saveFilter = QStringLiteral("Filetyp Excel(*.csv)|*.csv");
const QString sendTimeoutQuestion = QStringLiteral("Data cannot be sent");

/// Lets pending events run for a short while without spinning the CPU.
void processEventsBriefly()
{
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

MeasurementFiles::MeasurementFiles(Language language, Measurement &measurement, FileDialog &fileDialog,
                                   UserDialogs &dialogs, Hooks hooks, QObject *parent)
    : QObject(parent), m_language(language), m_measurement(measurement), m_fileDialog(fileDialog),
      m_dialogs(dialogs), m_hooks(std::move(hooks))
{
    connect(&m_measurement, &Measurement::saved, this, [this](const QString &csvPath) {
        m_saveTarget = csvPath;
        if (m_hooks.refreshFileList)
            m_hooks.refreshFileList();
    });
}

void MeasurementFiles::saveMeasurement()
{
    m_measurement.setUnsavedData(false);
    const Language language = m_language;

    // An installed program's folder cannot take the file: the dialog then
    // starts in the current folder, where the measurements are kept.
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString folder = isWritableFolder(programDir) ? programDir : QDir::currentPath();

    // The measurement goes on being recorded while the dialog is open.
    const QString chosen = m_fileDialog.getSaveFileName(saveTitle.pick(language), saveFilter, folder);
    if (chosen.isNull())
        return;

    // The question concerns the name as typed, and then the name the data
    // are written to when that is another existing file.
    for (const QString &existing : savename::filesToConfirm(chosen)) {
        const QString question = replaceBefore.pick(language) + existing
                                 + replaceAfter.pick(language);
        if (m_dialogs.message(question, Icon::Question | Buttons::YesNo) != Answer::Yes) {
            saveMeasurement();
            return;
        }
    }

    // The measurement writes the file, starts the next one and reports
    // what fails; the delete dialog's list shows the new file.
    m_measurement.save(savename::csvName(chosen));
}

void MeasurementFiles::askSaveAfterStop()
{
    m_measurement.setUnsavedData(false);
    const QString question = saveQuestion.pick(m_language);

    if (m_dialogs.message(question, Icon::Question | Buttons::YesNo) == Answer::Yes) {
        saveMeasurement();
        return;
    }
    m_measurement.discard();
}

void MeasurementFiles::exit()
{
    m_measurement.setUnsavedData(false);
    const QString question = saveQuestion.pick(m_language);

    if (m_dialogs.message(question, Icon::Question | Buttons::YesNo) != Answer::Yes) {
        m_measurement.declineAtExit();
        endProgram();
        return;
    }
    saveMeasurement();
    closeProgram();
}

bool MeasurementFiles::closeProgram()
{
    if (m_measurement.hasUnsavedData()) {
        exit();
        // Exit either ended the program or ran a close that the user
        // aborted; that answer holds for this close as well.
        return !m_ended;
    }

    if (m_measurement.isRunning() && waitForOutput() == Drain::Aborted)
        return true;
    m_measurement.finish();
    endProgram();
    return false;
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
        switch (m_dialogs.message(sendTimeoutQuestion, Icon::Question | Buttons::AbortRetryIgnore)) {
        case Answer::Abort:
            return Drain::Aborted;
        case Answer::Retry:
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
