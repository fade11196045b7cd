// Reading upgrade packages: what an Upgrade press reads without unpacking (the install description
// only, bounded; entries larger than the disk refused), unpacking the fixture archives (good,
// without "InstallDesc", not JSON, an over-long hardware id) and files that are no archive, which
// entry names may be unpacked, reading "Hardware" and removing a folder without following links.
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

QByteArray contentOf(const QString& strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

bool writeTo(const QString& strPath, const QByteArray& baData)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly) && file.write(baData) == baData.size();
}

} // namespace

class TestAppUpgradePackage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pressReadsOnlyTheDescription();
    void goodPackageRoundTrip();
    void packagesWithoutUsableDescription();
    void entryNameRules();
    void notAnArchive();
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

void TestAppUpgradePackage::pressReadsOnlyTheDescription()
{
    // good.zip's entries hold about 100 kB: a disk with less room than that refuses it.
    const struct
    {
        const char* pszFixture;
        qint64 nDiskBytes;
        PackageRead read;
        QString strHardware;
    } cases[] = {
        {"good.zip", 1 << 20, PackageRead::Ok, QStringLiteral("VT-HW-1000")},
        {"good.zip", 100000, PackageRead::TooLarge, QString()},
        {"no_installdesc.zip", 1 << 20, PackageRead::NoInstallDesc, QString()},
        {"bad_json.zip", 1 << 20, PackageRead::Ok, QString()},
        {"long_hardware.zip", 1 << 20, PackageRead::Ok, QString(kHardwareMaxChars, QLatin1Char('H'))},
        {"big_installdesc.zip", 4 << 20, PackageRead::Ok, QString()},
        {"not_a_zip.bin", 1 << 20, PackageRead::NotAnArchive, QString()},
    };
    for (const auto& c : cases) {
        QString strHardware = QStringLiteral("stale");
        QCOMPARE(readPackageHardware(fixture(c.pszFixture), c.nDiskBytes, &strHardware), c.read);
        QCOMPARE(strHardware, c.strHardware);
    }
    // Nothing was written anywhere near the program.
    QCOMPARE(treeOf(pDir->path()), QStringList({"app", "app/Temp"}));
}

void TestAppUpgradePackage::goodPackageRoundTrip()
{
    // Unpacking over an earlier run replaces a longer file of the same name.
    QVERIFY(writeTo(strScratch + "/InstallDesc", QByteArray(5000, 'x')));
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

    QString strHardware;
    QCOMPARE(readInstallDescHardware(strScratch, &strHardware), InstallDescRead::Ok);
    QCOMPARE(strHardware, QStringLiteral("VT-HW-1000"));
    QVERIFY(removeDirectory(strScratch));
    QCOMPARE(treeOf(pDir->path()), QStringList({"app"}));
}

void TestAppUpgradePackage::packagesWithoutUsableDescription()
{
    // No description at all, one that is not JSON, one whose hardware id is too long, one too
    // large to be read into memory.
    QVERIFY(QDir().mkpath(pDir->filePath("big")));
    QVERIFY(writeTo(pDir->filePath("big/InstallDesc"),
                    "{\"Hardware\":\"BIG\"}" + QByteArray(int(kInstallDescMaxBytes), ' ')));
    struct Case
    {
        const char* pszFixture;
        InstallDescRead read;
        QString strHardware;
    };
    const Case cases[] = {
        {"no_installdesc.zip", InstallDescRead::Unopenable, QString()},
        {"bad_json.zip", InstallDescRead::Ok, QString()},
        {"long_hardware.zip", InstallDescRead::Ok, QString(kHardwareMaxChars, QLatin1Char('H'))},
        {nullptr, InstallDescRead::Ok, QString()},
    };
    for (const Case& c : cases) {
        QVERIFY(removeDirectory(strScratch) && QDir().mkpath(strScratch));
        const QString strFolder = c.pszFixture ? strScratch : pDir->filePath("big");
        if (c.pszFixture)
            QCOMPARE(extractArchive(local(fixture(c.pszFixture)), local(strScratch)), 0);
        QString strHardware = QStringLiteral("stale");
        QCOMPARE(readInstallDescHardware(strFolder, &strHardware), c.read);
        QCOMPARE(strHardware, c.strHardware);
    }

    // A "Hardware" that is no string, a text that is no object, and the text ends at a zero byte.
    QCOMPARE(parseInstallDescHardware("{\"Hardware\":5}"), QString());
    QCOMPARE(parseInstallDescHardware("[\"Hardware\"]"), QString());
    const char achZero[] = "{\"Hardware\":\"HW-2\0\"}";
    QCOMPARE(parseInstallDescHardware(QByteArray(achZero, int(sizeof achZero) - 1)), QString());
}

void TestAppUpgradePackage::entryNameRules()
{
    for (const char* pszName : {"a/..b/./c..", "./x"})
        QVERIFY2(isSafeEntryName(pszName), pszName);
    // Empty, climbing out ('/' or '\\' as separator, at the start, inside, at the end), absolute,
    // or with a drive letter.
    for (const char* pszName : {"", "../x", "..", "a/..", "a\\..\\x", "/etc/x", "\\x", "c:x"})
        QVERIFY2(!isSafeEntryName(pszName), pszName);
}

void TestAppUpgradePackage::notAnArchive()
{
    // Not a zip, missing, a folder, empty, and an archive cut short (without its directory).
    QVERIFY(writeTo(pDir->filePath("empty.zip"), QByteArray()));
    const QByteArray baGood = contentOf(fixture("good.zip"));
    QVERIFY(writeTo(pDir->filePath("cut.zip"), baGood.left(baGood.size() / 2)));
    for (const QString& strPath : {fixture("not_a_zip.bin"), pDir->filePath("missing.zip"), pDir->path(),
                                   pDir->filePath("empty.zip"), pDir->filePath("cut.zip")}) {
        ExtractReport report;
        report.nWritten = 99;
        QCOMPARE(extractArchive(local(strPath), local(strScratch), &report), -1);
        QCOMPARE(report.nWritten, 0);
    }
    QCOMPARE(treeOf(strScratch), QStringList());
}

void TestAppUpgradePackage::removeDirectoryLeavesLinkTargets()
{
    const QString strOutside = pDir->filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(strOutside + "/inner"));
    QVERIFY(writeTo(strOutside + "/inner/keep.txt", "keep"));
    QVERIFY(QDir().mkpath(strScratch + "/a/b/c"));
    for (const char* pszFile : {"/top.bin", "/a/.hidden", "/a/b/c/deep.bin"})
        QVERIFY(writeTo(strScratch + pszFile, "x"));
    QVERIFY(QFile::link(strOutside, strScratch + "/a/linkdir"));
    QVERIFY(QFile::link(strOutside + "/inner/keep.txt", strScratch + "/linkfile"));
    QVERIFY(QFile::link(pDir->filePath("nowhere"), strScratch + "/dangling"));

    QVERIFY(removeDirectory(strScratch));
    QVERIFY(!QFileInfo::exists(strScratch));
    QCOMPARE(treeOf(pDir->path()), QStringList({"app", "outside", "outside/inner", "outside/inner/keep.txt"}));
    QCOMPARE(contentOf(strOutside + "/inner/keep.txt"), QByteArray("keep"));

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
