// Reading upgrade packages as an Upgrade press does, without unpacking: the install description
// only, bounded, and entries larger than the disk refused; the description's "Hardware"; and
// removing a folder without following links.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "upgrade/UpgradePackage.h"

namespace {

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
    void pressReadsOnlyTheDescription();
    void removeDirectoryLeavesLinkTargets();
};

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
        const QString strPath = QFINDTESTDATA(QStringLiteral("../data/upgrade/") + QLatin1String(c.pszFixture));
        QVERIFY2(!strPath.isEmpty(), c.pszFixture);
        QString strHardware = QStringLiteral("stale");
        QCOMPARE(readPackageHardware(strPath, c.nDiskBytes, &strHardware), c.read);
        QCOMPARE(strHardware, c.strHardware);
    }
    // A "Hardware" that is no string, a text that is no object, and the text ends at a zero byte.
    QCOMPARE(parseInstallDescHardware("{\"Hardware\":5}"), QString());
    QCOMPARE(parseInstallDescHardware("[\"Hardware\"]"), QString());
    const char achZero[] = "{\"Hardware\":\"HW-2\0\"}";
    QCOMPARE(parseInstallDescHardware(QByteArray(achZero, int(sizeof achZero) - 1)), QString());
}

void TestAppUpgradePackage::removeDirectoryLeavesLinkTargets()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString strScratch = dir.filePath("app/Temp");
    const QString strOutside = dir.filePath("outside");
    QVERIFY(QDir().mkpath(strOutside + "/inner") && QDir().mkpath(strScratch + "/a/b/c"));
    QVERIFY(writeTo(strOutside + "/inner/keep.txt", "keep"));
    for (const char* pszFile : {"/top.bin", "/a/.hidden", "/a/b/c/deep.bin"})
        QVERIFY(writeTo(strScratch + pszFile, "x"));
    QVERIFY(QFile::link(strOutside, strScratch + "/a/linkdir"));
    QVERIFY(QFile::link(strOutside + "/inner/keep.txt", strScratch + "/linkfile"));
    QVERIFY(QFile::link(dir.filePath("nowhere"), strScratch + "/dangling"));

    QVERIFY(removeDirectory(strScratch));
    QCOMPARE(treeOf(dir.path()), QStringList({"app", "outside", "outside/inner", "outside/inner/keep.txt"}));
    // Nothing to remove is no failure; an empty path never means the working folder; a link to a
    // folder is not followed.
    QVERIFY(removeDirectory(strScratch));
    const QStringList lstCwd = QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QVERIFY(removeDirectory(QString()));
    QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), lstCwd);
    QVERIFY(QFile::link(strOutside, dir.filePath("app/link")));
    removeDirectory(dir.filePath("app/link"));
    QCOMPARE(treeOf(strOutside), QStringList({"inner", "inner/keep.txt"}));
}

QTEST_GUILESS_MAIN(TestAppUpgradePackage)
#include "tst_app_upgradepackage.moc"
