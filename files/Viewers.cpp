#include "Viewers.h"

#include "ProcessRunner.h"
#include "ProgramNames.h"
#include "FileDialog.h"
#include "FilePaths.h"
#include "UserDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// The texts of the viewer commands, per language.
const LanguageText openTitle{QStringLiteral("Dateien von sämtlichen Messungen"),
                             QStringLiteral("Measurment Files"),
                             QStringLiteral("Liste des fichiers types")};
const LanguageText spreadsheetNoData{QStringLiteral("Es sind keine Daten vorhanden,"),
                                     QStringLiteral("Data for export missing,"),
                                     QStringLiteral("Donnes pour export manque,")};
const LanguageText notepadNoData{QStringLiteral(" Es sind keine Daten vorhanden,"),
                                 QStringLiteral(" Data for export missing,"),
                                 QStringLiteral(" Donnes pour export manque,")};
// When nothing can show a file: the file, why, and what to install.
const LanguageText noViewer{QStringLiteral("Kein Programm kann diese Datei anzeigen:"),
                            QStringLiteral("No program can show this file:"),
                            QStringLiteral("Aucun programme ne peut afficher ce fichier :")};
const LanguageText noProgramForKind{QStringLiteral("Für diese Art von Datei ist kein Programm installiert."),
                                    QStringLiteral("No program for this kind of file is installed."),
                                    QStringLiteral("Aucun programme n'est installé pour ce type de fichier.")};
const LanguageText notStarted{QStringLiteral("Das Programm \"%1\" ließ sich nicht starten."),
                              QStringLiteral("The program \"%1\" could not be started."),
                              QStringLiteral("Le programme « %1 » n'a pas pu être démarré.")};
const LanguageText installSpreadsheet{
    QStringLiteral("Bitte ein Tabellenkalkulationsprogramm installieren (zum Beispiel LibreOffice Calc) "
                   "oder in den Einstellungen eines angeben."),
    QStringLiteral("Please install a spreadsheet program (for example LibreOffice Calc) "
                   "or set one in the settings."),
    QStringLiteral("Veuillez installer un tableur (par exemple LibreOffice Calc) "
                   "ou en indiquer un dans les paramètres.")};
const LanguageText installEditor{
    QStringLiteral("Bitte einen Texteditor installieren (zum Beispiel gedit oder Mousepad)."),
    QStringLiteral("Please install a text editor (for example gedit or Mousepad)."),
    QStringLiteral("Veuillez installer un éditeur de texte (par exemple gedit ou Mousepad).")};
const LanguageText noPdfViewer{QStringLiteral("Kein Programm kann das Handbuch anzeigen:"),
                               QStringLiteral("No program can show the manual:"),
                               QStringLiteral("Aucun programme ne peut afficher le manuel :")};
const LanguageText installPdfViewer{
    QStringLiteral("Bitte einen PDF-Betrachter installieren (zum Beispiel Evince oder Okular)."),
    QStringLiteral("Please install a PDF viewer (for example Evince or Okular)."),
    QStringLiteral("Veuillez installer un lecteur PDF (par exemple Evince ou Okular).")};
const LanguageText manualMissing{QStringLiteral("Das Handbuch %1 wurde nicht gefunden, gesucht in:"),
                                 QStringLiteral("The manual %1 was not found; looked in:"),
                                 QStringLiteral("Le manuel %1 est introuvable ; cherché dans :")};
const LanguageText saveFirst{QStringLiteral(" Bitte die Messung erst speichern !  "),
                             QStringLiteral(" Please save the measurement first !"),
                             QStringLiteral(" Veuillez sauvegarder la mesure d´abord !")};

const QString lineEnd = QStringLiteral("\r\n");

const FileFilters openFilter = {{QStringLiteral("Filetyp Excel(*.csv)"), {QStringLiteral("*.csv")}},
                                {QStringLiteral("All Files (*.*)"), {QStringLiteral("*.*")}}};

} // namespace

Viewers::Viewers(const Settings &settings, QString &saveTarget, UserDialogs &dialogs, FileDialog &dialog,
                 std::function<void(bool)> setExportEnabled, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_saveTarget(saveTarget)
    , m_dialogs(dialogs)
    , m_dialog(dialog)
    , m_setExportEnabled(std::move(setExportEnabled))
{
}

QString Viewers::spreadsheetPath() const
{
    return m_settings.spreadsheetPath.isEmpty() ? QStringLiteral("WRITE") : m_settings.spreadsheetPath;
}

void Viewers::showNoData(const LanguageText &firstLine)
{
    const Language language = m_settings.language;
    m_dialogs.message(firstLine.pick(language) + QLatin1String("\r\n") + saveFirst.pick(language),
                      Buttons::OkCancel);
}

void Viewers::runViewer(const QString &program, const QString &argument, Kind kind)
{
    if (m_setExportEnabled)
        m_setExportEnabled(false);

    ProcessRunner runner;
    runner.setProgram(program);
    runner.setArguments(argument);
    emit viewerStarting(program, argument);
    runner.start();
    // Recording and the other commands go on while the viewer is open;
    // a viewer started from here nests and ends before this one resumes.
    runner.waitUntilEnded();
    emit viewerEnded(program, argument);

    // Nothing showed the file: said in a box, never only on stderr. The
    // desktop's opener that ends with an error found no program either.
    // A missing "Notepad" or "WRITE" means no editor and no opener at all.
    const ProcessRunner::Outcome outcome = runner.outcome();
    if (outcome != ProcessRunner::Outcome::Started)
        showNoViewer(argument, program,
                     outcome == ProcessRunner::Outcome::NoHandler
                         || (outcome == ProcessRunner::Outcome::ProgramMissing && programs::isEditorName(program)),
                     kind);
    else if (runner.isDesktopOpener() && runner.endedWithError())
        showNoViewer(argument, program, true, kind);

    enableSpreadsheetExport();
}

void Viewers::showNoViewer(const QString &file, const QString &program, bool noHandler, Kind kind)
{
    const QString why = noHandler ? noProgramForKind.pickOrEnglish(m_settings.language) : notStarted.pickOrEnglish(m_settings.language).arg(program);
    const QString advice = (kind == Kind::Spreadsheet ? installSpreadsheet : installEditor).pickOrEnglish(m_settings.language);
    m_dialogs.message(noViewer.pickOrEnglish(m_settings.language) + lineEnd + QDir::toNativeSeparators(file) + lineEnd + why
                          + lineEnd + advice,
                      Buttons::Ok | Icon::Warning);
}

void Viewers::showManual(const QString &programDir)
{
    // The manual is always opened as a document: one that carries the
    // execute bit (as on FAT or SMB media) is never run.
    const QString relative = findHelpDocument(programDir);
    const QString found = relative.isEmpty() ? relative : QFileInfo(relative).absoluteFilePath();
    if (found.isEmpty()) {
        const QStringList places{installedDocFolder(programDir), programDir, QDir::currentPath()};
        QStringList shown;
        for (const QString &place : places)
            shown << QDir::toNativeSeparators(QDir::cleanPath(place));
        shown.removeDuplicates();
        m_dialogs.message(manualMissing.pickOrEnglish(m_settings.language).arg(helpDocumentName()) + lineEnd
                              + shown.join(lineEnd),
                          Buttons::Ok | Icon::Warning);
        return;
    }
    // Always opened as a document: a manual that carries the execute bit
    // (as on FAT or SMB media) is never run.
    if (programs::openDocument(found) == programs::OpenResult::Started)
        return;
    m_dialogs.message(noPdfViewer.pickOrEnglish(m_settings.language) + lineEnd + QDir::toNativeSeparators(found) + lineEnd
                          + installPdfViewer.pickOrEnglish(m_settings.language),
                      Buttons::Ok | Icon::Warning);
}

void Viewers::exportToSpreadsheet()
{
    if (m_saveTarget.isEmpty()) {
        showNoData(spreadsheetNoData);
        return;
    }
    runViewer(spreadsheetPath(), m_saveTarget);
    m_saveTarget.clear();
}

void Viewers::openMeasurement()
{
    // Opens where the last save or open dialog was; in a language without
    // texts the title is the last dialog's.
    const QString title = openTitle.pick(m_settings.language, m_dialog.lastTitle());
    const QString chosen = m_dialog.getOpenFileName(title, openFilter);
    // Cancel, a missing settings file or one with fewer than three entries
    // ends the command quietly.
    if (chosen.isNull() || !m_settings.spreadsheetEntriesRead)
        return;
    runViewer(spreadsheetPath(), chosen);
}

void Viewers::exportToNotepad()
{
    if (m_saveTarget.isEmpty()) {
        showNoData(notepadNoData);
        return;
    }
    const QFileInfo file(m_saveTarget);
    const qint64 size = file.isFile() ? file.size() : 0;
    const QString viewer = size < notepadLimit ? QStringLiteral("Notepad") : QStringLiteral("Write");
    runViewer(viewer, m_saveTarget, Kind::TextEditor);
    m_saveTarget.clear();
}

void Viewers::enableSpreadsheetExport()
{
    if (m_setExportEnabled)
        m_setExportEnabled(true);
}
