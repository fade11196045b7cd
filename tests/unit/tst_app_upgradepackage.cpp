// Reading upgrade packages: unpacking the fixture archives (good, without "InstallDesc", not JSON,
// an over-long hardware id, unsafe entry names, not an archive), reading "Hardware" and removing
// the scratch folder again.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "upgrade/UpgradePackage.h"

namespace {

QByteArray local(const QString& strPath)
{
    return strPath.toLocal8Bit();
}

/// Every file and folder below strRoot, as paths relative to it, sorted.
QStringList treeOf(const QString& strRoot)
{
    QStringList lst;
    QDirIterator it(strRoot, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        lst.append(QDir(strRoot).relativeFilePath(it.next()));
    lst.sort();
    return lst;
}

/// A literal with a zero byte inside, without its terminating zero.
template <size_t N> QByteArray withZero(const char (&achText)[N])
{
    return QByteArray(achText, int(N - 1));
}

QByteArray contentOf(const QString& strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

} // namespace

class TestAppUpgradePackage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void goodPackageRoundTrip();
    void packagesWithoutUsableDescription();
    void unsafeEntriesStayInside();
    void entryNameRules_data();
    void entryNameRules();
    void notAnArchive();
    void descriptionTexts();
    void removeDirectoryLeavesLinkTargets();

private:
    QString fixture(const char* pszName);
    std::unique_ptr<QTemporaryDir> pDir;
    QString strScratch;
};

QString TestAppUpgradePackage::fixture(const char* pszName)
{
    const QString strPath = QFINDTESTDATA(QStringLiteral("../data/upgrade/") + QLatin1String(pszName));
    if (strPath.isEmpty())
        qFatal("fixture %s not found", pszName);
    return strPath;
}

void TestAppUpgradePackage::init()
{
    pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(pDir->isValid());
    strScratch = pDir->filePath(QStringLiteral("app/Temp"));
    QVERIFY(QDir().mkpath(strScratch));
}

void TestAppUpgradePackage::goodPackageRoundTrip()
{
    ExtractReport report;
    QCOMPARE(extractArchive(local(fixture("good.zip")), local(strScratch), &report), 0);
    // Folder entries come before their files, so everything but the file whose upper folder was
    // never an entry is unpacked.
    QCOMPARE(treeOf(strScratch), QStringList({"InstallDesc", "firmware", "firmware/kernel", "firmware/kernel/uImage",
                                              "firmware/rootfs.img"}));
    QCOMPARE(report.nWritten, 3);
    QCOMPARE(report.nUnwritten, 3); // two folder entries and deep/level/orphan.txt
    QCOMPARE(report.nUnsafe, 0);

    // The large entry is copied through several buffer steps, byte for byte.
    QByteArray baExpected(100000, 0);
    for (int i = 0; i < baExpected.size(); ++i)
        baExpected[i] = char((i * 7) % 256);
    QVERIFY(baExpected.size() > 2 * kExtractBufferBytes);
    QCOMPARE(contentOf(strScratch + "/firmware/rootfs.img"), baExpected);
    QCOMPARE(contentOf(strScratch + "/firmware/kernel/uImage"), QByteArray("kernel image"));

    QString strHardware = QStringLiteral("stale");
    QCOMPARE(readInstallDescHardware(strScratch, &strHardware), InstallDescRead::Ok);
    QCOMPARE(strHardware, QStringLiteral("VT-HW-1000"));

    QVERIFY(removeDirectory(strScratch));
    QVERIFY(!QFileInfo::exists(strScratch));
    QCOMPARE(treeOf(pDir->path()), QStringList({"app"}));

    // Unpacking over an earlier run replaces the files.
    QVERIFY(QDir().mkpath(strScratch));
    QFile stale(strScratch + "/InstallDesc");
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray(5000, 'x'));
    stale.close();
    QCOMPARE(extractArchive(local(fixture("good.zip")), local(strScratch)), 0);
    QCOMPARE(readInstallDescHardware(strScratch, &strHardware), InstallDescRead::Ok);
    QCOMPARE(strHardware, QStringLiteral("VT-HW-1000"));
}

void TestAppUpgradePackage::packagesWithoutUsableDescription()
{
    QString strHardware = QStringLiteral("stale");
    QCOMPARE(extractArchive(local(fixture("no_installdesc.zip")), local(strScratch)), 0);
    QCOMPARE(treeOf(strScratch), QStringList({"firmware.img"}));
    QCOMPARE(readInstallDescHardware(strScratch, &strHardware), InstallDescRead::Unopenable);
    QVERIFY(strHardware.isEmpty());
    QVERIFY(removeDirectory(strScratch));

    QVERIFY(QDir().mkpath(strScratch));
    strHardware = QStringLiteral("stale");
    QCOMPARE(extractArchive(local(fixture("bad_json.zip")), local(strScratch)), 0);
    QCOMPARE(readInstallDescHardware(strScratch, &strHardware), InstallDescRead::Ok);
    QVERIFY(strHardware.isEmpty());
    QVERIFY(removeDirectory(strScratch));

    QVERIFY(QDir().mkpath(strScratch));
    QCOMPARE(extractArchive(local(fixture("long_hardware.zip")), local(strScratch)), 0);
    QCOMPARE(readInstallDescHardware(strScratch, &strHardware), InstallDescRead::Ok);
    QCOMPARE(strHardware, QString(kHardwareMaxChars, QLatin1Char('H')));

    // A folder named like the description is no description.
    QVERIFY(removeDirectory(strScratch));
    QVERIFY(QDir().mkpath(strScratch + "/InstallDesc"));
    QCOMPARE(readInstallDescHardware(strScratch, &strHardware), InstallDescRead::Unopenable);

    // An oversized description is not read into memory.
    QVERIFY(removeDirectory(strScratch));
    QVERIFY(QDir().mkpath(strScratch));
    QFile big(strScratch + "/InstallDesc");
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write("{\"Hardware\":\"BIG\"}");
    big.write(QByteArray(int(kInstallDescMaxBytes), ' '));
    big.close();
    strHardware = QStringLiteral("stale");
    QCOMPARE(readInstallDescHardware(strScratch, &strHardware), InstallDescRead::Ok);
    QVERIFY(strHardware.isEmpty());
}

void TestAppUpgradePackage::unsafeEntriesStayInside()
{
    QVERIFY(!QFileInfo::exists(QStringLiteral("/abs/evil")));
    const QStringList lstCwdBefore = QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    ExtractReport report;
    QCOMPARE(extractArchive(local(fixture("unsafe.zip")), local(strScratch), &report), 0);
    QCOMPARE(report.nUnsafe, 5);
    QCOMPARE(report.nWritten, 2);
    // Nothing beside or above the scratch folder, nothing at the absolute name, nothing in the
    // working folder.
    QCOMPARE(treeOf(pDir->path()), QStringList({"app", "app/Temp", "app/Temp/InstallDesc", "app/Temp/safe.txt"}));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/abs/evil")));
    QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), lstCwdBefore);
    QString strHardware;
    QCOMPARE(readInstallDescHardware(strScratch, &strHardware), InstallDescRead::Ok);
    QCOMPARE(strHardware, QStringLiteral("VT-HW-1000"));
}

void TestAppUpgradePackage::entryNameRules_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << QByteArray("InstallDesc") << true;
    QTest::newRow("nested") << QByteArray("a/b/c.bin") << true;
    QTest::newRow("dots in a name") << QByteArray("a/..b/c..") << true;
    QTest::newRow("single dot") << QByteArray("./x") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("parent") << QByteArray("../x") << false;
    QTest::newRow("parent alone") << QByteArray("..") << false;
    QTest::newRow("parent at end") << QByteArray("a/..") << false;
    QTest::newRow("parent inside") << QByteArray("a/../../x") << false;
    QTest::newRow("backslash parent") << QByteArray("a\\..\\x") << false;
    QTest::newRow("absolute") << QByteArray("/etc/x") << false;
    QTest::newRow("absolute backslash") << QByteArray("\\x") << false;
    QTest::newRow("drive") << QByteArray("C:\\x") << false;
    QTest::newRow("drive relative") << QByteArray("c:x") << false;
}

void TestAppUpgradePackage::entryNameRules()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, safe);
    QCOMPARE(isSafeEntryName(name), safe);
}

void TestAppUpgradePackage::notAnArchive()
{
    ExtractReport report;
    report.nWritten = 99;
    QCOMPARE(extractArchive(local(fixture("not_a_zip.bin")), local(strScratch), &report), -1);
    QCOMPARE(report.nWritten, 0);
    QCOMPARE(extractArchive(local(pDir->filePath("missing.zip")), local(strScratch)), -1);
    QCOMPARE(extractArchive(local(pDir->path()), local(strScratch)), -1); // a folder
    QFile empty(pDir->filePath("empty.zip"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QCOMPARE(extractArchive(local(empty.fileName()), local(strScratch)), -1);
    // An archive cut short loses its central directory.
    QByteArray baGood = contentOf(fixture("good.zip"));
    QFile cut(pDir->filePath("cut.zip"));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(baGood.left(baGood.size() / 2));
    cut.close();
    QCOMPARE(extractArchive(local(cut.fileName()), local(strScratch)), -1);
    QCOMPARE(treeOf(strScratch), QStringList());
}

void TestAppUpgradePackage::descriptionTexts()
{
    QCOMPARE(parseInstallDescHardware("{\"Hardware\":\"HW-1\",\"Other\":[1,2]}"), QStringLiteral("HW-1"));
    QCOMPARE(parseInstallDescHardware("{}"), QString());
    QCOMPARE(parseInstallDescHardware(""), QString());
    QCOMPARE(parseInstallDescHardware("[\"Hardware\"]"), QString());
    QCOMPARE(parseInstallDescHardware("\"Hardware\""), QString());
    QCOMPARE(parseInstallDescHardware("{\"Hardware\":5}"), QString());
    QCOMPARE(parseInstallDescHardware("{\"Hardware\":{\"a\":1}}"), QString());
    QCOMPARE(parseInstallDescHardware("{\"Hardware\":\"HW-"), QString());
    QCOMPARE(parseInstallDescHardware(withZero("{\"Hardware\":\"HW-2\"}\0{garbage")), QStringLiteral("HW-2"));
    QCOMPARE(parseInstallDescHardware(withZero("{\"Hard\0ware\":\"HW-2\"}")), QString());
    const QByteArray baLong = "{\"Hardware\":\"" + QByteArray(kHardwareMaxChars, 'a') + "b\"}";
    QCOMPARE(parseInstallDescHardware(baLong), QString(kHardwareMaxChars, QLatin1Char('a')));
    const QByteArray baExact = "{\"Hardware\":\"" + QByteArray(kHardwareMaxChars, 'c') + "\"}";
    QCOMPARE(parseInstallDescHardware(baExact), QString(kHardwareMaxChars, QLatin1Char('c')));
}

void TestAppUpgradePackage::removeDirectoryLeavesLinkTargets()
{
    const QString strOutside = pDir->filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(strOutside + "/inner"));
    QFile keep(strOutside + "/inner/keep.txt");
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write("keep");
    keep.close();

    QVERIFY(QDir().mkpath(strScratch + "/a/b/c"));
    for (const QString& strFile :
         {QStringLiteral("/top.bin"), QStringLiteral("/a/.hidden"), QStringLiteral("/a/b/c/deep.bin")}) {
        QFile file(strScratch + strFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    QVERIFY(QFile::link(strOutside, strScratch + "/a/linkdir"));
    QVERIFY(QFile::link(strOutside + "/inner/keep.txt", strScratch + "/linkfile"));
    QVERIFY(QFile::link(pDir->filePath("nowhere"), strScratch + "/dangling"));

    QVERIFY(removeDirectory(strScratch));
    QVERIFY(!QFileInfo::exists(strScratch));
    QCOMPARE(contentOf(strOutside + "/inner/keep.txt"), QByteArray("keep"));
    QCOMPARE(treeOf(pDir->path()), QStringList({"app", "outside", "outside/inner", "outside/inner/keep.txt"}));

    // Nothing to remove is no failure; an empty path never means the working folder; a link to a
    // folder is not followed.
    QVERIFY(removeDirectory(strScratch));
    const QStringList lstCwd = QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QVERIFY(!lstCwd.isEmpty());
    QVERIFY(removeDirectory(QString()));
    QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), lstCwd);
    QVERIFY(QFile::link(strOutside, pDir->filePath("app/link")));
    removeDirectory(pDir->filePath("app/link"));
    QCOMPARE(contentOf(strOutside + "/inner/keep.txt"), QByteArray("keep"));
}

QTEST_GUILESS_MAIN(TestAppUpgradePackage)
#include "tst_app_upgradepackage.moc"
