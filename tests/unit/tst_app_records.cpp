// Search records into table texts, row records and the order of one search pass.
#include <cstring>

#include <QCryptographicHash>
#include <QtTest>

#include "device/DeviceRecords.h"

namespace {

SDK_CONFIG_NET_COMMON_V2 makeRecord(const char* szIp, const char* szMac)
{
    SDK_CONFIG_NET_COMMON_V2 rec;
    std::memset(&rec, 0, sizeof(rec));
    std::sscanf(szIp, "%hhu.%hhu.%hhu.%hhu", &rec.hostIp[0], &rec.hostIp[1], &rec.hostIp[2], &rec.hostIp[3]);
    std::strncpy(rec.mac, szMac, sizeof(rec.mac));
    rec.ports[1] = 34567;
    return rec;
}

QByteArray bufferOf(const QVector<SDK_CONFIG_NET_COMMON_V2>& lstRecords)
{
    QByteArray ba;
    for (const auto& rec : lstRecords)
        ba.append(reinterpret_cast<const char*>(&rec), int(sizeof(rec)));
    return ba;
}

/// The records as one search pass orders them, as "address MAC" texts, from the first nBytes of
/// their buffer (all of it when nBytes is below 0).
QStringList ordered(const QVector<SDK_CONFIG_NET_COMMON_V2>& lstRecords, int nBytes = -1)
{
    const QByteArray baBuffer = bufferOf(lstRecords);
    QStringList lst;
    for (const auto& rec : orderSearchResults(baBuffer.constData(), nBytes < 0 ? baBuffer.size() : nBytes))
        lst << addressText(rec.hostIp) + QLatin1Char(' ') + QLatin1String(rec.mac);
    return lst;
}

QByteArray blockBytes(const DEV_INFO& info, int nOffset, int nSize = -1)
{
    const char* p = reinterpret_cast<const char*>(&info.netBlock) + nOffset;
    return nSize < 0 ? QByteArray(p) : QByteArray(p, nSize);
}

} // namespace

class TestAppRecords : public QObject
{
    Q_OBJECT

private slots:
    void cloudIdFromMac();
    void rowTextsAndDevInfo();
    void fieldsWithoutTerminatorOrVersion();
    void orderingDeduplicationAndMalformedMacs();
    void bufferBounds();
};

void TestAppRecords::cloudIdFromMac()
{
    // The text hashed for each MAC: reading stops at the first character that is not a hexadecimal
    // digit (none at all reads 0); beyond 64 bits the value saturates, and adding 5 wraps around.
    const QList<QPair<QString, QByteArray>> lstCases = {
        {"00:00:00:00:00:00", "000000000005"}, {"FF:FF:FF:FF:FF:FB", "1000000000000"},
        {"02:56:54:0a:00:05", "0256540a000a"}, {"00:00:00:00:01:g2", "000000000006"},
        {"zz:00:00:00:00:01", "000000000005"}, {"1FFFFFFFFFFFFFFF0", "000000000004"},
    };
    for (const auto& [strMac, baHashed] : lstCases)
        QCOMPARE(::cloudIdFromMac(strMac),
                 QString::fromLatin1(QCryptographicHash::hash(baHashed, QCryptographicHash::Md5).mid(4, 8).toHex()));
}

void TestAppRecords::rowTextsAndDevInfo()
{
    SDK_CONFIG_NET_COMMON_V2 rec = makeRecord("192.168.1.10", "00:00:00:00:00:00");
    std::strcpy(rec.hostName, "cam-one");
    std::memcpy(rec.submask, "\xff\xff\xff\x00", 4);
    std::memcpy(rec.gateway, "\xc0\xa8\x01\x01", 4);
    for (int i = 0; i < 8; ++i)
        rec.ports[i] = i == 1 ? 34599 : 1000 + i;
    rec.flag = 0x5a;
    std::memset(rec.reserved0, 0xee, sizeof(rec.reserved0));
    std::strcpy(rec.version, "V5.00.R02.000719A1");
    rec.buildYear = 2020;
    rec.buildMonth = 3;
    rec.buildDay = 7;

    // Digest computed independently (python3 hashlib) for "000000000005".
    const CDeviceRowTexts texts = deviceRowTexts(rec);
    QCOMPARE(QStringList({texts.strIpAddr, texts.strPort, texts.strMac, texts.strCloudId, texts.strVersion,
                          texts.strBuildDate}),
             QStringList({"192.168.1.10", "34599", "00:00:00:00:00:00", "0590253dc1c87f25", "V5.00.R02.000719A1",
                          "2020-03-07"}));

    DEV_INFO info;
    std::memset(&info, 0, sizeof(info));
    std::memset(info.szPassword, 'x', sizeof(info.szPassword));
    buildDevInfo(&info, rec, 4);
    QCOMPARE(info.nPort, 34599);
    QCOMPARE(QByteArray(info.szPassword), QByteArray());

    // The network block takes the fields after the gateway without the search record's 160-byte gap.
    QCOMPARE(blockBytes(info, 0), QByteArray("cam-one"));
    QCOMPARE(blockBytes(info, 0x40, 12), QByteArray("\xc0\xa8\x01\x0a\xff\xff\xff\x00\xc0\xa8\x01\x01", 12));
    QCOMPARE(blockBytes(info, 0x4C, 32), QByteArray(reinterpret_cast<const char*>(rec.ports), 32));
    QCOMPARE(blockBytes(info, 0x6C, 1), QByteArray("\x5a"));
    QCOMPARE(blockBytes(info, 0x6D), QByteArray("00:00:00:00:00:00"));
    // Nothing beyond the device's 144-byte network record is written.
    QCOMPARE(blockBytes(info, 144, int(sizeof(info.netBlock)) - 144), QByteArray(int(sizeof(info.netBlock)) - 144, 0));
}

void TestAppRecords::fieldsWithoutTerminatorOrVersion()
{
    // Fields filled to the brim must not run into the next field; a record's own identifier wins
    // over the derived one and is cut to 32 characters.
    SDK_CONFIG_NET_COMMON_V2 rec = makeRecord("127.0.0.1", "");
    std::memset(rec.mac, 'A', sizeof(rec.mac));
    std::memset(rec.cloudId, 'c', sizeof(rec.cloudId));
    std::memset(rec.version, 'v', sizeof(rec.version));
    CDeviceRowTexts texts = deviceRowTexts(rec);
    QCOMPARE(texts.strMac, QString(32, QLatin1Char('A')));
    QCOMPARE(texts.strCloudId, QString(32, QLatin1Char('c')));
    QCOMPARE(texts.strVersion, QString(128, QLatin1Char('v')));
    QVERIFY(ordered({rec}).isEmpty()); // a 32-character MAC text

    // Without a version there is no build date either.
    rec = makeRecord("10.0.0.2", "FF:FF:FF:FF:FF:FA");
    rec.buildYear = 2021;
    texts = deviceRowTexts(rec);
    QVERIFY(texts.strVersion.isEmpty());
    QVERIFY(texts.strBuildDate.isEmpty());
    QCOMPARE(texts.strCloudId, QStringLiteral("fc4edfc41937efbb")); // python3 hashlib of "ffffffffffff"

    // A login's texts: a full version field is read to its end.
    SDK_DEVICE_INFO login;
    std::memset(&login, 'V', sizeof(login));
    QCOMPARE(loginTexts(login).strVersion, QString(64, QLatin1Char('V')));
}

void TestAppRecords::orderingDeduplicationAndMalformedMacs()
{
    const QVector<SDK_CONFIG_NET_COMMON_V2> lstInput = {
        makeRecord("127.0.0.9", "02:00:00:00:00:09"),
        makeRecord("127.0.0.10", "02:00:00:00:00:0a"),
        makeRecord("127.0.0.20", "02:00:00:00:00:01"), // same address, smaller MAC
        makeRecord("127.0.0.20", "02:00:00:00:00:ff"), // same address, greater MAC
        makeRecord("127.0.0.20", "02:00:00:00:00:10"),
        makeRecord("127.0.0.5", "02:00:00:00:00:aa"), // replaced by the later answer below
        makeRecord("127.0.0.1", "02-00-00-00-00-05"), // other format, right length: kept
        makeRecord("127.0.0.2", ""),                  // MAC texts of any other length are dropped
        makeRecord("127.0.0.3", "02:00:00:00:00:0"),
        makeRecord("127.0.0.4", "02:00:00:00:00:000"),
        makeRecord("127.0.0.7", "02:00:00:00:00:aa"),
    };
    QCOMPARE(ordered(lstInput),
             QStringList({"127.0.0.1 02-00-00-00-00-05", "127.0.0.10 02:00:00:00:00:0a", "127.0.0.20 02:00:00:00:00:ff",
                          "127.0.0.20 02:00:00:00:00:10", "127.0.0.20 02:00:00:00:00:01", "127.0.0.7 02:00:00:00:00:aa",
                          "127.0.0.9 02:00:00:00:00:09"}));
    // Whole records travel, not just the keys.
    const QByteArray baBuffer = bufferOf(lstInput);
    const auto lstOut = orderSearchResults(baBuffer.constData(), baBuffer.size());
    QCOMPARE(std::memcmp(&lstOut[5], &lstInput[10], sizeof(SDK_CONFIG_NET_COMMON_V2)), 0);
}

void TestAppRecords::bufferBounds()
{
    // At most one buffer's worth of records is read, and never a partial trailing one.
    QVector<SDK_CONFIG_NET_COMMON_V2> lstInput;
    for (int i = 0; i < 300; ++i)
        lstInput.append(makeRecord(QString::asprintf("127.0.%d.%d", i >> 8, i & 255).toLatin1().constData(),
                                   QString::asprintf("02:00:00:00:%02x:%02x", i >> 8, i & 255).toLatin1().constData()));
    const QStringList lstRows = ordered(lstInput);
    QCOMPARE(lstRows.size(), 256);
    QVERIFY(lstRows.contains(QStringLiteral("127.0.0.255 02:00:00:00:00:ff")));
    QVERIFY(!lstRows.contains(QStringLiteral("127.0.1.0 02:00:00:00:01:00")));

    const int nRecord = int(sizeof(SDK_CONFIG_NET_COMMON_V2));
    QVERIFY(orderSearchResults(nullptr, nRecord).isEmpty());
    QVERIFY(ordered(lstInput, nRecord - 1).isEmpty());
    QCOMPARE(ordered(lstInput, 2 * nRecord - 1).size(), 1);
}

QTEST_GUILESS_MAIN(TestAppRecords)
#include "tst_app_records.moc"
