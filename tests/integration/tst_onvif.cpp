// The library's ONVIF back end against the emulator's ONVIF side: one search lists a camera of our own
// protocol that also speaks ONVIF once and the ONVIF-only cameras beside it; on an ONVIF-only camera
// (whose clock runs two hours ahead) the contract's calls reach the device and the emulator's state:
// login, a replayed token refused, time server both ways, DHCP, network record, address change, factory default,
// reboot, a refused upgrade; the encode records written and read through the media service, and both profiles' RTSP
// streams decoded at the sizes written; calls without ONVIF equivalent and malformed answers fail cleanly. A successful
// upgrade is tst_gui_onvif's.

#include <atomic>
#include <cstring>
#include <mutex>

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include "emulatorprocess.h"
#include "netsdk/netsdk_test.h"
#include "protocol/media.h"
#include "protocol/onvif.h"
#include "sdktesthelpers.h"
#include "upgradepackage.h"

namespace {

const QString kPassword = QStringLiteral("onvif-pw");
constexpr quint16 kOnvifPort = 80; // where ONVIF clients look for a camera given by address only

/// An upgrade's progress callback: keeps the first end value (below 0).
void upgradeEnd(long, long, int, int value, void* user)
{
    int expected = 0;
    if (value < 0)
        static_cast<std::atomic<int>*>(user)->compare_exchange_strong(expected, value);
}

qint32 int32At(const QByteArray& b, int at)
{
    qint32 v = 0;
    std::memcpy(&v, b.constData() + at, 4);
    return v;
}

/// The pictures each stream decoded, by stream handle: how many, and the first one's size.
std::mutex g_mutex;
QMap<long, QPair<int, QSize>> g_pictures;

void observe(const SDK_TEST_FRAME_INFO* info, void*)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!info->bEnded && g_pictures[info->lRealHandle].first++ == 0)
        g_pictures[info->lRealHandle].second = QSize(info->nWidth, info->nHeight);
}

QPair<int, QSize> picturesOf(long handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_pictures.value(handle);
}

} // namespace

class TestOnvif : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void searchMergesBothKinds();
    void loginRecordsAndRefusals();
    void addressChangeMovesTheCamera();
    void rebootAndUpgrade();
    void encodeRecordsAndStreams();

private:
    long login(int index, int* error = nullptr, SDK_DEVICE_INFO* info = nullptr, const QString& password = kPassword);

    EmulatorProcess emulator_;
    QTemporaryDir dir_;
};

void TestOnvif::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("ONVIF cameras listen on port 80 of their addresses, which needs root here");
    QVERIFY(dir_.isValid());
    const quint16 wsd = freeUdpPort();
    QVERIFY(wsd != 0);
    qputenv("VANTREL_ONVIF_DISCOVERY_PORT", QByteArray::number(wsd));
    // Camera 0 speaks both protocols; 1 to 3 speak ONVIF only.
    QVERIFY2(emulator_.start({QStringLiteral("--count"), QStringLiteral("4"), QStringLiteral("--models"),
                              QStringLiteral("IPC-A,IPC-O,IPC-O,IPC-O"), QStringLiteral("--onvif"),
                              QStringLiteral("--password"), kPassword, QStringLiteral("--onvif-discovery-port"),
                              QString::number(wsd), QStringLiteral("--onvif-clock-offset"), QStringLiteral("7200"),
                              QStringLiteral("--reboot-ms"), QStringLiteral("400"), QStringLiteral("--upgrade-ms"),
                              QStringLiteral("400")}),
             qPrintable(emulator_.errorString()));
    sdkInit(nullptr, nullptr);
    sdkSetup(3000, 1);
    QVERIFY(emulator_.configureLibrary());
}

void TestOnvif::cleanupTestCase()
{
    sdkCleanup();
    if (emulator_.isRunning())
        QVERIFY(emulator_.stop());
}

long TestOnvif::login(int index, int* error, SDK_DEVICE_INFO* info, const QString& password)
{
    return loginTo(emulator_.address(index), password, error, info, QStringLiteral("admin"), kOnvifPort);
}

void TestOnvif::searchMergesBothKinds()
{
    // Two broadcast addresses that both reach the fleet: every camera answers each probe twice.
    QVERIFY(sdkSetNetOptions("127.255.255.255,127.0.0.1", emulator_.discoveryPort(), 1) > 0);
    const SearchResult found = searchDevices(256 * kSearchRecordSize, 1000);
    QVERIFY(emulator_.configureLibrary());
    QCOMPARE(found.returned, 1);
    QCOMPARE(found.records.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const RawSearchRecord* r = nullptr;
        for (const auto& record : found.records)
            if (record.mac.compare(emulator_.mac(i), Qt::CaseInsensitive) == 0)
                r = &record;
        QVERIFY2(r, qPrintable(emulator_.mac(i)));
        QCOMPARE(r->hostIp, emulator_.address(i));
        // The camera of our own protocol is listed as such; the others by their device service.
        QCOMPARE(r->ports[1], i == 0 ? 34567 : int(kOnvifPort));
        QCOMPARE(r->deviceKind, 0);
        if (i > 0)
            QCOMPARE(r->hostName, QStringLiteral("IPC-O"));
    }
}

void TestOnvif::loginRecordsAndRefusals()
{
    int error = 1;
    QCOMPARE(login(1, &error, nullptr, QStringLiteral("wrong")), 0L);
    QCOMPARE(error, int(SDK_ERR_PASSWORD));

    // A token the camera has seen is refused, though its digest is right: an eavesdropper's replay.
    QNetworkAccessManager http;
    http.setProxy(QNetworkProxy::NoProxy);
    const std::string token = protocol::onvif::securityHeader(
        "admin", kPassword.toStdString(), protocol::onvif::randomBytes(16), std::time(nullptr) + 7200);
    const QByteArray body = QByteArray::fromStdString(protocol::onvif::envelope(token, "<tds:GetDeviceInformation/>"));
    QNetworkRequest request(QUrl(QStringLiteral("http://%1/onvif/device_service").arg(emulator_.address(2))));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/soap+xml"));
    QList<int> lstStatus;
    for (int i = 0; i < 2; ++i) {
        QNetworkReply* reply = http.post(request, body);
        QSignalSpy done(reply, &QNetworkReply::finished);
        QVERIFY(done.wait(5000));
        lstStatus << reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->deleteLater();
    }
    QCOMPARE(lstStatus, (QList<int>{200, 400}));

    SDK_DEVICE_INFO info;
    const long handle = login(1, &error, &info);
    QVERIFY2(handle > 0, qPrintable(QString::number(error)));
    const camsim::Model* model = modelNamed(QStringLiteral("IPC-O"));
    QCOMPARE(QString(info.version), QString::fromStdString(model->version));
    QCOMPARE(QString(info.hardwareId), QString::fromStdString(model->hardwareId));
    QCOMPARE(QString(info.mac), emulator_.mac(1));
    unsigned long size = 0;

    // Time server written over ONVIF reads back both ways.
    QByteArray ntp(216, '\0');
    ntp[0] = 1;
    std::memcpy(ntp.data() + 4, "127.0.0.99", 10);
    QCOMPARE(sdkSetConfig(handle, 41, -1, ntp.data(), 216, 3000), 1L);
    QCOMPARE(QByteArray(emulator_.record(1, 41, -1).constData() + 4), QByteArray("127.0.0.99"));
    QByteArray back(216, '\x7f');
    QCOMPARE(sdkGetConfig(handle, 41, -1, back.data(), 216, &size, 3000), 1L);
    QCOMPARE(int(size), 216);
    QCOMPARE(QByteArray(back.constData() + 4), QByteArray("127.0.0.99"));
    QCOMPARE(int(back[0]), 1);

    // The network record: address, mask, gateway and MAC from the device service.
    SDK_NET_ADDRESS_BLOCK net;
    QCOMPARE(sdkGetConfig(handle, 20, -1, reinterpret_cast<char*>(&net), 144, &size, 3000), 1L);
    QCOMPARE(dottedText(net.hostIp), emulator_.address(1));
    QCOMPARE(dottedText(net.submask), QStringLiteral("255.255.255.0"));
    QCOMPARE(QString(net.mac), emulator_.mac(1));

    // DHCP on and off: the switch the program's DHCP buttons write.
    for (const char on : {'\1', '\0'}) {
        char value = on;
        QCOMPARE(sdkSetConfig(handle, 274, -1, &value, 1, 3000), 1L);
        QCOMPARE(emulator_.record(1, 274, -1).left(1), QByteArray(1, on));
        char read = '\x7f';
        QCOMPARE(sdkGetConfig(handle, 274, -1, &read, 1, &size, 3000), 1L);
        QCOMPARE(read, on);
    }

    // Factory default (soft): the time server comes back, the address stays.
    QCOMPARE(sdkSetConfig(handle, 33, -1, QByteArray(11, '\1').data(), 11, 3000), 1L);
    QCOMPARE(QByteArray(emulator_.record(1, 41, -1).constData() + 4), QByteArray("127.0.0.1"));
    QCOMPARE(emulator_.camera(1).value(QStringLiteral("HostIP")).toString(), emulator_.address(1));

    // Calls without ONVIF equivalent.
    char buffer[64];
    QCOMPARE(sdkGetConfig(handle, 9, -1, buffer, sizeof buffer, &size, 3000), long(SDK_ERR_NOT_SUPPORTED));
    QCOMPARE(sdkGetDevConfigJson(handle, "General.General", 1042, -1, buffer, sizeof buffer, nullptr, 3000),
             long(SDK_ERR_NOT_SUPPORTED));
    SDK_CLIENTINFO client = {};
    client.nChannel = 1;
    QCOMPARE(sdkStartRealPlay(handle, &client), 0L);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_NO_STREAM));
    QCOMPARE(sdkStartVoiceCom(handle, nullptr, nullptr), 0L);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_NOT_SUPPORTED));

    // Cut, oversized, wrongly namespaced answers and unasked-for faults: errors, never a crash or a
    // made-up record.
    QVERIFY(emulator_.setFault(1, {{QStringLiteral("Malformed"), true}}));
    const unsigned long badBefore = sdkGetBadFrameCount();
    QList<long> results;
    for (int i = 0; i < 4; ++i)
        results << sdkGetConfig(handle, 274, -1, buffer, 1, &size, 3000);
    QCOMPARE(results, (QList<long>{SDK_ERR_PROTOCOL, SDK_ERR_PROTOCOL, SDK_ERR_PROTOCOL, SDK_ERR_CONFIG_REJECTED}));
    QCOMPARE(sdkGetBadFrameCount(), badBefore + 3);
    error = 1;
    QCOMPARE(login(1, &error), 0L);
    QCOMPARE(error, int(SDK_ERR_NETWORK));
    QVERIFY(emulator_.setFault(1, {{QStringLiteral("Malformed"), false}}));
    QCOMPARE(sdkLogout(handle), 1L);
}

void TestOnvif::addressChangeMovesTheCamera()
{
    const QByteArray record = searchRecordOf(emulator_.mac(3));
    QVERIFY(!record.isEmpty());
    const QString target = emulator_.rangeAddress(40);
    SDK_NET_ADDRESS_BLOCK block =
        addressBlock(record, target, QStringLiteral("255.255.0.0"), emulator_.rangeAddress(1), QStringLiteral("wrong"));
    QCOMPARE(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), 400, 10000), long(SDK_ERR_PASSWORD));
    QCOMPARE(emulator_.camera(3).value(QStringLiteral("HostIP")).toString(), emulator_.address(3));

    // With the right one it moves, mask and gateway too, and a new search finds it there.
    block = addressBlock(record, target, QStringLiteral("255.255.0.0"), emulator_.rangeAddress(1), kPassword);
    QCOMPARE(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), 400, 10000), 1L);
    const QJsonObject moved = emulator_.camera(3);
    QCOMPARE(moved.value(QStringLiteral("HostIP")).toString(), target);
    QCOMPARE(moved.value(QStringLiteral("Submask")).toString(), QStringLiteral("255.255.0.0"));
    QCOMPARE(moved.value(QStringLiteral("GateWay")).toString(), emulator_.rangeAddress(1));
    QCOMPARE(parseSearchRecord(searchRecordOf(emulator_.mac(3))).hostIp, target);
}

void TestOnvif::rebootAndUpgrade()
{
    long handle = login(2);
    QVERIFY(handle > 0);
    const int reboots = emulator_.camera(2).value(QStringLiteral("Reboots")).toInt();
    QCOMPARE(sdkControlDevice(handle, 0, 3000), 1);
    QTRY_COMPARE_WITH_TIMEOUT(emulator_.camera(2).value(QStringLiteral("Reboots")).toInt(), reboots + 1, 10000);
    sdkLogout(handle);

    // A package for other hardware ends in failure and changes nothing; a good one's success is
    // tst_gui_onvif's.
    upgradepackage::PackageSpec package;
    package.hardware = "OTHER-HW";
    package.version = "V9.0.ONVIF";
    package.firmwareSize = 256 * 1024;
    const QString wrong = dir_.filePath(QStringLiteral("wrong.zip"));
    QVERIFY(upgradepackage::writeFile(wrong.toStdString(), upgradepackage::makePackage(package)));
    QTRY_VERIFY_WITH_TIMEOUT((handle = login(2)) > 0, 10000); // once the reboot is over
    std::atomic<int> end{0};
    const long upgrade = sdkStartUpgrade(handle, wrong.toLocal8Bit().constData(), 0, &upgradeEnd, &end);
    QVERIFY(upgrade > 0);
    QTRY_VERIFY_WITH_TIMEOUT(end.load() != 0, 30000);
    QCOMPARE(end.load(), -2);
    sdkCloseUpgrade(upgrade);
    QCOMPARE(emulator_.camera(2).value(QStringLiteral("Version")).toString(),
             QString::fromStdString(modelNamed(QStringLiteral("IPC-O"))->version));
    sdkLogout(handle);
}

void TestOnvif::encodeRecordsAndStreams()
{
    const long handle = login(1);
    QVERIFY(handle > 0);
    unsigned long size = 0;
    // The simplified entries read what the camera's own record holds, field by field, both streams;
    // the ability offers the model's main resolutions.
    QByteArray entries(5632, '\x7f');
    QCOMPARE(sdkGetConfig(handle, 68, -1, entries.data(), 5632, &size, 3000), 1L);
    const QByteArray before = emulator_.record(1, 68, 0);
    for (const int field : {0, 4, 12, 16, 20, 24, 44, 48, 56, 60, 64, 68})
        QCOMPARE(int32At(entries, field), int32At(before, field));
    QByteArray ability(9900, '\0');
    QCOMPARE(sdkGetConfig(handle, 10, 0, ability.data(), 9900, &size, 3000), 1L);
    QCOMPARE(quint32(int32At(ability, 264)), modelNamed(QStringLiteral("IPC-O"))->abilities.mainResolutions);
    QCOMPARE(int32At(ability, 520), 1 << 7); // H.264

    // Written as the configuration writer does (channel 0, both streams), kept by the camera.
    const qint32 main[] = {7, 12, 0, 5, 10, 2048, 2}; // 960P, 10 frames/s, 2 s between key frames
    std::memcpy(entries.data(), main, sizeof main);
    QCOMPARE(sdkSetConfig(handle, 68, 0, entries.data(), 88, 3000), 1L);
    const QByteArray after = emulator_.record(1, 68, 0);
    for (const int field : {4, 12, 16, 20, 24})
        QCOMPARE(int32At(after, field), int32At(entries, field));

    // Each profile's RTSP stream decodes at its configuration's size.
    sdkTestSetFrameObserver(&observe, nullptr);
    for (const int stream : {0, 1}) {
        SDK_CLIENTINFO client = {};
        client.nStream = stream;
        const long real = sdkStartRealPlay(handle, &client);
        QVERIFY2(real > 0, qPrintable(QString::number(sdkGetLastError())));
        QTRY_VERIFY_WITH_TIMEOUT(picturesOf(real).first >= 3, 10000);
        int width = 0, height = 0;
        QVERIFY(protocol::resolutionSize(int32At(after, 44 * stream + 4), 0, width, height));
        QCOMPARE(picturesOf(real).second, QSize(width, height));
        QCOMPARE(sdkStopRealPlay(real, nullptr), 1L);
    }
    sdkTestSetFrameObserver(nullptr, nullptr);
    sdkLogout(handle);
}

QTEST_GUILESS_MAIN(TestOnvif)
#include "tst_onvif.moc"
