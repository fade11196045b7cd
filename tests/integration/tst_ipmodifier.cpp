// The address change without login as the batch and ModifyIP drive it: records built from a real
// search, cameras of the emulator really moving (or staying), and the texts and record updates.

#include <algorithm>
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

/// The program's device check (one search through the library's broadcast addresses), remembering
/// every address it was asked about. A wait longer than the default keeps it reliable on a busy machine.
class RecordingDeviceCheck : public CDeviceAddressCheck
{
public:
    RecordingDeviceCheck() : CDeviceAddressCheck(1000) {}

    bool isInUse(const QString& strIp) override
    {
        asked.append(strIp);
        return CDeviceAddressCheck::isInUse(strIp);
    }

    QStringList asked;
};

/// Answers from a fixed set; remembers what it was asked.
class ScriptedCheck : public CAddressCheck
{
public:
    bool isInUse(const QString& strIp) override
    {
        asked.append(strIp);
        return bEverything || inUse.contains(strIp);
    }

    bool bEverything = false;
    QStringList inUse;
    QStringList asked;
};

/// A zero-filled record for row nRow, built from the search answer of the camera with strMac.
std::unique_ptr<DEV_INFO> recordOf(const QString& strMac, int nRow, int nCameras)
{
    const QByteArray raw = searchRecordOf(strMac, 3000, nCameras);
    if (raw.size() != int(sizeof(SDK_CONFIG_NET_COMMON_V2)))
        return nullptr;
    SDK_CONFIG_NET_COMMON_V2 search;
    std::memcpy(&search, raw.constData(), sizeof search);
    auto rec = std::make_unique<DEV_INFO>();
    std::memset(rec.get(), 0, sizeof(DEV_INFO));
    buildDevInfo(rec.get(), search, nRow);
    return rec;
}

QString lastOctetChanged(const QString& strIp, int nLast)
{
    QStringList parts = strIp.split(QLatin1Char('.'));
    parts[3] = QString::number(nLast);
    return parts.join(QLatin1Char('.'));
}

QString field(const QJsonObject& camera, const char* pName)
{
    return camera.value(QLatin1String(pName)).toString();
}

struct CellWrite
{
    int row;
    int column;
    QString text;
    bool operator==(const CellWrite& other) const
    {
        return row == other.row && column == other.column && text == other.text;
    }
};

} // namespace

namespace QTest {
template <> char* toString(const CellWrite& cell)
{
    return qstrdup(qPrintable(QStringLiteral("(%1, %2, %3)").arg(cell.row).arg(cell.column).arg(cell.text)));
}
} // namespace QTest

class TestIpModifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startAddressGivesConsecutiveFreeAddresses();
    void sameAddressGivesEveryCameraThePlan();
    void refusedChangesLeaveEverythingInPlace();
    void modifyIpMovesByRowNumber();
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

void TestIpModifier::startAddressGivesConsecutiveFreeAddresses()
{
    // Cameras 0..2 share the factory address .1; camera 3 already sits on .2.
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("4"), QStringLiteral("--same-address"),
                             QStringLiteral("3")}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString factory = emulator.address(0);
    QCOMPARE(emulator.address(2), factory);
    QCOMPARE(emulator.address(3), emulator.rangeAddress(1));

    std::vector<std::unique_ptr<DEV_INFO>> records;
    for (int i = 0; i < 3; ++i) {
        records.push_back(recordOf(emulator.mac(i), i, emulator.cameraCount()));
        QVERIFY(records.back());
        QCOMPARE(QString::fromLatin1(records.back()->szIpAddr), factory);
    }
    // The first record is logged in, as after an earlier command: the change must end that login.
    int error = 0;
    records[0]->lLoginID = loginTo(factory, QString(), &error);
    QVERIFY(records[0]->lLoginID > 0);
    const int loginsBefore = emulator.camera(0).value(QStringLiteral("Logins")).toInt();

    RecordingDeviceCheck check;
    CIpModifier modifier;
    const QString gateway = emulator.rangeAddress(200);
    modifier.preparePlan(3, emulator.rangeAddress(1), kMask, gateway, QString(), &check);
    QStringList newAddresses;
    for (int i = 0; i < 3; ++i) {
        const CIpModifier::Result result = modifier.changeAddress(records[i].get());
        QCOMPARE(result.strStatus, QStringLiteral("Modify Success"));
        QCOMPARE(result.nRet, 1);
        QCOMPARE(result.strNewIp, emulator.rangeAddress(2 + i));
        newAddresses.append(result.strNewIp);
    }
    // .2 is taken by camera 3; each next device first asks about the address just handed out.
    QCOMPARE(check.asked, (QStringList{emulator.rangeAddress(1), emulator.rangeAddress(2), emulator.rangeAddress(2),
                                       emulator.rangeAddress(3), emulator.rangeAddress(3), emulator.rangeAddress(4)}));
    QCOMPARE(modifier.nextLastOctet(), 5);

    const QByteArray hostMac = CIpModifier::hostMacText().toLatin1();
    for (int i = 0; i < 3; ++i) {
        const DEV_INFO& rec = *records[i];
        QCOMPARE(QString::fromLatin1(rec.szIpAddr), newAddresses[i]);
        QCOMPARE(dottedText(rec.netBlock.hostIp), newAddresses[i]);
        QCOMPARE(dottedText(rec.netBlock.submask), kMask);
        QCOMPARE(dottedText(rec.netBlock.gateway), gateway);
        QCOMPARE(rec.lLoginID, 0l);
        QCOMPARE(QByteArray(rec.netBlock.userName), QByteArray("admin"));
        QCOMPARE(rec.netBlock.requestFlag, 1);
        QCOMPARE(QByteArray(rec.netBlock.hostMac, hostMac.size()), hostMac);
        QCOMPARE(QString::fromLatin1(rec.netBlock.mac), emulator.mac(i));

        const QJsonObject camera = emulator.camera(i);
        QCOMPARE(field(camera, "HostIP"), newAddresses[i]);
        QCOMPARE(field(camera, "Submask"), kMask);
        QCOMPARE(field(camera, "GateWay"), gateway);
    }
    QCOMPARE(emulator.camera(0).value(QStringLiteral("Logouts")).toInt(), 1);
    QCOMPARE(field(emulator.camera(3), "HostIP"), emulator.rangeAddress(1));

    // Each camera answers a login at its new address, and nothing answers at the factory address.
    for (int i = 0; i < 3; ++i) {
        const long handle = loginWithin(newAddresses[i], QString(), &error, 5000);
        QVERIFY2(handle > 0, qPrintable(newAddresses[i]));
        sdkLogout(handle);
    }
    QCOMPARE(emulator.camera(0).value(QStringLiteral("Logins")).toInt(), loginsBefore + 1);
    QCOMPARE(emulator.camera(1).value(QStringLiteral("Logins")).toInt(), 1);
    QCOMPARE(emulator.camera(2).value(QStringLiteral("Logins")).toInt(), 1);
    QCOMPARE(loginTo(factory, QString(), &error), 0l);
    QCOMPARE(error, int(SDK_ERR_NO_DEVICE));
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestIpModifier::sameAddressGivesEveryCameraThePlan()
{
    // A 32-byte camera password: the batch password is cut to 32 bytes, so extra characters do not matter.
    const QString password = QStringLiteral("0123456789abcdef0123456789ABCDEF");
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--password"), password}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());

    std::vector<std::unique_ptr<DEV_INFO>> records;
    for (int i = 0; i < 3; ++i) {
        records.push_back(recordOf(emulator.mac(i), i, emulator.cameraCount()));
        QVERIFY(records.back());
    }
    ScriptedCheck check; // must not be asked: the same-address plan hands out no free addresses
    check.bEverything = true;
    CIpModifier modifier;
    const QString target = emulator.rangeAddress(60);
    const QString gateway = emulator.rangeAddress(61);
    modifier.preparePlan(4, target, kMask, gateway, password + QStringLiteral("-ignored"), &check);
    for (int i = 0; i < 3; ++i) {
        const CIpModifier::Result result = modifier.changeAddress(records[i].get());
        QCOMPARE(result.strStatus, QStringLiteral("Modify Success"));
        QCOMPARE(result.strNewIp, target);
        QCOMPARE(QString::fromLatin1(records[i]->szIpAddr), target);
        QCOMPARE(QByteArray(records[i]->netBlock.password), password.toLatin1());
    }
    QVERIFY(check.asked.isEmpty());
    const QJsonArray cameras = emulator.cameras();
    QCOMPARE(cameras.size(), 3);
    for (const QJsonValue& value : cameras) {
        const QJsonObject camera = value.toObject();
        QCOMPARE(field(camera, "HostIP"), target);
        QCOMPARE(field(camera, "Submask"), kMask);
        QCOMPARE(field(camera, "GateWay"), gateway);
    }
    int error = 0;
    const long handle = loginWithin(target, password, &error, 5000);
    QVERIFY(handle > 0);
    sdkLogout(handle);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestIpModifier::refusedChangesLeaveEverythingInPlace()
{
    const QString password = QStringLiteral("s3cret");
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--password"), password}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    std::vector<std::unique_ptr<DEV_INFO>> records;
    std::vector<DEV_INFO> before;
    for (int i = 0; i < 3; ++i) {
        records.push_back(recordOf(emulator.mac(i), i, emulator.cameraCount()));
        QVERIFY(records.back());
        before.push_back(*records.back());
    }

    // Wrong batch password, both plans: every camera refuses, records and cameras stay as they were.
    for (int nCode : {3, 4}) {
        ScriptedCheck check;
        CIpModifier modifier;
        modifier.preparePlan(nCode, emulator.rangeAddress(80), kMask, emulator.rangeAddress(81),
                             QStringLiteral("wrong"), &check);
        for (int i = 0; i < 3; ++i) {
            const CIpModifier::Result result = modifier.changeAddress(records[i].get());
            QCOMPARE(result.strStatus, QStringLiteral("Set IP Fail"));
            QCOMPARE(result.nRet, int(SDK_ERR_PASSWORD));
            QVERIFY(result.strNewIp.isEmpty());
            QVERIFY(std::memcmp(records[i].get(), &before[i], sizeof(DEV_INFO)) == 0);
            QCOMPARE(field(emulator.camera(i), "HostIP"), emulator.address(i));
        }
    }

    // A camera that applies changes only after a reboot: the batch reports it and keeps the record.
    QVERIFY(emulator.setFault(1, QJsonObject{{QStringLiteral("RebootNeeded"), true}}));
    CIpModifier modifier;
    modifier.preparePlan(4, emulator.rangeAddress(90), kMask, emulator.rangeAddress(91), password, nullptr);
    const CIpModifier::Result result = modifier.changeAddress(records[1].get());
    QCOMPARE(result.strStatus, QStringLiteral("Need Reboot"));
    QCOMPARE(result.nRet, int(SDK_ERR_NEED_REBOOT));
    QVERIFY(std::memcmp(records[1].get(), &before[1], sizeof(DEV_INFO)) == 0);

    // A search record's block holds no credentials: ModifyIP then sends the record's own user and
    // password. The record still has none of the camera's password, so refused, reported, and the
    // block keeps the address the camera really has; with the batch password in the record the
    // change reaches the camera that wants a reboot.
    QList<CellWrite> cells;
    const auto setCell = [&cells](int row, int column, const QString& text) { cells.append({row, column, text}); };
    const QByteArray addressBefore(reinterpret_cast<const char*>(records[2]->netBlock.hostIp), 4);
    QCOMPARE(CIpModifier::modifyIp(records[2].get(), 2, 1, setCell), -1);
    QCOMPARE(cells, (QList<CellWrite>{{2, 3, QStringLiteral("Set Ip Fail")}}));
    QCOMPARE(QString::fromLatin1(records[2]->szIpAddr), emulator.address(2));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(records[2]->netBlock.hostIp), 4), addressBefore);
    cells.clear();
    const QByteArray baPassword = password.toLatin1();
    std::memset(records[1]->szPassword, 0, sizeof records[1]->szPassword);
    std::memcpy(records[1]->szPassword, baPassword.constData(),
                std::min(sizeof records[1]->szPassword, std::size_t(baPassword.size())));
    QCOMPARE(CIpModifier::modifyIp(records[1].get(), 1, 1, setCell), -1);
    QCOMPARE(cells, (QList<CellWrite>{{1, 3, QStringLiteral("Need Reboot")}}));
    QCOMPARE(field(emulator.camera(2), "HostIP"), emulator.address(2));
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestIpModifier::modifyIpMovesByRowNumber()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("2")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString original = emulator.address(1);
    auto first = recordOf(emulator.mac(0), 0, emulator.cameraCount());
    auto second = recordOf(emulator.mac(1), 1, emulator.cameraCount());
    QVERIFY(first && second);
    // The blocks of search records hold no credentials: ModifyIP takes the records' own ("admin"
    // and the empty password of this fleet).

    QList<CellWrite> cells;
    const auto setCell = [&cells](int row, int column, const QString& text) { cells.append({row, column, text}); };

    // Row 5: last octet 25.
    const QString at25 = lastOctetChanged(emulator.address(0), 25);
    QCOMPARE(CIpModifier::modifyIp(first.get(), 5, 1, setCell), 1);
    QCOMPARE(cells, (QList<CellWrite>{{5, 1, at25}}));
    QCOMPARE(QString::fromLatin1(first->szIpAddr), at25);
    QCOMPARE(field(emulator.camera(0), "HostIP"), at25);

    // Row 240: 260 modulo 256 = 4.
    cells.clear();
    const QString at4 = lastOctetChanged(original, 4);
    QCOMPARE(CIpModifier::modifyIp(second.get(), 240, 1, setCell), 1);
    QCOMPARE(cells, (QList<CellWrite>{{240, 1, at4}}));
    QCOMPARE(field(emulator.camera(1), "HostIP"), at4);
    int error = 0;
    long handle = loginWithin(at4, QString(), &error, 5000);
    QVERIFY(handle > 0);
    sdkLogout(handle);

    // Type 2 saves the octet it moves away from, type 3 brings the camera back to it.
    cells.clear();
    const QString at27 = lastOctetChanged(original, 27);
    QCOMPARE(CIpModifier::modifyIp(second.get(), 7, 2, setCell), 1);
    QCOMPARE(second->nSavedLastOctet, 4);
    QCOMPARE(field(emulator.camera(1), "HostIP"), at27);
    QCOMPARE(CIpModifier::modifyIp(second.get(), 7, 3, setCell), 1);
    QCOMPARE(cells, (QList<CellWrite>{{7, 1, at27}, {7, 1, at4}}));
    QCOMPARE(field(emulator.camera(1), "HostIP"), at4);
    QCOMPARE(QString::fromLatin1(second->szIpAddr), at4);
    QCOMPARE(second->netBlock.requestFlag, 1);

    // Other types and records without a network identity change nothing; no record is success.
    cells.clear();
    const DEV_INFO kept = *second;
    QCOMPARE(CIpModifier::modifyIp(second.get(), 7, 0, setCell), 0);
    QCOMPARE(CIpModifier::modifyIp(second.get(), 7, 4, setCell), 0);
    QVERIFY(std::memcmp(second.get(), &kept, sizeof kept) == 0);
    DEV_INFO added;
    std::memset(&added, 0, sizeof added);
    std::strcpy(added.szIpAddr, qPrintable(original));
    added.netBlock.hostIp[0] = 127;
    const DEV_INFO addedBefore = added;
    QCOMPARE(CIpModifier::modifyIp(&added, 3, 1, setCell), 0);
    QVERIFY(std::memcmp(&added, &addedBefore, sizeof added) == 0);
    QCOMPARE(CIpModifier::modifyIp(nullptr, 3, 1, setCell), 1);
    QVERIFY(cells.isEmpty());
    QCOMPARE(field(emulator.camera(1), "HostIP"), at4);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestIpModifier::freeAddressSearchEndsAfterOneCycle()
{
    // Every address answers: each start asks about every last octet 1..254 once (and an out-of-cycle
    // start once), never .0 after the start and never .255, then gives up without sending.
    const struct
    {
        int nStart;
        int nChecks;
    } cases[] = {{20, 254}, {254, 254}, {1, 254}, {0, 255}, {255, 255}};
    for (const auto& c : cases) {
        ScriptedCheck check;
        check.bEverything = true;
        CIpModifier modifier;
        modifier.preparePlan(3, QStringLiteral("127.9.9.%1").arg(c.nStart), kMask, QStringLiteral("127.9.9.1"),
                             QString(), &check);
        DEV_INFO rec;
        std::memset(&rec, 0, sizeof rec);
        std::strcpy(rec.szIpAddr, "127.9.9.77");
        const DEV_INFO before = rec;
        const CIpModifier::Result result = modifier.changeAddress(&rec);
        QCOMPARE(result.strStatus, QStringLiteral("No free address"));
        QCOMPARE(result.nRet, 0);
        QVERIFY(result.strNewIp.isEmpty());
        QVERIFY(std::memcmp(&rec, &before, sizeof rec) == 0);
        QCOMPARE(check.asked.size(), c.nChecks);
        QCOMPARE(modifier.checkCount(), c.nChecks);
        QCOMPARE(check.asked.first(), QStringLiteral("127.9.9.%1").arg(c.nStart));
        QCOMPARE(QSet<QString>(check.asked.cbegin(), check.asked.cend()).size(), c.nChecks);
        QVERIFY(!check.asked.mid(1).contains(QStringLiteral("127.9.9.255")));
        QVERIFY(!check.asked.mid(1).contains(QStringLiteral("127.9.9.0")));
        if (c.nStart == 20) {
            QCOMPARE(check.asked.at(234), QStringLiteral("127.9.9.254"));
            QCOMPARE(check.asked.at(235), QStringLiteral("127.9.9.1"));
            QCOMPARE(check.asked.last(), QStringLiteral("127.9.9.19"));
        }
        // The next device of the batch is told at once.
        QCOMPARE(modifier.changeAddress(&rec).strStatus, QStringLiteral("No free address"));
        QCOMPARE(check.asked.size(), c.nChecks);
    }

    // A plan that is no address sends nothing and asks nothing.
    ScriptedCheck check;
    CIpModifier modifier;
    modifier.preparePlan(3, QStringLiteral("127.9.9"), kMask, QStringLiteral("127.9.9.1"), QString(), &check);
    DEV_INFO rec;
    std::memset(&rec, 0, sizeof rec);
    const CIpModifier::Result result = modifier.changeAddress(&rec);
    QCOMPARE(result.strStatus, QStringLiteral("Set IP Fail"));
    QCOMPARE(result.nRet, 0);
    QVERIFY(check.asked.isEmpty());
}

QTEST_GUILESS_MAIN(TestIpModifier)
#include "tst_ipmodifier.moc"
