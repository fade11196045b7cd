// A client we did not write against the emulator's ONVIF side: Debian's libonvif, the library behind
// onvif-util, with the camera's device service given directly (its own discovery sends to a
// multicast group and is never used here). Each step is one of onvif-util's commands - get time,
// get network, get video, get rtsp, set dhcp, set ip_address - and the emulator's state is checked
// after it; get video also reads back encoder settings that our own library wrote (command 19).

#include <cstring>
#include <memory>

#include <QtTest>

#include <onvif.h>
#include <unistd.h>

#include "emulatorprocess.h"
#include "sdktesthelpers.h"

namespace {

const QString kPassword = QStringLiteral("interop-pw");

struct Client
{
    std::unique_ptr<OnvifData> data = std::make_unique<OnvifData>();

    explicit Client(const QString& address)
    {
        std::memset(data.get(), 0, sizeof(OnvifData));
        clearData(data.get());
        const QByteArray url = QStringLiteral("http://%1/onvif/device_service").arg(address).toLatin1();
        std::snprintf(data->xaddrs, sizeof data->xaddrs, "%s", url.constData());
        std::snprintf(data->device_service, sizeof data->device_service, "%s", url.constData());
        extractOnvifService(data->device_service, true);
        std::snprintf(data->username, sizeof data->username, "admin");
        std::snprintf(data->password, sizeof data->password, "%s", kPassword.toLatin1().constData());
    }
    OnvifData* operator->() { return data.get(); }
    OnvifData* get() { return data.get(); }
};

} // namespace

class TestOnvifInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void onvifUtilCommands();

private:
    EmulatorProcess emulator_;
};

void TestOnvifInterop::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("onvif-util's library looks for a camera on port 80 of its address, which needs root here");
    // libonvif repeats one nonce for a whole session and can send two requests within a millisecond:
    // the camera must take repeated tokens from it.
    QVERIFY2(emulator_.start({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--models"),
                              QStringLiteral("IPC-O"), QStringLiteral("--password"), kPassword,
                              QStringLiteral("--onvif-accept-replays"), QStringLiteral("--onvif-discovery-port"),
                              QString::number(freeUdpPort()), QStringLiteral("--onvif-clock-offset"),
                              QStringLiteral("3600")}),
             qPrintable(emulator_.errorString()));
}

void TestOnvifInterop::cleanupTestCase()
{
    if (emulator_.isRunning())
        QVERIFY(emulator_.stop());
}

void TestOnvifInterop::onvifUtilCommands()
{
    const QString address = emulator_.address(0);
    Client client(address);

    // get time: the camera's clock an hour ahead.
    QCOMPARE(getTimeOffset(client.get()), 0);
    QVERIFY2(qAbs(client->time_offset - 3600) <= 5, qPrintable(QString::number(client->time_offset)));
    QCOMPARE(getCapabilities(client.get()), 0);

    // get network
    QCOMPARE(getNetworkInterfaces(client.get()), 0);
    QCOMPARE(QString(client->ip_address_buf), address);
    QCOMPARE(QString(client->networkInterfaceToken), QStringLiteral("eth0"));
    QCOMPARE(client->dhcp_enabled, emulator_.record(0, 274, -1).at(0) != 0);
    QCOMPARE(getNetworkDefaultGateway(client.get()), 0);
    QCOMPARE(QString(client->default_gateway_buf), emulator_.camera(0).value(QStringLiteral("GateWay")).toString());

    // get rtsp: the main profile's stream on the camera's own address.
    QCOMPARE(getProfileToken(client.get(), 0), 0);
    QCOMPARE(getStreamUri(client.get()), 0);
    QCOMPARE(QString(client->stream_uri), QStringLiteral("rtsp://%1/profile_main").arg(address));

    // get video, after our library wrote the main stream through the per-channel entry: 720P,
    // 15 frames/s, 1536 kbit/s, a key frame every 2 s.
    sdkInit(nullptr, nullptr);
    QVERIFY(emulator_.configureLibrary());
    int error = 0;
    const long login = loginTo(address, kPassword, &error, nullptr, QStringLiteral("admin"), 80);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    QByteArray entry(396, '\0');
    unsigned long size = 0;
    QCOMPARE(sdkGetConfig(login, 19, 0, entry.data(), 396, &size, 3000), 1L);
    const qint32 written[] = {7, 11, 0, 4, 15, 1536, 2};
    std::memcpy(entry.data(), written, sizeof written);
    QCOMPARE(sdkSetConfig(login, 19, 0, entry.data(), 396, 3000), 1L);
    sdkLogout(login);
    sdkCleanup();
    // As "get video" does: the profile (which holds the size and rates), then the configuration.
    QCOMPARE(getProfile(client.get()), 0);
    QCOMPARE(getVideoEncoderConfiguration(client.get()), 0);
    QCOMPARE(QString(client->encoding), QStringLiteral("H264"));
    QCOMPARE(client->width, 1280);
    QCOMPARE(client->height, 720);
    QCOMPARE(client->frame_rate, 15);
    QCOMPARE(client->bitrate, 1536);
    QCOMPARE(client->gov_length, 30);

    // set dhcp on, then off
    for (const bool on : {true, false}) {
        client->dhcp_enabled = on;
        QCOMPARE(setNetworkInterfaces(client.get()), 0);
        QCOMPARE(emulator_.record(0, 274, -1).at(0), char(on ? 1 : 0));
    }

    // set ip_address: the camera moves, and answers at its new address.
    const QString target = emulator_.rangeAddress(30);
    QCOMPARE(getNetworkInterfaces(client.get()), 0);
    std::snprintf(client->ip_address_buf, sizeof client->ip_address_buf, "%s", target.toLatin1().constData());
    QCOMPARE(setNetworkInterfaces(client.get()), 0);
    QTRY_COMPARE(emulator_.camera(0).value(QStringLiteral("HostIP")).toString(), target);
    Client moved(target);
    QCOMPARE(getTimeOffset(moved.get()), 0);
    QCOMPARE(getNetworkInterfaces(moved.get()), 0);
    QCOMPARE(QString(moved->ip_address_buf), target);
}

QTEST_GUILESS_MAIN(TestOnvifInterop)
#include "tst_onvif_interop.moc"
