// The working file: its open sequence, immediate writes, syncs to the disk
// in groups, names in any letter case and keeping what an earlier run left
// in it; opening names in a folder others may write to.

#include "FilePaths.h"
#include "DurableFile.h"
#include "FileSizeLimit.h"
#include "MeasurementFolder.h"
#include "SafeOpen.h"
#include "WorkingFile.h"

#include <QtTest>

#include <cerrno>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <cstring>

namespace {

// A temporary folder as the current directory while the object lives.
struct InFolder
{
    InFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(dir.path()); }
    ~InFolder() { QDir::setCurrent(m_previous); }

    void create(const QString &name, const QByteArray &content = {}) const
    {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray content(const QString &name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name); }
    qint64 size(const QString &name) const { return QFileInfo(dir.filePath(name)).size(); }
    /// Gives `name` to another user (needs root).
    bool giveAway(const QString &name) const
    {
        return ::lchown(QFile::encodeName(dir.filePath(name)).constData(), 65534, 65534) == 0;
    }

    QTemporaryDir dir;

private:
    QString m_previous;
};

enum class Setup {
    Nothing, OldContent, FolderInTheWay, LinkIntoNowhere, LinkToAFile, Fifo, OtherUsersFile, MissingFolder,
    OtherUsersUpperCase, OtherUsersLowerCaseBesideOurs, LinkToAFifo
};

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(WorkingFile::OpenResult)
Q_DECLARE_METATYPE(SafeOpenOptions::Create)
Q_DECLARE_METATYPE(SafeOpenResult::Failure)

class TestWorkingFile : public QObject
{
    Q_OBJECT

private slots:
    void openSequenceReportsItsOutcome_data();
    void openSequenceReportsItsOutcome();
    void writesReachTheDiskAtOnce();
    void writesAreSyncedInGroupsWithinASecond_data();
    void writesAreSyncedInGroupsWithinASecond();
    void floodIsSyncedInBoundedSteps();
    void closingSyncsAtOnce();
    void bothSpellingsReachOneFile();
    void bareNamesResolveRegardlessOfCase_data();
    void bareNamesResolveRegardlessOfCase();
    void leftoverIsKeptUnderAFreeName_data();
    void leftoverIsKeptUnderAFreeName();
    void refusedSyncIsAskedAboutOnce_data();
    void refusedSyncIsAskedAboutOnce();
    void secondClaimOfTheFolderIsRefused();
    void plantedNamesAreNeverOpened_data();
    void plantedNamesAreNeverOpened();
    void newPrivateFileIsTheOwnersAlone();
    void abandonedTemporariesAreRemovedAtStartUp_data();
    void abandonedTemporariesAreRemovedAtStartUp();
    void failedRecoveryKeepsTheFileAndSaysWhy();
};

void TestWorkingFile::openSequenceReportsItsOutcome_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<WorkingFile::OpenResult>("result");

    QTest::newRow("no file yet") << Setup::Nothing << WorkingFile::OpenResult::Opened;
    QTest::newRow("old content is discarded") << Setup::OldContent << WorkingFile::OpenResult::Opened;
    QTest::newRow("a folder holds the name") << Setup::FolderInTheWay << WorkingFile::OpenResult::Foreign;
    QTest::newRow("a link holds the name") << Setup::LinkIntoNowhere << WorkingFile::OpenResult::Foreign;
    QTest::newRow("a link to a file") << Setup::LinkToAFile << WorkingFile::OpenResult::Foreign;
    QTest::newRow("a FIFO holds the name") << Setup::Fifo << WorkingFile::OpenResult::Foreign;
    QTest::newRow("another user's file") << Setup::OtherUsersFile << WorkingFile::OpenResult::Foreign;
    QTest::newRow("folder cannot be listed") << Setup::MissingFolder << WorkingFile::OpenResult::ListingFailed;
    // Other spellings: only this user's own file is taken for the working file.
    QTest::newRow("another user's VINDO.QVX") << Setup::OtherUsersUpperCase << WorkingFile::OpenResult::Foreign;
    QTest::newRow("another user's vindo.qvx beside ours") << Setup::OtherUsersLowerCaseBesideOurs
                                                          << WorkingFile::OpenResult::Opened;
    QTest::newRow("a link to a FIFO") << Setup::LinkToAFifo << WorkingFile::OpenResult::Foreign;
}

void TestWorkingFile::openSequenceReportsItsOutcome()
{
    QFETCH(Setup, setup);
    QFETCH(WorkingFile::OpenResult, result);

    InFolder folder;
    QString name = WorkingFile::bareName();
    switch (setup) {
    case Setup::Nothing:
        break;
    case Setup::OldContent:
        folder.create(name, "old measurement");
        break;
    case Setup::FolderInTheWay:
        QVERIFY(QDir(folder.dir.path()).mkpath(name + QStringLiteral("/inside")));
        break;
    case Setup::LinkIntoNowhere:
        QVERIFY(QFile::link(folder.dir.filePath(QStringLiteral("missing/target")), folder.dir.filePath(name)));
        break;
    case Setup::LinkToAFile:
        folder.create(QStringLiteral("secret.txt"), "secret");
        QVERIFY(QFile::link(folder.dir.filePath(QStringLiteral("secret.txt")), folder.dir.filePath(name)));
        break;
    case Setup::Fifo:
        QVERIFY(::mkfifo(QFile::encodeName(folder.dir.filePath(name)).constData(), 0666) == 0);
        break;
    case Setup::OtherUsersFile:
        if (::geteuid() != 0)
            QSKIP("needs root to make a file that belongs to another user");
        folder.create(name, "theirs");
        QVERIFY(::chown(QFile::encodeName(folder.dir.filePath(name)).constData(), 65534, 65534) == 0);
        break;
    case Setup::MissingFolder:
        name = QStringLiteral("missing/") + name;
        break;
    case Setup::OtherUsersUpperCase:
        if (::geteuid() != 0)
            QSKIP("needs root to make a file that belongs to another user");
        folder.create(QStringLiteral("VINDO.QVX"), "theirs");
        QVERIFY(folder.giveAway(QStringLiteral("VINDO.QVX")));
        break;
    case Setup::OtherUsersLowerCaseBesideOurs:
        if (::geteuid() != 0)
            QSKIP("needs root to make a file that belongs to another user");
        folder.create(name, "ours");
        folder.create(QStringLiteral("vindo.qvx"), "theirs");
        QVERIFY(folder.giveAway(QStringLiteral("vindo.qvx")));
        break;
    case Setup::LinkToAFifo:
        QVERIFY(::mkfifo(QFile::encodeName(folder.dir.filePath(QStringLiteral("pipe"))).constData(), 0666) == 0);
        QVERIFY(QFile::link(folder.dir.filePath(QStringLiteral("pipe")), folder.dir.filePath(name)));
        break;
    }

    WorkingFile file;
    QCOMPARE(file.open(name), result);
    const bool opened = result == WorkingFile::OpenResult::Opened;
    QCOMPARE(file.isOpen(), opened);
    QCOMPARE(file.errorString().isEmpty(), opened);
    if (opened)
        QCOMPARE(folder.size(WorkingFile::bareName()), 0);
    // Nothing someone else put there is emptied or written through.
    if (setup == Setup::LinkToAFile)
        QCOMPARE(folder.content(QStringLiteral("secret.txt")), QByteArray("secret"));
    if (setup == Setup::OtherUsersFile)
        QCOMPARE(folder.content(name), QByteArray("theirs"));
    if (setup == Setup::OtherUsersUpperCase)
        QCOMPARE(folder.entries(), QStringList{"VINDO.QVX"});
    if (setup == Setup::OtherUsersUpperCase)
        QCOMPARE(folder.content(QStringLiteral("VINDO.QVX")), QByteArray("theirs"));
    if (setup == Setup::OtherUsersLowerCaseBesideOurs)
        QCOMPARE(folder.content(QStringLiteral("vindo.qvx")), QByteArray("theirs"));
}

void TestWorkingFile::writesReachTheDiskAtOnce()
{
    InFolder folder;
    WorkingFile file;
    QCOMPARE(file.open(), WorkingFile::OpenResult::Opened);
    QVERIFY(file.write("INP1 = bar\r\n"));
    QCOMPARE(folder.content(WorkingFile::bareName()), QByteArray("INP1 = bar\r\n"));
    QVERIFY(file.write("\xb0;1\r\n"));
    QCOMPARE(folder.content(WorkingFile::bareName()), QByteArray("INP1 = bar\r\n\xb0;1\r\n"));
}

void TestWorkingFile::writesAreSyncedInGroupsWithinASecond_data()
{
    QTest::addColumn<int>("writingMs");
    QTest::addColumn<int>("pauseMs");  // between blocks; 0: no event loop in between

    QTest::newRow("a lone block") << 0 << 0;
    QTest::newRow("a block every 10 ms for a second") << 1000 << 10;
    QTest::newRow("a busy second and more without the event loop") << 1300 << 0;
}

void TestWorkingFile::writesAreSyncedInGroupsWithinASecond()
{
    QFETCH(int, writingMs);
    QFETCH(int, pauseMs);

    InFolder folder;
    WorkingFile file;
    QCOMPARE(file.open(), WorkingFile::OpenResult::Opened);
    QVERIFY(file.write("    1       50.0       90.0\r\n"));
    QCOMPARE(file.syncCount(), 0u);
    QElapsedTimer clock;
    clock.start();
    int blocks = 1;
    while (clock.elapsed() < writingMs) {
        if (pauseMs > 0)
            QTest::qWait(pauseMs);
        QVERIFY(file.write("    2       50.1       90.0\r\n"));
        ++blocks;
    }
    if (writingMs > 0) {
        // One sync for the whole group, a second one at most when the
        // writing ran past its first second, and one more for each
        // UnsyncedLimit bytes a tight loop may write.
        QVERIFY(blocks > 50);
        const quint64 most = 2 + quint64(file.writtenBytes() / WorkingFile::UnsyncedLimit);
        QVERIFY2(file.syncCount() >= 1 && file.syncCount() <= most,
                 qPrintable(QStringLiteral("%1 syncs for %2 bytes").arg(file.syncCount()).arg(file.writtenBytes())));
    }
    QTRY_COMPARE_WITH_TIMEOUT(file.syncedBytes(), file.writtenBytes(), 1000);
    QCOMPARE(file.writtenBytes(), QFileInfo(folder.dir.filePath(WorkingFile::bareName())).size());
    QVERIFY(file.syncCount() <= 3 + quint64(file.writtenBytes() / WorkingFile::UnsyncedLimit));
}

void TestWorkingFile::floodIsSyncedInBoundedSteps()
{
    InFolder folder;
    WorkingFile file;
    QCOMPARE(file.open(), WorkingFile::OpenResult::Opened);
    // Far faster than any deadline, without the event loop: the bytes kept
    // for a rewrite never exceed the limit twice over (one sync running,
    // the next one's data waiting).
    const QByteArray block(64 * 1024, '7');
    qint64 mostUnsynced = 0;
    for (int i = 0; i < 4 * WorkingFile::UnsyncedLimit / block.size(); ++i) {
        QVERIFY(file.write(block));
        mostUnsynced = qMax(mostUnsynced, file.writtenBytes() - file.syncedBytes());
    }
    QVERIFY2(mostUnsynced <= 2 * WorkingFile::UnsyncedLimit + block.size(), qPrintable(QString::number(mostUnsynced)));
    QVERIFY(file.syncCount() >= 2);
    file.close();
    QCOMPARE(file.syncedBytes(), file.writtenBytes());
    QCOMPARE(QFileInfo(folder.dir.filePath(WorkingFile::bareName())).size(), file.writtenBytes());
}

void TestWorkingFile::closingSyncsAtOnce()
{
    InFolder folder;
    WorkingFile file;
    qint64 observed = -1;
    file.setSyncObserver([&observed](qint64 synced) { observed = synced; });
    QCOMPARE(file.open(), WorkingFile::OpenResult::Opened);
    QVERIFY(file.write("first\r\n"));
    QVERIFY(file.write("second\r\n"));
    file.close();
    QCOMPARE(file.syncCount(), 1u);
    QCOMPARE(observed, qint64(15));

    // Opening the next file closes this one; with nothing left to sync
    // there is no sync.
    QCOMPARE(file.open(), WorkingFile::OpenResult::Opened);
    QVERIFY(file.write("third\r\n"));
    QCOMPARE(file.open(), WorkingFile::OpenResult::Opened);
    QCOMPARE(file.syncCount(), 2u);
    file.close();
    QCOMPARE(file.syncCount(), 2u);
}

void TestWorkingFile::bothSpellingsReachOneFile()
{
    InFolder folder;
    folder.create(QStringLiteral("vindo.qvx"), "old");

    WorkingFile file;
    QCOMPARE(file.open(QStringLiteral("Vindo.qvx")), WorkingFile::OpenResult::Opened);
    QVERIFY(file.write("new"));
    QCOMPARE(folder.entries(), QStringList{"Vindo.qvx"});
    QCOMPARE(QFileInfo(resolveBareName(QStringLiteral("vindo.qvx"))).size(), 3);
    QCOMPARE(folder.content(resolveBareName(QStringLiteral("VINDO.QVX"))), QByteArray("new"));
}

void TestWorkingFile::bareNamesResolveRegardlessOfCase_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("resolved");

    QTest::newRow("other case") << QStringList{"Vindo.qvx"} << "vindo.qvx" << "Vindo.qvx";
    QTest::newRow("exact match wins") << QStringList{"VINDO.QVX", "vindo.qvx"} << "vindo.qvx" << "vindo.qvx";
    QTest::newRow("nothing there") << QStringList{} << "Vindo.qvx" << "Vindo.qvx";
    QTest::newRow("no partial match") << QStringList{"Vindo.qvx.bak"} << "vindo.qvx" << "vindo.qvx";
    QTest::newRow("folder part kept as given") << QStringList{"Vindo.qvx"} << "./vindo.qvx" << "./vindo.qvx";
}

void TestWorkingFile::bareNamesResolveRegardlessOfCase()
{
    QFETCH(QStringList, present);
    QFETCH(QString, asked);
    QFETCH(QString, resolved);

    InFolder folder;
    for (const QString &name : std::as_const(present))
        folder.create(name);
    QCOMPARE(resolveBareName(asked), resolved);
    if (!asked.contains(QLatin1Char('/')))
        QCOMPARE(resolveNameIn(folder.dir.path(), asked), folder.dir.filePath(resolved));
}

void TestWorkingFile::leftoverIsKeptUnderAFreeName_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("kept");

    const QString name = QStringLiteral("Vindo-recovered-20240305-090703");
    QTest::newRow("no working file") << QByteArray() << false << QStringList{} << "";
    QTest::newRow("empty working file") << QByteArray() << true << QStringList{} << "";
    QTest::newRow("measurement kept") << QByteArray("  Time: 1\r0.5 1\r\n") << true << QStringList{}
                                      << name + ".csv";
    QTest::newRow("name taken") << QByteArray("x") << true << QStringList{name + ".csv"} << name + "-2.csv";
    QTest::newRow("name taken in other case") << QByteArray("x") << true
        << QStringList{name.toLower() + ".csv", name + "-2.csv"} << name + "-3.csv";
}

void TestWorkingFile::leftoverIsKeptUnderAFreeName()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, present);
    QFETCH(QStringList, taken);
    QFETCH(QString, kept);

    InFolder folder;
    if (present)
        folder.create(QStringLiteral("vindo.qvx"), content);
    for (const QString &name : std::as_const(taken))
        folder.create(name, "earlier");

    MeasurementFolder measurementFolder(folder.dir.path());
    QCOMPARE(measurementFolder.claim(), WorkingFile::OpenResult::Opened);
    QString error = QStringLiteral("stale");
    const QString name = measurementFolder.keepCopy(QDateTime(QDate(2024, 3, 5), QTime(9, 7, 3)), &error);
    QCOMPARE(name, kept);
    QVERIFY(error.isEmpty());
    if (!kept.isEmpty())
        QCOMPARE(folder.content(kept), content);
    // The claim made the working file where there was none.
    QCOMPARE(folder.entries().size(), 1 + taken.size() + int(!kept.isEmpty()));
}

void TestWorkingFile::failedRecoveryKeepsTheFileAndSaysWhy()
{
    InFolder folder;
    const QByteArray measurement(100, 'm');
    folder.create(WorkingFile::bareName(), measurement);

    MeasurementFolder measurementFolder;
    QCOMPARE(measurementFolder.claim(), WorkingFile::OpenResult::Opened);
    QString error;
    QString name;
    {
        FileSizeLimit limit(10);
        QVERIFY(limit.isActive());
        name = measurementFolder.keepCopy(QDateTime::currentDateTime(), &error);
    }
    QVERIFY(name.isEmpty());
    QVERIFY(!error.isEmpty());
    QCOMPARE(folder.content(WorkingFile::bareName()), measurement);
    QCOMPARE(folder.entries(), QStringList{WorkingFile::bareName()});
}

void TestWorkingFile::refusedSyncIsAskedAboutOnce_data()
{
    QTest::addColumn<bool>("retry");       // else the sync is abandoned
    QTest::addColumn<bool>("recording");   // afterwards

    QTest::newRow("retry") << true << true;
    QTest::newRow("abandon") << false << false;
}

void TestWorkingFile::refusedSyncIsAskedAboutOnce()
{
    QFETCH(bool, retry);
    QFETCH(bool, recording);
    if (!qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("failingsync")))
        QSKIP("needs the failing-sync library preloaded (run through ctest)");

    InFolder folder;
    WorkingFile file;
    QStringList refused;
    file.setSyncFailureHandler([&refused](const QString &error) { refused << error; });
    QCOMPARE(file.open(), WorkingFile::OpenResult::Opened);
    QVERIFY(file.write("    1   20.5\r\n"));

    // Blocks keep being written while the failure waits for a decision,
    // and it is told once.
    qputenv("QDR_FDATASYNC_EIO", "1");
    QTRY_COMPARE_WITH_TIMEOUT(refused.size(), 1, 3000);
    QVERIFY(file.write("    2   20.6\r\n"));
    QTest::qWait(WorkingFile::SyncDelayMs + 100);
    QVERIFY(file.write("    3   20.7\r\n"));
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.first(), QDir::toNativeSeparators(folder.dir.filePath(WorkingFile::bareName()))
                                  + QLatin1String(":\n") + QString::fromLocal8Bit(std::strerror(EIO)));

    if (retry)
        file.retrySync();
    else
        file.abandonSync();
    QCOMPARE(file.isOpen(), recording);
    if (recording) {
        // Counted as safe only once a sync really took the data.
        QTRY_COMPARE_WITH_TIMEOUT(file.syncedBytes(), file.writtenBytes(), 3000);
        QCOMPARE(qgetenv("QDR_FDATASYNC_EIO"), QByteArray("0"));
    } else {
        QVERIFY(file.syncedBytes() < file.writtenBytes());
    }
    QTest::qWait(WorkingFile::SyncDelayMs + 100);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(folder.content(WorkingFile::bareName()), QByteArray("    1   20.5\r\n    2   20.6\r\n    3   20.7\r\n"));
    qunsetenv("QDR_FDATASYNC_EIO");
}

void TestWorkingFile::secondClaimOfTheFolderIsRefused()
{
    InFolder folder;
    WorkingFile first;
    QCOMPARE(first.open(), WorkingFile::OpenResult::Opened);
    QVERIFY(first.write("measuring"));

    // Another claim (as from another copy of the program) neither empties
    // nor takes the file, and names the folder.
    WorkingFile second;
    QCOMPARE(second.claim(), WorkingFile::OpenResult::InUse);
    QCOMPARE(second.open(), WorkingFile::OpenResult::InUse);
    QCOMPARE(second.errorString(), QDir::toNativeSeparators(folder.dir.path()));
    QVERIFY(first.write(" on"));
    QCOMPARE(folder.content(WorkingFile::bareName()), QByteArray("measuring on"));

    // The claim survives a fresh measurement and ends with its owner.
    QCOMPARE(first.open(), WorkingFile::OpenResult::Opened);
    QCOMPARE(second.claim(), WorkingFile::OpenResult::InUse);
    first.release();
    QCOMPARE(second.claim(), WorkingFile::OpenResult::Opened);
}

void TestWorkingFile::plantedNamesAreNeverOpened_data()
{
    QTest::addColumn<QString>("planted");   // what holds the name "f"
    QTest::addColumn<SafeOpenOptions::Create>("create");
    QTest::addColumn<SafeOpenResult::Failure>("failure");

    using C = SafeOpenOptions::Create;
    using F = SafeOpenResult::Failure;
    QTest::newRow("nothing, must exist") << "" << C::Never << F::Missing;
    QTest::newRow("nothing, made") << "" << C::IfMissing << F::None;
    QTest::newRow("nothing, made new") << "" << C::New << F::None;
    QTest::newRow("own file") << "file" << C::IfMissing << F::None;
    QTest::newRow("own file, new wanted") << "file" << C::New << F::Exists;
    QTest::newRow("link to a file") << "link" << C::Never << F::NotAFile;
    QTest::newRow("link into nowhere") << "dangling" << C::IfMissing << F::NotAFile;
    QTest::newRow("link into nowhere, new wanted") << "dangling" << C::New << F::Exists;
    QTest::newRow("FIFO") << "fifo" << C::IfMissing << F::NotAFile;
    QTest::newRow("link to a FIFO") << "fifo link" << C::Never << F::NotAFile;
    QTest::newRow("folder") << "folder" << C::IfMissing << F::NotAFile;
    QTest::newRow("device") << "device" << C::Never << F::NotAFile;
    QTest::newRow("another user's file") << "theirs" << C::IfMissing << F::Foreign;
    QTest::newRow("another user's link") << "their link" << C::Never << F::NotAFile;
}

void TestWorkingFile::plantedNamesAreNeverOpened()
{
    QFETCH(QString, planted);
    QFETCH(SafeOpenOptions::Create, create);
    QFETCH(SafeOpenResult::Failure, failure);
    if (planted.startsWith(QLatin1String("their")) && ::geteuid() != 0)
        QSKIP("needs root to make a file that belongs to another user");

    InFolder folder;
    const QString name = folder.dir.filePath(QStringLiteral("f"));
    const QByteArray encodedName = QFile::encodeName(name);
    folder.create(QStringLiteral("target"), "target");
    QVERIFY(::mkfifo(QFile::encodeName(folder.dir.filePath(QStringLiteral("pipe"))).constData(), 0666) == 0);
    if (planted == QLatin1String("file") || planted == QLatin1String("theirs"))
        folder.create(QStringLiteral("f"), "content");
    if (planted == QLatin1String("link") || planted == QLatin1String("their link"))
        QVERIFY(QFile::link(folder.dir.filePath(QStringLiteral("target")), name));
    if (planted == QLatin1String("dangling"))
        QVERIFY(QFile::link(folder.dir.filePath(QStringLiteral("missing")), name));
    if (planted == QLatin1String("fifo"))
        QVERIFY(::mkfifo(encodedName.constData(), 0666) == 0);
    if (planted == QLatin1String("fifo link"))
        QVERIFY(QFile::link(folder.dir.filePath(QStringLiteral("pipe")), name));
    if (planted == QLatin1String("folder"))
        QVERIFY(QDir(folder.dir.path()).mkdir(QStringLiteral("f")));
    if (planted.startsWith(QLatin1String("their")))
        QVERIFY(folder.giveAway(QStringLiteral("f")));
    if (planted == QLatin1String("device")) {
        // A device node of its own needs root; a link to one is refused all the same.
        if (::geteuid() == 0)
            QVERIFY(::mknod(encodedName.constData(), S_IFCHR | 0666, ::makedev(1, 5)) == 0);
        else
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), name));
    }

    SafeOpenOptions options;
    options.access = SafeOpenOptions::Access::ReadWrite;
    options.create = create;
    QElapsedTimer clock;
    clock.start();
    SafeOpenResult opened = safeOpen(name, options);
    QVERIFY(clock.elapsed() < 2000);    // a FIFO never keeps it waiting
    QCOMPARE(opened.failure, failure);
    QCOMPARE(opened.file.isOpen(), failure == SafeOpenResult::Failure::None);
    QCOMPARE(opened.errorString.isEmpty(), failure != SafeOpenResult::Failure::Missing
                                               && failure != SafeOpenResult::Failure::Exists);
    if (opened.ok()) {
        // Reads and writes wait as usual once the file is accepted.
        QVERIFY(opened.file.writeAll("new", 3, 0));
        QVERIFY(opened.file.syncData());
        char back[8] = {};
        QCOMPARE(opened.file.readAt(back, sizeof back, 0), planted.isEmpty() ? 3 : 7);
        QCOMPARE(QByteArray(back, 3), QByteArray("new"));
    }
    // Nothing was written through a link.
    QCOMPARE(folder.content(QStringLiteral("target")), QByteArray("target"));
}

void TestWorkingFile::newPrivateFileIsTheOwnersAlone()
{
    InFolder folder;
    SafeOpenOptions options;
    options.access = SafeOpenOptions::Access::Write;
    options.create = SafeOpenOptions::Create::New;
    options.privateFile = true;
    const SafeOpenResult made = safeOpen(folder.dir.filePath(QStringLiteral("note")), options);
    QVERIFY(made.ok());
    struct stat status {};
    QVERIFY(::stat(QFile::encodeName(folder.dir.filePath(QStringLiteral("note"))).constData(), &status) == 0);
    QCOMPARE(status.st_mode & 0777, mode_t(0600));

    // Only one's own entries are removed or renamed.
    folder.create(QStringLiteral("mine"));
    QVERIFY(renameOwnFile(folder.dir.filePath(QStringLiteral("mine")), folder.dir.filePath(QStringLiteral("Mine"))));
    QVERIFY(removeOwnEntry(folder.dir.filePath(QStringLiteral("Mine"))));
    QVERIFY(!removeOwnEntry(folder.dir.filePath(QStringLiteral("Mine"))));
    if (::geteuid() != 0)
        return;
    folder.create(QStringLiteral("theirs"));
    QVERIFY(folder.giveAway(QStringLiteral("theirs")));
    QVERIFY(!renameOwnFile(folder.dir.filePath(QStringLiteral("theirs")), folder.dir.filePath(QStringLiteral("mine"))));
    QVERIFY(!removeOwnEntry(folder.dir.filePath(QStringLiteral("theirs"))));
    QVERIFY(QFileInfo::exists(folder.dir.filePath(QStringLiteral("theirs"))));
}

void TestWorkingFile::abandonedTemporariesAreRemovedAtStartUp_data()
{
    QTest::addColumn<QString>("entry");     // what bears the name
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("removed");

    const QString temporary = QStringLiteral(".qdr-save-Ab3dEf6hIj9k");
    QTest::newRow("own file of a killed save") << "file" << temporary << true;
    QTest::newRow("another user's file") << "theirs" << temporary << false;
    QTest::newRow("own link") << "link" << temporary << false;
    QTest::newRow("FIFO") << "fifo" << temporary << false;
    QTest::newRow("a save still writing it") << "locked" << temporary << false;
    QTest::newRow("a name only like it") << "file" << ".qdr-save-Ab3dEf6hIj9" << false;
    QTest::newRow("another program's temporary file") << "file" << ".result.csv.tmp-123-0" << false;
}

void TestWorkingFile::abandonedTemporariesAreRemovedAtStartUp()
{
    QFETCH(QString, entry);
    QFETCH(QString, name);
    QFETCH(bool, removed);
    if (entry == QLatin1String("theirs") && ::geteuid() != 0)
        QSKIP("needs root to make a file that belongs to another user");

    InFolder folder;
    folder.create(QStringLiteral("target"), "target");
    const QString path = folder.dir.filePath(name);
    if (entry == QLatin1String("file") || entry == QLatin1String("theirs") || entry == QLatin1String("locked"))
        folder.create(name, "part of a save");
    if (entry == QLatin1String("theirs"))
        QVERIFY(folder.giveAway(name));
    if (entry == QLatin1String("link"))
        QVERIFY(QFile::link(folder.dir.filePath(QStringLiteral("target")), path));
    if (entry == QLatin1String("fifo"))
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    SafeOpenResult writing;
    if (entry == QLatin1String("locked")) {
        writing = safeOpen(path, SafeOpenOptions());
        QCOMPARE(writing.file.tryLockExclusive(), HeldFile::Lock::Taken);
    }
    QCOMPARE(durable::isTemporaryName(name), name.startsWith(QLatin1String(".qdr-save-")) && name.size() == 22);

    MeasurementFolder measurementFolder(folder.dir.path());
    QCOMPARE(measurementFolder.claim(), WorkingFile::OpenResult::Opened);
    QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), !removed);
    QCOMPARE(folder.content(QStringLiteral("target")), QByteArray("target"));
}

QTEST_GUILESS_MAIN(TestWorkingFile)
#include "tst_workingfile.moc"
