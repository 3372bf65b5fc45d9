// The measurement session on a real pseudo-terminal: its states, what it
// reports, and what each decision about a failure leads to.

#include "FilePaths.h"
#include "FileSizeLimit.h"
#include "HeaderRead.h"
#include "Measurement.h"
#include "PtyLine.h"
#include "SampleProcessor.h"
#include "Simulator.h"

#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using State = Measurement::State;
using Error = Measurement::Error;

namespace {

/// A measurement session alone, in a temporary folder as the current
/// directory, its COM<N> links looked up there, and what it reported.
struct Session
{
    explicit Session(const QString &language = QStringLiteral("English")) : previous(QDir::currentPath())
    {
        QDir::setCurrent(dir.path());
        measurement.setLanguage(languageFromText(language));
        measurement.setPortDirectory(dir.path());
        QObject::connect(&measurement, &Measurement::errorOccurred, &measurement,
                         [this](Measurement::Error error) { errors << error; });
    }
    ~Session()
    {
        measurement.finish();
        QDir::setCurrent(previous);
    }
    /// Starts a measurement on port `port`: true when it runs.
    bool start(int port)
    {
        measurement.setPortSettings({.number = qint16(port), .baudRate = 9600});
        if (measurement.openFolder() != Measurement::FolderResult::Ready)
            return false;
        measurement.start();
        return measurement.state() == Measurement::State::Measuring;
    }

    QString previous;
    QTemporaryDir dir;
    Measurement measurement;
    QList<Measurement::Error> errors;
};

/// What the file `name` holds.
QByteArray fileContents(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void commandsOutsideTheirStatesChangeNothing_data();
    void commandsOutsideTheirStatesChangeNothing();
    void refusedWriteWaitsForTheDecision_data();
    void refusedWriteWaitsForTheDecision();
    void vanishedDeviceIsWaitedForAndRecordedOnWhenItReturns_data();
    void vanishedDeviceIsWaitedForAndRecordedOnWhenItReturns();
    void lostDeviceIsLookedForByItsLastingName_data();
    void lostDeviceIsLookedForByItsLastingName();
    void vanishedDeviceIsReportedOnceWithoutSpinning();
    void portThatCannotOpenIsNamedWithItsReason_data();
    void portThatCannotOpenIsNamedWithItsReason();
    void portLockIsNamedOrTakenOver_data();
    void portLockIsNamedOrTakenOver();
    void missingHeaderIsReportedInTheConfiguredLanguage_data();
    void missingHeaderIsReportedInTheConfiguredLanguage();
    void floodIsRecordedWholeAndShownBounded();
    void headerIsReadFromTheRecordingWhateverTheFolderHolds_data();
    void headerIsReadFromTheRecordingWhateverTheFolderHolds();
    void folderNameThatIsNotUtf8IsRecordedInAndShown_data();
    void folderNameThatIsNotUtf8IsRecordedInAndShown();
};

void TestSession::commandsOutsideTheirStatesChangeNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("measuring");   // else idle

    for (const char *command : {"stop", "discard", "retry", "abort"})
        QTest::addRow("%s when idle", command) << QString::fromLatin1(command) << false;
    for (const char *command : {"start", "discard", "retry", "abort"})
        QTest::addRow("%s while measuring", command) << QString::fromLatin1(command) << true;
}

void TestSession::commandsOutsideTheirStatesChangeNothing()
{
    QFETCH(QString, command);
    QFETCH(bool, measuring);

    Session session;
    Measurement &m = session.measurement;
    PtyLine line(session.dir.path(), 4);
    QVERIFY(line.ready());
    if (measuring)
        QVERIFY(session.start(4));
    else
        QCOMPARE(m.openFolder(), Measurement::FolderResult::Ready);
    const State before = m.state();
    const QByteArray sent = line.received();
    QSignalSpy changes(&m, &Measurement::stateChanged);

    const std::map<QString, std::function<void()>> commands{
        {QStringLiteral("start"), [&m] { m.start(); }},   {QStringLiteral("stop"), [&m] { m.stop(); }},
        {QStringLiteral("discard"), [&m] { m.discard(); }}, {QStringLiteral("retry"), [&m] { m.retry(); }},
        {QStringLiteral("abort"), [&m] { m.abort(); }}};
    commands.at(command)();

    QCOMPARE(m.state(), before);
    QCOMPARE(changes.size(), 0);
    QVERIFY(session.errors.isEmpty());
    QCOMPARE(m.isPortOpen(), measuring);
    QVERIFY(line.received(50).isEmpty());
    Q_UNUSED(sent);
}

void TestSession::refusedWriteWaitsForTheDecision_data()
{
    QTest::addColumn<bool>("retry");

    QTest::newRow("retry") << true;
    QTest::newRow("abort") << false;
}

void TestSession::refusedWriteWaitsForTheDecision()
{
    QFETCH(bool, retry);

    Session session;
    Measurement &m = session.measurement;
    PtyLine line(session.dir.path(), 4);
    QVERIFY(line.ready());
    QVERIFY(session.start(4));
    QVERIFY(line.write("\r"));
    QTRY_VERIFY(m.workingFile().writtenBytes() > 0);
    const qint64 head = m.workingFile().writtenBytes();

    // The disk takes nothing more: the session waits for a decision while
    // the instrument goes on sending.
    auto full = std::make_unique<FileSizeLimit>(head);
    QVERIFY(full->isActive());
    QVERIFY(line.write("INP1 = bar\r"));
    QTRY_COMPARE(m.state(), State::WriteFailed);
    QCOMPARE(session.errors, QList<Error>{Error::WriteFailed});
    QVERIFY(!m.errorString().isEmpty());
    QVERIFY(line.write("1 2 3 4 5 6 7\r"));
    QTRY_VERIFY(m.live().received.text.contains(QStringLiteral("1 2 3 4 5 6 7")));
    QCOMPARE(m.state(), State::WriteFailed);
    QCOMPARE(session.errors.size(), 1);
    full.reset();

    if (retry)
        m.retry();
    else
        m.abort();
    QCOMPARE(m.state(), State::Measuring);
    QVERIFY(line.write("8 9\r"));
    QTRY_VERIFY(m.live().received.text.contains(QStringLiteral("8 9")));
    const QByteArray body = fileContents(QStringLiteral("Vindo.qvx")).mid(head);
    // Retried, every block is there in the order it arrived; aborted,
    // recording stopped and nothing after the failure is in the file.
    QCOMPARE(body, retry ? QByteArray("INP1 = bar\r\n1 2 3 4 5 6 7\r\n8 9\r\n") : QByteArray());
    QCOMPARE(m.workingFile().isOpen(), retry);
    QCOMPARE(session.errors.size(), 1);
}

void TestSession::vanishedDeviceIsWaitedForAndRecordedOnWhenItReturns_data()
{
    QTest::addColumn<QString>("decision");   // what happens while the device is gone

    QTest::newRow("nothing") << "";
    QTest::newRow("OK: wait on") << "retry";
    QTest::newRow("Cancel: wait no more") << "abort";
    QTest::newRow("Start/Stop") << "stop";
}

void TestSession::vanishedDeviceIsWaitedForAndRecordedOnWhenItReturns()
{
    QFETCH(QString, decision);

    Session session;
    Measurement &m = session.measurement;
    auto line = std::make_unique<PtyLine>(session.dir.path(), 5);
    QVERIFY(line->ready());
    QVERIFY(session.start(5));
    QVERIFY(line->write("\r"));
    QTRY_VERIFY_WITH_TIMEOUT(m.workingFile().writtenBytes() > 0, 5000);
    const QByteArray head = fileContents(QStringLiteral("Vindo.qvx"));
    QSignalSpy states(&m, &Measurement::stateChanged);
    QSignalSpy portOpen(&m, &Measurement::portOpenChanged);

    // The device goes away in the middle of a line.
    const QByteArray before = "INP1 = bar\r    1         20.5         2";
    QVERIFY(line->write(before));
    const QByteArray recordedBefore = head + QByteArray(before).replace("\r", "\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(fileContents(QStringLiteral("Vindo.qvx")), recordedBefore, 5000);
    QFile::remove(session.dir.filePath(QStringLiteral("COM5")));
    line.reset();
    QTRY_COMPARE_WITH_TIMEOUT(m.state(), State::WaitingForDevice, 5000);
    QCOMPARE(session.errors, QList<Error>{Error::PortError});
    QCOMPARE(m.errorString(), QStringLiteral("Unknown error or event"));
    QCOMPARE(m.lostDevice(), session.dir.filePath(QStringLiteral("COM5")));
    QVERIFY(m.lostSince().isValid());
    QVERIFY(!m.isPortOpen());
    QCOMPARE(portOpen.takeFirst().at(0).toBool(), false);

    const std::map<QString, std::function<void()>> decisions{
        {QString(), [] {}}, {QStringLiteral("retry"), [&m] { m.retry(); }},
        {QStringLiteral("abort"), [&m] { m.abort(); }}, {QStringLiteral("stop"), [&m] { m.stop(); }}};
    decisions.at(decision)();
    const auto *watch = m.findChild<QTimer *>(QStringLiteral("deviceWaitTimer"));
    QVERIFY(watch);

    // It comes back as another device behind the same link.
    line = std::make_unique<PtyLine>(session.dir.path(), 5);
    QVERIFY(line->ready());
    if (decision == QLatin1String("abort") || decision == QLatin1String("stop")) {
        // No longer looked for: the port stays closed.
        QVERIFY(!watch->isActive());
        QCOMPARE(m.state(), decision == QLatin1String("abort") ? State::Paused : State::Stopped);
        QVERIFY(!m.isPortOpen());
        QCOMPARE(fileContents(QStringLiteral("Vindo.qvx")), recordedBefore);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(m.state(), State::Measuring, 5000);
    QVERIFY(m.isPortOpen());
    QCOMPARE(portOpen.takeFirst().at(0).toBool(), true);
    QCOMPARE(states.size(), 2);
    QCOMPARE(states.at(0).at(0).value<State>(), State::WaitingForDevice);
    QCOMPARE(states.at(1).at(0).value<State>(), State::Measuring);

    // The line goes on where it broke off, and nothing else enters the data.
    const QByteArray after = "5         3.0\r    2         20.6         2.5         3.1\r";
    QVERIFY(line->write(after));
    const QByteArray all = recordedBefore + QByteArray(after).replace("\r", "\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(fileContents(QStringLiteral("Vindo.qvx")), all, 5000);
    QVERIFY(line->received(50).isEmpty());
    QCOMPARE(session.errors.size(), 1);
}

void TestSession::lostDeviceIsLookedForByItsLastingName_data()
{
    QTest::addColumn<bool>("byIdName");   // the device has a name in the by-id folder

    QTest::newRow("by-id name") << true;
    QTest::newRow("port link") << false;
}

void TestSession::lostDeviceIsLookedForByItsLastingName()
{
    QFETCH(bool, byIdName);

    QTemporaryDir dir;
    PtyLine line(dir.path(), 2);
    QVERIFY(line.ready());
    const QString byId = dir.filePath(QStringLiteral("by-id"));
    QVERIFY(QDir().mkpath(byId));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), byId + QStringLiteral("/usb-Other_0")));
    if (byIdName)
        QVERIFY(QFile::link(line.device(), byId + QStringLiteral("/usb-Adapter_1234-if00-port0")));
    const QString link = dir.filePath(QStringLiteral("COM2"));
    QCOMPARE(SerialPort::lastingName(link, byId),
             byIdName ? byId + QStringLiteral("/usb-Adapter_1234-if00-port0") : link);
}

void TestSession::vanishedDeviceIsReportedOnceWithoutSpinning()
{
    Session session;
    Simulator sim;
    QVERIFY(sim.start(session.dir.path(), 7, {QStringLiteral("--interval-ms"), QStringLiteral("20")}));
    Measurement &m = session.measurement;
    QVERIFY(session.start(7));
    QTRY_VERIFY_WITH_TIMEOUT(m.live().received.text.contains(QStringLiteral("INP1 = ")), 5000);
    sim.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(session.errors.size(), 1, 5000);
    QCOMPARE(m.state(), Measurement::State::WaitingForDevice);
    QVERIFY(!m.isPortOpen());
    const QString before = m.live().received.text;
    // Let the event loop run: a port left open would report again and again.
    QTest::qWait(500);
    QCOMPARE(session.errors.size(), 1);
    QCOMPARE(m.live().received.text, before);
}


void TestSession::portThatCannotOpenIsNamedWithItsReason_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("text");   // %1: the folder of the session
    QTest::newRow("no port set") << "English" << 0
        << "No serial port is set in the settings: choose one under Settings, User settings, and save.";
    QTest::newRow("no port set, German") << "Deutsch" << 0 << QString::fromUtf8(
        "In den Einstellungen ist keine Schnittstelle gewählt: "
        "bitte unter Einstellungen, Programm Optionen eine wählen und speichern.");
    // A link that leads nowhere is named with its target; no other device is tried.
    QTest::newRow("link leads nowhere") << "Francais" << 9
        << QString::fromUtf8("%1/COM9 renvoie à %1/no-such-device, qui n'existe pas : l'instrument est-il branché ?");
    QTest::newRow("link leads nowhere, German") << "Deutsch" << 9
        << QString::fromUtf8("%1/COM9 verweist auf %1/no-such-device, das es nicht gibt: ist das Messgerät angeschlossen?");
    // Anything else the system refuses: the reason it gives is "Inappropriate
    // ioctl for device", which says nothing to a user.
    QTest::newRow("a plain file") << "English" << 8 << "\r\n%1/plain.txt is not a serial port.";
    QTest::newRow("a plain file, French") << "Francais" << 8
        << QString::fromUtf8("\r\n%1/plain.txt n'est pas un port série.");
}


void TestSession::portThatCannotOpenIsNamedWithItsReason()
{
    QFETCH(QString, language);
    QFETCH(int, port);
    QFETCH(QString, text);

    Session session(language);
    Measurement &m = session.measurement;
    QFile::link(session.dir.filePath(QStringLiteral("no-such-device")), session.dir.filePath(QStringLiteral("COM9")));
    QFile plain(session.dir.filePath(QStringLiteral("plain.txt")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QFile::link(plain.fileName(), session.dir.filePath(QStringLiteral("COM8")));
    QVERIFY(!session.start(port));

    // The start became a stop: the data wait for the save question.
    QCOMPARE(session.errors, QList<Measurement::Error>{port == 0 ? Measurement::Error::NoPortSet
                                                                  : Measurement::Error::PortOpenFailed});
    if (port == 8)
        QVERIFY2(m.errorString().endsWith(text.arg(session.dir.path())), qPrintable(m.errorString()));
    else
        QCOMPARE(m.errorString(), text.arg(session.dir.path()));
    QCOMPARE(m.state(), Measurement::State::Stopped);
    QVERIFY(!m.isPortOpen());
}

void TestSession::portLockIsNamedOrTakenOver_data()
{
    QTest::addColumn<bool>("holderRuns");
    // Another program of the user holds the port: the box names it, its
    // process and its lock file, and gives no advice about groups.
    QTest::newRow("a running program holds the port") << true;
    // A run of the user that ended without closing the port left its lock:
    // the port is the user's to take over.
    QTest::newRow("an ended run of the user left its lock") << false;
}

void TestSession::portLockIsNamedOrTakenOver()
{
    QFETCH(bool, holderRuns);
    Session session;
    PtyLine line(session.dir.path(), 4);
    QVERIFY(line.ready());
    const QString lockName = QStringLiteral("LCK..") + line.device().mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));

    SerialPort holder;
    holder.setPortDirectory(session.dir.path());
    holder.setPortSettings({.number = 4});
    QVERIFY(holder.open());
    const SerialPort::PortLock held = SerialPort::findPortLock(line.device());
    if (held.path.isEmpty())
        QSKIP("the serial port leaves no lock file on this system");
    QCOMPARE(held.pid, QCoreApplication::applicationPid());
    QVERIFY(held.running);
    QVERIFY(held.ownedByUser);
    if (!holderRuns) {
        holder.close();
        // Above the largest process id the kernel hands out: never running.
        QFile lock(held.path);
        QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lock.write("   4194305\n");
        lock.close();
    }

    const bool started = session.start(4);
    QCOMPARE(started, !holderRuns);
    if (holderRuns) {
        QCOMPARE(session.errors, QList<Measurement::Error>{Measurement::Error::PortOpenFailed});
        const QString expected = QStringLiteral("The port is in use by the program %1 (process %2) of the user %3 "
                                                "(lock file \"%4\"). End that program, then try again.")
                                     .arg(held.program, QString::number(held.pid), held.owner, held.path);
        QVERIFY2(session.measurement.errorString().endsWith(expected), qPrintable(session.measurement.errorString()));
        QVERIFY(!session.measurement.errorString().contains(QLatin1String("usermod")));
        QVERIFY(QFileInfo::exists(held.path));
    } else {
        QVERIFY(session.errors.isEmpty());
        QVERIFY(session.measurement.isPortOpen());
        // The lock now names this run.
        QCOMPARE(SerialPort::findPortLock(line.device()).pid, QCoreApplication::applicationPid());
    }
}


void TestSession::missingHeaderIsReportedInTheConfiguredLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::newRow("Deutsch") << "Deutsch"
        << QString::fromUtf8(" Es ist ein Übertragungsfehler aufgetreten... Bitte Drücken Sie Start/ Stopp !")
        << "Bitte Messung neu starten !";
    QTest::newRow("English") << "English" << "Data transsmision error... Please press Start / Stop again !"
                             << "Please start the transmission again !";
    QTest::newRow("Francais") << "Francais"
        << QString::fromUtf8("Erreur transmission de données ... appuyez encore sur Start / Stop s.v.p")
        << QString::fromUtf8("Erreur transmission de données");
    QTest::newRow("unknown") << "english" << "" << "";
}


void TestSession::missingHeaderIsReportedInTheConfiguredLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, text);
    QFETCH(QString, title);

    // An instrument that answers nothing.
    Session session(language);
    Measurement &m = session.measurement;
    PtyLine line(session.dir.path(), 9);
    QVERIFY(line.ready());
    QVERIFY(session.start(9));
    QSignalSpy read(&m, &Measurement::headerRead);
    QVERIFY(read.wait(Measurement::HeaderReadDelayMs + 3000));

    if (text.isEmpty()) {
        // No report and no stop in a language the program does not know.
        QVERIFY(session.errors.isEmpty());
        QCOMPARE(m.state(), Measurement::State::Measuring);
        return;
    }
    QCOMPARE(session.errors, QList<Measurement::Error>{Measurement::Error::TransmissionError});
    QCOMPARE(m.errorString(), text);
    // The measurement is stopped, and no second header read follows.
    QCOMPARE(m.state(), Measurement::State::Stopped);
    QVERIFY(!m.isPortOpen());
    QVERIFY(!read.wait(Measurement::HeaderReadDelayMs + 500));
}

void TestSession::floodIsRecordedWholeAndShownBounded()
{
    Session session;
    Measurement &m = session.measurement;
    PtyLine line(session.dir.path(), 8);
    QVERIFY(line.ready());
    QVERIFY(session.start(8));
    QVERIFY(line.write("\r"));
    QTRY_VERIFY(m.workingFile().writtenBytes() > 0);
    const qint64 head = m.workingFile().writtenBytes();

    // A runaway header line, a piece far larger than the receive box, and
    // a megabyte without a line end.
    const QByteArray runaway = "INP1 = bar " + QByteArray(1 << 20, 'u') + "\r\n";
    QByteArray lines;
    for (int i = 0; lines.size() <= 4 * SampleProcessor::ReceivedCap; ++i)
        lines += QByteArray::number(i).rightJustified(6, ' ') + "   1.0   2.0   0.5   3.0   4.0   2.5\r\n";
    const QByteArray unended = QByteArray(1 << 20, '7') + "\r\n";
    int largestBox = 0;
    QObject::connect(&m, &Measurement::liveChanged, &m,
                     [&] { largestBox = std::max(largestBox, int(m.live().received.text.size())); });
    QSignalSpy headerRead(&m, &Measurement::headerRead);
    const QByteArray sent = runaway + lines + unended;
    QVERIFY(line.write(runaway));
    QTRY_VERIFY_WITH_TIMEOUT(!headerRead.isEmpty(), Measurement::HeaderReadDelayMs + 5000);
    QVERIFY(line.write(lines + unended));
    QTRY_COMPARE_WITH_TIMEOUT(m.workingFile().writtenBytes(), head + sent.size(), 20000);

    // Every byte is on the disk, in order.
    QCOMPARE(fileContents(QStringLiteral("Vindo.qvx")).mid(head), sent);
    // The box never held more than its limit and shows the newest text.
    QVERIFY2(largestBox <= SampleProcessor::ReceivedCap, qPrintable(QString::number(largestBox)));
    QVERIFY(sent.endsWith(m.live().received.text.toLatin1()));
    // The header line was read to its limit, and the measurement runs on.
    QCOMPARE(m.header().inp1Header, QString::fromLatin1(runaway.left(HeaderLineLimit)));
    QCOMPARE(m.state(), State::Measuring);
    // The figures show the last complete line's tail.
    QCOMPARE(m.live().lastLine, QString(SampleProcessor::LineBufferLimit, QLatin1Char('7')) + QStringLiteral("\r\n"));
}

void TestSession::headerIsReadFromTheRecordingWhateverTheFolderHolds_data()
{
    QTest::addColumn<QString>("planted");   // put into the folder while measuring

    QTest::newRow("another user's empty vindo.qvx") << "empty";
    QTest::newRow("a FIFO named vindo.qvx") << "fifo";
    QTest::newRow("a link named vindo.qvx") << "link";
}

void TestSession::headerIsReadFromTheRecordingWhateverTheFolderHolds()
{
    QFETCH(QString, planted);
    if (planted == QLatin1String("empty") && ::geteuid() != 0)
        QSKIP("needs root to make a file that belongs to another user");

    Session session;
    Measurement &m = session.measurement;
    PtyLine line(session.dir.path(), 6);
    QVERIFY(line.ready());
    QVERIFY(session.start(6));
    const QByteArray other = QFile::encodeName(session.dir.filePath(QStringLiteral("vindo.qvx")));
    if (planted == QLatin1String("empty")) {
        QFile file(QString::fromLocal8Bit(other));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(::chown(other.constData(), 65534, 65534) == 0);
    } else if (planted == QLatin1String("fifo")) {
        QVERIFY(::mkfifo(other.constData(), 0666) == 0);
    } else {
        QVERIFY(QFile::link(QStringLiteral("/etc/hostname"), QString::fromLocal8Bit(other)));
    }
    QSignalSpy read(&m, &Measurement::headerRead);
    QVERIFY(line.write("\r"));
    QTRY_VERIFY(m.workingFile().writtenBytes() > 0);
    QVERIFY(line.write("INP1 = bar\rSR1 = 5,0 03\r"));
    QTRY_VERIFY_WITH_TIMEOUT(fileContents(QStringLiteral("Vindo.qvx")).contains("SR1 = 5,0 03"), 1000);

    QVERIFY(read.wait(Measurement::HeaderReadDelayMs + 3000));
    QVERIFY2(session.errors.isEmpty(), qPrintable(m.errorString() + fileContents(QStringLiteral("Vindo.qvx"))));
    QCOMPARE(m.state(), Measurement::State::Measuring);
    QCOMPARE(m.header().inp1Header, QStringLiteral("INP1 = bar"));
    QCOMPARE(m.header().sr1Header, QStringLiteral("SR1 = 5,0 03"));
}

QTEST_GUILESS_MAIN(TestSession)
void TestSession::folderNameThatIsNotUtf8IsRecordedInAndShown_data()
{
    QTest::addColumn<QByteArray>("folder");   // the folder's name as the system holds it
    QTest::addColumn<QString>("shown");       // as messages show it

    QTest::newRow("Latin-1 umlaut") << QByteArray("Messung-\xe4") << QStringLiteral("Messung-\\xE4");
    QTest::newRow("stray bytes") << QByteArray("\xff\xfe run") << QStringLiteral("\\xFF\\xFE run");
    QTest::newRow("cut sequence") << QByteArray("a\xe2\x82") << QStringLiteral("a\\xE2\\x82");
    QTest::newRow("UTF-8") << QByteArray("Messung-\xc3\xa4 \xe2\x82\xac") << QStringLiteral("Messung-ä €");
}

void TestSession::folderNameThatIsNotUtf8IsRecordedInAndShown()
{
    QFETCH(QByteArray, folder);
    QFETCH(QString, shown);

    Session session;
    Measurement &m = session.measurement;
    const QByteArray inside = QFile::encodeName(session.dir.path()) + '/' + folder;
    QVERIFY(::mkdir(inside.constData(), 0700) == 0);
    QVERIFY(::chdir(inside.constData()) == 0);
    const QString shownFolder = session.dir.path() + QLatin1Char('/') + shown;

    // A measurement is recorded, and saved under the name a file dialog
    // gives, which spells the folder as Qt does.
    PtyLine line(session.dir.path(), 5);
    QVERIFY(line.ready());
    QVERIFY(session.start(5));
    QVERIFY(line.write("\r"));
    QTRY_VERIFY_WITH_TIMEOUT(m.workingFile().writtenBytes() > 0, 5000);
    QVERIFY(line.write("INP1 = bar\r    1         20.5\r"));
    QTRY_VERIFY_WITH_TIMEOUT(fileContents(QStringLiteral("Vindo.qvx")).endsWith("    1         20.5\r\n"), 5000);
    m.stop();
    QVERIFY(m.save(QDir::currentPath() + QStringLiteral("/run.csv")));
    QVERIFY(fileContents(QStringLiteral("run.csv")).endsWith("INP1 = bar\r\n    1         20.5\r\n"));
    QVERIFY(session.errors.isEmpty());

    // What cannot be saved names the folder as the system holds it.
    QVERIFY(QDir().mkdir(QStringLiteral("taken.csv")));
    QVERIFY(!m.save(QDir::currentPath() + QStringLiteral("/taken.csv")));
    QCOMPARE(session.errors, QList<Error>{Error::SaveFailed});
    QVERIFY2(m.errorString().startsWith(shownFolder + QStringLiteral("/taken.csv:\n")), qPrintable(m.errorString()));
    QCOMPARE(shownPath(QStringLiteral("Vindo.qvx")), shownFolder + QStringLiteral("/Vindo.qvx"));
    QCOMPARE(reachablePath(QDir::currentPath()), folder == QFile::encodeName(QFile::decodeName(folder))
                 ? QDir::currentPath() : QStringLiteral("."));
}

#include "tst_session.moc"
