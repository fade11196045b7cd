// Firmware upgrade through the library against the emulator: a deflated package is sent, the camera
// checks and writes it with progress on the session, then reboots with the new version; packages the camera refuses, a
// camera that dies during the transfer, and ending an upgrade by close, from its own callback or by cleanup (no thread
// and no callback after it).

#include <mutex>
#include <vector>

#include <QDir>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "emulatorprocess.h"
#include "protocol/frame.h"
#include "protocol/messages.h"
#include "sdktesthelpers.h"
#include "upgradepackage.h"

namespace {

constexpr int kTransferLimitMs = 20000;
const char kNewVersion[] = "V9.99.R01.UPGRADED";

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

/// Everything the library reported for one upgrade.
class Recorder
{
public:
    struct Event
    {
        long login;
        long handle;
        int type;
        int value;
    };

    static void callback(long login, long handle, int type, int value, void* user)
    {
        auto* self = static_cast<Recorder*>(user);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->events_.push_back({login, handle, type, value});
        if (self->closeOnEnd_ && value < 0)
            sdkCloseUpgrade(handle); // as the program does from its callback
    }

    void closeOnEnd() { closeOnEnd_ = true; }

    std::vector<Event> events()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    /// The final report (nValue below 0); 0 while none came.
    int end()
    {
        for (const Event& e : events())
            if (e.value < 0)
                return e.value;
        return 0;
    }

    /// True once the device's write progress (nType -1) was reported.
    bool wrote()
    {
        for (const Event& e : events())
            if (e.type == -1 && e.value >= 0)
                return true;
        return false;
    }

private:
    std::mutex mutex_;
    std::vector<Event> events_;
    bool closeOnEnd_ = false;
};

QString hardwareOf(EmulatorProcess& emulator, int index)
{
    const camsim::Model* model = modelNamed(emulator.camera(index).value(QStringLiteral("Model")).toString());
    return model ? QString::fromStdString(model->hardwareId) : QString();
}

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void goodPackageUpgradesAndReboots();
    void refusedPackagesAndDyingCameraKeepOldFirmware();
    void closeAndCleanupEndThreadAndCallbacks();

private:
    QString package(const QString& name, EmulatorProcess& emulator, int index, const char* version, std::size_t size);

    QTemporaryDir dir_;
};

void TestUpgrade::initTestCase()
{
    QVERIFY(dir_.isValid());
    sdkInit(nullptr, nullptr);
    sdkSetup(3000, 1);
}

void TestUpgrade::cleanupTestCase()
{
    sdkCleanup();
}

QString TestUpgrade::package(const QString& name, EmulatorProcess& emulator, int index, const char* version,
                             std::size_t size)
{
    upgradepackage::PackageSpec contents;
    contents.hardware = hardwareOf(emulator, index).toStdString();
    contents.version = version;
    contents.firmwareSize = size;
    contents.deflate = true;
    const QString path = dir_.filePath(name);
    return upgradepackage::writeFile(path.toStdString(), upgradepackage::makePackage(contents)) ? path : QString();
}

void TestUpgrade::goodPackageUpgradesAndReboots()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "2", "--upgrade-ms", "800", "--reboot-ms", "300"}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString path = package("good.zip", emulator, 0, kNewVersion, 3 * 1024 * 1024 + 123);
    const int size = int(QFileInfo(path).size());

    int error = 0;
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    const int threadsBefore = threadCount();

    // Closed from inside its own final callback, which the contract allows: the thread ends by itself.
    Recorder recorder;
    recorder.closeOnEnd();
    const long handle = sdkStartUpgrade(login, path.toLocal8Bit().constData(), 0, &Recorder::callback, &recorder);
    QVERIFY(handle > 0);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.end(), -1, kTransferLimitMs);
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore, 5000);
    QCOMPARE(sdkCloseUpgrade(handle), 0l); // already released by the callback

    // Transfer progress rises to the whole size, then the device's write progress, then success.
    const std::vector<Recorder::Event> events = recorder.events();
    int lastSent = 0;
    std::size_t i = 0;
    for (; i < events.size() && events[i].type == size; ++i) {
        QVERIFY(events[i].value > lastSent && events[i].login == login && events[i].handle == handle);
        lastSent = events[i].value;
    }
    QCOMPARE(lastSent, size);
    QVERIFY(i > 2); // several chunks were reported
    int lastWrite = -1;
    for (; i < events.size() && events[i].type == -1; ++i) {
        QVERIFY(events[i].value > lastWrite && events[i].value <= 100);
        lastWrite = events[i].value;
    }
    QCOMPARE(lastWrite, 100);
    QCOMPARE(i + 1, events.size());
    QCOMPARE(events[i].value, -1);

    // The camera reboots and comes back with the new version. (What it sends on its progress port
    // meanwhile is read by the program's receive thread: tst_upgradeworker.)
    const long back = loginWithin(emulator.address(0), QString(), &error, 10000);
    QVERIFY2(back > 0, qPrintable(QString::number(error)));
    sdkLogout(back);
    sdkLogout(login);
    QCOMPARE(emulator.camera(0).value("Version").toString(), QLatin1String(kNewVersion));
    QCOMPARE(emulator.camera(1).value("Upgrades").toInt(), 0);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestUpgrade::refusedPackagesAndDyingCameraKeepOldFirmware()
{
    // Camera 0 dies once half a package has arrived; camera 1 checks the packages.
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "2", "--upgrade-ms", "200", "--reboot-ms", "300", "--fault-cameras", "0",
                             "--die-mid-transfer"}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    QVERIFY(hardwareOf(emulator, 0) != hardwareOf(emulator, 1));
    const QString versions[] = {emulator.camera(0).value("Version").toString(),
                                emulator.camera(1).value("Version").toString()};
    long logins[2] = {};
    int error = 0;
    for (int index = 0; index < 2; ++index) {
        logins[index] = loginTo(emulator.address(index), QString(), &error);
        QVERIFY2(logins[index] > 0, qPrintable(QString::number(error)));
    }

    // The camera's check, or its death, ends the upgrade with the reason; nothing is written.
    struct Case
    {
        int index;
        QString path;
        int end;
    };
    const Case cases[] = {
        {1, package("foreign.zip", emulator, 0, "V0.0.FOREIGN", 200 * 1024), SDK_ERR_UPGRADE_HARDWARE},
        {0, package("die.zip", emulator, 0, "V7.77.NEVER", 2 * 1024 * 1024), -2},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        const long handle =
            sdkStartUpgrade(logins[c.index], c.path.toLocal8Bit().constData(), 0, &Recorder::callback, &recorder);
        QVERIFY2(handle > 0, qPrintable(c.path));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.end(), c.end, kTransferLimitMs);
        QCOMPARE(sdkCloseUpgrade(handle), 1l);
        QVERIFY(!recorder.wrote());
    }
    // A missing file is refused at once: no handle, the reason as last error, no callback.
    Recorder refused;
    QCOMPARE(sdkStartUpgrade(logins[1], dir_.filePath(QStringLiteral("missing.zip")).toLocal8Bit().constData(), 0,
                             &Recorder::callback, &refused),
             0l);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_ILLEGAL_PARAM));
    QVERIFY(refused.events().empty());

    // The dead camera comes back; both kept their firmware, and the one that refused stayed up.
    const long back = loginWithin(emulator.address(0), QString(), &error, 10000);
    QVERIFY2(back > 0, qPrintable(QString::number(error)));
    for (long login : {back, logins[0], logins[1]})
        sdkLogout(login);
    for (int index = 0; index < 2; ++index) {
        const QJsonObject camera = emulator.camera(index);
        QCOMPARE(camera.value("Version").toString(), versions[index]);
        QCOMPARE(camera.value("BadFrames").toInt(), 0); // died, not choked
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestUpgrade::closeAndCleanupEndThreadAndCallbacks()
{
    // Camera 0's upgrade is closed while it writes, camera 1's is stopped by cleanup: both calls join
    // the thread at once and nothing is reported after them, although both cameras go on and finish.
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "2", "--upgrade-ms", "1500", "--reboot-ms", "200"}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    long logins[2] = {};
    for (int index = 0; index < 2; ++index) {
        int error = 0;
        logins[index] = loginTo(emulator.address(index), QString(), &error);
        QVERIFY2(logins[index] > 0, qPrintable(QString::number(error)));
    }
    const int threadsBefore = threadCount();
    Recorder recorders[2];
    long handles[2] = {};
    for (int index = 0; index < 2; ++index) {
        const QString path = package(QStringLiteral("close%1.zip").arg(index), emulator, index, "V5.55", 512 * 1024);
        handles[index] =
            sdkStartUpgrade(logins[index], path.toLocal8Bit().constData(), 0, &Recorder::callback, &recorders[index]);
        QVERIFY(handles[index] > 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(recorders[0].wrote() && recorders[1].wrote(), kTransferLimitMs);

    QCOMPARE(sdkCloseUpgrade(handles[0]), 1l);
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore + 1, 2000); // joined; the task leaves /proc just after
    QCOMPARE(sdkCloseUpgrade(handles[0]), 0l);                         // released: the handle is gone
    sdkCleanup();
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore, 2000);
    const std::size_t reported[2] = {recorders[0].events().size(), recorders[1].events().size()};
    sdkInit(nullptr, nullptr);
    sdkSetup(3000, 1);
    QVERIFY(emulator.configureLibrary());
    for (int index = 0; index < 2; ++index) {
        QTRY_COMPARE_WITH_TIMEOUT(emulator.camera(index).value(QStringLiteral("Upgrades")).toInt(), 1, 10000);
        QCOMPARE(recorders[index].events().size(), reported[index]);
        for (const Recorder::Event& e : recorders[index].events())
            QVERIFY(e.value >= 0);
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
