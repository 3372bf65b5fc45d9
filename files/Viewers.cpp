#include "Viewers.h"

#include "ProcessRunner.h"
#include "FileDialog.h"
#include "FilePaths.h"
#include "SettingsItems.h"
#include "UserDialogs.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

/// The texts of the viewer commands, per language.
struct ViewerTexts
{
    LanguageText openTitle{QStringLiteral("Dateien von sämtlichen Messungen"),
                           QStringLiteral("Measurment Files"),
                           QStringLiteral("Liste des fichiers types")};
    LanguageText spreadsheetNoData{QStringLiteral("Es sind keine Daten vorhanden,"),
                                   QStringLiteral("Data for export missing,"),
                                   QStringLiteral("Donnes pour export manque,")};
    LanguageText notepadNoData{QStringLiteral(" Es sind keine Daten vorhanden,"),
                               QStringLiteral(" Data for export missing,"),
                               QStringLiteral(" Donnes pour export manque,")};
    LanguageText saveFirst{QStringLiteral(" Bitte die Messung erst speichern !  "),
                           QStringLiteral(" Please save the measurement first !"),
                           QStringLiteral(" Veuillez sauvegarder la mesure d´abord !")};
};

const ViewerTexts &texts()
{
    static const ViewerTexts table;
    return table;
}

const QString openFilter = QStringLiteral("Filetyp Excel(*.csv)|*.csv|All Files (*.*)|*.*");

} // namespace

Viewers::Viewers(const QString &language, QString &saveTarget, UserDialogs &dialogs, FileDialog &dialog,
                 std::function<void(bool)> setCmdstartEnabled, QObject *parent)
    : QObject(parent)
    , m_language(language)
    , m_saveTarget(saveTarget)
    , m_dialogs(dialogs)
    , m_dialog(dialog)
    , m_setCmdstartEnabled(std::move(setCmdstartEnabled))
{
}

bool Viewers::readSpreadsheetPath()
{
    SettingsItems items(m_settingsFolder.isEmpty() ? resolveBareName(settingsFileName())
                                                   : settingsFileIn(m_settingsFolder));
    QString second, third;
    // A failed read keeps the previous program; later entries are only
    // read to prove the file is complete.
    const bool complete = items.next(m_spreadsheetPath) && items.next(second) && items.next(third);
    if (m_spreadsheetPath.isEmpty())
        m_spreadsheetPath = QStringLiteral("WRITE");
    return complete;
}

void Viewers::showNoData(const LanguageText &firstLine)
{
    const QString &language = m_language;
    m_dialogs.message(firstLine.pick(language) + QLatin1String("\r\n") + texts().saveFirst.pick(language),
                      style::OkCancel);
}

void Viewers::runViewer(const QString &program, const QString &argument)
{
    if (m_setCmdstartEnabled)
        m_setCmdstartEnabled(false);

    ProcessRunner runner;
    runner.setProgram(program);
    runner.setArguments(argument);
    emit viewerStarting(program, argument);
    runner.start();
    // Recording and the other commands go on while the viewer is open;
    // a viewer started from here nests and ends before this one resumes.
    while (!runner.hasEnded())
        QCoreApplication::processEvents();
    emit viewerEnded(program, argument);

    EnableSpreadsheetExport();
}

void Viewers::exportToSpreadsheet()
{
    readSpreadsheetPath();
    if (m_saveTarget.isEmpty()) {
        showNoData(texts().spreadsheetNoData);
        return;
    }
    runViewer(m_spreadsheetPath, m_saveTarget);
    m_saveTarget.clear();
}

void Viewers::openMeasurement()
{
    const QString title = texts().openTitle.pick(m_language, m_dialog.DialogTitle);
    m_dialog.DialogTitle = title;
    m_dialog.Filter = openFilter;
    m_dialog.FileName.clear();
    // Cancel, a missing settings file or one with fewer than three entries
    // ends the command quietly.
    if (!m_dialog.ShowOpen())
        return;
    const QString chosen = m_dialog.FileName;
    if (!readSpreadsheetPath())
        return;
    runViewer(m_spreadsheetPath, chosen);
}

void Viewers::exportToNotepad()
{
    if (m_saveTarget.isEmpty()) {
        showNoData(texts().notepadNoData);
        return;
    }
    const QFileInfo file(m_saveTarget);
    const qint64 size = file.isFile() ? file.size() : 0;
    const QString viewer = size < notepadLimit ? QStringLiteral("Notepad") : QStringLiteral("Write");
    runViewer(viewer, m_saveTarget);
    m_saveTarget.clear();
}

void Viewers::EnableSpreadsheetExport()
{
    if (m_setCmdstartEnabled)
        m_setCmdstartEnabled(true);
}
