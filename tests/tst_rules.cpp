// The number rules and the item reader that every window shares.

#include "Rules.h"
#include "SettingsFile.h"
#include "SettingsItems.h"

#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class TestRules : public QObject
{
    Q_OBJECT

private slots:
    void leadingNumberReadsThePrefix_data();
    void leadingNumberReadsThePrefix();
    void halvesRoundToTheEvenNeighbour_data();
    void halvesRoundToTheEvenNeighbour();
    void int16RangeIsChecked();
    void itemsSplitAtCommasAndLineEnds_data();
    void itemsSplitAtCommasAndLineEnds();
    void failedReadKeepsThePreviousItem();
    void missingFileReadsNothing();
    void hugeFileIsReadOnlyInPart();
    void settingsOfStrangersReadAsNoFile_data();
    void settingsOfStrangersReadAsNoFile();
    void startUpAndDialogReadTheSettingsByTheirOwnRules_data();
    void startUpAndDialogReadTheSettingsByTheirOwnRules();
};

void TestRules::leadingNumberReadsThePrefix_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "12.5" << 12.5;
    QTest::newRow("blanks first") << "   42" << 42.0;
    QTest::newRow("comma ends it") << "12,7" << 12.0;
    QTest::newRow("overload") << "*Ovl*" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("negative") << "-3" << -3.0;
    QTest::newRow("trailing letters") << "04abc" << 4.0;
    QTest::newRow("point only") << ".5" << 0.5;
    QTest::newRow("second point ends it") << "1.2.3" << 1.2;
    QTest::newRow("letters first") << "SK1" << 0.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("trailing point") << "1." << 1.0;
    QTest::newRow("blank inside") << "1 2" << 12.0;
    QTest::newRow("very long") << QString(100, QLatin1Char('9')) + QStringLiteral(".5") << 1e100;
    QTest::newRow("negative fraction") << "-0.25x" << -0.25;
}

void TestRules::leadingNumberReadsThePrefix()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(rules::leadingNumber(text), value);
}

void TestRules::halvesRoundToTheEvenNeighbour_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("rounded");
    QTest::newRow("12.5") << 12.5 << 12.0;
    QTest::newRow("13.5") << 13.5 << 14.0;
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("158.5") << 158.5 << 158.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("-3.5") << -3.5 << -4.0;
    QTest::newRow("3.6") << 3.6 << 4.0;
    QTest::newRow("12.49") << 12.49 << 12.0;
}

void TestRules::halvesRoundToTheEvenNeighbour()
{
    QFETCH(double, value);
    QFETCH(double, rounded);
    QCOMPARE(rules::roundHalfEven(value), rounded);
}

void TestRules::int16RangeIsChecked()
{
    QCOMPARE(rules::toInt16(32767.4).value(), qint16(32767));
    QVERIFY(!rules::toInt16(32767.6).has_value());
    QCOMPARE(rules::toInt16(-32768).value(), qint16(-32768));
    QVERIFY(!rules::toInt16(1e12).has_value());
    QCOMPARE(rules::toInt32(21756.5).value(), 21756);
}

void TestRules::itemsSplitAtCommasAndLineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("nine lines") << QByteArray("C:\\x.exe\r\n1\r\nEnglish\r\n 15 \r\n 1 \r\n\r\n\r\n0\r\nReady\r\n")
                                << QStringList{"C:\\x.exe", "1", "English", "15", "1", "", "", "0", "Ready"};
    QTest::newRow("comma") << QByteArray("4,8\r\n") << QStringList{"4", "8"};
    QTest::newRow("quotes") << QByteArray("\"a, b\",c\r\n") << QStringList{"a, b", "c"};
    QTest::newRow("leading blanks") << QByteArray("   x\n  y") << QStringList{"x", "y"};
    QTest::newRow("no final line end") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("latin-1") << QByteArray("Fran\xe7""ais\r\n") << QStringList{QString::fromLatin1("Fran\xe7""ais")};
}

void TestRules::itemsSplitAtCommasAndLineEnds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, items);
    SettingsItems reader = SettingsItems::fromBytes(bytes);
    QStringList read;
    QString item;
    while (reader.next(item))
        read << item;
    QCOMPARE(read, items);
}

void TestRules::failedReadKeepsThePreviousItem()
{
    SettingsItems reader = SettingsItems::fromBytes("12\r\n");
    QString item = QStringLiteral("old");
    QVERIFY(reader.next(item));
    QCOMPARE(item, QStringLiteral("12"));
    QVERIFY(!reader.next(item));
    QCOMPARE(item, QStringLiteral("12"));
}

void TestRules::missingFileReadsNothing()
{
    QTemporaryDir dir;
    SettingsItems reader(dir.filePath(QStringLiteral("absent.ini")));
    QVERIFY(!reader.isOpen());
    QString item = QStringLiteral("kept");
    QVERIFY(!reader.next(item));
    QCOMPARE(item, QStringLiteral("kept"));
}

void TestRules::hugeFileIsReadOnlyInPart()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray line(1 << 20, 'x');
    for (int i = 0; i < 4; ++i)
        file.write(line + "\r\n");
    file.close();
    SettingsItems reader(path, 1 << 20);
    QString item;
    QVERIFY(reader.next(item));
    QCOMPARE(item.size(), 1 << 20);
    QVERIFY(!reader.next(item));
}

void TestRules::settingsOfStrangersReadAsNoFile_data()
{
    QTest::addColumn<QString>("entry");     // what qvx.ini is
    QTest::addColumn<int>("trust");         // FileTrust the reader reports
    const auto row = [](const char *entry, FileTrust trust) { QTest::newRow(entry) << entry << int(trust); };
    row("own file", FileTrust::Trusted);
    row("own link to an own file", FileTrust::Trusted);
    row("FIFO", FileTrust::NotRegular);
    row("folder", FileTrust::NotRegular);
    row("own link to a FIFO", FileTrust::NotRegular);
    row("link of nobody", FileTrust::ForeignLink);
    row("file of nobody", FileTrust::ForeignFile);
    row("own link to a file of nobody", FileTrust::ForeignFile);
}

void TestRules::settingsOfStrangersReadAsNoFile()
{
    QFETCH(QString, entry);
    QFETCH(int, trust);
    if (entry.contains(QLatin1String("nobody")) && ::geteuid() != 0)
        QSKIP("a file of another user needs root");
    QTemporaryDir dir;
    const QByteArray ini = QFile::encodeName(dir.filePath(QStringLiteral("qvx.ini")));
    const QByteArray other = QFile::encodeName(dir.filePath(QStringLiteral("other")));
    const bool viaLink = entry.contains(QLatin1String("link"));
    const QByteArray made = viaLink ? other : ini;
    if (entry.contains(QLatin1String("FIFO"))) {
        QCOMPARE(::mkfifo(made.constData(), 0666), 0);
    } else if (entry == QLatin1String("folder")) {
        QCOMPARE(::mkdir(made.constData(), 0777), 0);
    } else {
        QFile file(QFile::decodeName(made));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("calc\r\n3\r\nEnglish\r\n");
    }
    if (viaLink)
        QCOMPARE(::symlink(other.constData(), ini.constData()), 0);
    if (entry.endsWith(QLatin1String("nobody")))
        QCOMPARE(::lchown(viaLink && !entry.startsWith(QLatin1String("own")) ? ini.constData() : made.constData(), 65534, 65534), 0);

    // Read in a child process: a reader that waits on the FIFO would hang.
    const pid_t child = ::fork();
    if (child == 0) {
        const SettingsItems items(QFile::decodeName(ini));
        QString item;
        SettingsItems copy = items;
        const bool read = copy.next(item) && item == QLatin1String("calc");
        ::_exit(int(items.trust()) * 2 + (read ? 1 : 0));
    }
    int status = 0;
    pid_t ended = 0;
    const QDeadlineTimer deadline(5000);
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && !deadline.hasExpired())
        QTest::qSleep(20);
    if (ended != child) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        QFAIL("reading the settings file hangs");
    }
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status) / 2, trust);
    QCOMPARE(WEXITSTATUS(status) % 2, trust == int(FileTrust::Trusted) ? 1 : 0);
}

void TestRules::startUpAndDialogReadTheSettingsByTheirOwnRules_data()
{
    QTest::addColumn<QByteArray>("file");       // empty: no settings file
    // Read at start-up: port number, language, colours, entries 1 to 3 there.
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("fore");              // -1: refused
    QTest::addColumn<int>("back");
    QTest::addColumn<bool>("firstThree");
    // Read by the dialog: colours and extended mode (-1: refused).
    QTest::addColumn<int>("dialogFore");
    QTest::addColumn<int>("dialogBack");
    QTest::addColumn<int>("extended");
    QTest::addColumn<int>("dialogPort");        // 0: refused, the list keeps its choice
    QTest::addColumn<int>("baud");

    const int de = int(Language::Deutsch), en = int(Language::English), other = int(Language::Other);
    QTest::newRow("as the dialog writes it") << QByteArray("calc\r\n3\r\nEnglish\r\n 15 \r\n 1 \r\n\r\n\r\n1\r\nReady\r\n")
        << 3 << en << 15 << 1 << true << 15 << 1 << 1 << 3 << 2400;
    QTest::newRow("leading numbers only at start-up") << QByteArray("calc\r\n2.5x\r\nDeutsch\r\n4 red\r\n 6.5\r\n\r\n\r\n0.4\r\n")
        << 2 << de << 4 << 6 << true << -1 << 6 << 0 << 0 << 2400;
    QTest::newRow("colours outside 0 to 15") << QByteArray("calc\r\n1\r\nenglish\r\n16\r\n-1\r\n\r\n\r\n2\r\n")
        << 1 << other << -1 << -1 << true << -1 << -1 << -1 << 1 << 2400;
    // The commas split the line settings into items: "7" lands in entry 8.
    QTest::newRow("baud rate by hand") << QByteArray("calc\r\n12\r\nFrancais\r\n 0 \r\n 15 \r\n 9600,e,7,2\r\n\r\n0\r\nReady\r\n")
        << 12 << int(Language::Francais) << 0 << 15 << true << 0 << 15 << -1 << 0 << 9600;
    QTest::newRow("baud rate not offered") << QByteArray("calc\r\n4\r\nDeutsch\r\n 0 \r\n 15 \r\n 9601\r\n\r\n0\r\nReady\r\n")
        << 4 << de << 0 << 15 << true << 0 << 15 << 0 << 4 << 2400;
    // Items that cannot be read keep the text before them: "2" is also
    // entries 3 to 9.
    QTest::newRow("two entries") << QByteArray("calc\r\n2\r\n") << 2 << other << 2 << 2 << false << 2 << 2 << -1 << 2 << 2400;
    QTest::newRow("no settings file") << QByteArray() << 0 << other << 0 << 0 << false << -1 << -1 << -1 << 0 << 2400;
}

void TestRules::startUpAndDialogReadTheSettingsByTheirOwnRules()
{
    QFETCH(QByteArray, file);
    QTemporaryDir dir;
    if (!file.isEmpty()) {
        QFile settings(dir.filePath(QStringLiteral("QVX.ini")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(file);
    }
    const SettingsFile settingsFile(dir.path());
    const Settings atStart = settingsFile.readAtStartUp();
    const Settings inDialog = settingsFile.readForDialog();
    QTEST(int(atStart.port.number), "port");
    QTEST(int(atStart.port.baudRate), "baud");
    QTEST(int(inDialog.port.number), "dialogPort");
    QTEST(int(atStart.language), "language");
    QTEST(atStart.foreColorIndex.value_or(-1), "fore");
    QTEST(atStart.backColorIndex.value_or(-1), "back");
    QTEST(atStart.spreadsheetEntriesRead, "firstThree");
    QTEST(inDialog.foreColorIndex.value_or(-1), "dialogFore");
    QTEST(inDialog.backColorIndex.value_or(-1), "dialogBack");
    QTEST(inDialog.extendedMode ? int(*inDialog.extendedMode) : -1, "extended");
    QCOMPARE(inDialog.language, atStart.language);
    // Read for the dialog and written back unchanged, a file the dialog
    // wrote keeps its bytes.
    if (QByteArray(QTest::currentDataTag()) == "as the dialog writes it")
        QCOMPARE(settingsFileBytes(inDialog), file);
}

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
