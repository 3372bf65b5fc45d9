// Received blocks: the receive box, the working file, the last complete
// line and the figures, meters and overload labels it drives.

#include "FileSizeLimit.h"
#include "LiveModel.h"
#include "SampleProcessor.h"
#include "InstrumentState.h"
#include "Windows1252.h"
#include "WorkingFile.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// The processor with its ranges and a working file in a temporary folder,
// at a fixed moment so the notes header is known in advance.
struct Receiver
{
    explicit Receiver(const QString &language = QStringLiteral("English"))
    {
        processor.setLanguage(languageFromText(language));
        ranges.rangeLimit1 = 1000;
        ranges.rangeLimit2 = 1000;
        processor.setClock([this] { return now; });
        processor.setNotesProvider([this] { return notes; });
        processor.setIncompleteLineHandler([this] { ++beeps; });
        processor.setWriteFailureHandler([this](const QString &error) { writeErrors << error; });
        file.open(path());
    }

    QString path() const { return dir.filePath(QStringLiteral("Vindo.qvx")); }
    QByteArray recorded() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void receive(const QByteArray &block) { processor.processBlock(live.received, block); }

    /// The notes header as the file must hold it.
    QByteArray header(const QString &timeLabel, const QString &dateLabel) const
    {
        const QString date = QLocale::system().toString(now.date(), QLocale::ShortFormat);
        return (timeLabel + QStringLiteral("09:07:03\r") + dateLabel + date + QStringLiteral("\rNotes :  ")
                + QString(notes).replace(QLatin1Char('\t'), QLatin1Char(';')) + QStringLiteral("\r"))
            .toLatin1();
    }

    QTemporaryDir dir;
    SensorRanges ranges;
    LiveModel live;
    WorkingFile file;
    int beeps = 0;               ///< blocks that arrived with no complete line known
    QStringList writeErrors;     ///< write failures reported, in order
    SampleProcessor processor{ranges, live, file};
    QDateTime now{QDate(2024, 3, 5), QTime(9, 7, 3)};
    QString notes;
};

} // namespace

class TestProcessing : public QObject
{
    Q_OBJECT

private slots:
    void lastLineDrivesFiguresMetersAndLabels_data();
    void lastLineDrivesFiguresMetersAndLabels();
    void sevenWordsAreShownAndMissingOnesEmptied();
    void blockIsFilteredForBoxAndFile_data();
    void blockIsFilteredForBoxAndFile();
    void tabsAreRecordedAsSemicolonsUnlessSetOtherwise();
    void notesHeaderReplacesTheFirstBlock_data();
    void notesHeaderReplacesTheFirstBlock();
    void notesHeaderWordsAreShownUntilTheFirstLine();
    void notesAreRecordedInTheWesternWindowsCodePage_data();
    void notesAreRecordedInTheWesternWindowsCodePage();
    void unknownLanguageKeepsThePreviousLabels();
    void blockWithoutLineEndKeepsTheShownLine();
    void beepsUntilTheFirstLineEnds();
    void linesAreGatheredAcrossBlocks_data();
    void linesAreGatheredAcrossBlocks();
    void startOfTheNextLineIsKept();
    void lastCompleteLineIsShownAtAnyBoundary_data();
    void lastCompleteLineIsShownAtAnyBoundary();
    void receiveBoxIsTrimmed_data();
    void receiveBoxIsTrimmed();
    void largeBlockLeavesTheBoxBounded_data();
    void largeBlockLeavesTheBoxBounded();
    void longLineShowsItsTail();
    void unendedLineIsBoundedButRecorded();
    void writeFailureWaitsThenDropStopsRecording();
    void retriedBlockIsRecordedOnce();
    void blockArrivingDuringTheQuestionFollowsTheOneBefore();
    void recordedBytesDoNotDependOnPieces_data();
    void recordedBytesDoNotDependOnPieces();
};

void TestProcessing::lastLineDrivesFiguresMetersAndLabels_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("act");
    QTest::addColumn<qint16>("limit");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<qint16>("level");
    QTest::addColumn<bool>("overload");

    QTest::newRow("Deutsch comma reads up to it") << "Deutsch" << "12.5" << qint16(12) << "12,5" << qint16(12) << false;
    QTest::newRow("Francais comma") << "Francais" << "0.5" << qint16(0) << "0,5" << qint16(0) << false;
    QTest::newRow("English half to even down") << "English" << "12.5" << qint16(12) << "12.5" << qint16(12) << true;
    QTest::newRow("English half to even up") << "English" << "13.5" << qint16(1000) << "13.5" << qint16(14) << false;
    QTest::newRow("negative") << "English" << "-3.5" << qint16(0) << "-3.5" << qint16(-4) << false;
    QTest::newRow("overload word") << "English" << "*Ovl*" << qint16(1000) << "*Ovl*" << qint16(0) << true;
    QTest::newRow("beyond the meter keeps its level") << "English" << "40000" << qint16(1000) << "40000" << qint16(7) << true;
    QTest::newRow("equal to the limit") << "English" << "100" << qint16(100) << "100" << qint16(100) << false;
}

void TestProcessing::lastLineDrivesFiguresMetersAndLabels()
{
    QFETCH(QString, language);
    QFETCH(QString, act);
    QFETCH(qint16, limit);
    QFETCH(QString, shown);
    QFETCH(qint16, level);
    QFETCH(bool, overload);

    Receiver r(language);
    r.ranges.rangeLimit1 = limit;
    r.ranges.rangeLimit2 = limit;
    r.live.inp1Level = 7;
    r.live.inp2Level = 7;
    r.live.inp1Overload = !overload;
    r.live.inp2Overload = !overload;
    const quint64 revision = r.live.revision;

    r.receive((QStringLiteral("1 ") + act + QStringLiteral(" 2 3 ") + act + QStringLiteral(" 5 6\r")).toLatin1());

    QCOMPARE(r.live.inp1Actual, shown);
    QCOMPARE(r.live.inp2Actual, shown);
    QCOMPARE(r.live.inp1Level, level);
    QCOMPARE(r.live.inp2Level, level);
    QCOMPARE(r.live.inp1Overload, overload);
    QCOMPARE(r.live.inp2Overload, overload);
    QCOMPARE(r.live.revision, revision + 1);
}

void TestProcessing::sevenWordsAreShownAndMissingOnesEmptied()
{
    Receiver r;
    r.receive("  0.5   1  2 3 4 5 6 7\r");
    const QStringList shown{r.live.sampleTime, r.live.inp1Actual, r.live.inp1Max, r.live.inp1Min,
                            r.live.inp2Actual, r.live.inp2Max, r.live.inp2Min};
    QCOMPARE(shown, (QStringList{"0.5", "1", "2", "3", "4", "5", "6"}));

    r.receive("9 8\r");
    const QStringList shortLine{r.live.sampleTime, r.live.inp1Actual, r.live.inp1Max, r.live.inp2Min};
    QCOMPARE(shortLine, (QStringList{"9", "8\r\n", "", ""}));
}

void TestProcessing::blockIsFilteredForBoxAndFile_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("recorded");

    QTest::newRow("backspace inside a block") << "English" << "" << QByteArray("ab\bc") << "ac" << QByteArray("ac");
    QTest::newRow("two backspaces") << "English" << "" << QByteArray("abc\b\bd") << "ad" << QByteArray("ad");
    QTest::newRow("backspace starts the block") << "English" << "xy" << QByteArray("\bz") << "xz" << QByteArray("z");
    QTest::newRow("backspace starts the first block") << "English" << "" << QByteArray("\bz") << "z" << QByteArray("z");
    QTest::newRow("backspace removes a line end") << "English" << "" << QByteArray("a\r\bb") << "ab" << QByteArray("ab");
    QTest::newRow("lone carriage return") << "English" << "" << QByteArray("\r") << "\r\n" << QByteArray("\r\n");
    QTest::newRow("lone line feed dropped") << "English" << "x" << QByteArray("\n") << "x" << QByteArray();
    QTest::newRow("line feed before return") << "English" << "" << QByteArray("a\n\rb") << "a\r\nb" << QByteArray("a\r\nb");
    QTest::newRow("both line ends") << "English" << "" << QByteArray("a\r\nb\r\n") << "a\r\nb\r\n" << QByteArray("a\r\nb\r\n");
    QTest::newRow("English points and tabs") << "English" << "" << QByteArray("1.5\t2.5") << "1.5\t2.5" << QByteArray("1.5;2.5");
    QTest::newRow("Deutsch points") << "Deutsch" << "" << QByteArray("1.5\t2.5") << "1,5\t2,5" << QByteArray("1,5;2,5");
    QTest::newRow("Latin-1 byte unchanged") << "English" << "" << QByteArray("\xb0" "C") << QStringLiteral(u"\u00b0C") << QByteArray("\xb0" "C");
}

void TestProcessing::blockIsFilteredForBoxAndFile()
{
    QFETCH(QString, language);
    QFETCH(QString, before);
    QFETCH(QByteArray, block);
    QFETCH(QString, shown);
    QFETCH(QByteArray, recorded);

    Receiver r(language);
    r.live.received.text = before;
    r.receive(block);
    QCOMPARE(r.live.received.text, shown);
    QCOMPARE(r.live.received.selStart, int(shown.size()));
    QCOMPARE(r.recorded(), recorded);
}

void TestProcessing::tabsAreRecordedAsSemicolonsUnlessSetOtherwise()
{
    Receiver r;
    r.receive("a\tb");
    r.processor.setTabsAsSemicolons(false);
    r.receive("a\tb");
    r.processor.setTabsAsSemicolons(true);
    r.receive("a\tb");
    QCOMPARE(r.recorded(), QByteArray("a;ba\tba;b"));
}

void TestProcessing::notesHeaderReplacesTheFirstBlock_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("timeLabel");
    QTest::addColumn<QString>("dateLabel");
    QTest::addColumn<QByteArray>("secondLine");

    QTest::newRow("Deutsch") << "Deutsch" << "  Uhrzeit: " << "  Datum: " << QByteArray("SR1 = 2,5 07\r\n");
    QTest::newRow("English") << "English" << "  Time: " << "  Date: " << QByteArray("SR1 = 2.5 07\r\n");
    QTest::newRow("Francais") << "Francais" << "  Temps: " << "  Date: " << QByteArray("SR1 = 2,5 07\r\n");
    QTest::newRow("none of the three") << "Deutsch " << "" << "" << QByteArray("SR1 = 2.5 07\r\n");
}

void TestProcessing::notesHeaderReplacesTheFirstBlock()
{
    QFETCH(QString, language);
    QFETCH(QString, timeLabel);
    QFETCH(QString, dateLabel);
    QFETCH(QByteArray, secondLine);

    Receiver r(language);
    r.notes = QStringLiteral("first.run\twith tab");
    r.processor.expectNotesHeader();
    r.receive("INP1 = bar\r");

    QCOMPARE(r.live.received.text, QStringLiteral("INP1 = bar\r\n"));
    QCOMPARE(r.recorded(), r.header(timeLabel, dateLabel));
    QVERIFY(!r.processor.notesHeaderPending());

    r.receive("SR1 = 2.5 07\r");
    QCOMPARE(r.recorded(), r.header(timeLabel, dateLabel) + secondLine);
}

void TestProcessing::notesAreRecordedInTheWesternWindowsCodePage_data()
{
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QByteArray>("recorded");   // the notes line's text in the file
    QTest::addColumn<QStringList>("pointedOut"); // what the notes field names

    QTest::newRow("plain") << "run 7" << QByteArray("run 7") << QStringList();
    QTest::newRow("Latin-1 letters") << u"Prüfung à 20 °C"_s << QByteArray("Pr\xfc" "fung \xe0 20 \xb0" "C")
                                     << QStringList();
    QTest::newRow("euro, quotes, dash") << u"5 € – „gut“ ‰"_s << QByteArray("5 \x80 \x96 \x84gut\x93 \x89")
                                        << QStringList();
    QTest::newRow("Greek and Japanese") << u"ΔT 日本 Δ"_s << QByteArray("?T ?? ?")
                                        << QStringList{u"Δ"_s, u"日"_s, u"本"_s};
    QTest::newRow("one character in two units") << u"ok 😀"_s << QByteArray("ok ?") << QStringList{u"😀"_s};
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("?") << QStringList{QString(QChar(0xD800))};
    QTest::newRow("control of 0x80-0x9F") << QString(QChar(0x81)) << QByteArray("?") << QStringList{QString(QChar(0x81))};
}

void TestProcessing::notesAreRecordedInTheWesternWindowsCodePage()
{
    QFETCH(QString, notes);
    QFETCH(QByteArray, recorded);
    QFETCH(QStringList, pointedOut);

    Receiver r;
    r.notes = notes;
    r.processor.expectNotesHeader();
    r.receive("INP1 = bar\r");
    const QList<QByteArray> lines = r.recorded().split('\r');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(2), "Notes :  " + recorded);
    QCOMPARE(windows1252::unencodable(notes), pointedOut);
}

void TestProcessing::notesHeaderWordsAreShownUntilTheFirstLine()
{
    Receiver r;
    r.processor.expectNotesHeader();
    r.receive("INP1 = ");
    QCOMPARE(r.live.sampleTime, QStringLiteral("Time:"));
    QCOMPARE(r.live.inp1Actual, QStringLiteral("09:07:03\r"));
    QCOMPARE(r.live.inp1Max, QStringLiteral("Date:"));
    QCOMPARE(r.live.inp1Level, qint16(9));

    // The start received in place of the header is no part of the next line.
    r.receive("bar\r");
    QCOMPARE(r.live.sampleTime, QStringLiteral("bar\r\n"));
}

void TestProcessing::unknownLanguageKeepsThePreviousLabels()
{
    Receiver r(QStringLiteral("Francais"));
    r.receive("x");
    r.processor.setLanguage(Language::Other);
    r.processor.expectNotesHeader();
    r.receive("y");
    QCOMPARE(r.recorded(), "x" + r.header(QStringLiteral("  Temps: "), QStringLiteral("  Date: ")));
}

void TestProcessing::blockWithoutLineEndKeepsTheShownLine()
{
    Receiver r;
    r.receive("1 2 3 4 5 6 7\r");
    const int beepsBefore = r.beeps;
    r.receive("8 9 10");
    QCOMPARE(r.live.sampleTime, QStringLiteral("1"));
    QCOMPARE(r.live.inp1Actual, QStringLiteral("2"));
    QCOMPARE(r.live.lastLine, QStringLiteral("1 2 3 4 5 6 7\r\n"));
    QCOMPARE(r.beeps, beepsBefore);
}

void TestProcessing::beepsUntilTheFirstLineEnds()
{
    Receiver r;
    r.receive("1 2");
    r.receive(" 3");
    QCOMPARE(r.beeps, 2);
    QVERIFY(r.live.lastLineWords.isEmpty());
    r.receive("\r");
    QCOMPARE(r.beeps, 2);
    QCOMPARE(r.live.lastLineWords, (QStringList{"1", "2", "3\r\n"}));
}

void TestProcessing::linesAreGatheredAcrossBlocks_data()
{
    QTest::addColumn<QList<QByteArray>>("blocks");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("rest");

    QTest::newRow("torn in the middle") << QList<QByteArray>{"1 2 3 ", "4 5 6 7\r"}
                                        << "1 2 3 4 5 6 7\r\n" << "";
    QTest::newRow("line feed in the next block") << QList<QByteArray>{"1 2 3 4 5 6 7\r", "\n"}
                                                 << "1 2 3 4 5 6 7\r\n" << "";
    QTest::newRow("tabs and semicolons removed") << QList<QByteArray>{"1\t2;3\r"} << "123\r\n" << "";
    QTest::newRow("two lines in one block") << QList<QByteArray>{"1 2\r3 4\r"} << "3 4\r\n" << "";
    QTest::newRow("end of one line, a whole one and a start") << QList<QByteArray>{"1 2", " 3\r4 5\r6"}
                                                              << "4 5\r\n" << "6";
    QTest::newRow("empty last line") << QList<QByteArray>{"1 2\r\r"} << "\r\n" << "";
    QTest::newRow("start of the next line kept") << QList<QByteArray>{"1 2", " 3\r4 5"} << "1 2 3\r\n" << "4 5";
    QTest::newRow("kept start joins its end") << QList<QByteArray>{"1 2 3\r4", " 5\r6"} << "4 5\r\n" << "6";
}

void TestProcessing::linesAreGatheredAcrossBlocks()
{
    QFETCH(QList<QByteArray>, blocks);
    QFETCH(QString, line);
    QFETCH(QString, rest);

    Receiver r;
    for (const QByteArray &block : std::as_const(blocks))
        r.receive(block);
    QCOMPARE(r.live.lastLine, line);
    QCOMPARE(r.processor.lineBuffer(), rest);
}

void TestProcessing::startOfTheNextLineIsKept()
{
    Receiver r;
    r.receive("0.5 1 2 3 4 5 6\r1.0 11");
    QCOMPARE(r.live.sampleTime, QStringLiteral("0.5"));
    r.receive(" 12 13 14 15 16\r");
    QCOMPARE(r.live.sampleTime, QStringLiteral("1.0"));
    QCOMPARE(r.live.inp1Actual, QStringLiteral("11"));
    QCOMPARE(r.live.inp1Level, qint16(11));
}

void TestProcessing::lastCompleteLineIsShownAtAnyBoundary_data()
{
    QTest::addColumn<QList<int>>("pieces");  // sizes of the blocks, repeated

    for (int size : {1, 2, 7, 41, 42, 43, 84, 85, 100, 500})
        QTest::addRow("blocks of %d", size) << QList<int>{size};
    QTest::newRow("a line end alone") << QList<int>{41, 1, 1};
    QTest::newRow("mixed") << QList<int>{3, 90, 1, 140, 46};
}

void TestProcessing::lastCompleteLineIsShownAtAnyBoundary()
{
    QFETCH(QList<int>, pieces);

    // Lines of 42 characters whose seven values all differ.
    QByteArray stream;
    for (int i = 1; i <= 12; ++i) {
        QByteArray line = QByteArray::number(i).rightJustified(4, ' ');
        for (int value = 1; value <= 6; ++value)
            line += QByteArray::number(i * 10 + value).rightJustified(6, ' ');
        stream += line + "\r\n";
    }
    Receiver r;
    qsizetype sent = 0;
    for (int k = 0; sent < stream.size(); ++k) {
        const QByteArray block = stream.mid(sent, pieces.at(k % pieces.size()));
        r.receive(block);
        sent += block.size();
        // The line that ended last in what was sent so far.
        const QByteArray upTo = stream.left(sent);
        const qsizetype end = upTo.lastIndexOf('\r');
        if (end < 0)
            continue;
        const QList<QByteArray> words = upTo.left(end).mid(upTo.lastIndexOf('\n', end) + 1).simplified().split(' ');
        const QStringList shown{r.live.sampleTime, r.live.inp1Actual, r.live.inp1Max, r.live.inp1Min,
                                r.live.inp2Actual, r.live.inp2Max, r.live.inp2Min.trimmed()};
        QStringList expected;
        for (const QByteArray &word : words)
            expected << QString::fromLatin1(word);
        QCOMPARE(shown, expected);
        QCOMPARE(r.live.inp1Level, qint16(expected.at(1).toInt()));
    }
}

void TestProcessing::receiveBoxIsTrimmed_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("keptFrom");
    QTest::addColumn<bool>("imageShown");

    QTest::newRow("empty box") << 0 << 0 << false;
    QTest::newRow("just below the limit") << 16383 << 0 << true;
    QTest::newRow("at the limit") << 16384 << 4096 << true;
    QTest::newRow("above the limit") << 20000 << 4096 << true;
}

void TestProcessing::receiveBoxIsTrimmed()
{
    QFETCH(int, length);
    QFETCH(int, keptFrom);
    QFETCH(bool, imageShown);

    Receiver r;
    QString before;
    for (int i = 0; i < length; ++i)
        before += QChar(u'a' + i % 26);
    r.live.received.text = before;
    r.live.idlePictureShown = true;
    r.receive("XYZ");
    QCOMPARE(r.live.received.text, before.mid(keptFrom) + QStringLiteral("XYZ"));
    QCOMPARE(r.live.graphPictureShown, imageShown);
    QCOMPARE(r.live.idlePictureShown, !imageShown);
}

void TestProcessing::largeBlockLeavesTheBoxBounded_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("keptFrom");  // of the text before; -1: none of it
    QTest::addColumn<QString>("shownTail");  // of the block; null: all of it

    const int cap = SampleProcessor::ReceivedCap;
    QTest::newRow("block fills the room") << 10000 << QByteArray(cap - 10000, 'x') << 0 << QString();
    QTest::newRow("one past the room") << 10000 << QByteArray(cap - 9999, 'x') << 4096 << QString();
    QTest::newRow("two steps past") << 10000 << QByteArray(cap - 10000 + 4097, 'x') << 8192 << QString();
    QTest::newRow("trimmed, then room enough") << 16384 << QByteArray(8000, 'x') << 4096 << QString();
    QTest::newRow("larger than the box") << 100 << QByteArray(3 * cap, 'x') << -1 << QString(cap, QLatin1Char('x'));
    QByteArray lineEnds(cap, '\r');
    QTest::newRow("tail does not begin inside a line end") << 100 << lineEnds + "z" << -1
        << QString(QStringLiteral("\r\n")).repeated(cap / 2 - 1) + QLatin1Char('z');
}

void TestProcessing::largeBlockLeavesTheBoxBounded()
{
    QFETCH(int, before);
    QFETCH(QByteArray, block);
    QFETCH(int, keptFrom);
    QFETCH(QString, shownTail);

    Receiver r;
    QString text;
    for (int i = 0; i < before; ++i)
        text += QChar(u'a' + i % 26);
    r.live.received.text = text;
    r.receive(block);

    const QString expected = shownTail.isNull() ? text.mid(keptFrom) + QString::fromLatin1(block) : shownTail;
    QCOMPARE(r.live.received.text.size(), expected.size());
    QCOMPARE(r.live.received.text, expected);
    QVERIFY(r.live.received.text.size() <= SampleProcessor::ReceivedCap);
    QCOMPARE(r.live.received.selStart, int(expected.size()));
    QCOMPARE(r.recorded().size(), block.size() + block.count('\r'));
}

void TestProcessing::longLineShowsItsTail()
{
    // A line far longer than the kept text, in one block: its newest part
    // and its line end are split, and the next line is shown whole.
    Receiver r;
    const QByteArray longLine = "1 2 " + QByteArray(1 << 20, '9') + " 5 6\r";
    r.receive(longLine + "7 8\r");
    QCOMPARE(r.live.sampleTime, QStringLiteral("7"));
    r.receive(longLine);
    QCOMPARE(r.live.lastLine.size(), SampleProcessor::LineBufferLimit + 2);
    QCOMPARE(r.live.lastLine, QString::fromLatin1(longLine.right(SampleProcessor::LineBufferLimit + 1)) + QLatin1Char('\n'));
    QCOMPARE(r.live.inp1Actual, QStringLiteral("5"));
    QCOMPARE(r.recorded().size(), 2 * (longLine.size() + 1) + 5);
}

void TestProcessing::unendedLineIsBoundedButRecorded()
{
    Receiver r;
    for (char c : {'a', 'b', 'c'})
        r.receive(QByteArray(3000, c));
    const QString newest = QString(1096, QLatin1Char('b')) + QString(3000, QLatin1Char('c'));
    QCOMPARE(r.processor.lineBuffer(), newest);
    QCOMPARE(r.recorded().size(), 9000);

    r.receive("\r");
    QCOMPARE(r.live.lastLine, newest + QStringLiteral("\r\n"));
}

void TestProcessing::writeFailureWaitsThenDropStopsRecording()
{
    Receiver r;
    if (!r.file.openForAppend(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this system");

    // The failure is told once; the block waits for the decision.
    r.receive("a\r");
    QCOMPARE(r.writeErrors.size(), 1);
    QVERIFY(!r.writeErrors.first().isEmpty());
    QVERIFY(r.processor.writesWaiting());
    QVERIFY(r.file.isOpen());
    r.processor.retryWrites();
    QCOMPARE(r.writeErrors.size(), 2);

    // Dropping stops recording; what follows is shown, not recorded.
    r.processor.dropWrites();
    QVERIFY(!r.file.isOpen());
    r.receive("b\r");
    QCOMPARE(r.writeErrors.size(), 2);
    QCOMPARE(r.live.received.text, QStringLiteral("a\r\nb\r\n"));
    QCOMPARE(r.live.sampleTime, QStringLiteral("b\r\n"));
}

void TestProcessing::retriedBlockIsRecordedOnce()
{
    Receiver r;
    QVERIFY(r.file.write("0123456789"));
    FileSizeLimit limit(16);
    QVERIFY(limit.isActive());

    // The block fits only in part: the part written is taken back.
    r.receive("ABCDEFGHIJKL\r");
    QCOMPARE(r.writeErrors.size(), 1);
    limit.lift();
    r.processor.retryWrites();
    QCOMPARE(r.writeErrors.size(), 1);
    QCOMPARE(r.recorded(), QByteArray("0123456789ABCDEFGHIJKL\r\n"));
}

void TestProcessing::blockArrivingDuringTheQuestionFollowsTheOneBefore()
{
    Receiver r;
    FileSizeLimit limit(4);
    r.receive("first\r");
    QCOMPARE(r.writeErrors.size(), 1);
    // A block that arrives while the failure is undecided waits behind it.
    r.receive("second\r");
    QCOMPARE(r.writeErrors.size(), 1);
    limit.lift();
    r.processor.retryWrites();

    QCOMPARE(r.recorded(), QByteArray("first\r\nsecond\r\n"));
    QCOMPARE(r.live.received.text, QStringLiteral("first\r\nsecond\r\n"));
}

void TestProcessing::recordedBytesDoNotDependOnPieces_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<QByteArray>("body");

    const QByteArray english = "INP1 = degrC\r\nSR1 = 2.5 bar 07\r\nPri 1.02\r\n"
                               "0.5;12.5;13.0;11.9;*Ovl*;*Ovl*;0.0\r\n"
                               "1.0;12.6;13.0;11.9;1.25;1.30;0.0\r\n";
    const QByteArray deutsch = "INP1 = degrC\r\nSR1 = 2,5 bar 07\r\nPri 1,02\r\n"
                               "0,5;12,5;13,0;11,9;*Ovl*;*Ovl*;0,0\r\n"
                               "1,0;12,6;13,0;11,9;1,25;1,30;0,0\r\n";
    for (int size : {1, 2, 5, 13, 1000})
        QTest::addRow("English in pieces of %d", size) << "English" << size << english;
    for (int size : {1, 3, 1000})
        QTest::addRow("Deutsch in pieces of %d", size) << "Deutsch" << size << deutsch;
}

void TestProcessing::recordedBytesDoNotDependOnPieces()
{
    QFETCH(QString, language);
    QFETCH(int, pieceSize);
    QFETCH(QByteArray, body);

    // What the instrument sends after the first piece, tabs between values.
    const QByteArray stream = "INP1 = degrC\r\nSR1 = 2.5 bar 07\r\nPri 1.02\r\n"
                              "0.5\t12.5\t13.0\t11.9\t*Ovl*\t*Ovl*\t0.0\r\n"
                              "1.0\t12.6\t13.0\t11.9\t1.25\t1.30\t0.0\r\n";
    Receiver r(language);
    r.notes = QStringLiteral("Test 1.5");
    r.processor.expectNotesHeader();
    r.receive("\r\n");
    for (qsizetype i = 0; i < stream.size(); i += pieceSize)
        r.receive(stream.mid(i, pieceSize));

    const bool deutsch = language == QLatin1String("Deutsch");
    const QByteArray header = deutsch ? r.header(QStringLiteral("  Uhrzeit: "), QStringLiteral("  Datum: "))
                                      : r.header(QStringLiteral("  Time: "), QStringLiteral("  Date: "));
    QCOMPARE(r.recorded(), header + body);
}

QTEST_GUILESS_MAIN(TestProcessing)
#include "tst_processing.moc"
