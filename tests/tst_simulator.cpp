// The instrument simulator on its pseudo-terminal, driven from the far end
// of the line with plain POSIX calls, as the recorder's serial port sees it.

#include "Simulator.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <functional>

namespace {

/// The recorder's end of the line: open, write, read with a deadline.
class LineEnd
{
public:
    ~LineEnd() { close(); }

    bool open(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return m_fd >= 0;
    }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool write(const QByteArray &bytes) { return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size(); }

    /// Reads until `done` holds for what arrived, the other side hangs up,
    /// or `ms` pass.
    bool readUntil(const std::function<bool(const QByteArray &)> &done, int ms = 5000)
    {
        QDeadlineTimer deadline(ms);
        while (!done(data)) {
            if (hungUp || deadline.hasExpired())
                return false;
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
                continue;
            char buf[65536];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0)
                data.append(buf, n);
            else if (n == 0 || errno != EAGAIN)
                hungUp = true;
        }
        return true;
    }

    /// Complete lines (ended by CR LF) received so far.
    QList<QByteArray> lines() const
    {
        QList<QByteArray> result = data.split('\n');
        result.removeLast();   // the part after the last line end
        for (QByteArray &line : result)
            line.chop(1);      // the CR
        return result;
    }

    QByteArray data;
    bool hungUp = false;

private:
    int m_fd = -1;
};

auto lineCountAtLeast(int n)
{
    return [n](const QByteArray &d) { return d.count("\r\n") >= n; };
}

constexpr int headerLines = 6;   // the empty lead-in line and five header lines

bool isSampleLine(const QByteArray &line)
{
    return !line.isEmpty() && QByteArray("0123456789 ").contains(line.at(0)) && !line.trimmed().isEmpty();
}

QList<QByteArray> words(QByteArray line)
{
    line.replace('\t', ' ');
    return line.simplified().split(' ');
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void startCharacterBringsHeaderThenSamples_data();
    void startCharacterBringsHeaderThenSamples();
    void sampleLinesHaveSevenWordsInsideTheFullScale_data();
    void sampleLinesHaveSevenWordsInsideTheFullScale();
    void stopCharacterEndsSamplesAndStartResendsHeader();
    void tornLinesCarryTheSameBytes();
    void fullLineStillServesInputAndLosesNothing();
    void hangUpRemovesLinkAndComeBackRestoresIt();
    void hangupAfterVanishesAfterExactlyThatManyLines();
    void staleLinkIsReplacedAndRemovedAtExit_data();
    void staleLinkIsReplacedAndRemovedAtExit();

private:
    QTemporaryDir m_dir;
};

void TestSimulator::startCharacterBringsHeaderThenSamples_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QList<QByteArray>>("header");
    QTest::addColumn<int>("samples");
    QTest::newRow("defaults") << QStringList{"--interval-ms", "0", "--lines", "2"}
        << QList<QByteArray>{"", "INP1 = degrC", "SR1 = Range 04", "INP2 = bar", "SR2 = Range 45",
                             "Print interval = 0 s"} << 2;
    QTest::newRow("units, one-digit code, interval")
        << QStringList{"--unit1", "degrF", "--unit2", "mbar", "--code1", "3", "--code2", "31",
                       "--interval-ms", "2000", "--lines", "0"}
        << QList<QByteArray>{"", "INP1 = degrF", "SR1 = Range 03", "INP2 = mbar", "SR2 = Range 31",
                             "Print interval = 2 s"} << 0;
}

void TestSimulator::startCharacterBringsHeaderThenSamples()
{
    QFETCH(QStringList, args);
    QFETCH(QList<QByteArray>, header);
    QFETCH(int, samples);
    Simulator sim;
    QVERIFY(sim.start(m_dir.path(), 1, args));
    LineEnd line;
    QVERIFY(line.open(sim.linkPath()));
    QVERIFY(line.write("\x02"));

    QVERIFY(line.readUntil(lineCountAtLeast(headerLines + samples)));
    QCOMPARE(line.lines().mid(0, headerLines), header);
    for (int i = 0; i < samples; ++i)
        QVERIFY(isSampleLine(line.lines().at(headerLines + i)));
    QVERIFY(sim.waitForReceived("\x02", 5000));
    QCOMPARE(sim.received(), QByteArray("\x02"));
}

void TestSimulator::sampleLinesHaveSevenWordsInsideTheFullScale_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<double>("fullScale");
    QTest::addColumn<int>("ovlEvery");
    QTest::newRow("blanks, 100") << QStringList{"--code2", "04"} << 100.0 << 0;
    QTest::newRow("tabs, 4") << QStringList{"--tabs", "--code1", "03", "--code2", "03"} << 4.0 << 0;
    QTest::newRow("198.2, overload every 3rd")
        << QStringList{"--code1", "45", "--code2", "45", "--ovl-every", "3"} << 198.2 << 3;
    QTest::newRow("unknown code, other seed") << QStringList{"--code1", "99", "--code2", "99", "--seed", "7"} << 100.0 << 0;
}

void TestSimulator::sampleLinesHaveSevenWordsInsideTheFullScale()
{
    QFETCH(QStringList, args);
    QFETCH(double, fullScale);
    QFETCH(int, ovlEvery);
    const int samples = 40;
    Simulator sim;
    QVERIFY(sim.start(m_dir.path(), 2, QStringList{"--interval-ms", "0", "--lines", QString::number(samples)} + args));
    LineEnd line;
    QVERIFY(line.open(sim.linkPath()));
    QVERIFY(line.write("\x02"));
    QVERIFY(line.readUntil(lineCountAtLeast(headerLines + samples)));

    const QList<QByteArray> lines = line.lines().mid(headerLines);
    QCOMPARE(lines.size(), samples);
    for (int i = 0; i < samples; ++i) {
        const QByteArray &text = lines.at(i);
        QCOMPARE(text.count('\t'), args.contains("--tabs") ? 6 : 0);
        const QList<QByteArray> w = words(text);
        QCOMPARE(w.size(), 7);
        QCOMPARE(w.at(0).toInt(), i + 1);
        for (int k = 1; k < 7; ++k) {
            if (k == 1 && ovlEvery > 0 && (i + 1) % ovlEvery == 0) {
                QCOMPARE(w.at(k), QByteArray("*Ovl*"));
                continue;
            }
            bool ok = false;
            const double v = w.at(k).toDouble(&ok);
            QVERIFY2(ok && v >= 0 && v <= fullScale, text.constData());
            QCOMPARE(w.at(k).size() - w.at(k).indexOf('.'), 2);   // one decimal
        }
        // MAX >= ACT >= MIN on input 2, which never overloads here.
        QVERIFY2(w.at(5).toDouble() >= w.at(4).toDouble() && w.at(4).toDouble() >= w.at(6).toDouble(),
                 text.constData());
    }
}

void TestSimulator::stopCharacterEndsSamplesAndStartResendsHeader()
{
    Simulator sim;
    QVERIFY(sim.start(m_dir.path(), 3, {"--interval-ms", "0", "--lead-in-ms", "0"}));
    LineEnd line;
    QVERIFY(line.open(sim.linkPath()));
    QVERIFY(line.write("\x02"));
    QVERIFY(line.readUntil(lineCountAtLeast(20)));

    QVERIFY(line.write("\x03"));
    QVERIFY(sim.waitForEvent("STOP", 5000));
    // Take in everything sent so far; after that a running instrument at
    // full speed would send more as soon as it handles the next byte.
    // (a line begun before the stop is finished first)
    QVERIFY(line.readUntil([&sim](const QByteArray &d) {
        return d.endsWith("\r\n") && d.size() == sim.sent().size();
    }));
    const qsizetype stoppedAt = sim.sent().size();
    QVERIFY(line.write("x"));
    QVERIFY(sim.waitForReceived("\x02\x03x", 5000));
    QVERIFY(line.write("y"));
    QVERIFY(sim.waitForReceived("xy", 5000));
    QCOMPARE(sim.sent().size(), stoppedAt);

    QVERIFY(line.write("\x02"));
    QVERIFY(line.readUntil([stoppedAt](const QByteArray &d) {
        return d.mid(stoppedAt).count("\r\n") >= 6;
    }));
    const QList<QByteArray> again = line.data.mid(stoppedAt).split('\n');
    QCOMPARE(again.at(0), QByteArray("INP1 = degrC\r"));
    QVERIFY(again.at(4).startsWith("Pri"));
    QCOMPARE(words(again.at(5)).at(0), QByteArray("1"));   // time starts again
}

void TestSimulator::tornLinesCarryTheSameBytes()
{
    const QStringList common{"--interval-ms", "0", "--lines", "15", "--seed", "42", "--ovl-every", "4"};
    QByteArray streams[2];
    for (int torn = 0; torn < 2; ++torn) {
        Simulator sim;
        QVERIFY(sim.start(m_dir.path(), 4, torn ? common + QStringList{"--tear"} : common));
        LineEnd line;
        QVERIFY(line.open(sim.linkPath()));
        QVERIFY(line.write("\x02"));
        QVERIFY(line.readUntil(lineCountAtLeast(headerLines + 15)));
        QVERIFY(sim.waitForSentContains(line.data, 5000));
        QCOMPARE(sim.sent(), line.data);
        streams[torn] = line.data;
    }
    QCOMPARE(streams[1], streams[0]);
}

void TestSimulator::fullLineStillServesInputAndLosesNothing()
{
    Simulator sim;
    QVERIFY(sim.start(m_dir.path(), 5, {"--interval-ms", "0", "--lead-in-ms", "0"}));
    LineEnd line;
    QVERIFY(line.open(sim.linkPath()));
    QVERIFY(line.write("\x02"));
    // Nobody reads: the pty fills up, yet every byte we send is taken in.
    for (char c = 'a'; c <= 'e'; ++c) {
        QVERIFY(line.write(QByteArray(1, c)));
        QVERIFY(sim.waitForReceived(QByteArray(1, c), 5000));
    }
    QVERIFY(line.readUntil([](const QByteArray &d) { return d.size() > 300000; }, 20000));
    // The log follows each write to the line an instant later.
    QTRY_VERIFY(sim.sent().size() >= line.data.size());
    QVERIFY(sim.sent().startsWith(line.data));
    const QList<QByteArray> lines = line.lines();
    for (qsizetype i = 5; i < lines.size(); ++i)
        QCOMPARE(words(lines.at(i)).size(), 7);
}

void TestSimulator::hangUpRemovesLinkAndComeBackRestoresIt()
{
    Simulator sim;
    QVERIFY(sim.start(m_dir.path(), 6, {"--interval-ms", "0", "--lines", "1"}));
    const QString firstSlave = sim.slavePath();
    QCOMPARE(QFileInfo(sim.linkPath()).symLinkTarget(), firstSlave);
    LineEnd line;
    QVERIFY(line.open(sim.linkPath()));

    sim.hangUp();
    QVERIFY(!QFileInfo::exists(sim.linkPath()));
    QVERIFY(!line.readUntil([](const QByteArray &) { return false; }));
    QVERIFY(line.hungUp);

    QVERIFY(sim.comeBack());
    QCOMPARE(QFileInfo(sim.linkPath()).symLinkTarget(), sim.slavePath());
    LineEnd again;
    QVERIFY(again.open(sim.linkPath()));
    QVERIFY(again.write("\x02"));
    QVERIFY(again.readUntil(lineCountAtLeast(headerLines + 1)));
}

void TestSimulator::hangupAfterVanishesAfterExactlyThatManyLines()
{
    Simulator sim;
    QVERIFY(sim.start(m_dir.path(), 7, {"--interval-ms", "0", "--hangup-after", "3", "--return-after-ms", "0"}));
    LineEnd line;
    QVERIFY(line.open(sim.linkPath()));
    QVERIFY(line.write("\x02"));
    QVERIFY(!line.readUntil([](const QByteArray &) { return false; }));
    QVERIFY(line.hungUp);
    QCOMPARE(line.lines().size(), headerLines + 3);
    // Back at once, the running measurement goes on on the new terminal.
    QCOMPARE(sim.sent().left(line.data.size()), line.data);

    QVERIFY(sim.waitForEvent("READY ", 5000));
    QVERIFY(QFileInfo::exists(sim.linkPath()));
}

void TestSimulator::staleLinkIsReplacedAndRemovedAtExit_data()
{
    QTest::addColumn<bool>("asFile");
    QTest::newRow("dangling link") << false;
    QTest::newRow("plain file") << true;
}

void TestSimulator::staleLinkIsReplacedAndRemovedAtExit()
{
    QFETCH(bool, asFile);
    const QString link = m_dir.filePath("COM8");
    QFile::remove(link);
    if (asFile) {
        QFile stale(link);
        QVERIFY(stale.open(QIODevice::WriteOnly));
    } else {
        QVERIFY(QFile::link(m_dir.filePath("gone"), link));
    }
    Simulator sim;
    QVERIFY(sim.start(m_dir.path(), 8));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.slavePath());
    sim.stop();
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
