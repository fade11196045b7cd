// The library's life cycle, argument checks, options and per-thread last error.

#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include <QElapsedTimer>
#include <QtTest>

#include "netsdk/netsdk.h"
#include "tst_netsdk_peer.h"

namespace {

void expectFailure(long result, long code)
{
    QVERIFY(result <= 0);
    QCOMPARE(sdkGetLastError(), code);
}

} // namespace

class TestNetsdkLifecycle : public peer::Fixture
{
    Q_OBJECT

private slots:
    void callsBeforeInitAndOnUnknownHandles();
    void badArgumentsAreRefusedWithoutTouchingBuffers();
    void loopbackOnlyRefusesOtherDestinationsAtOnce();
    void lastErrorBelongsToTheCallingThread();
};

void TestNetsdkLifecycle::callsBeforeInitAndOnUnknownHandles()
{
    char buf[1200];
    int len = 7;
    unsigned long got = 0;
    SDK_NET_ADDRESS_BLOCK block{};
    QCOMPARE(sdkCleanup(), 1L);
    for (int round = 0; round < 2; ++round) {
        // Before init every call fails as such; after a new init the handles of the last run are
        // unknown (handles keep growing, so none names a later login).
        const long code = round == 0 ? SDK_ERR_NOT_INIT : SDK_ERR_INVALID_HANDLE;
        expectFailure(sdkLogout(1), code);
        expectFailure(sdkGetConfig(1, 20, -1, buf, sizeof buf, &got, 100), code);
        expectFailure(sdkSetConfig(1, 20, -1, buf, 144, 100), code);
        expectFailure(sdkGetDevConfigJson(1, "fVideo.Volume", 1042, 0, buf, sizeof buf, &len, 100), code);
        expectFailure(sdkSetDevConfigJson(1, "fVideo.Volume", 1040, 0, "{}", 2, 100), code);
        expectFailure(sdkGetChannelAbilityJson(1, "Ability.VoiceTipType", 0, buf, sizeof buf, &len, 100), code);
        expectFailure(sdkControlDevice(1, 0, 100), code);
        expectFailure(sdkStartUpgrade(1, "x.bin", 0, nullptr, nullptr), code);
        expectFailure(sdkStartVoiceCom(1, nullptr, nullptr), code);
        if (round == 1)
            break;
        QCOMPARE(sdkSearchDevice(buf, sizeof buf, &len, 0), 0);
        QCOMPARE(len, 0);
        int err = 1;
        QCOMPARE(sdkLogin("127.0.0.1", 34567, "admin", "", nullptr, 1, &err), 0L);
        QCOMPARE(err, int(SDK_ERR_NOT_INIT));
        expectFailure(sdkSetup(2000, 1), code);
        expectFailure(sdkSetNetOptions(nullptr, 0, 1), code);
        expectFailure(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), sizeof block, 100), code);
        expectFailure(sdkCleanup(), code);
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
    }
    SDK_CLIENTINFO client{};
    expectFailure(sdkCloseUpgrade(4242), SDK_ERR_INVALID_HANDLE);
    expectFailure(sdkStartRealPlay(4242, &client), SDK_ERR_INVALID_HANDLE);
    expectFailure(sdkStopRealPlay(1, nullptr), SDK_ERR_INVALID_HANDLE);
    expectFailure(sdkRealPlayReset(1, 0, 0), SDK_ERR_INVALID_HANDLE);
    expectFailure(sdkSendVoiceData(1, buf, 10), SDK_ERR_INVALID_HANDLE);
    expectFailure(sdkStopVoiceCom(1), SDK_ERR_INVALID_HANDLE);
}

void TestNetsdkLifecycle::badArgumentsAreRefusedWithoutTouchingBuffers()
{
    std::vector<char> buf(1200, char(0x5A));
    int len = 99;
    QCOMPARE(sdkSearchDevice(buf.data(), 559, &len, 0), 0);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_ILLEGAL_PARAM));
    QCOMPARE(len, 0);
    QVERIFY(std::all_of(buf.begin(), buf.end(), [](char c) { return c == 0x5A; }));
    QCOMPARE(sdkSearchDevice(nullptr, 1200, &len, 0), 0);
    QCOMPARE(sdkSearchDevice(buf.data(), 1200, nullptr, 0), 0);
    QCOMPARE(sdkSearchDevice(buf.data(), 1200, &len, -1), 0);

    SDK_NET_ADDRESS_BLOCK block{};
    std::strcpy(block.mac, "02:56:54:00:00:01");
    char* raw = reinterpret_cast<char*>(&block);
    QCOMPARE(sdkSetConfigOverNet(19, 254, raw, 400, 100), long(SDK_ERR_ILLEGAL_PARAM));
    QCOMPARE(sdkSetConfigOverNet(20, 254, raw, 399, 100), long(SDK_ERR_ILLEGAL_PARAM));
    QCOMPARE(sdkSetConfigOverNet(20, 7, raw, 400, 100), long(SDK_ERR_ILLEGAL_PARAM));
    QCOMPARE(sdkSetConfigOverNet(20, 254, nullptr, 400, 100), long(SDK_ERR_ILLEGAL_PARAM));
    std::memset(block.mac, 'a', sizeof block.mac); // no terminator within the field
    QCOMPARE(sdkSetConfigOverNet(20, 254, raw, 400, 100), long(SDK_ERR_ILLEGAL_PARAM));
    block.mac[0] = '\0';
    QCOMPARE(sdkSetConfigOverNet(20, 254, raw, 400, 100), long(SDK_ERR_ILLEGAL_PARAM));

    QCOMPARE(sdkSetup(0, 1), 0L);
    QCOMPARE(sdkSetup(2000, 0), 0L);
    QCOMPARE(sdkSetNetOptions("127.255.255.255, 300.1.1.1", 0, 1), 0L);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_ILLEGAL_PARAM));
    QCOMPARE(sdkSetNetOptions("255.255.255.255", 0, 1), 0L);
    QCOMPARE(sdkSetNetOptions("127.255.255.255", 70000, 1), 0L);
    QCOMPARE(sdkSetNetOptions(" 127.255.255.255 ,127.0.0.255", 40000, 1), 1L);
}

void TestNetsdkLifecycle::loopbackOnlyRefusesOtherDestinationsAtOnce()
{
    QCOMPARE(sdkSetup(20000, 3), 1L);
    // Set by the environment: the call cannot switch it off.
    QCOMPARE(sdkSetNetOptions("192.0.2.255", 0, 0), 1L);

    QElapsedTimer timer;
    timer.start();
    for (const char* address : {"192.0.2.1", "10.1.2.3", "example.com", "127.0.0.1.5", ""}) {
        int err = 1;
        QCOMPARE(sdkLogin(address, 34567, "admin", "", nullptr, 1, &err), 0L);
        QCOMPARE(err, int(SDK_ERR_NO_DEVICE));
    }
    int err = 1;
    sdkLogin("192.0.2.1", 34567, "admin", "", nullptr, 1, &err);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_REFUSED_DEST));

    // The only broadcast address is outside loopback: nothing is sent, nothing found.
    std::vector<char> buf(560 * 4, 0);
    int len = -1;
    QCOMPARE(sdkSearchDevice(buf.data(), int(buf.size()), &len, 20000), 1);
    QCOMPARE(len, 0);
    SDK_NET_ADDRESS_BLOCK block{};
    std::strcpy(block.mac, "02:56:54:00:00:01");
    QCOMPARE(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), 400, 20000), long(SDK_ERR_REFUSED_DEST));
    // Neither the logins (20 s time-out, 3 tries) nor the search (20 s) waited for anything.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

void TestNetsdkLifecycle::lastErrorBelongsToTheCallingThread()
{
    sdkLogout(777);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_INVALID_HANDLE));
    std::promise<void> aFailed, bFailed;
    std::shared_future<void> aDone = aFailed.get_future().share(), bDone = bFailed.get_future().share();
    long seenByA = 0, seenByB = 0, beforeB = 0;
    std::thread a([&] {
        char small[10];
        int len = 0;
        sdkSearchDevice(small, sizeof small, &len, 0);
        aFailed.set_value();
        bDone.wait();
        seenByA = sdkGetLastError();
    });
    std::thread b([&] {
        aDone.wait();
        beforeB = sdkGetLastError();
        int err = 0;
        sdkLogin("192.0.2.1", 34567, "admin", "", nullptr, 1, &err); // refused by loopback-only
        bFailed.set_value();
        seenByB = sdkGetLastError();
    });
    a.join();
    b.join();
    QCOMPARE(seenByA, long(SDK_ERR_ILLEGAL_PARAM));
    QCOMPARE(beforeB, 0L);
    QCOMPARE(seenByB, long(SDK_ERR_REFUSED_DEST));
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_INVALID_HANDLE));
}

QTEST_GUILESS_MAIN(TestNetsdkLifecycle)
#include "tst_netsdk_lifecycle.moc"
