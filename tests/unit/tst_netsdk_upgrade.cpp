// The package transfer of sdkStartUpgrade against a scripted device: every byte of the file arrives
// once, in order, in frames the device can take, and the device's answers end the upgrade.

#include <mutex>
#include <string>
#include <vector>

#include <QTemporaryDir>
#include <QtTest>

#include "netsdk/netsdk.h"
#include "tst_netsdk_peer.h"

namespace {

constexpr std::uint32_t kSession = 0x77;

struct Reports
{
    std::mutex mutex;
    std::vector<std::pair<int, int>> all; ///< (nType, nValue)

    bool ended()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return !all.empty() && all.back().second < 0 && all.back().first != -1;
    }
};

void onReport(long, long, int nType, int nValue, void* pUser)
{
    auto* r = static_cast<Reports*>(pUser);
    std::lock_guard<std::mutex> lock(r->mutex);
    r->all.emplace_back(nType, nValue);
}

std::vector<std::uint8_t> pattern(std::size_t size)
{
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i)
        v[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
    return v;
}

struct Received
{
    std::vector<std::uint8_t> package;
    int frames = 0;
    bool framingOk = true;
};

/// A device that takes the upgrade: collects the data frames until the announced size, then
/// answers `checkRet` (and, when that is success, a finished firmware write).
std::unique_ptr<peer::Device> upgradeDevice(Received& got, int checkRet)
{
    return std::make_unique<peer::Device>([&got, checkRet](peer::Connection& c) {
        if (!peer::acceptLogin(c, "admin", "pw", kSession))
            return;
        protocol::Frame start;
        if (!c.read(start) || start.header.messageId != protocol::MsgUpgradeStart)
            return;
        const std::uint32_t sequence = start.header.sequence;
        const std::size_t size = static_cast<std::size_t>(peer::json(start)["Size"].asInt64());
        Json::Value ok;
        ok["Ret"] = protocol::kRetOk;
        c.send(peer::jsonFrame(protocol::MsgUpgradeStartAnswer, kSession, sequence, ok));
        while (got.package.size() < size) {
            protocol::Frame f;
            if (!c.read(f))
                return;
            if (f.header.messageId != protocol::MsgUpgradeData || f.header.sequence != sequence ||
                f.header.sessionId != kSession || f.body.empty() || f.body.size() > 64 * 1024)
                got.framingOk = false;
            got.package.insert(got.package.end(), f.body.begin(), f.body.end());
            ++got.frames;
        }
        Json::Value check;
        check["Ret"] = checkRet;
        c.send(peer::jsonFrame(protocol::MsgUpgradeCheck, kSession, sequence, check));
        if (checkRet == protocol::kRetOk) {
            Json::Value done;
            done["Ret"] = protocol::kUpgradeSucceeded;
            c.send(peer::jsonFrame(protocol::MsgUpgradeState, kSession, sequence, done));
        }
        protocol::Frame logout;
        while (c.read(logout))
            if (logout.header.messageId == protocol::MsgLogout) {
                c.send(peer::jsonFrame(protocol::MsgLogoutAnswer, kSession, logout.header.sequence, ok));
                break;
            }
    });
}

} // namespace

class TestNetsdkUpgrade : public peer::Fixture
{
    Q_OBJECT

private slots:
    void packageArrivesWholeInOrder_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("checkRet");
        QTest::newRow("one byte") << 1 << protocol::kRetOk;
        QTest::newRow("exactly two chunks") << 2 * 64 * 1024 << protocol::kRetOk;
        QTest::newRow("odd size, several chunks") << 5 * 64 * 1024 + 12345 << protocol::kRetOk;
        QTest::newRow("refused by the check") << 3 * 64 * 1024 + 1 << -11807;
    }

    void packageArrivesWholeInOrder()
    {
        QFETCH(int, size);
        QFETCH(int, checkRet);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const std::vector<std::uint8_t> bytes = pattern(std::size_t(size));
        const QString path = dir.filePath("package.bin");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(reinterpret_cast<const char*>(bytes.data()), size), qint64(size));
        }
        Received got;
        const auto device = upgradeDevice(got, checkRet);
        int err = 0;
        const long login = sdkLogin("127.0.0.1", device->port(), "admin", "pw", nullptr, 1, &err);
        QVERIFY(login > 0);
        Reports reports;
        const long handle = sdkStartUpgrade(login, path.toLocal8Bit().constData(), 0, onReport, &reports);
        QVERIFY(handle > 0);
        QTRY_VERIFY_WITH_TIMEOUT(reports.ended(), 10000);
        QCOMPARE(sdkCloseUpgrade(handle), 1L);

        QVERIFY(got.framingOk);
        QCOMPARE(got.frames, (size + 64 * 1024 - 1) / (64 * 1024));
        QVERIFY(got.package == bytes);
        std::lock_guard<std::mutex> lock(reports.mutex);
        // Progress counts up to the whole size, then the end: success, or the device's code.
        int lastSent = 0;
        for (std::size_t i = 0; i + 1 < reports.all.size(); ++i)
            if (reports.all[i].first == size)
                lastSent = std::max(lastSent, reports.all[i].second);
        QCOMPARE(lastSent, size);
        QCOMPARE(reports.all.back(), std::make_pair(size, checkRet == protocol::kRetOk ? -1 : checkRet));
        sdkLogout(login);
    }
};

QTEST_GUILESS_MAIN(TestNetsdkUpgrade)
#include "tst_netsdk_upgrade.moc"
