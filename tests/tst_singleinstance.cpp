// One running copy per user: real program processes started side by side.

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondCopyBringsTheFirstToTheFrontAndEnds();
    void copyThatGetsNoAnswerGoesOn();
    void lockLivesOnlyInAFolderOfTheUser_data();
    void lockLivesOnlyInAFolderOfTheUser();

private:
    QProcess *startCopy(bool withRuntimeFolder = true);
    QString lockPath() const;
    QString lockName() const { return QStringLiteral("Quendrel2_DataRecorder-%1.lock").arg(::getuid()); }

    QTemporaryDir *m_dir = nullptr;
    QTemporaryDir *m_private = nullptr;   // runtime, temp and cache folders of the copies
    QString m_user;
    QList<QProcess *> m_copies;
};

void TestSingleInstance::init()
{
    m_dir = new QTemporaryDir;
    m_private = new QTemporaryDir;
    QDir(m_private->path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(m_private->filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(m_private->path()).mkpath(QStringLiteral("tmp"));
    // A user name of this test's own keeps its copies apart from any other
    // copy running on the machine.
    m_user = QStringLiteral("qdr-single-%1-%2").arg(QCoreApplication::applicationPid()).arg(QTest::currentTestFunction());
}

void TestSingleInstance::cleanup()
{
    for (QProcess *p : m_copies) {
        p->kill();
        p->waitForFinished(3000);
        delete p;
    }
    m_copies.clear();
    delete m_dir;
    delete m_private;
}

QString TestSingleInstance::lockPath() const
{
    return QDir(m_private->filePath(QStringLiteral("runtime"))).filePath(lockName());
}

QProcess *TestSingleInstance::startCopy(bool withRuntimeFolder)
{
    auto *process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("USER"), m_user);
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    if (withRuntimeFolder)
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_private->filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("TMPDIR"), m_private->filePath(QStringLiteral("tmp")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_private->filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(m_dir->path());
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral(QDR_BIN_DIR "/Quendrel2_Datarecorder"), {});
    m_copies.append(process);
    return process;
}

void TestSingleInstance::secondCopyBringsTheFirstToTheFrontAndEnds()
{
    QProcess *first = startCopy();
    QVERIFY(first->waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockPath()), 10000);
    QTest::qWait(300); // the first copy listens right after taking the lock

    QProcess *second = startCopy();
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(first->state(), QProcess::Running);
    QByteArray output;
    QElapsedTimer waited;
    waited.start();
    while (!output.contains("brought to the front") && waited.elapsed() < 5000) {
        first->waitForReadyRead(200);
        output += first->readAll();
    }
    QVERIFY2(output.contains("brought to the front"), output.constData());
}

void TestSingleInstance::copyThatGetsNoAnswerGoesOn()
{
    // A lock held by a live process that does not answer.
    QLockFile lock(lockPath());
    QVERIFY(lock.tryLock(0));
    QProcess *copy = startCopy();
    QVERIFY(copy->waitForStarted(5000));
    QVERIFY(!copy->waitForFinished(4000));
    QCOMPARE(copy->state(), QProcess::Running);
    // It started as a recorder of its own: its working file is there.
    QVERIFY(QFile::exists(QDir(m_dir->path()).filePath(QStringLiteral("Vindo.qvx"))));
}

void TestSingleInstance::lockLivesOnlyInAFolderOfTheUser_data()
{
    QTest::addColumn<bool>("runtimeSet");
    QTest::addColumn<bool>("runtimeOpenToAll");
    QTest::addColumn<bool>("tempTakenByOther");
    QTest::addColumn<QString>("lockFolder");    // inside the private test folder

    QTest::newRow("runtime folder") << true << false << false << "runtime";
    QTest::newRow("no runtime folder") << false << false << false << "tmp/quendrel2-%1";
    QTest::newRow("runtime folder open to all") << true << true << false << "tmp/quendrel2-%1";
    QTest::newRow("temp folder made by another user") << false << false << true << "cache/Quendrel2";
}

void TestSingleInstance::lockLivesOnlyInAFolderOfTheUser()
{
    QFETCH(bool, runtimeSet);
    QFETCH(bool, runtimeOpenToAll);
    QFETCH(bool, tempTakenByOther);
    QFETCH(QString, lockFolder);

    const QString runtime = m_private->filePath(QStringLiteral("runtime"));
    if (runtimeOpenToAll)
        QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 01777) == 0);
    const QString taken = m_private->filePath(QStringLiteral("tmp/quendrel2-%1").arg(::getuid()));
    if (tempTakenByOther) {
        if (::getuid() != 0)
            QSKIP("needs root to make a folder that belongs to another user");
        // Created first by someone else, as anybody can in a shared /tmp.
        QVERIFY(QDir().mkpath(taken));
        QVERIFY(::chmod(QFile::encodeName(taken).constData(), 0777) == 0);
        QVERIFY(::chown(QFile::encodeName(taken).constData(), 65534, 65534) == 0);
    }

    QProcess *copy = startCopy(runtimeSet);
    QVERIFY(copy->waitForStarted(5000));
    const QString folder = m_private->filePath(lockFolder.arg(::getuid()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QDir(folder).filePath(lockName())), 10000);
    QCOMPARE(copy->state(), QProcess::Running);
    QFileInfo info(folder);
    QCOMPARE(info.ownerId(), ::getuid());
    QCOMPARE(int(info.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther
                                       | QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup)), 0);
    // Nothing of this copy in a folder somebody else can write.
    if (runtimeOpenToAll)
        QVERIFY(QDir(runtime).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty());
    if (tempTakenByOther)
        QVERIFY(QDir(taken).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
