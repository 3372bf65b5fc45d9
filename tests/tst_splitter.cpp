// Breaking the last complete line into its words.

#include "LiveModel.h"
#include "WordSplitter.h"

#include <QtTest>

class TestSplitter : public QObject
{
    Q_OBJECT

private slots:
    void wordsFollowTheDelimiterRules_data();
    void wordsFollowTheDelimiterRules();
    void emptyDelimiterGivesNoWords();
    void lastLineKeepsOnlyNonEmptyWords_data();
    void lastLineKeepsOnlyNonEmptyWords();
    void emptyLineLeavesTheListAndAsksForTheBeep();
};

// Every word the splitter gives until it gives nothing (bounded, so a
// splitter that never ends fails the test instead of hanging it).
static QStringList allWords(WordSplitter &splitter)
{
    QStringList words;
    std::optional<QString> word = splitter.next();
    while (word && words.size() < 100) {
        words.append(*word);
        word = splitter.next();
    }
    return words;
}

void TestSplitter::wordsFollowTheDelimiterRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<QStringList>("delimiters");
    QTest::addColumn<QStringList>("words");

    const QStringList space{" "};
    QTest::newRow("two words") << "ab cd" << true << space << QStringList{"ab", "cd"};
    QTest::newRow("space run gives empty words") << "   12    1,234   5,6" << true << space
        << QStringList{"", "", "", "12", "", "", "", "1,234", "", "", "5,6"};
    QTest::newRow("space run, case respected") << "  7 x  y" << false << space
        << QStringList{"", "", "7", "x", "", "y"};
    QTest::newRow("one trailing space adds nothing") << "ab " << true << space << QStringList{"ab"};
    QTest::newRow("two trailing spaces add one empty word") << "ab  " << true << space << QStringList{"ab", ""};
    QTest::newRow("no space: one word") << "12.5;7" << true << space << QStringList{"12.5;7"};
    QTest::newRow("one character: nothing") << "x" << true << space << QStringList{};
    QTest::newRow("empty: nothing") << "" << true << space << QStringList{};
    QTest::newRow("single-letter last word") << "12 5" << true << space << QStringList{"12", "5"};
    QTest::newRow("tab is no delimiter") << "a\tb c" << true << space << QStringList{"a\tb", "c"};
    QTest::newRow("longer delimiters, nearest first") << "1, 2;3" << true
        << QStringList({", ", ";"}) << QStringList{"1", "2", "3"};
    QTest::newRow("case ignored") << "aXbxc" << true << QStringList({"x"})
        << QStringList{"a", "b", "c"};
    QTest::newRow("case respected") << "aXbxc" << false << QStringList({"x"})
        << QStringList{"aXb", "c"};
    QTest::newRow("tie: later delimiter wins (longer)") << "1ab2" << true
        << QStringList({"a", "ab"}) << QStringList{"1", "2"};
    QTest::newRow("tie: later delimiter wins (shorter)") << "1ab2" << true
        << QStringList({"ab", "a"}) << QStringList{"1", "b2"};
}

void TestSplitter::wordsFollowTheDelimiterRules()
{
    QFETCH(QString, text);
    QFETCH(bool, ignoreCase);
    QFETCH(QStringList, delimiters);
    QFETCH(QStringList, words);

    WordSplitter splitter(text, delimiters, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive);
    QCOMPARE(allWords(splitter), words);
    QVERIFY(!splitter.next());
}

void TestSplitter::emptyDelimiterGivesNoWords()
{
    // It would match at the same place forever.
    WordSplitter splitter(QStringLiteral("a b"), {QStringLiteral(" "), QString()});
    QCOMPARE(allWords(splitter), QStringList());
}

void TestSplitter::lastLineKeepsOnlyNonEmptyWords_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("runs of spaces") << "   12    1,234   5,6" << QStringList{"12", "1,234", "5,6"};
    QTest::newRow("one character clears the list") << "x" << QStringList{};
    QTest::newRow("no space") << "abc" << QStringList{"abc"};
    QTest::newRow("line end stays on the last word") << "0.5 1 2\r\n" << QStringList{"0.5", "1", "2\r\n"};
}

void TestSplitter::lastLineKeepsOnlyNonEmptyWords()
{
    QFETCH(QString, line);
    QFETCH(QStringList, items);

    LiveModel live;
    live.lastLineWords = QStringList{"old", "items"};
    live.lastLine = line;
    QVERIFY(splitLastLine(live));
    QCOMPARE(live.lastLineWords, items);
}

void TestSplitter::emptyLineLeavesTheListAndAsksForTheBeep()
{
    LiveModel live;
    live.lastLineWords = QStringList{"kept"};
    QVERIFY(!splitLastLine(live));
    QCOMPARE(live.lastLineWords, QStringList{"kept"});
}

QTEST_GUILESS_MAIN(TestSplitter)
#include "tst_splitter.moc"
