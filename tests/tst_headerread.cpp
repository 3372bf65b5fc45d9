// Reading the instrument header back from a copy of the working file the
// program holds open; names planted in a shared folder decide nothing.

#include "HeaderRead.h"
#include "InstrumentState.h"
#include "MeasurementFolder.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A temporary folder that is both the current and the program directory,
// holding the working file under its usual spelling.
struct HeaderFolder
{
    HeaderFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~HeaderFolder() { QDir::setCurrent(m_previous); }

    void write(const QString &name, const QByteArray &content) const
    {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray read(const QString &name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    /// Gives `name` to another user (needs root).
    bool giveAway(const QString &name) const
    {
        return ::lchown(QFile::encodeName(dir.filePath(name)).constData(), 65534, 65534) == 0;
    }
    /// Claims the folder's working file and reads the header from it.
    HeaderReadResult readHeader(InstrumentHeader &state)
    {
        if (!folder.workingFile().isClaimed() && folder.claim() != MeasurementFolder::OpenResult::Opened)
            qWarning("working file not claimed");
        return folder.readHeader(state);
    }

    QTemporaryDir dir;
    MeasurementFolder folder;

private:
    QString m_previous;
};

const QString Degree = QString(QChar(176));

QByteArray fillerLines(int count)
{
    QByteArray lines;
    for (int i = 0; i < count; ++i)
        lines += "0.5 1 2 3 4 5 6\r\n";
    return lines;
}

} // namespace

class TestHeaderRead : public QObject
{
    Q_OBJECT

private slots:
    void headerLinesAreTakenFromSixteenReads_data();
    void headerLinesAreTakenFromSixteenReads();
    void withoutWorkingFileTheTextsStay_data();
    void withoutWorkingFileTheTextsStay();
    void oldCopyIsReplaced_data();
    void oldCopyIsReplaced();
    void plantedNamesNeverDecideTheHeader_data();
    void plantedNamesNeverDecideTheHeader();
    void unitIsTheTextAfterTheEqualsSign_data();
    void unitIsTheTextAfterTheEqualsSign();
};

void TestHeaderRead::headerLinesAreTakenFromSixteenReads_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("headers");  // INP1, SR1, INP2, SR2
    QTest::addColumn<QString>("label11");
    QTest::addColumn<bool>("error");

    const QByteArray notes = "  Time: 09:07:03\r  Date: 05.03.24\rNotes :  run 1\r";
    QTest::newRow("degrees C and F") << notes + "INP1 = degrC\r\nSR1 = 5,0 03\r\nINP2 = degrF\r\nSR2 = 04\r\nPri 1,0\r\n"
        << QStringList{"INP1 = " + Degree + "C", "SR1 = 5,0 03", "INP2 = " + Degree + "F", "SR2 = 04"}
        << "Pri 1,0" << false;
    QTest::newRow("other units unchanged") << QByteArray("INP1 = mbar\r\nINP2 = bar abs\r\n")
        << QStringList{"INP1 = mbar", "", "INP2 = bar abs", ""} << QString() << false;
    QTest::newRow("INP1 as 16th line") << fillerLines(15) + "INP1 = bar\r\n"
        << QStringList{"INP1 = bar", "", "", ""} << QString() << false;
    QTest::newRow("INP1 as 17th line") << fillerLines(16) + "INP1 = bar\r\n"
        << QStringList{"", "", "", ""} << QString() << true;
    QTest::newRow("three lines, the last unended") << QByteArray("INP1 = bar\rSR1 = 7\rPri x")
        << QStringList{"INP1 = bar", "SR1 = 7", "", ""} << "Pri x" << false;
    QTest::newRow("missing INP1") << QByteArray("SR1 = 7\r\nINP2 = bar\r\nPri 2\r\n")
        << QStringList{"", "SR1 = 7", "INP2 = bar", ""} << "Pri 2" << true;
    QTest::newRow("compared case-sensitively") << QByteArray("inp1 = bar\r\nINP1 = DEGRC\r\n")
        << QStringList{"INP1 = DEGRC", "", "", ""} << QString() << false;
    QTest::newRow("line feed alone stays in the line") << QByteArray("INP1 = bar\nSR1 = 7\r\n")
        << QStringList{"INP1 = bar\nSR1 = 7", "", "", ""} << QString() << false;
    QTest::newRow("later line wins") << QByteArray("INP1 = bar\r\nPri 1\r\nINP1 = degrF\r\nPri 2\r\n")
        << QStringList{"INP1 = " + Degree + "F", "", "", ""} << "Pri 2" << false;
    QTest::newRow("empty working file") << QByteArray() << QStringList{"", "", "", ""} << QString() << true;
    const QByteArray runaway = "INP1 = bar " + QByteArray(1 << 20, 'u');
    QTest::newRow("runaway line kept to its limit") << runaway + "\r\nSR1 = 7\rPri " + runaway
        << QStringList{QString::fromLatin1(runaway.left(HeaderLineLimit)), "SR1 = 7", "", ""}
        << QString::fromLatin1(("Pri " + runaway).left(HeaderLineLimit)) << false;
}

void TestHeaderRead::headerLinesAreTakenFromSixteenReads()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, headers);
    QFETCH(QString, label11);
    QFETCH(bool, error);

    HeaderFolder folder;
    folder.write(QStringLiteral("Vindo.qvx"), content);
    InstrumentHeader state;  // as Start leaves it: all four texts empty
    const HeaderReadResult result = folder.readHeader(state);

    QCOMPARE((QStringList{state.inp1Header, state.sr1Header, state.inp2Header, state.sr2Header}), headers);
    QCOMPARE(result.label11, label11);
    QCOMPARE(result.label11.isNull(), label11.isNull());
    QCOMPARE(result.transmissionError, error);
}

void TestHeaderRead::withoutWorkingFileTheTextsStay_data()
{
    QTest::addColumn<QString>("inp1");
    QTest::addColumn<bool>("error");

    QTest::newRow("after a stop") << "INP1" << false;
    QTest::newRow("after a start") << "" << true;
}

void TestHeaderRead::withoutWorkingFileTheTextsStay()
{
    QFETCH(QString, inp1);
    QFETCH(bool, error);

    HeaderFolder folder;
    InstrumentHeader state;
    state.inp1Header = inp1;
    state.sr1Header = QStringLiteral("SR1 = 9");
    // No working file is held (the folder could not be claimed).
    const HeaderReadResult result = folder.folder.readHeader(state);
    QCOMPARE(state.inp1Header, inp1);
    QCOMPARE(state.sr1Header, QStringLiteral("SR1 = 9"));
    QVERIFY(result.label11.isNull());
    QCOMPARE(result.transmissionError, error);
}

void TestHeaderRead::oldCopyIsReplaced_data()
{
    QTest::addColumn<QString>("oldCopy");
    QTest::addColumn<QString>("planted");   // "": this user's old copy

    QTest::newRow("same spelling") << "vindo.qvy" << "";
    QTest::newRow("other spelling") << "VINDO.QVY" << "";
    // In a folder shared with others: read from the working file instead.
    QTest::newRow("another user's copy") << "vindo.qvy" << "other user";
    QTest::newRow("a link out of the folder") << "vindo.qvy" << "link";
}

void TestHeaderRead::oldCopyIsReplaced()
{
    QFETCH(QString, oldCopy);
    QFETCH(QString, planted);

    HeaderFolder folder;
    QTemporaryDir outside;
    const QString secret = outside.filePath(QStringLiteral("secret"));
    folder.write(QStringLiteral("Vindo.qvx"), "INP1 = new\r\n");
    if (planted == QLatin1String("link")) {
        QFile out(secret);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("INP1 = old\r\n");
        out.close();
        QVERIFY(QFile::link(secret, QDir(folder.dir.path()).filePath(oldCopy)));
    } else {
        folder.write(oldCopy, "INP1 = old\r\n");
    }
    if (planted == QLatin1String("other user")) {
        if (::geteuid() != 0)
            QSKIP("needs root to make a file that belongs to another user");
        QVERIFY(::chown(QFile::encodeName(QDir(folder.dir.path()).filePath(oldCopy)).constData(), 65534, 65534) == 0);
    }
    InstrumentHeader state;
    folder.readHeader(state);
    QCOMPARE(state.inp1Header, QStringLiteral("INP1 = new"));
    QCOMPARE(QDir(folder.dir.path()).entryList(QDir::Files | QDir::System).size(), 2);
    if (planted == QLatin1String("other user")) {
        QFile theirs(QDir(folder.dir.path()).filePath(oldCopy));
        QVERIFY(theirs.open(QIODevice::ReadOnly));
        QCOMPARE(theirs.readAll(), QByteArray("INP1 = old\r\n"));
    }
    if (planted == QLatin1String("link")) {
        QFile out(secret);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), QByteArray("INP1 = old\r\n"));
    }
}

void TestHeaderRead::plantedNamesNeverDecideTheHeader_data()
{
    QTest::addColumn<QString>("planted");     // what lies in the folder besides our Vindo.qvx
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("othersFile");     // it belongs to another user (needs root)

    QTest::newRow("another user's vindo.qvx") << "file" << "vindo.qvx" << true;
    QTest::newRow("another user's empty vindo.qvx") << "empty" << "vindo.qvx" << true;
    QTest::newRow("another user's VINDO.QVX") << "file" << "VINDO.QVX" << true;
    QTest::newRow("a FIFO named vindo.qvx") << "fifo" << "vindo.qvx" << false;
    QTest::newRow("a link named vindo.qvx") << "link" << "vindo.qvx" << false;
    QTest::newRow("a FIFO as the copy") << "fifo" << "vindo.qvy" << false;
    QTest::newRow("another user's FIFO as the copy") << "fifo" << "vindo.qvy" << true;
    QTest::newRow("the working file moved, a link at its name") << "moved" << "Vindo.qvx" << false;
}

void TestHeaderRead::plantedNamesNeverDecideTheHeader()
{
    QFETCH(QString, planted);
    QFETCH(QString, name);
    QFETCH(bool, othersFile);
    if (othersFile && ::geteuid() != 0)
        QSKIP("needs root to make a file that belongs to another user");

    HeaderFolder folder;
    QTemporaryDir outside;
    const QString secret = outside.filePath(QStringLiteral("secret"));
    {
        QFile out(secret);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("INP1 = secret\r\n");
    }
    folder.write(QStringLiteral("Vindo.qvx"), "INP1 = ours\r\nSR1 = 1\r\n");
    QCOMPARE(folder.folder.claim(), MeasurementFolder::OpenResult::Opened);
    const QString path = folder.dir.filePath(name);
    if (planted == QLatin1String("file"))
        folder.write(name, "INP1 = theirs\r\nSR1 = 2\r\n");
    else if (planted == QLatin1String("empty"))
        folder.write(name, QByteArray());
    else if (planted == QLatin1String("fifo"))
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0666) == 0);
    else if (planted == QLatin1String("link"))
        QVERIFY(QFile::link(secret, path));
    else if (planted == QLatin1String("moved")) {
        QVERIFY(QFile::rename(path, folder.dir.filePath(QStringLiteral("moved.qvx"))));
        QVERIFY(QFile::link(secret, path));
    }
    if (othersFile)
        QVERIFY(folder.giveAway(name));

    // As after a start: the read must find the instrument's INP1 line.
    InstrumentHeader state;
    const HeaderReadResult result = folder.readHeader(state);
    QCOMPARE(state.inp1Header, QStringLiteral("INP1 = ours"));
    QCOMPARE(state.sr1Header, QStringLiteral("SR1 = 1"));
    QVERIFY(!result.transmissionError);
    // What was planted stays as it was.
    if (planted == QLatin1String("file"))
        QCOMPARE(folder.read(name), QByteArray("INP1 = theirs\r\nSR1 = 2\r\n"));
    if (planted == QLatin1String("empty"))
        QCOMPARE(QFileInfo(path).size(), 0);
    if (planted == QLatin1String("fifo") && othersFile)
        QVERIFY(QFileInfo(path).exists());
    QFile out(secret);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll(), QByteArray("INP1 = secret\r\n"));
}

void TestHeaderRead::unitIsTheTextAfterTheEqualsSign_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("unit");

    QTest::newRow("degrees") << "INP1 = " + Degree + "C" << Degree + "C";
    QTest::newRow("at most four characters") << "INP2 = mbar abs" << "mbar";
    QTest::newRow("bare INP1") << "INP1" << "";
    QTest::newRow("empty") << "" << "";
}

void TestHeaderRead::unitIsTheTextAfterTheEqualsSign()
{
    QFETCH(QString, header);
    QFETCH(QString, unit);
    QCOMPARE(headerUnit(header), unit);
}

QTEST_GUILESS_MAIN(TestHeaderRead)
#include "tst_headerread.moc"
