// The library's life cycle, argument checks, options and per-thread last error.

#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include <QElapsedTimer>
#include <QtTest>

#include "netsdk/netsdk.h"

class TestNetsdkLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("VANTREL_LOOPBACK_ONLY", "1"); }
    void cleanup() { sdkCleanup(); }

    void everyCallFailsBeforeInit()
    {
        char buf[1200];
        int len = 7;
        QCOMPARE(sdkSearchDevice(buf, sizeof buf, &len, 0), 0);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_NOT_INIT));
        QCOMPARE(len, 0);
        int err = 1;
        SDK_DEVICE_INFO info;
        QCOMPARE(sdkLogin("127.0.0.1", 34567, "admin", "", &info, 1, &err), 0L);
        QCOMPARE(err, int(SDK_ERR_NOT_INIT));

        const auto expectNotInit = [](long result) {
            QVERIFY(result <= 0);
            QCOMPARE(sdkGetLastError(), long(SDK_ERR_NOT_INIT));
        };
        SDK_NET_ADDRESS_BLOCK block{};
        unsigned long got = 0;
        expectNotInit(sdkSetup(2000, 1));
        expectNotInit(sdkSetNetOptions(nullptr, 0, 1));
        expectNotInit(sdkLogout(1));
        expectNotInit(sdkGetConfig(1, 20, -1, buf, sizeof buf, &got, 100));
        expectNotInit(sdkSetConfig(1, 20, -1, buf, 144, 100));
        expectNotInit(sdkGetDevConfigJson(1, "fVideo.Volume", 1042, 0, buf, sizeof buf, &len, 100));
        expectNotInit(sdkSetDevConfigJson(1, "fVideo.Volume", 1040, 0, "{}", 2, 100));
        expectNotInit(sdkGetChannelAbilityJson(1, "Ability.VoiceTipType", 0, buf, sizeof buf, &len, 100));
        expectNotInit(sdkControlDevice(1, 0, 100));
        expectNotInit(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), sizeof block, 100));
        expectNotInit(sdkStartUpgrade(1, "x.bin", 0, nullptr, nullptr));
        expectNotInit(sdkStartVoiceCom(1, nullptr, nullptr));
        expectNotInit(sdkCleanup());
    }

    void unknownHandles()
    {
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
        char buf[600];
        int len = 0;
        unsigned long got = 0;
        const auto expect = [](long result, long code) {
            QVERIFY(result <= 0);
            QCOMPARE(sdkGetLastError(), code);
        };
        expect(sdkLogout(4242), SDK_ERR_INVALID_HANDLE);
        expect(sdkLogout(0), SDK_ERR_INVALID_HANDLE);
        expect(sdkGetConfig(4242, 20, -1, buf, sizeof buf, &got, 100), SDK_ERR_INVALID_HANDLE);
        expect(sdkSetConfig(-3, 20, -1, buf, 144, 100), SDK_ERR_INVALID_HANDLE);
        expect(sdkGetDevConfigJson(4242, "x", 1042, 0, buf, sizeof buf, &len, 100), SDK_ERR_INVALID_HANDLE);
        expect(sdkSetDevConfigJson(4242, "x", 1040, 0, "{}", 2, 100), SDK_ERR_INVALID_HANDLE);
        expect(sdkGetChannelAbilityJson(4242, "x", 0, buf, sizeof buf, &len, 100), SDK_ERR_INVALID_HANDLE);
        expect(sdkControlDevice(4242, 0, 100), SDK_ERR_INVALID_HANDLE);

        expect(sdkStartUpgrade(4242, "x.bin", 0, nullptr, nullptr), SDK_ERR_INVALID_HANDLE);
        expect(sdkCloseUpgrade(4242), SDK_ERR_INVALID_HANDLE);
        SDK_CLIENTINFO client{};
        expect(sdkStartRealPlay(4242, &client), SDK_ERR_INVALID_HANDLE);
        expect(sdkStopRealPlay(1, nullptr), SDK_ERR_INVALID_HANDLE);
        expect(sdkRealPlayReset(1, 0, 0), SDK_ERR_INVALID_HANDLE);
        expect(sdkStartVoiceCom(4242, nullptr, nullptr), SDK_ERR_INVALID_HANDLE);
        expect(sdkSendVoiceData(1, buf, 10), SDK_ERR_INVALID_HANDLE);
        expect(sdkStopVoiceCom(1), SDK_ERR_INVALID_HANDLE);
    }

    void badArgumentsAreRefusedWithoutTouchingBuffers()
    {
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
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

    void loopbackOnlyRefusesOtherDestinationsAtOnce()
    {
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
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

    void lastErrorBelongsToTheCallingThread()
    {
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
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

    void cleanupResetsAndTheLibraryStartsAgain()
    {
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
        QCOMPARE(sdkSetNetOptions("127.0.0.255", 40001, 1), 1L);
        QCOMPARE(sdkCleanup(), 1L);
        QCOMPARE(sdkSetNetOptions(nullptr, 0, 1), 0L);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_NOT_INIT));
        QCOMPARE(sdkInit(nullptr, nullptr), 1L);
        QCOMPARE(sdkSetNetOptions(nullptr, 0, 1), 1L);
        QCOMPARE(sdkLogout(1), 0L);
        QCOMPARE(sdkGetLastError(), long(SDK_ERR_INVALID_HANDLE));
    }
};

QTEST_GUILESS_MAIN(TestNetsdkLifecycle)
#include "tst_netsdk_lifecycle.moc"
