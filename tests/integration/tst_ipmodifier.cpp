// The address change without login as ModifyIP and the same-address batch drive it: records built
// from a real search, cameras of the emulator really moving (or staying), the texts and record
// updates, and the bound of the free-address search. The start-address batch over cameras is in
// tst_batchrunner.

#include <cstring>
#include <vector>

#include <QJsonObject>
#include <QtTest>

#include "batch/CAddressCheck.h"
#include "batch/CIpModifier.h"
#include "emulatorprocess.h"
#include "sdktesthelpers.h"

// From device/DeviceRecords.h, whose record-size constant clashes with the test helpers' one.
void buildDevInfo(DEV_INFO* pInfo, const SDK_CONFIG_NET_COMMON_V2& rec, int nRow);

namespace {

const QString kMask = QStringLiteral("255.0.0.0");

/// Every address in use; remembers every address it was asked about.
class RecordingCheck : public CAddressCheck
{
public:
    bool isInUse(const QString& strIp) override
    {
        asked.append(strIp);
        return true;
    }

    QStringList asked;
};

/// Records for rows 0..nCount-1, built from the search answers of the emulator's cameras.
bool recordsOf(const EmulatorProcess& emulator, int nCount, std::vector<std::unique_ptr<DEV_INFO>>* pRecords)
{
    const QVector<SDK_CONFIG_NET_COMMON_V2> searched = searchRecordsByCamera(emulator, 3000);
    for (int i = 0; i < nCount && i < searched.size(); ++i) {
        pRecords->push_back(std::make_unique<DEV_INFO>());
        buildDevInfo(pRecords->back().get(), searched[i], i);
    }
    return int(pRecords->size()) == nCount;
}

/// "status|library result|new address" of one change.
QString summary(const CIpModifier::Result& result)
{
    return QStringLiteral("%1|%2|%3").arg(result.strStatus).arg(result.nRet).arg(result.strNewIp);
}

/// "address/mask/gateway" of a camera as the emulator holds it.
QString networkOf(EmulatorProcess& emulator, int nCamera)
{
    const QJsonObject camera = emulator.camera(nCamera);
    return QStringList{camera.value("HostIP").toString(), camera.value("Submask").toString(),
                       camera.value("GateWay").toString()}
        .join('/');
}

QString addressOf(EmulatorProcess& emulator, int nCamera)
{
    return networkOf(emulator, nCamera).section('/', 0, 0);
}

} // namespace

class TestIpModifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void refusalsModifyIpAndSameAddress();
    void freeAddressSearchEndsAfterOneCycle();
};

void TestIpModifier::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestIpModifier::cleanupTestCase()
{
    sdkCleanup();
}

void TestIpModifier::refusalsModifyIpAndSameAddress()
{
    // A 32-byte camera password: it fills the record's password field without a terminator, and the
    // batch password is cut to 32 bytes, so extra characters do not matter.
    const QString password = QStringLiteral("0123456789abcdef0123456789ABCDEF");
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "3", "--password", password}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    std::vector<std::unique_ptr<DEV_INFO>> records;
    QVERIFY(recordsOf(emulator, 3, &records));
    std::vector<DEV_INFO> before;
    for (const auto& rec : records)
        before.push_back(*rec);

    // Wrong batch password, both plans: every camera refuses, records and cameras stay as they were.
    for (int nCode : {3, 4}) {
        CIpModifier modifier;
        modifier.preparePlan(nCode, emulator.rangeAddress(80), kMask, emulator.rangeAddress(81), "wrong", nullptr);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(summary(modifier.changeAddress(records[i].get())),
                     QStringLiteral("Set IP Fail|%1|").arg(SDK_ERR_PASSWORD));
            QVERIFY(std::memcmp(records[i].get(), &before[i], sizeof(DEV_INFO)) == 0);
            QCOMPARE(addressOf(emulator, i), emulator.address(i));
        }
    }

    // A search record's block holds no credentials: ModifyIP then sends the record's own user and
    // password. Without the camera's password: refused, reported, and the block keeps the address
    // the camera really has.
    QStringList cells; // "row|column|text" of each cell write, in order
    const auto setCell = [&cells](int nRow, int nColumn, const QString& strText) {
        cells << QStringLiteral("%1|%2|%3").arg(nRow).arg(nColumn).arg(strText);
    };
    QCOMPARE(CIpModifier::modifyIp(records[2].get(), 2, 1, setCell), -1);
    QCOMPARE(cells, QStringList{"2|3|Set Ip Fail"});
    QCOMPARE(QString::fromLatin1(records[2]->szIpAddr), emulator.address(2));
    QCOMPARE(dottedText(records[2]->netBlock.hostIp), emulator.address(2));

    // A camera that applies changes only after a reboot: the batch reports it and keeps the record;
    // ModifyIP reports it too.
    QVERIFY(emulator.setFault(1, QJsonObject{{QStringLiteral("RebootNeeded"), true}}));
    CIpModifier rebootModifier;
    rebootModifier.preparePlan(4, emulator.rangeAddress(90), kMask, emulator.rangeAddress(91), password, nullptr);
    QCOMPARE(summary(rebootModifier.changeAddress(records[1].get())),
             QStringLiteral("Need Reboot|%1|").arg(SDK_ERR_NEED_REBOOT));
    QVERIFY(std::memcmp(records[1].get(), &before[1], sizeof(DEV_INFO)) == 0);
    QCOMPARE(sizeof records[0]->szPassword, std::size_t(password.size()));
    for (int i : {0, 1})
        std::memcpy(records[i]->szPassword, password.toLatin1().constData(), sizeof records[i]->szPassword);
    cells.clear();
    QCOMPARE(CIpModifier::modifyIp(records[1].get(), 1, 1, setCell), -1);
    QCOMPARE(cells, QStringList{"1|3|Need Reboot"});

    // ModifyIP by row number. Row 240: last octet 260 modulo 256 = 4, and the camera answers there.
    // Type 2 saves the octet it moves away from, type 3 brings the camera back to it.
    DEV_INFO* pRec = records[0].get();
    const QString prefix = emulator.address(0).section('.', 0, 2) + '.';
    cells.clear();
    QCOMPARE(CIpModifier::modifyIp(pRec, 240, 1, setCell), 1);
    QCOMPARE(addressOf(emulator, 0), prefix + "4");
    int error = 0;
    const long handle = loginWithin(prefix + "4", password, &error, 5000);
    QVERIFY(handle > 0);
    sdkLogout(handle);
    QCOMPARE(CIpModifier::modifyIp(pRec, 7, 2, setCell), 1);
    QCOMPARE(pRec->nSavedLastOctet, 4);
    QCOMPARE(addressOf(emulator, 0), prefix + "27");
    QCOMPARE(CIpModifier::modifyIp(pRec, 7, 3, setCell), 1);
    QCOMPARE(cells, (QStringList{"240|1|" + prefix + "4", "7|1|" + prefix + "27", "7|1|" + prefix + "4"}));
    QCOMPARE(QString::fromLatin1(pRec->szIpAddr), prefix + "4");

    // Other types and records without a network identity change nothing; no record is success.
    cells.clear();
    const DEV_INFO kept = *pRec;
    QCOMPARE(CIpModifier::modifyIp(pRec, 7, 0, setCell), 0);
    QCOMPARE(CIpModifier::modifyIp(pRec, 7, 4, setCell), 0);
    QVERIFY(std::memcmp(pRec, &kept, sizeof kept) == 0);
    DEV_INFO added;
    std::memset(&added, 0, sizeof added);
    std::strcpy(added.szIpAddr, "127.9.9.9");
    added.netBlock.hostIp[0] = 127;
    const DEV_INFO addedBefore = added;
    QCOMPARE(CIpModifier::modifyIp(&added, 3, 1, setCell), 0);
    QVERIFY(std::memcmp(&added, &addedBefore, sizeof added) == 0);
    QCOMPARE(CIpModifier::modifyIp(nullptr, 3, 1, setCell), 1);
    QVERIFY(cells.isEmpty());
    QCOMPARE(addressOf(emulator, 0), prefix + "4");

    // Same address with the right password: cameras 0 and 2 move to the plan, the check is never asked.
    RecordingCheck check;
    CIpModifier modifier;
    const QString target = emulator.rangeAddress(60);
    const QString gateway = emulator.rangeAddress(61);
    modifier.preparePlan(4, target, kMask, gateway, password + QStringLiteral("-ignored"), &check);
    for (int i : {0, 2}) {
        QCOMPARE(summary(modifier.changeAddress(records[i].get())), "Modify Success|1|" + target);
        QCOMPARE(QString::fromLatin1(records[i]->szIpAddr), target);
        QCOMPARE(QByteArray(records[i]->netBlock.password), password.toLatin1());
        QCOMPARE(networkOf(emulator, i), target + '/' + kMask + '/' + gateway);
    }
    QVERIFY(check.asked.isEmpty());
    QCOMPARE(addressOf(emulator, 1), emulator.address(1));
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestIpModifier::freeAddressSearchEndsAfterOneCycle()
{
    // Every address answers: each start asks about every last octet 1..254 once (and an out-of-cycle
    // start once), never .0 after the start and never .255, then gives up without sending; the next
    // device of the batch is told at once. A plan that is no address sends nothing and asks nothing.
    const struct
    {
        const char* szPlan;
        int nChecks;
    } cases[] = {{"127.9.9.20", 254}, {"127.9.9.254", 254}, {"127.9.9.1", 254},
                 {"127.9.9.0", 255},  {"127.9.9.255", 255}, {"127.9.9", 0}};
    for (const auto& c : cases) {
        RecordingCheck check;
        CIpModifier modifier;
        modifier.preparePlan(3, c.szPlan, kMask, "127.9.9.1", QString(), &check);
        DEV_INFO rec;
        std::memset(&rec, 0, sizeof rec);
        std::strcpy(rec.szIpAddr, "127.9.9.77");
        const DEV_INFO before = rec;
        for (int nDevice = 0; nDevice < 2; ++nDevice)
            QCOMPARE(summary(modifier.changeAddress(&rec)), c.nChecks ? "No free address|0|" : "Set IP Fail|0|");
        QVERIFY(std::memcmp(&rec, &before, sizeof rec) == 0);
        QCOMPARE(check.asked.size(), c.nChecks);
        QCOMPARE(QSet<QString>(check.asked.cbegin(), check.asked.cend()).size(), c.nChecks);
        QCOMPARE(check.asked.value(0), c.nChecks ? QString(c.szPlan) : QString());
        QVERIFY(!check.asked.mid(1).contains("127.9.9.255") && !check.asked.mid(1).contains("127.9.9.0"));
    }
}

QTEST_GUILESS_MAIN(TestIpModifier)
#include "tst_ipmodifier.moc"
