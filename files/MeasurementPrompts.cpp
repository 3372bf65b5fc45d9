#include "MeasurementPrompts.h"

#include "FileDialog.h"
#include "FilePaths.h"
#include "MeasurementTexts.h"
#include "SaveName.h"
#include "UserDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace {

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

const FileFilters saveFilter = {{QStringLiteral("Filetyp Excel(*.csv)"), {QStringLiteral("*.csv")}}};
const QString sendTimeoutQuestion = QStringLiteral("Data cannot be sent");

/// Title of the box about a port error.
const QString portErrorTitle = QStringLiteral("Click Cancel to quit, OK to ignore.");

// Shown in both languages whatever the setting: the usual reason is the
// spreadsheet program still holding the file open.
const QString closeSpreadsheetMessage =
    QStringLiteral("Please close Microsoft EXCEL ! \r\nBitte Microsoft EXCEL schließen ! ");
const QString infoCaption = QStringLiteral(" Quendrel Data Recorder Info ");

/// Lets pending events run for a short while without spinning the CPU.
void processEventsBriefly()
{
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

MeasurementPrompts::MeasurementPrompts(Language language, Measurement &measurement, FileDialog &fileDialog,
                                       UserDialogs &dialogs, Hooks hooks, QObject *parent)
    : QObject(parent), m_language(language), m_measurement(measurement), m_fileDialog(fileDialog),
      m_dialogs(dialogs), m_hooks(std::move(hooks))
{
    // Queued: a question is asked once the transition that caused it has
    // returned, never from inside it.
    connect(&m_measurement, &Measurement::errorOccurred, this, &MeasurementPrompts::report,
            Qt::QueuedConnection);
    connect(&m_measurement, &Measurement::stateChanged, this, [this](Measurement::State state) {
        if (state == Measurement::State::Stopped)
            run([this](Done done) { askAfterStop(std::move(done)); });
    }, Qt::QueuedConnection);
    connect(&m_measurement, &Measurement::recovered, this, [this](const QString &name, bool ofLastRun) {
        const LanguageText &told = ofLastRun ? MeasurementTexts::recoveredText : MeasurementTexts::recoveredThisRunText;
        const QString text = told.pickOrEnglish(m_language).arg(name);
        run([this, text](Done done) {
            m_dialogs.ask(text, Icon::Information, QString(), [done](Answer) { done(); });
        });
    }, Qt::QueuedConnection);
    connect(&m_measurement, &Measurement::lineIncomplete, this, [this] { m_dialogs.beep(); });
    connect(&m_measurement, &Measurement::saved, this, [this](const QString &csvPath) {
        m_saveTarget = csvPath;
        if (m_hooks.refreshFileList)
            m_hooks.refreshFileList();
    });
}

void MeasurementPrompts::run(Task task)
{
    m_tasks.append(std::move(task));
    if (!m_busy)
        runNext();
}

void MeasurementPrompts::runNext()
{
    // A loop rather than a chain of calls: an answer given at once (a
    // modal box) ends its task before the next one starts.
    while (!m_busy && !m_tasks.isEmpty()) {
        m_busy = true;
        const quint64 ticket = ++m_ticket;
        const Task task = m_tasks.takeFirst();
        m_starting = true;
        task([this, ticket, alive = QPointer<MeasurementPrompts>(this)] {
            if (!alive || ticket != m_ticket || !m_busy)
                return;
            m_busy = false;
            if (!m_starting)
                runNext();
        });
        m_starting = false;
    }
}

void MeasurementPrompts::report(Measurement::Error error)
{
    const QString text = m_measurement.errorString();
    switch (error) {
    case Measurement::Error::NoError:
        return;
    case Measurement::Error::PortError:
        // OK goes on (for a vanished device: waits on for it); Cancel closes
        // the port, and the next start records on into the same working
        // file. A device that came back while the box was open, or a stop
        // meanwhile, leaves nothing to decide.
        run([this, text](Done done) {
            m_dialogs.beep();
            m_dialogs.ask(text, Buttons::OkCancel, portErrorTitle, [this, done](Answer answer) {
                const Measurement::State state = m_measurement.state();
                if (state == Measurement::State::WaitingForDevice) {
                    if (answer == Answer::Cancel)
                        m_measurement.abort();
                    else
                        m_measurement.retry();
                }
                done();
            });
        });
        return;
    case Measurement::Error::WriteFailed:
    case Measurement::Error::SyncFailed:
        // Retry writes the waiting data again; Cancel stops recording.
        run([this, text](Done done) {
            m_dialogs.ask(text, Buttons::RetryCancel | Icon::Critical, QString(), [this, done](Answer answer) {
                if (answer == Answer::Retry)
                    m_measurement.retry();
                else
                    m_measurement.abort();
                done();
            });
        });
        return;
    case Measurement::Error::TransmissionError:
        run([this, text](Done done) {
            m_dialogs.ask(text, Buttons::Ok, MeasurementTexts::transmissionErrorTitle.pick(m_language),
                          [done](Answer) { done(); });
        });
        return;
    case Measurement::Error::WorkingFileHeld:
        // The usual reason on the desktop the text names; beneath it the
        // file and the system's reason.
        run([this, text](Done done) {
            m_dialogs.ask(closeSpreadsheetMessage + QStringLiteral("\r\n\r\n") + text,
                          Icon::Question | Buttons::CancelTryContinue, infoCaption, [done](Answer) { done(); });
        });
        return;
    case Measurement::Error::NoPortSet:
    case Measurement::Error::PortOpenFailed:
    case Measurement::Error::FolderInUse:
    case Measurement::Error::WorkingFileUnusable:
    case Measurement::Error::StartRefused:
    case Measurement::Error::RecoverFailed:
    case Measurement::Error::SaveRefused:
    case Measurement::Error::SaveFailed:
        run([this, text](Done done) {
            m_dialogs.ask(text, Icon::Warning, QString(), [done](Answer) { done(); });
        });
        return;
    }
}

// ---------------------------------------------------------------- saving

void MeasurementPrompts::askAfterStop(Done done)
{
    // Decided in the meantime (a save from the menu, an exit).
    if (m_measurement.state() != Measurement::State::Stopped) {
        done();
        return;
    }
    m_dialogs.ask(saveQuestion.pickOrEnglish(m_language), Icon::Question | Buttons::YesNo, QString(),
                  [this, done](Answer answer) {
                      if (answer == Answer::Yes) {
                          askForName(done);
                          return;
                      }
                      m_measurement.discard();
                      done();
                  });
}

void MeasurementPrompts::saveMeasurement()
{
    run([this](Done done) { askForName(std::move(done)); });
}

void MeasurementPrompts::askForName(Done done)
{
    // An installed program's folder cannot take the file: the dialog then
    // starts in the current folder, where the measurements are kept.
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString folder = isWritableFolder(programDir) ? programDir : QDir::currentPath();

    // The measurement goes on being recorded while the dialog is open.
    m_fileDialog.askSaveFileName(saveTitle.pick(m_language), saveFilter, folder,
                                 [this, done](const QString &answer) {
                                     if (answer.isNull()) {
                                         done();
                                         return;
                                     }
                                     // A folder whose name is not UTF-8 is reached
                                     // from the current one.
                                     const QString chosen = reachablePath(answer);
                                     // The question concerns the name as typed, and then the
                                     // name the data are written to when that is another
                                     // existing file.
                                     confirmReplace(savename::filesToConfirm(chosen), chosen, done);
                                 });
}

void MeasurementPrompts::confirmReplace(QStringList existing, const QString &chosen, Done done)
{
    if (existing.isEmpty()) {
        // The measurement writes the file and starts the next one; what
        // fails arrives as an error.
        m_measurement.save(savename::csvName(chosen));
        done();
        return;
    }
    const QString name = existing.takeFirst();
    const QString question = replaceBefore.pickOrEnglish(m_language) + name + replaceAfter.pickOrEnglish(m_language);
    m_dialogs.ask(question, Icon::Question | Buttons::YesNo, QString(),
                  [this, existing, chosen, done](Answer answer) {
                      // No asks for another name.
                      if (answer != Answer::Yes)
                          askForName(done);
                      else
                          confirmReplace(existing, chosen, done);
                  });
}

// ---------------------------------------------------------------- the end

void MeasurementPrompts::exit()
{
    run([this](Done done) {
        m_dialogs.ask(saveQuestion.pickOrEnglish(m_language), Icon::Question | Buttons::YesNo, QString(),
                      [this, done](Answer answer) {
                          if (answer != Answer::Yes) {
                              // The data stay in the working file; the next
                              // start drops them without a copy.
                              m_measurement.decline();
                              done();
                              if (m_hooks.endProgram)
                                  m_hooks.endProgram();
                              return;
                          }
                          // A cancelled Save dialog still ends the program,
                          // with the data left in the working file.
                          askForName([this, done] {
                              done();
                              finishProgram();
                          });
                      });
    });
}

void MeasurementPrompts::closeProgram()
{
    if (m_measurement.hasUnsavedData())
        exit();
    else
        finishProgram();
}

void MeasurementPrompts::finishProgram()
{
    // Abort keeps the program running with the port open.
    if (m_measurement.isPortOpen() && !outputSent())
        return;
    m_measurement.finish();
    if (m_hooks.endProgram)
        m_hooks.endProgram();
}

bool MeasurementPrompts::outputSent()
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
            return false;
        case Answer::Retry:
            waited.restart();
            break;
        default:
            return true;
        }
    }
    return true;
}
