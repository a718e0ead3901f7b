// What stands in for the operating system: the per-user data folder, the
// image cache path, file tests and writes, and the CJK font mapping.
#include "ui/FontSetup.h"
#include "platform/Platform.h"
#include "platform/QtCompat.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void appDataFollowsTheUsersDataFolder();
    void writeFile_data();
    void writeFile();
    void chineseFamiliesMapToAnInstalledFont();
    void controlsGetTheWindowsGuiFontSize();
};

void TestPlatform::appDataFollowsTheUsersDataFolder()
{
#ifdef Q_OS_WIN
    QSKIP("the shell decides on Windows");
#else
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString data = home.filePath(QStringLiteral("用户 data"));
    qputenv("XDG_DATA_HOME", data.toUtf8());
    QCOMPARE(Platform::appDataFolder(), QDir::toNativeSeparators(data));
    QCOMPARE(Platform::imageCacheFolder(),
             QDir::toNativeSeparators(data + QStringLiteral("/kiva/head")));
    qunsetenv("XDG_DATA_HOME");
#endif
}

void TestPlatform::writeFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("existing"); // a longer file is there already
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("written");

    QTest::newRow("new file") << QStringLiteral("1450928358.png") << false
                              << QByteArray("\x89PNG\r\n", 6) << true;
    QTest::newRow("replaces a longer file")
        << QStringLiteral("a.png") << true << QByteArray("new") << true;
    QTest::newRow("empty body") << QStringLiteral("empty.png") << true << QByteArray() << true;
    QTest::newRow("non-ASCII name")
        << QStringLiteral("礼物.png") << false << QByteArray("x") << true;
    QTest::newRow("missing folder")
        << QStringLiteral("no/such/folder/x.png") << false << QByteArray("x") << false;
}

void TestPlatform::writeFile()
{
    QFETCH(QString, name);
    QFETCH(bool, existing);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, written);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path =
        Platform::joinPath(QDir::toNativeSeparators(folder.path()), QDir::toNativeSeparators(name));
    if (existing) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'o'));
    }
    QCOMPARE(Platform::fileExists(path), existing);
    QCOMPARE(Platform::writeFile(path, bytes), written);
    QCOMPARE(Platform::fileExists(path), written || existing);
    if (written) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
    }
}

void TestPlatform::chineseFamiliesMapToAnInstalledFont()
{
    const QString family = installCjkFontSubstitutions();
#ifdef Q_OS_WIN
    QVERIFY(family.isEmpty());
#else
    if (QtCompat::fontFamilies(QFontDatabase::SimplifiedChinese).isEmpty())
        QSKIP("no CJK font installed");
    QVERIFY(!family.isEmpty());
    for (const QString &name : {QStringLiteral("微软雅黑"), QStringLiteral("黑体")}) {
        QVERIFY2(QFont::substitutes(name).contains(family, Qt::CaseInsensitive), qPrintable(name));
        // The family the style sheets name now draws Chinese glyphs.
        const QFontInfo info {QFont(name)};
        QVERIFY(QtCompat::writingSystems(info.family()).contains(QFontDatabase::SimplifiedChinese));
    }
#endif
}

void TestPlatform::controlsGetTheWindowsGuiFontSize()
{
    useWindowsGuiFontSize(QString());
#ifndef Q_OS_WIN
    QCOMPARE(QApplication::font().pixelSize(), 12);
    // A button whose style names no usable family draws in it and fits its text.
    QPushButton button;
    button.setStyleSheet(QString::fromUtf8("QPushButton { font:微软雅黑 10px; padding:4px; }"));
    button.setText(QStringLiteral("开始计票"));
    button.setFixedSize(65, 24);
    button.ensurePolished();
    QCOMPARE(QFontInfo(button.font()).pixelSize(), 12);
    QVERIFY(QFontMetrics(button.font()).horizontalAdvance(button.text()) + 8 <= 65);
#endif
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
