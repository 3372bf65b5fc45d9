// Drives the installed recorder from inside its own process, as a user
// would with the mouse: loaded by Qt as a generic plugin
// (QT_QPA_GENERIC_PLUGINS=qdrdriver, QT_PLUGIN_PATH), it finds the windows
// and controls by their object names, presses them, answers the boxes and
// writes what happened, one line per event, to $QDR_DRIVER_LOG.
//
// First start (no phase file): measure, stop and save as first.csv (a new
// measurement begins), stop and discard, then choose port 2 and Deutsch in
// the settings dialog and save, which restarts the program.
// Restarted (phase file holds "restarted"): measure once more, then end.
// The phase file is $QDR_DRIVER_LOG.phase. Every step waits at most 20 s.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGenericPlugin>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <unistd.h>

namespace {

QString logPath() { return qEnvironmentVariable("QDR_DRIVER_LOG"); }

void log(const QString &line)
{
    QFile file(logPath());
    if (file.open(QIODevice::Append)) {
        file.write(line.toUtf8() + '\n');
        file.close();
    }
}

QWidget *topLevel(const char *name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name) && w->isVisible())
            return w;
    return nullptr;
}

/// Lines of the working file in the current folder: header and samples.
int workingFileLines()
{
    QFile file(QStringLiteral("Vindo.qvx"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = file.readAll();
    return bytes.contains("INP1 = ") ? int(bytes.count("\r\n")) : 0;
}

class Driver : public QObject
{
public:
    Driver()
    {
        QFile phase(logPath() + QStringLiteral(".phase"));
        m_restarted = phase.open(QIODevice::ReadOnly) && phase.readAll().startsWith("restarted");
        log(QStringLiteral("UP %1 %2 %3").arg(m_restarted ? "restarted" : "first").arg(::getpid())
                .arg(QDir::currentPath()));
        connect(&m_boxes, &QTimer::timeout, this, &Driver::answerBoxes);
        connect(&m_steps, &QTimer::timeout, this, &Driver::nextStep);
        m_boxes.start(100);
        m_steps.start(100);
        m_clock.start();
        planSteps();
    }

private:
    using Step = std::function<bool()>;   // true: done, go to the next

    void planSteps()
    {
        auto shown = [] { return topLevel("MainWindow") != nullptr; };
        auto press = [](const char *window, const char *name) {
            QWidget *w = topLevel(window);
            auto *button = w ? w->findChild<QAbstractButton *>(QLatin1String(name)) : nullptr;
            if (button)
                button->click();
            return button != nullptr;
        };
        auto recorded = [this] {
            const int lines = workingFileLines();
            if (lines < 8)
                return false;
            log(QStringLiteral("RECORDED %1").arg(lines));
            return true;
        };
        m_plan << shown << [] {
            auto *menu = topLevel("MainWindow")->findChild<QMenu *>(QStringLiteral("fileMenu"));
            log(QStringLiteral("MENU %1").arg(menu ? menu->title() : QStringLiteral("?")));
            return true;
        };
        m_plan << [press] { return press("MainWindow", "startStopButton"); } << recorded;
        if (m_restarted) {
            m_plan << [] { log(QStringLiteral("DONE")); ::_exit(0); return true; };
            return;
        }
        // Stop and save: a new measurement begins at once.
        m_plan << [this, press] { m_answers = {QMessageBox::Yes}; m_saveAs = QStringLiteral("first.csv");
                                  return press("MainWindow", "startStopButton"); }
               << [] { return QFile::exists(QStringLiteral("first.csv")) && (log(QStringLiteral("SAVED")), true); };
        // Stop again and discard.
        m_plan << [this, press] { m_answers = {QMessageBox::No}; return press("MainWindow", "startStopButton"); }
               << [] {
                      auto *settings = topLevel("MainWindow")->findChild<QAction *>(QStringLiteral("settingsMenuAction"));
                      return settings && settings->isVisible();
                  };
        m_plan << [] {
            topLevel("MainWindow")->findChild<QAction *>(QStringLiteral("userSettingsAction"))->trigger();
            return true;
        } << [] {
            QWidget *dialog = topLevel("SettingsDialog");
            if (!dialog)
                return false;
            dialog->findChild<QComboBox *>(QStringLiteral("portBox"))->setCurrentText(QStringLiteral("2"));
            dialog->findChild<QComboBox *>(QStringLiteral("languageBox"))->setCurrentText(QStringLiteral("Deutsch"));
            QFile phase(logPath() + QStringLiteral(".phase"));
            phase.open(QIODevice::WriteOnly);
            phase.write("restarted\n");
            phase.close();
            log(QStringLiteral("SETTINGS"));
            return true;
        } << [press] { return press("SettingsDialog", "saveButton"); };
    }

    void nextStep()
    {
        if (m_clock.elapsed() > 20000) {
            log(QStringLiteral("TIMEOUT step %1").arg(m_next));
            ::_exit(3);
        }
        if (m_next >= m_plan.size())
            return;
        if (m_plan[m_next]()) {
            ++m_next;
            m_clock.restart();
        }
    }

    void answerBoxes()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            QString text = box->text();
            text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
            log(QStringLiteral("BOX %1").arg(text));
            QAbstractButton *button = nullptr;
            if (!m_answers.isEmpty())
                button = box->button(m_answers.takeFirst());
            if (!button)
                button = box->defaultButton();
            if (button)
                button->click();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            // Typed into the name field, as a user does.
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            log(QStringLiteral("FILEDIALOG %1 %2").arg(m_saveAs, name ? QStringLiteral("typed") : QStringLiteral("?")));
            if (name)
                name->setText(m_saveAs);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    }

    QTimer m_boxes, m_steps;
    QElapsedTimer m_clock;
    QList<Step> m_plan;
    qsizetype m_next = 0;
    QList<QMessageBox::StandardButton> m_answers;
    QString m_saveAs;
    bool m_restarted = false;
};

} // namespace

class DriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "driver.json")
public:
    QObject *create(const QString &, const QString &) override { return new Driver; }
};

#include "DriverPlugin.moc"
