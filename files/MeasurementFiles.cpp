#include "MeasurementFiles.h"

#include "CommonDialog.h"
#include "DurableFile.h"
#include "FilePaths.h"
#include "MSComm.h"
#include "SaveName.h"
#include "SharedState.h"
#include "UserDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
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
// Shown in both languages whatever the setting: the usual reason is the
// spreadsheet program still holding the file open.
const QString closeSpreadsheetMessage =
    QStringLiteral("Please close Microsoft EXCEL ! \r\nBitte Microsoft EXCEL schließen ! ");
const QString infoCaption = QStringLiteral(" Quendrel Data Recorder Info ");

/// A file (not a folder) exists under `path` exactly as typed.
bool isExistingFile(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
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

} // namespace

MeasurementFiles::MeasurementFiles(SharedState &state, WorkingFile &workFile, MSComm &port,
                                   CommonDialog &cmDialog1, UserDialogs &dialogs, Hooks hooks,
                                   QObject *parent)
    : QObject(parent), m_state(state), m_workFile(workFile), m_port(port), m_cmDialog1(cmDialog1),
      m_dialogs(dialogs), m_hooks(std::move(hooks))
{
}

void MeasurementFiles::SScommand4_Click()
{
    m_state.receivedTextLength = 0;
    const QString &language = m_state.currentLanguage;

    m_cmDialog1.InitDir = QCoreApplication::applicationDirPath();
    m_cmDialog1.DialogTitle = texts().saveTitle.pick(language);
    m_cmDialog1.Filter = saveFilter;
    m_cmDialog1.FileName.clear();

    // From here on the first failure ends the save. The working file stays
    // open during the dialog, so data arriving meanwhile are still recorded.
    if (!m_cmDialog1.ShowSave())
        return;
    const QString chosen = m_cmDialog1.FileName;

    // The question concerns the name as typed, before it is normalised.
    if (isExistingFile(chosen)) {
        const QString question = texts().replaceBefore.pick(language) + chosen
                                 + texts().replaceAfter.pick(language);
        if (m_dialogs.message(question, style::Question | style::YesNo) != answer::Yes) {
            SScommand4_Click();
            return;
        }
    }

    m_workFile.close();

    const QString target = savename::csvName(chosen);
    const QString workPath = resolveBareName(WorkingFile::bareName());
    QString error;
    if (!copyReplacing(workPath, target, &error)) {
        // The recorded data stay in the (closed) working file.
        m_dialogs.message(error, style::Exclamation);
        return;
    }
    m_state.saveTarget = target;

    if (!QFile::remove(workPath))
        return;

    if (m_hooks.refreshFileList)
        m_hooks.refreshFileList();

    const WorkingFile::OpenResult opened = m_workFile.open(WorkingFile::bareName());
    if (opened != WorkingFile::OpenResult::Opened) {
        reportOpenFailure(opened);
        return;
    }

    if (m_hooks.clearTerm)
        m_hooks.clearTerm();
    m_state.receivedTextLength = 0;

    // Closing first makes the toggle open the port, whatever its state was.
    m_port.setPortOpen(false);
    if (m_hooks.MOpen_Click)
        m_hooks.MOpen_Click();
}

void MeasurementFiles::AskSaveAfterStop()
{
    m_state.receivedTextLength = 0;
    const QString question = texts().saveQuestion.pick(m_state.currentLanguage);
    m_workFile.close();

    if (m_dialogs.message(question, style::Question | style::YesNo) == answer::Yes) {
        SScommand4_Click();
        return;
    }
    OpenWorkingFile();
}

void MeasurementFiles::SSCommand1_Click()
{
    m_state.receivedTextLength = 0;
    const QString question = texts().saveQuestion.pick(m_state.currentLanguage);
    m_workFile.close();

    if (m_dialogs.message(question, style::Question | style::YesNo) != answer::Yes) {
        // The data stay in the closed working file.
        endProgram();
        return;
    }
    SScommand4_Click();
    Form_Unload();
}

bool MeasurementFiles::Form_Unload()
{
    if (m_state.receivedTextLength > 0) {
        SSCommand1_Click();
        // Exit either ended the program or ran an unload that the user
        // aborted; that answer holds for this close as well.
        return !m_ended;
    }

    if (m_port.PortOpen()) {
        if (waitForOutput() == Drain::Aborted)
            return true;
        m_port.setPortOpen(false);
    }
    if (m_workFile.isOpen())
        m_workFile.close();
    endProgram();
    return false;
}

void MeasurementFiles::OpenWorkingFile()
{
    // The dialog's file name serves as the store of the working file's path.
    m_cmDialog1.FileName = WorkingFile::bareName();
    const QString workFilePath = m_cmDialog1.FileName;

    const WorkingFile::OpenResult opened = m_workFile.open(workFilePath);
    if (opened != WorkingFile::OpenResult::Opened)
        reportOpenFailure(opened);
}

MeasurementFiles::Drain MeasurementFiles::waitForOutput()
{
    // A monotonic clock, so the wait also ends across midnight.
    QElapsedTimer waited;
    waited.start();
    while (m_port.OutBufferCount() != 0) {
        processEventsBriefly();
        if (m_port.OutBufferCount() == 0)
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

void MeasurementFiles::reportOpenFailure(WorkingFile::OpenResult result)
{
    switch (result) {
    case WorkingFile::OpenResult::Opened:
        return;
    case WorkingFile::OpenResult::DeleteFailed:
        m_dialogs.message(closeSpreadsheetMessage, style::Question | style::CancelTryContinue, infoCaption);
        return;
    case WorkingFile::OpenResult::ListingFailed:
    case WorkingFile::OpenResult::OpenFailed:
        m_dialogs.message(m_workFile.errorString(), style::Exclamation);
        m_workFile.close();
        return;
    }
}

void MeasurementFiles::endProgram()
{
    m_ended = true;
    if (m_hooks.endProgram)
        m_hooks.endProgram();
}
