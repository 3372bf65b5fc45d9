// One running copy per user: real program processes started side by side.

#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondCopyBringsTheFirstToTheFrontAndEnds();
    void copyThatGetsNoAnswerGoesOn();

private:
    QProcess *startCopy();
    QString lockPath() const;

    QTemporaryDir *m_dir = nullptr;
    QString m_user;
    QList<QProcess *> m_copies;
};

void TestSingleInstance::init()
{
    m_dir = new QTemporaryDir;
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
}

QString TestSingleInstance::lockPath() const
{
    return QDir::temp().filePath(QStringLiteral("Quendrel2_DataRecorder-%1.lock").arg(m_user));
}

QProcess *TestSingleInstance::startCopy()
{
    auto *process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("USER"), m_user);
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

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
