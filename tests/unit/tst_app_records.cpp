// Search records into table texts, row records and the order of one search pass.
#include <cstring>

#include <QCryptographicHash>
#include <QtTest>

#include "device/DeviceRecords.h"

namespace {

SDK_CONFIG_NET_COMMON_V2 makeRecord(const char* szIp, const char* szMac, int nKind = 0)
{
    SDK_CONFIG_NET_COMMON_V2 rec;
    std::memset(&rec, 0, sizeof(rec));
    int a = 0, b = 0, c = 0, d = 0;
    std::sscanf(szIp, "%d.%d.%d.%d", &a, &b, &c, &d);
    const int anIp[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i)
        rec.hostIp[i] = static_cast<unsigned char>(anIp[i]);
    std::strncpy(rec.mac, szMac, sizeof(rec.mac));
    rec.deviceKind = nKind;
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

QStringList macsOf(const QVector<SDK_CONFIG_NET_COMMON_V2>& lstRecords)
{
    QStringList lst;
    for (const auto& rec : lstRecords)
        lst << QString::fromLatin1(rec.mac);
    return lst;
}

QString expectedCloudId(const QByteArray& baHashed)
{
    return QString::fromLatin1(QCryptographicHash::hash(baHashed, QCryptographicHash::Md5).mid(4, 8).toHex());
}

} // namespace

class TestAppRecords : public QObject
{
    Q_OBJECT

private slots:
    void cloudIdFromMac_data();
    void cloudIdFromMac();
    void rowTextsAndDevInfo();
    void rowTextsWithoutVersionOrWithOwnCloudId();
    void unterminatedFieldsStayInside();
    void listedKinds();
    void orderingAndDeduplication();
    void malformedMacsDropped();
    void atMostOneBufferOfRecords();
    void shortOrEmptyBuffers();
};

void TestAppRecords::cloudIdFromMac_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QByteArray>("hashed");
    QTest::newRow("all zero") << "00:00:00:00:00:00" << QByteArray("000000000005");
    QTest::newRow("twelve digits") << "FF:FF:FF:FF:FF:FA" << QByteArray("ffffffffffff");
    QTest::newRow("carry into a 13th digit") << "FF:FF:FF:FF:FF:FB" << QByteArray("1000000000000");
    QTest::newRow("lower case") << "02:56:54:0a:00:05" << QByteArray("0256540a000a");
    // Reading stops at the first character that is not a hexadecimal digit.
    QTest::newRow("stops at a non-hex digit") << "00:00:00:00:01:g2" << QByteArray("000000000006");
    QTest::newRow("no leading hex digit reads 0") << "zz:00:00:00:00:01" << QByteArray("000000000005");
    QTest::newRow("empty") << "" << QByteArray("000000000005");
    // Beyond 64 bits the value saturates, and adding 5 wraps around.
    QTest::newRow("over 64 bits") << "FFFFFFFFFFFFFFFFFF" << QByteArray("000000000004");
}

void TestAppRecords::cloudIdFromMac()
{
    QFETCH(QString, mac);
    QFETCH(QByteArray, hashed);
    const QString strId = ::cloudIdFromMac(mac);
    QCOMPARE(strId, expectedCloudId(hashed));
    QCOMPARE(strId.size(), 16);
}

void TestAppRecords::rowTextsAndDevInfo()
{
    // Digest computed independently (python3 hashlib) for "000000000005".
    QCOMPARE(::cloudIdFromMac(QStringLiteral("00:00:00:00:00:00")), QStringLiteral("0590253dc1c87f25"));

    SDK_CONFIG_NET_COMMON_V2 rec = makeRecord("192.168.1.10", "00:00:00:00:00:00", 3);
    std::strcpy(rec.hostName, "cam-one");
    const unsigned char abMask[4] = {255, 255, 255, 0};
    const unsigned char abGate[4] = {192, 168, 1, 1};
    std::memcpy(rec.submask, abMask, 4);
    std::memcpy(rec.gateway, abGate, 4);
    for (int i = 0; i < 8; ++i)
        rec.ports[i] = 1000 + i;
    rec.ports[1] = 34599;
    rec.flag = 0x5a;
    std::memset(rec.reserved0, 0xee, sizeof(rec.reserved0));
    std::strcpy(rec.version, "V5.00.R02.000719A1");
    rec.buildYear = 2020;
    rec.buildMonth = 3;
    rec.buildDay = 7;

    const CDeviceRowTexts texts = deviceRowTexts(rec);
    QCOMPARE(texts.strIpAddr, QStringLiteral("192.168.1.10"));
    QCOMPARE(texts.strPort, QStringLiteral("34599"));
    QCOMPARE(texts.strMac, QStringLiteral("00:00:00:00:00:00"));
    QCOMPARE(texts.strCloudId, QStringLiteral("0590253dc1c87f25"));
    QCOMPARE(texts.strVersion, QStringLiteral("V5.00.R02.000719A1"));
    QCOMPARE(texts.strBuildDate, QStringLiteral("2020-03-07"));

    DEV_INFO info;
    std::memset(&info, 0, sizeof(info));
    buildDevInfo(&info, rec, 4);
    QCOMPARE(info.nIndex, 4);
    QCOMPARE(info.lLoginID, 0L);
    QCOMPARE(info.nPort, 34599);
    QCOMPARE(QByteArray(info.szIpAddr), QByteArray("192.168.1.10"));
    QCOMPARE(QByteArray(info.szUserName), QByteArray("admin"));
    QCOMPARE(QByteArray(info.szPassword), QByteArray());
    QCOMPARE(QByteArray(info.szCloudId), QByteArray("0590253dc1c87f25"));

    // The network block takes the fields after the gateway without the search record's 160-byte gap.
    const auto* pBlock = reinterpret_cast<const unsigned char*>(&info.netBlock);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(pBlock)), QByteArray("cam-one"));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(pBlock + 0x40), 4), QByteArray("\xc0\xa8\x01\x0a", 4));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(pBlock + 0x44), 4), QByteArray("\xff\xff\xff\x00", 4));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(pBlock + 0x48), 4), QByteArray("\xc0\xa8\x01\x01", 4));
    int anPorts[8];
    std::memcpy(anPorts, pBlock + 0x4C, sizeof(anPorts));
    QCOMPARE(anPorts[0], 1000);
    QCOMPARE(anPorts[1], 34599);
    QCOMPARE(anPorts[7], 1007);
    QCOMPARE(pBlock[0x6C], static_cast<unsigned char>(0x5a));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(pBlock + 0x6D)), QByteArray("00:00:00:00:00:00"));
    // Nothing beyond the device's 144-byte network record is written.
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(pBlock + 144), int(sizeof(info.netBlock)) - 144),
             QByteArray(int(sizeof(info.netBlock)) - 144, '\0'));
}

void TestAppRecords::rowTextsWithoutVersionOrWithOwnCloudId()
{
    SDK_CONFIG_NET_COMMON_V2 rec = makeRecord("10.0.0.2", "FF:FF:FF:FF:FF:FA");
    rec.buildYear = 2021;
    rec.buildMonth = 1;
    rec.buildDay = 1;
    CDeviceRowTexts texts = deviceRowTexts(rec);
    QVERIFY(texts.strVersion.isEmpty());
    QVERIFY(texts.strBuildDate.isEmpty());
    QCOMPARE(texts.strCloudId, QStringLiteral("fc4edfc41937efbb")); // python3 hashlib of "ffffffffffff"

    // A record's own identifier wins and is cut to 32 characters.
    std::strcpy(rec.cloudId, "0123456789abcdef0123456789ABCDEF-tail");
    texts = deviceRowTexts(rec);
    QCOMPARE(texts.strCloudId, QStringLiteral("0123456789abcdef0123456789ABCDEF"));
    DEV_INFO info;
    std::memset(&info, 0, sizeof(info));
    buildDevInfo(&info, rec, 0);
    QCOMPARE(QByteArray(info.szCloudId), QByteArray("0123456789abcdef0123456789ABCDEF"));
}

void TestAppRecords::unterminatedFieldsStayInside()
{
    // Fields filled to the brim must not run into the next field.
    SDK_CONFIG_NET_COMMON_V2 rec = makeRecord("127.0.0.1", "");
    std::memset(rec.mac, 'A', sizeof(rec.mac));
    std::memset(rec.cloudId, 'c', sizeof(rec.cloudId));
    std::memset(rec.version, 'v', sizeof(rec.version));
    const CDeviceRowTexts texts = deviceRowTexts(rec);
    QCOMPARE(texts.strMac, QString(32, QLatin1Char('A')));
    QCOMPARE(texts.strCloudId, QString(32, QLatin1Char('c')));
    QCOMPARE(texts.strVersion, QString(128, QLatin1Char('v')));
    QVERIFY(orderSearchResults(bufferOf({rec}).constData(), int(sizeof(rec))).isEmpty());
}

void TestAppRecords::listedKinds()
{
    const QList<int> lstListed = {0, 3, 5};
    for (int nKind = -3; nKind <= 9; ++nKind)
        QCOMPARE(isListedDeviceKind(nKind), lstListed.contains(nKind));
    QVERIFY(!isListedDeviceKind(INT_MIN));
    QVERIFY(!isListedDeviceKind(INT_MAX));
}

void TestAppRecords::orderingAndDeduplication()
{
    const QVector<SDK_CONFIG_NET_COMMON_V2> lstInput = {
        makeRecord("127.0.0.9", "02:00:00:00:00:09"),
        makeRecord("127.0.0.10", "02:00:00:00:00:0a"),
        makeRecord("127.0.0.20", "02:00:00:00:00:01"), // same address, smaller MAC
        makeRecord("127.0.0.20", "02:00:00:00:00:ff"), // same address, greater MAC
        makeRecord("127.0.0.20", "02:00:00:00:00:10"),
        makeRecord("127.0.0.5", "02:00:00:00:00:aa"), // replaced by the later answer below
        makeRecord("127.0.0.1", "00:00:00:00:00:00"), // only the length is tested
        makeRecord("127.0.0.7", "02:00:00:00:00:aa"),
    };
    const QByteArray baBuffer = bufferOf(lstInput);
    const QVector<SDK_CONFIG_NET_COMMON_V2> lstOut = orderSearchResults(baBuffer.constData(), baBuffer.size());

    QStringList lstAddrs;
    for (const auto& rec : lstOut)
        lstAddrs << addressText(rec.hostIp);
    QCOMPARE(lstAddrs, QStringList({"127.0.0.1", "127.0.0.10", "127.0.0.20", "127.0.0.20", "127.0.0.20", "127.0.0.7",
                                    "127.0.0.9"}));
    QCOMPARE(macsOf(lstOut),
             QStringList({"00:00:00:00:00:00", "02:00:00:00:00:0a", "02:00:00:00:00:ff", "02:00:00:00:00:10",
                          "02:00:00:00:00:01", "02:00:00:00:00:aa", "02:00:00:00:00:09"}));
    // Whole records travel, not just the keys.
    QCOMPARE(lstOut[2].ports[1], 34567);
    QCOMPARE(std::memcmp(&lstOut[5], &lstInput[7], sizeof(SDK_CONFIG_NET_COMMON_V2)), 0);
}

void TestAppRecords::malformedMacsDropped()
{
    const QVector<SDK_CONFIG_NET_COMMON_V2> lstInput = {
        makeRecord("127.0.0.2", ""),
        makeRecord("127.0.0.3", "02:00:00:00:00:0"),
        makeRecord("127.0.0.4", "02:00:00:00:00:000"),
        makeRecord("127.0.0.5", "02-00-00-00-00-05"), // other format, right length: kept
        makeRecord("127.0.0.6", "0200.0000.0006"),
        makeRecord("127.0.0.7", "02:00:00:00:00:07"),
    };
    const QByteArray baBuffer = bufferOf(lstInput);
    const auto lstOut = orderSearchResults(baBuffer.constData(), baBuffer.size());
    QCOMPARE(macsOf(lstOut), QStringList({"02-00-00-00-00-05", "02:00:00:00:00:07"}));
}

void TestAppRecords::atMostOneBufferOfRecords()
{
    QVector<SDK_CONFIG_NET_COMMON_V2> lstInput;
    for (int i = 0; i < 300; ++i) {
        const QByteArray baMac = QStringLiteral("02:00:00:00:%1:%2")
                                     .arg(i >> 8, 2, 16, QLatin1Char('0'))
                                     .arg(i & 255, 2, 16, QLatin1Char('0'))
                                     .toLatin1();
        lstInput.append(makeRecord(QStringLiteral("127.0.%1.%2").arg(i >> 8).arg(i & 255).toLatin1().constData(),
                                   baMac.constData()));
    }
    const QByteArray baBuffer = bufferOf(lstInput);
    QCOMPARE(kSearchBufferSize, 143360);
    const auto lstOut = orderSearchResults(baBuffer.constData(), baBuffer.size());
    QCOMPARE(lstOut.size(), 256);
    const QStringList lstMacs = macsOf(lstOut);
    QVERIFY(lstMacs.contains(QStringLiteral("02:00:00:00:00:ff")));
    QVERIFY(!lstMacs.contains(QStringLiteral("02:00:00:00:01:00")));
}

void TestAppRecords::shortOrEmptyBuffers()
{
    const QByteArray baBuffer =
        bufferOf({makeRecord("127.0.0.2", "02:00:00:00:00:02"), makeRecord("127.0.0.3", "02:00:00:00:00:03")});
    QVERIFY(orderSearchResults(nullptr, 560).isEmpty());
    QVERIFY(orderSearchResults(baBuffer.constData(), 0).isEmpty());
    QVERIFY(orderSearchResults(baBuffer.constData(), -560).isEmpty());
    QVERIFY(orderSearchResults(baBuffer.constData(), 559).isEmpty());
    // A partial trailing record is not read.
    QCOMPARE(orderSearchResults(baBuffer.constData(), 560 + 559).size(), 1);
    QCOMPARE(orderSearchResults(baBuffer.constData(), baBuffer.size()).size(), 2);
}

QTEST_GUILESS_MAIN(TestAppRecords)
#include "tst_app_records.moc"
