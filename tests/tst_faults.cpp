// The recorder under faults: killed in the middle of a measurement, the
// device vanishing, the disk filling up, a read-only folder, garbage on the
// line, broken settings files and hostile file names for the viewers. Each
// test starts its own processes (simulator, recorder child, stand-in viewer)
// and waits for them with a bound.

#include "FileSizeLimit.h"
#include "RecordedBytes.h"
#include "PictureButton.h"
#include "MeasurementFolder.h"
#include "SerialPort.h"
#include "RecorderFixture.h"
#include "PtyLine.h"
#include "Simulator.h"
#include "StandInViewer.h"
#include "faults/RecorderChild.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTextDocument>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// The working file's rules for English: points kept, tabs as ";".
QByteArray recordedByRules(const QByteArray &block)
{
    return recordedBytes(block, false);
}

/// The notes header that stands in the file in place of the first block.
const QRegularExpression kNotesHeader(QStringLiteral(
    "^  Time: \\d\\d:\\d\\d:\\d\\d\\r  Date: [^\\r]+\\rNotes :  ([^\\r]*)\\r"));

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// What follows the notes header in a working file; empty (and a failed
/// check) when the file does not begin with one.
QByteArray bodyAfterNotes(const QByteArray &file, QString *notes = nullptr)
{
    const QRegularExpressionMatch m = kNotesHeader.match(QString::fromLatin1(file));
    if (!m.hasMatch())
        return QByteArray();
    if (notes)
        *notes = m.captured(1);
    return file.mid(m.capturedLength());
}

/// Where two byte strings first differ, for readable failures.
QByteArray firstDifference(const QByteArray &actual, const QByteArray &expected)
{
    qsizetype i = 0;
    while (i < actual.size() && i < expected.size() && actual.at(i) == expected.at(i))
        ++i;
    return "sizes " + QByteArray::number(actual.size()) + "/" + QByteArray::number(expected.size())
        + ", first difference at " + QByteArray::number(i) + ": "
        + actual.mid(qMax<qsizetype>(0, i - 16), 40).toHex(' ') + " | "
        + expected.mid(qMax<qsizetype>(0, i - 16), 40).toHex(' ');
}

/// Processor time used by this process so far, in seconds.
double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// Peak resident memory of this process, in kilobytes.
qint64 peakResidentKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

/// The recorder as a child process (this test program run with
/// --recorder-child) in `folder`, its report lines gathered as they come.
class RecorderChild
{
public:
    explicit RecorderChild(const QString &folder) { m_process.setWorkingDirectory(folder); }
    ~RecorderChild()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    /// Starts the child; `wrapper` (e.g. unshare and a mount) goes first.
    bool start(const QStringList &childArgs, const QStringList &wrapper = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList args = QStringList{QStringLiteral("--recorder-child")} + childArgs;
        QString program = QCoreApplication::applicationFilePath();
        if (!wrapper.isEmpty()) {
            args = wrapper.mid(1) + QStringList{program} + args;
            program = wrapper.first();
        }
        m_process.start(program, args);
        return m_process.waitForStarted(10000);
    }

    /// Every complete report line so far.
    QList<QByteArray> lines()
    {
        m_pending += m_process.readAllStandardOutput();
        const qsizetype end = m_pending.lastIndexOf('\n');
        if (end >= 0) {
            m_lines += m_pending.left(end).split('\n');
            m_pending.remove(0, end + 1);
        }
        return m_lines;
    }

    /// The number after the last line that begins with `key` (-1 if none).
    qint64 last(const QByteArray &key)
    {
        const QList<QByteArray> all = lines();
        for (auto it = all.crbegin(); it != all.crend(); ++it)
            if (it->startsWith(key + ' '))
                return it->mid(key.size() + 1).toLongLong();
        return -1;
    }

    /// The message lines ("<style> <text>").
    QList<QByteArray> messages()
    {
        QList<QByteArray> result;
        for (const QByteArray &line : lines())
            if (line.startsWith("MESSAGE "))
                result << line.mid(8);
        return result;
    }

    bool waitForFinished(int ms) { return m_process.waitForFinished(ms); }
    void kill() { ::kill(pid_t(m_process.processId()), SIGKILL); m_process.waitForFinished(5000); }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_pending;
    QList<QByteArray> m_lines;
};

/// Waits until the recorder has read and processed everything written so
/// far: nothing left on the line or in the port, and at least `blocks`
/// more receive blocks processed since `revision`.
bool waitUntilProcessed(MainWindow &w, PtyLine &line, quint64 revision, int blocks = 0)
{
    QSerialPort *port = w.measurement().findChild<QSerialPort *>();
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        line.drainInput();
        if (line.unread() == 0 && (!port || port->bytesAvailable() == 0)
            && w.live().revision >= revision + quint64(blocks))
            return true;
    }
    return false;
}

const QByteArray kHeader = "INP1 = degrC\r\nSR1 = Range 04\r\nINP2 = bar\r\nSR2 = Range 45\r\nPrint interval = 1 s\r\n";

/// A recorder folder with English settings on port 2 and the simulator
/// sending there as fast as the line takes it.
bool startFastInstrument(const QTemporaryDir &dir, Simulator &sim)
{
    QFile settings(dir.filePath(QStringLiteral("qvx.ini")));
    if (!dir.isValid() || !settings.open(QIODevice::WriteOnly))
        return false;
    settings.write(RecorderFixture::settingsLines(QStringLiteral("English"), 2));
    settings.close();
    return sim.start(dir.path(), 2, {QStringLiteral("--interval-ms"), QStringLiteral("0")});
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void killedRecorderLosesNothingShownAndIsRecoveredAtNextStart();
    void nextStartKeepsOnlyARunThatDidNotEndAsChosen_data();
    void nextStartKeepsOnlyARunThatDidNotEndAsChosen();
    void secondCopyInTheSameFolderLeavesTheFirstRecording();
    void vanishedDeviceIsReportedOnceAndRecordedOnWhenItIsBack();
    void fullDiskAsksRetryOrCancelAndKeepsWhatWasWritten();
    void readOnlyFolderIsReportedAndStartIsRefused();
    void garbageOnTheLineIsRecordedByTheFileRules();
    void brokenStartUpFilesDoNotStopTheStart_data();
    void brokenStartUpFilesDoNotStopTheStart();
    void hostileNamesReachOneProgramAsOneArgument_data();
    void hostileNamesReachOneProgramAsOneArgument();
};

void TestFaults::killedRecorderLosesNothingShownAndIsRecoveredAtNextStart()
{
    QTemporaryDir dir;
    Simulator sim;
    QVERIFY(startFastInstrument(dir, sim));
    RecorderChild child(dir.path());
    QVERIFY(child.start({QStringLiteral("measure"), QStringLiteral("--notes"), QStringLiteral("before the crash")}));

    // Kill it in full flow, once a good part of the measurement was shown.
    QTRY_VERIFY_WITH_TIMEOUT(child.last("SHOWN") >= 20000, 20000);
    child.kill();
    const qint64 first = child.last("FIRST");
    const qint64 shown = child.last("SHOWN");
    QVERIFY(child.messages().isEmpty());

    const QByteArray file = readAll(dir.filePath(QStringLiteral("Vindo.qvx")));
    QString notes;
    const QByteArray body = bodyAfterNotes(file, &notes);
    QVERIFY2(!body.isEmpty(), file.left(80).constData());
    QCOMPARE(notes, QStringLiteral("before the crash"));
    // Everything shown is in the file (a block recorded but not yet
    // reported may follow it), exactly as the rules make it of what the
    // instrument sent.
    QVERIFY2(body.size() >= shown, (QByteArray::number(body.size()) + " < " + QByteArray::number(shown)).constData());
    QTRY_VERIFY_WITH_TIMEOUT(recordedByRules(sim.sent()).size() >= first + body.size(), 5000);
    const QByteArray expected = recordedByRules(sim.sent()).mid(first, body.size());
    QVERIFY2(body == expected, firstDifference(body, expected).constData());
    sim.stop();

    // The next start keeps the measurement before it starts a new one.
    RecorderChild next(dir.path());
    QVERIFY(next.start({QStringLiteral("startup")}));
    QVERIFY(next.waitForFinished(20000));
    QCOMPARE(next.process().exitCode(), 0);
    QVERIFY(next.lines().contains("DONE"));
    QCOMPARE(next.last("OPEN"), qint64(1));
    const QStringList kept = QDir(dir.path()).entryList({QStringLiteral("Vindo-recovered-*.csv")});
    QCOMPARE(kept.size(), 1);
    QCOMPARE(readAll(dir.filePath(kept.first())), file);
    QCOMPARE(next.messages().size(), 1);
    QVERIFY(next.messages().first().contains(kept.first().toUtf8()));
    QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("Vindo.qvx"))).size(), 0);
}

void TestFaults::secondCopyInTheSameFolderLeavesTheFirstRecording()
{
    QTemporaryDir dir;
    Simulator sim;
    QVERIFY(startFastInstrument(dir, sim));
    RecorderChild first(dir.path());
    QVERIFY(first.start({QStringLiteral("measure")}));
    QTRY_VERIFY_WITH_TIMEOUT(first.last("SHOWN") >= 2000, 20000);
    const QString work = dir.filePath(QStringLiteral("Vindo.qvx"));
    struct stat before {};
    QVERIFY(::stat(QFile::encodeName(work).constData(), &before) == 0);

    // Started with another user name and no runtime folder, as a second
    // session or a script might: the folder itself says it is taken.
    RecorderChild second(dir.path());
    QVERIFY(second.start({QStringLiteral("startup")},
                         {QStringLiteral("env"), QStringLiteral("-u"), QStringLiteral("XDG_RUNTIME_DIR"),
                          QStringLiteral("USER=somebody-else")}));
    QVERIFY(second.waitForFinished(20000));
    const QList<QByteArray> messages = second.messages();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages.first().contains(QFile::encodeName(QDir::toNativeSeparators(dir.path()))),
             messages.first().constData());
    QCOMPARE(second.last("OPEN"), qint64(0));

    // The first copy records on into the same file; nothing was recovered.
    const qint64 shown = first.last("SHOWN");
    QTRY_VERIFY_WITH_TIMEOUT(first.last("SHOWN") > shown, 10000);
    struct stat after {};
    QVERIFY(::stat(QFile::encodeName(work).constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QVERIFY(after.st_size >= before.st_size);
    QVERIFY(QDir(dir.path()).entryList({QStringLiteral("Vindo-recovered-*")}).isEmpty());
    QVERIFY(first.messages().isEmpty());
    first.kill();
    const QByteArray file = readAll(work);
    QVERIFY(file.size() >= after.st_size);
    QVERIFY(file.contains("Notes :  "));
}

void TestFaults::nextStartKeepsOnlyARunThatDidNotEndAsChosen_data()
{
    QTest::addColumn<bool>("killed");    // else the user left through Exit, answering No
    QTest::addColumn<int>("recovered");  // copies kept and boxes shown at the next start

    QTest::newRow("exit answered No") << false << 0;
    QTest::newRow("killed while measuring") << true << 1;
}

void TestFaults::nextStartKeepsOnlyARunThatDidNotEndAsChosen()
{
    QFETCH(bool, killed);
    QFETCH(int, recovered);

    QTemporaryDir dir;
    Simulator sim;
    QVERIFY(startFastInstrument(dir, sim));
    RecorderChild child(dir.path());
    if (killed) {
        QVERIFY(child.start({QStringLiteral("measure")}));
        QTRY_VERIFY_WITH_TIMEOUT(child.last("SHOWN") >= 2000, 20000);
        child.kill();
        QVERIFY(child.messages().isEmpty());
    } else {
        QVERIFY(child.start({QStringLiteral("exit"), QStringLiteral("--until"), QStringLiteral("2000")}));
        QVERIFY(child.waitForFinished(30000));
        QVERIFY(child.lines().contains("END"));
        QCOMPARE(child.messages(), QList<QByteArray>{"Question/YesNo Do you want to save the datafile ?"});
    }
    sim.stop();
    // Either way the measurement was left on disk.
    const QString vindo = dir.filePath(QStringLiteral("Vindo.qvx"));
    const QByteArray left = readAll(vindo);
    QVERIFY(left.size() >= 2000);

    RecorderChild next(dir.path());
    QVERIFY(next.start({QStringLiteral("startup")}));
    QVERIFY(next.waitForFinished(20000));
    QCOMPARE(next.process().exitCode(), 0);
    QCOMPARE(next.last("OPEN"), qint64(1));
    const QStringList kept = QDir(dir.path()).entryList({QStringLiteral("Vindo-recovered-*.csv")});
    QCOMPARE(kept.size(), recovered);
    QCOMPARE(next.messages().size(), recovered);
    if (recovered)
        QCOMPARE(readAll(dir.filePath(kept.first())), left);
    QCOMPARE(QFileInfo(vindo).size(), 0);
    QVERIFY(!QFile::exists(dir.filePath(MeasurementFolder::noteName())));
}

void TestFaults::vanishedDeviceIsReportedOnceAndRecordedOnWhenItIsBack()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English"), 4));
    Simulator sim;
    QVERIFY(sim.start(fx.dir(), 4, {QStringLiteral("--interval-ms"), QStringLiteral("20")}));
    MainWindow &w = fx.start();
    control<PictureButton>(w, "startStopButton")->click();
    QVERIFY(w.measurement().isPortOpen());
    QVERIFY(sim.waitForEvent("START", 5000));
    QTRY_VERIFY_WITH_TIMEOUT(!control<QTimer>(w, "headerReadTimer")->isActive() && control<QLabel>(w, "inp1HeaderLabel")->text().startsWith(QLatin1String("INP1")), 5000);
    const QString vindo = fx.path(QStringLiteral("Vindo.qvx"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(vindo).size() > 1000, 5000);
    const qint64 recordedBeforeHangUp = QFileInfo(vindo).size();

    fx.dialogs.answer(Answer::Ok);   // the communication error box
    sim.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(fx.dialogs.messages().size(), 1, 5000);
    QVERIFY(!w.measurement().isPortOpen());
    QCOMPARE(fx.dialogs.messages().first().style, BoxStyle(Buttons::OkCancel));

    // No busy loop: two seconds of events cost little processor time.
    const double before = cpuSeconds();
    QTest::qWait(2000);
    const double used = cpuSeconds() - before;
    QVERIFY2(used < 0.5, qPrintable(QStringLiteral("%1 s of processor time").arg(used)));
    QCOMPARE(fx.dialogs.messages().size(), 1);
    QCOMPARE(fx.dialogs.unexpected, 0);

    // Everything received before the hang-up is in the file.
    const QByteArray firstRun = readAll(vindo);
    const QByteArray body = bodyAfterNotes(firstRun);
    QVERIFY(firstRun.size() >= recordedBeforeHangUp);
    const QByteArray expected = recordedByRules(sim.sent()).mid(2, body.size());
    QVERIFY2(body == expected, firstDifference(body, expected).constData());

    // The device is back: the measurement goes on by itself into the same
    // working file, with what the instrument sends and nothing else.
    QVERIFY(sim.comeBack());
    QTRY_VERIFY_WITH_TIMEOUT(w.measurement().isPortOpen(), 5000);
    QCOMPARE(w.measurement().state(), Measurement::State::Measuring);
    QTRY_VERIFY_WITH_TIMEOUT(readAll(vindo).size() > firstRun.size() + 300, 5000);
    QVERIFY(readAll(vindo).startsWith(firstRun));
    QVERIFY(!kNotesHeader.match(QString::fromLatin1(readAll(vindo).mid(firstRun.size()))).hasMatch());
    QCOMPARE(sim.received().count('\x02'), 1);   // no second start
    QCOMPARE(fx.dialogs.messages().size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!w.live().inp2Min.isEmpty(), 5000);
}

void TestFaults::fullDiskAsksRetryOrCancelAndKeepsWhatWasWritten()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English"), 5));
    Simulator sim;
    QVERIFY(sim.start(fx.dir(), 5, {QStringLiteral("--interval-ms"), QStringLiteral("10")}));
    MainWindow &w = fx.start();
    control<PictureButton>(w, "startStopButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!control<QTimer>(w, "headerReadTimer")->isActive() && control<QLabel>(w, "inp1HeaderLabel")->text().startsWith(QLatin1String("INP1")), 5000);
    const QString vindo = fx.path(QStringLiteral("Vindo.qvx"));

    // The disk fills up; space comes back while the question is open.
    {
        FileSizeLimit full(QFileInfo(vindo).size() + 200);
        QVERIFY(full.isActive());
        fx.dialogs.answer(Answer::Retry, [&full] { full.lift(); });
        QTRY_COMPARE_WITH_TIMEOUT(fx.dialogs.messages().size(), 1, 5000);
    }
    const ScriptedDialogs::Asked question = fx.dialogs.messages().first();
    QCOMPARE(question.style.buttons, Buttons::RetryCancel);
    QVERIFY2(!question.text.isEmpty(), "the box says why");
    QVERIFY(w.workingFile().isOpen());
    const qint64 afterRetry = QFileInfo(vindo).size();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(vindo).size() > afterRetry + 200, 5000);

    // Full again, and this time the user gives up: recording stops, the
    // display goes on.
    qint64 atCancel = 0;
    {
        FileSizeLimit full(QFileInfo(vindo).size() + 200);
        fx.dialogs.answer(Answer::Cancel, [&] { atCancel = QFileInfo(vindo).size(); });
        QTRY_COMPARE_WITH_TIMEOUT(fx.dialogs.messages().size(), 2, 5000);
    }
    QVERIFY(!w.workingFile().isOpen());
    const quint64 revisionAtCancel = w.live().revision;
    const QString lastLine = w.live().lastLine;
    QTRY_VERIFY_WITH_TIMEOUT(w.live().lastLine != lastLine && w.live().revision > revisionAtCancel + 5, 5000);
    QCOMPARE(fx.dialogs.messages().size(), 2);

    // Nothing written was lost, and no block twice.
    const QByteArray file = readAll(vindo);
    QCOMPARE(file.size(), atCancel);
    const QByteArray body = bodyAfterNotes(file);
    const QByteArray expected = recordedByRules(sim.sent()).mid(2, body.size());
    QVERIFY2(body == expected, firstDifference(body, expected).constData());
    QCOMPARE(fx.dialogs.unexpected, 0);
}

void TestFaults::readOnlyFolderIsReportedAndStartIsRefused()
{
    if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        QSKIP("unshare(1) is needed to mount the folder read-only");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("readonly"));
    const QString ports = dir.filePath(QStringLiteral("ports"));
    QVERIFY(QDir().mkpath(folder) && QDir().mkpath(ports));
    QFile settings(QDir(folder).filePath(QStringLiteral("qvx.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write(RecorderFixture::settingsLines(QStringLiteral("English"), 6));
    settings.close();

    // Root ignores permissions, so the folder is made read-only by a bind
    // mount in a mount namespace of the child's own.
    QProcess probe;
    probe.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("mount --bind -o ro \"$0\" \"$0\" && cd \"$0\" && ! touch probe 2>/dev/null"), folder});
    if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
        QSKIP("this machine cannot mount a folder read-only in a private namespace");

    Simulator sim;
    QVERIFY(sim.start(ports, 6, {QStringLiteral("--interval-ms"), QStringLiteral("20")}));
    RecorderChild child(folder);
    const QStringList wrapper{QStringLiteral("unshare"), QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                              QStringLiteral("mount --bind -o ro \"$0\" \"$0\" && cd \"$0\" && exec \"$@\""), folder};
    QVERIFY(child.start({QStringLiteral("start"), QStringLiteral("--port-dir"), ports}, wrapper));
    QVERIFY(child.waitForFinished(30000));
    const QList<QByteArray> lines = child.lines();
    QCOMPARE(child.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.process().exitCode(), 0);
    QVERIFY2(lines.contains("DONE"), lines.join('\n').constData());

    // Start-up says plainly why there is no working file, and Start names
    // the folder and the reason instead of measuring into nothing.
    const QList<QByteArray> messages = child.messages();
    QVERIFY2(messages.size() == 2, lines.join('\n').constData());
    for (const QByteArray &m : messages) {
        QVERIFY2(m.startsWith(describe(BoxStyle(Icon::Warning)) + ' '), m.constData());
        QVERIFY2(m.contains("Read-only"), m.constData());
    }
    QVERIFY2(messages.first().contains(QFile::encodeName(QDir::toNativeSeparators(QDir(folder).filePath(QStringLiteral("Vindo.qvx"))))),
             messages.first().constData());
    QVERIFY2(messages.last().contains(QFile::encodeName(QDir::toNativeSeparators(folder))), messages.last().constData());
    QVERIFY(lines.contains("OPEN 0"));
    QVERIFY(lines.contains("PORT 0"));
    // The instrument was never started, and nothing was written.
    QTest::qWait(300);
    QVERIFY(!sim.received().contains('\x02'));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("qvx.ini")});
}

void TestFaults::garbageOnTheLineIsRecordedByTheFileRules()
{
    RecorderFixture fx;
    fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English"), 8));
    PtyLine line(fx.dir(), 8);
    QVERIFY(line.ready());
    MainWindow &w = fx.start();
    control<PictureButton>(w, "startStopButton")->click();
    QVERIFY(w.measurement().isPortOpen());

    // The first block is replaced by the notes header; then a header the
    // header read accepts, so the measurement goes on.
    QVERIFY(line.write("\r\n"));
    QVERIFY(waitUntilProcessed(w, line, w.live().revision, 1));
    QVERIFY(line.write(kHeader));
    QTRY_VERIFY_WITH_TIMEOUT(!control<QTimer>(w, "headerReadTimer")->isActive(), 5000);
    QVERIFY2(control<QLabel>(w, "inp1HeaderLabel")->text().startsWith(QLatin1String("INP1 = ")), qPrintable(control<QLabel>(w, "inp1HeaderLabel")->text()));
    QVERIFY(waitUntilProcessed(w, line, 0));
    const qint64 peakBefore = peakResidentKb();

    // About 10 MB in runs of different kinds. Without backspaces the file
    // does not depend on where the line cuts the stream into blocks; a run
    // with backspaces is sent alone and small, so it is read as one block.
    QRandomGenerator random(20240611);
    QByteArray expected = recordedByRules(kHeader);
    qsizetype sent = 0;
    auto bytesWithout = [&random](qsizetype n, QByteArray excluded) {
        QByteArray bytes(n, Qt::Uninitialized);
        for (char &c : bytes) {
            do
                c = char(random.bounded(256));
            while (excluded.contains(c));
        }
        return bytes;
    };
    auto sendStream = [&](const QByteArray &bytes) {
        expected += recordedByRules(bytes);
        sent += bytes.size();
        return line.write(bytes);
    };
    int backspaceBlocks = 0;
    const QByteArray backspaceAlphabet = QByteArray("ab.\t\r\n \0\xff", 9) + QByteArray(6, '\b');
    for (int round = 0; sent < 10'000'000; ++round) {
        switch (round % 6) {
        case 0: QVERIFY(sendStream(bytesWithout(random.bounded(1, 200'000), "\b"))); break;
        case 1: QVERIFY(sendStream(QByteArray(random.bounded(1, 5000), '\0') + QByteArray(random.bounded(1, 5000), '\xff'))); break;
        case 2: QVERIFY(sendStream(bytesWithout(1'100'000, "\b\r") + '\r')); break;    // a megabyte without a line end
        case 3: QVERIFY(sendStream(QByteArray(random.bounded(1, 300'000), 'x') + "\t12.5\r")); break;
        case 4:
        case 5:
            for (int k = 0; k < 100; ++k) {
                QByteArray block;
                const int length = random.bounded(1, 48);
                for (int i = 0; i < length; ++i)
                    block += backspaceAlphabet.at(random.bounded(int(backspaceAlphabet.size())));
                if (k % 4 == 0)
                    block.prepend(QByteArray(random.bounded(1, 4), '\b'));   // lone backspaces
                QVERIFY(waitUntilProcessed(w, line, 0));
                const quint64 revision = w.live().revision;
                QVERIFY(sendStream(block));
                QVERIFY(waitUntilProcessed(w, line, revision, 1));
                QVERIFY2(w.live().revision == revision + 1, "a small block reached the recorder in pieces");
                ++backspaceBlocks;
            }
            break;
        }
        // The receive box stays bounded whatever arrives.
        QVERIFY2(w.live().received.text.size() < 16384 + 2 * 65536,
                 QByteArray::number(w.live().received.text.size()).constData());
    }
    QVERIFY(waitUntilProcessed(w, line, 0));
    w.refreshView();

    QVERIFY(w.measurement().isPortOpen());
    QCOMPARE(fx.dialogs.messages().size(), 0);
    QVERIFY(backspaceBlocks > 1000);
    QVERIFY(control<ReceiveBox>(w, "receivedText")->document()->characterCount() < 16384 + 2 * 65536);
    const qint64 grownKb = peakResidentKb() - peakBefore;
    QVERIFY2(grownKb < 200 * 1024, qPrintable(QStringLiteral("peak memory grew by %1 kB").arg(grownKb)));

    const QByteArray body = bodyAfterNotes(readAll(fx.path(QStringLiteral("Vindo.qvx"))));
    QVERIFY2(body == expected, firstDifference(body, expected).constData());
}

void TestFaults::brokenStartUpFilesDoNotStopTheStart_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("language");   // what start-up makes of entry 3

    QRandomGenerator random(7);
    QByteArray binary(256 * 1024, Qt::Uninitialized);
    for (char &c : binary)
        c = char(random.bounded(256));
    const QByteArray good = RecorderFixture::settingsLines(QStringLiteral("English"), 1);
    QByteArray huge = good;
    huge += QByteArray(100 * 1024 * 1024, 'Z');

    const QByteArray longLines = QByteArray(1 << 20, 'a') + "\r\n1\r\n" + QByteArray(1 << 20, '7') + "\r\n";
    const QByteArray openQuote = "\"C:\\a,b\r\n2\r\nEnglish";
    for (const char *name : {"qvx.ini", "sensor.ini"}) {
        const QString file = QLatin1String(name);
        const bool settings = file == QLatin1String("qvx.ini");
        // With a broken start-up file the settings of a good one stay in force.
        auto language = [settings](const char *fromSettings) {
            return settings ? QString::fromLatin1(fromSettings) : QStringLiteral("English");
        };
        const QByteArray prefix = QByteArray(name) + ": ";
        QTest::newRow((prefix + "binary").constData()) << file << binary << language("?");
        QTest::newRow((prefix + "100 MB").constData()) << file << huge << language("English");
        QTest::newRow((prefix + "empty").constData()) << file << QByteArray() << language("");
        QTest::newRow((prefix + "1 MB lines").constData()) << file << longLines << language("?");
        QTest::newRow((prefix + "no final line end").constData()) << file << good.chopped(2) << language("English");
        QTest::newRow((prefix + "quote never closed").constData()) << file << openQuote << language("English");
    }
}

void TestFaults::brokenStartUpFilesDoNotStopTheStart()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, contents);
    QFETCH(QString, language);

    RecorderFixture fx;
    fx.writeFile(fileName, contents);
    if (fileName != QLatin1String("qvx.ini"))
        fx.writeFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(QStringLiteral("English"), 1));
    MainWindow &w = fx.start();

    QVERIFY(w.workingFile().isOpen());
    QVERIFY(fx.dialogs.messages().isEmpty());
    QVERIFY(control<QLabel>(w, "columnHeaderLabel")->text().contains(QLatin1String("ACT 1")));
    if (language != QLatin1String("?"))
        QCOMPARE(w.language(), languageFromText(language));
    QVERIFY(!w.measurement().header().inp1Header.isEmpty());
    QVERIFY(w.deleteFilesDialog() != nullptr);
}

void TestFaults::hostileNamesReachOneProgramAsOneArgument_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("blanks") << "my viewers" << "my measurement 1.csv";
    QTest::newRow("quotes") << "it's" << R"(a "quoted" 'name'.csv)";
    QTest::newRow("semicolon") << "a;touch hacked" << "b.csv; touch hacked";
    QTest::newRow("command substitution") << "$(touch hacked)" << "$(touch hacked).csv";
    QTest::newRow("backticks") << "`touch hacked`" << "`touch hacked` x.csv";
}

void TestFaults::hostileNamesReachOneProgramAsOneArgument()
{
    QFETCH(QString, folderName);
    QFETCH(QString, fileName);

    RecorderFixture fx;
    QVERIFY(QDir(fx.dir()).mkdir(folderName));
    StandInViewer viewer(fx.path(folderName), QStringLiteral("calc & co"));
    viewer.close();   // each run ends as soon as it has recorded itself
    fx.writeFile(QStringLiteral("qvx.ini"),
                 RecorderFixture::settingsLines(QStringLiteral("English"), 1, 0, 15, viewer.program()));
    fx.writeFile(fileName, "1;2\r\n");
    MainWindow &w = fx.start();

    // Open: the chosen file goes to the spreadsheet program of the settings.
    fx.dialogs.chooseFile(fx.path(fileName));
    control<PictureButton>(w, "openButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(viewer.runs().size(), 1, 5000);
    QCOMPARE(viewer.runs().first(), QStringList{fx.path(fileName)});

    QCOMPARE(viewer.runs().size(), 1);
    QVERIFY(QDir(fx.dir()).entryList({QStringLiteral("hacked")}).isEmpty());
    QVERIFY(!QFile::exists(QDir::current().filePath(QStringLiteral("hacked"))));
    QCOMPARE(fx.dialogs.unexpected, 0);
}

QDR_TEST_MAIN_WITH_RECORDER_CHILD(TestFaults)

#include "tst_faults.moc"
