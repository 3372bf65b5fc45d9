// The first start of an installed copy: the per-user settings are seeded
// from the installed defaults in the desktop's language (de* Deutsch,
// fr* Francais, else English), everything else as installed.

#include "FilePaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class tst_FirstStart : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void localeNamesPickTheLanguage_data();
    void localeNamesPickTheLanguage();
    void seededSettingsSpeakTheDesktopLanguage_data();
    void seededSettingsSpeakTheDesktopLanguage();
    void lcAllAndLcMessagesComeBeforeLang();
    void settingsBroughtAlongAreCopiedAsTheyAre();
    void existingSettingsAreNotTouched();
    void shortOrBareLfDefaultsKeepTheirShape();
    void programFolderHoldsTheSettingsOnlyWhenNoOtherUserCouldWriteThere_data();
    void programFolderHoldsTheSettingsOnlyWhenNoOtherUserCouldWriteThere();

private:
    QByteArray defaults() const;
    void setLocale(const char *lang, const char *lcMessages = nullptr, const char *lcAll = nullptr);
};

namespace {
QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

void tst_FirstStart::init()
{
    setLocale("C");
}

QByteArray tst_FirstStart::defaults() const
{
    return readAll(QStringLiteral(QDR_SOURCE_DIR "/setup/defaults/qvx.ini"));
}

void tst_FirstStart::setLocale(const char *lang, const char *lcMessages, const char *lcAll)
{
    const auto set = [](const char *name, const char *value) {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    };
    set("LANG", lang);
    set("LC_MESSAGES", lcMessages);
    set("LC_ALL", lcAll);
}

void tst_FirstStart::localeNamesPickTheLanguage_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("language");
    QTest::newRow("de_DE.UTF-8") << "de_DE.UTF-8" << "Deutsch";
    QTest::newRow("de_AT") << "de_AT" << "Deutsch";
    QTest::newRow("de_CH.utf8") << "de_CH.utf8" << "Deutsch";
    QTest::newRow("fr_FR.UTF-8") << "fr_FR.UTF-8" << "Francais";
    QTest::newRow("fr_CA") << "fr_CA" << "Francais";
    QTest::newRow("en_GB.UTF-8") << "en_GB.UTF-8" << "English";
    QTest::newRow("it_IT") << "it_IT" << "English";
    QTest::newRow("C") << "C" << "English";
    QTest::newRow("POSIX") << "POSIX" << "English";
}

void tst_FirstStart::localeNamesPickTheLanguage()
{
    QFETCH(QString, locale);
    QFETCH(QString, language);
    QCOMPARE(languageForLocale(locale), language);
}

void tst_FirstStart::seededSettingsSpeakTheDesktopLanguage_data()
{
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QByteArray>("language");
    QTest::newRow("German desktop") << QByteArray("de_DE.UTF-8") << QByteArray("Deutsch");
    QTest::newRow("French desktop") << QByteArray("fr_FR.UTF-8") << QByteArray("Francais");
    QTest::newRow("Spanish desktop") << QByteArray("es_ES.UTF-8") << QByteArray("English");
}

void tst_FirstStart::seededSettingsSpeakTheDesktopLanguage()
{
    QFETCH(QByteArray, lang);
    QFETCH(QByteArray, language);
    setLocale(lang.constData());
    QTemporaryDir user, program;
    const QString installed = QStringLiteral(QDR_SOURCE_DIR "/setup/defaults");

    seedSettingsFiles(user.path(), {program.path(), installed}, installed);

    const QByteArray seeded = readAll(user.filePath(QStringLiteral("qvx.ini")));
    QByteArray expected = defaults();
    expected.replace("\r\nEnglish\r\n", "\r\n" + language + "\r\n");
    QCOMPARE(seeded, expected);
    QCOMPARE(seeded.split('\n').at(2), language + "\r");
    QCOMPARE(readAll(user.filePath(QStringLiteral("sensor.ini"))),
             readAll(installed + QStringLiteral("/sensor.ini")));
    QVERIFY(QFileInfo(user.filePath(QStringLiteral("qvx.ini"))).permissions() & QFile::WriteOwner);
}

void tst_FirstStart::lcAllAndLcMessagesComeBeforeLang()
{
    setLocale("en_US.UTF-8", "fr_FR.UTF-8");
    QCOMPARE(desktopLanguage(), QStringLiteral("Francais"));
    setLocale("fr_FR.UTF-8", "fr_FR.UTF-8", "de_DE.UTF-8");
    QCOMPARE(desktopLanguage(), QStringLiteral("Deutsch"));
    setLocale("de_DE.UTF-8");
    QCOMPARE(desktopLanguage(), QStringLiteral("Deutsch"));
}

void tst_FirstStart::settingsBroughtAlongAreCopiedAsTheyAre()
{
    // A read-only copy on a stick that carries its own settings keeps them.
    setLocale("de_DE.UTF-8");
    QTemporaryDir user, program;
    const QString installed = QStringLiteral(QDR_SOURCE_DIR "/setup/defaults");
    const QByteArray own("/usr/bin/localc\r\n3\r\nFrancais\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n");
    writeAll(program.filePath(QStringLiteral("QVX.INI")), own);
    seedSettingsFiles(user.path(), {program.path(), installed}, installed);
    QCOMPARE(readAll(user.filePath(QStringLiteral("qvx.ini"))), own);
}

void tst_FirstStart::existingSettingsAreNotTouched()
{
    setLocale("fr_FR.UTF-8");
    QTemporaryDir user;
    const QString installed = QStringLiteral(QDR_SOURCE_DIR "/setup/defaults");
    const QByteArray mine("\r\n1\r\nEnglish\r\n 0 \r\n 15 \r\n\r\n\r\n0\r\nReady\r\n");
    writeAll(user.filePath(QStringLiteral("qvx.ini")), mine);
    seedSettingsFiles(user.path(), {installed}, installed);
    QCOMPARE(readAll(user.filePath(QStringLiteral("qvx.ini"))), mine);
}

void tst_FirstStart::shortOrBareLfDefaultsKeepTheirShape()
{
    QCOMPARE(settingsWithLanguage("a\n2\nEnglish\n0\n", QStringLiteral("Deutsch")), QByteArray("a\n2\nDeutsch\n0\n"));
    QCOMPARE(settingsWithLanguage("a\r\n2\r\nEnglish", QStringLiteral("Francais")), QByteArray("a\r\n2\r\nFrancais"));
    QCOMPARE(settingsWithLanguage("\r\n1\r\n", QStringLiteral("Deutsch")), QByteArray("\r\n1\r\nDeutsch\r\n"));
    QCOMPARE(settingsWithLanguage("", QStringLiteral("Deutsch")), QByteArray("\r\n\r\nDeutsch\r\n"));
}

void tst_FirstStart::programFolderHoldsTheSettingsOnlyWhenNoOtherUserCouldWriteThere_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<bool>("beside");           // the program folder is the settings folder
    QTest::addColumn<bool>("seededFromProgram"); // else from the installed defaults
    QTest::newRow("own folder") << "" << true << false;
    QTest::newRow("group may write") << "mode 0775" << false << false;
    QTest::newRow("sticky, all may write") << "mode 1777" << false << false;
    QTest::newRow("folder of nobody") << "folder of nobody" << false << false;
    QTest::newRow("qvx.ini of nobody") << "qvx.ini of nobody" << false << false;
    QTest::newRow("COM1 link of nobody") << "COM1 of nobody" << false << true;
}

void tst_FirstStart::programFolderHoldsTheSettingsOnlyWhenNoOtherUserCouldWriteThere()
{
    QFETCH(QString, planted);
    QFETCH(bool, beside);
    QFETCH(bool, seededFromProgram);
    if (planted.contains(QLatin1String("nobody")) && ::geteuid() != 0)
        QSKIP("planting a file of another user needs root");
    QTemporaryDir root, config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QString program = root.filePath(QStringLiteral("prefix/bin"));
    const QString installed = root.filePath(QStringLiteral("prefix/share/quendrel2-datarecorder"));
    QVERIFY(QDir().mkpath(program) && QDir().mkpath(installed));
    QVERIFY(::chmod(QFile::encodeName(program).constData(), 0755) == 0);
    writeAll(installed + QStringLiteral("/qvx.ini"), defaults());
    // Another user's spreadsheet program, which the recorder would start.
    const QByteArray evil("/home/other/evil-calc\r\n1\r\nEnglish\r\n");
    writeAll(program + QStringLiteral("/qvx.ini"), evil);
    const QByteArray folder = QFile::encodeName(program);
    if (planted.startsWith(QLatin1String("mode")))
        QVERIFY(::chmod(folder.constData(), mode_t(planted.mid(5).toUInt(nullptr, 8))) == 0);
    else if (planted == QLatin1String("folder of nobody"))
        QVERIFY(::chown(folder.constData(), 65534, 65534) == 0);
    else if (planted == QLatin1String("qvx.ini of nobody"))
        QVERIFY(::chown(folder + "/qvx.ini", 65534, 65534) == 0);
    else if (planted == QLatin1String("COM1 of nobody"))
        QVERIFY(::symlink("/dev/pts/0", folder + "/COM1") == 0 && ::lchown(folder + "/COM1", 65534, 65534) == 0);

    const QString chosen = settingsFolderFor(program);
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(chosen, beside ? program : config.filePath(QStringLiteral("Quendrel2")));
    if (!beside)
        QCOMPARE(readAll(chosen + QStringLiteral("/qvx.ini")).startsWith(evil), seededFromProgram);
}

QTEST_GUILESS_MAIN(tst_FirstStart)
#include "tst_firststart.moc"
