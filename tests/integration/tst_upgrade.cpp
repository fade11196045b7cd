// Firmware upgrade through the library against the emulator: the package is sent, the camera
// checks and writes it with progress on the session and on its progress port, then reboots with
// the new version; wrong, broken and refused packages, cameras that die on the way, and closing
// an upgrade (no thread and no callback after the close).

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <QDir>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "emulatorprocess.h"
#include "protocol/frame.h"
#include "protocol/messages.h"
#include "sdktesthelpers.h"
#include "upgradepackage.h"

namespace {

constexpr int kTransferLimitMs = 20000;

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
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->events_.push_back({login, handle, type, value});
            if (self->closeOnEnd_ && value < 0)
                sdkCloseUpgrade(handle); // as the program does from its callback
        }
        self->changed_.notify_all();
    }

    void closeOnEnd() { closeOnEnd_ = true; }

    /// The final report (nValue below 0), waited for until the deadline; 0 when none came.
    int waitEnd(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        changed_.wait_until(lock, until, [this] { return endLocked() != 0; });
        return endLocked();
    }

    /// Waits until a report with nType -1 (device progress) arrived.
    bool waitWriteProgress(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] {
            for (const Event& e : events_)
                if (e.type == -1 && e.value >= 0)
                    return true;
            return false;
        });
    }

    std::vector<Event> events()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

private:
    int endLocked() const
    {
        for (const Event& e : events_)
            if (e.value < 0)
                return e.value;
        return 0;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    bool closeOnEnd_ = false;
};

/// The "Ret" values of the progress frames in `bytes`; consumed frames are removed.
QList<int> scanProgress(QByteArray& bytes)
{
    QList<int> values;
    for (;;) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        const protocol::ParseResult r = protocol::parseFrame(data, std::size_t(bytes.size()));
        if (r.status != protocol::ParseStatus::Ok)
            return values;
        if (r.frame.header.messageId == protocol::MsgUpgradeProgress) {
            const QJsonObject o = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(r.frame.body.data()),
                                                                     int(r.frame.body.size())))
                                      .object();
            if (o.value(QStringLiteral("Name")).toString() == QLatin1String("OPSystemUpgrade") &&
                o.value(QStringLiteral("Type")).toString() == QLatin1String("UpgradeProcess"))
                values << o.value(QStringLiteral("Ret")).toInt(-1);
        }
        bytes.remove(0, int(r.used));
    }
}

} // namespace

class TestUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void goodPackageUpgradesAndReboots();
    void wrongBrokenAndRefusedPackages();
    void cameraDyingKeepsOldFirmware();
    void closeEndsThreadAndCallbacks();

private:
    QString package(const QString& name, const upgradepackage::PackageSpec& contents);
    QString hardwareOf(EmulatorProcess& emulator, int index);

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

QString TestUpgrade::package(const QString& name, const upgradepackage::PackageSpec& contents)
{
    const QString path = dir_.filePath(name);
    if (!upgradepackage::writeFile(path.toStdString(), upgradepackage::makePackage(contents)))
        return QString();
    return path;
}

QString TestUpgrade::hardwareOf(EmulatorProcess& emulator, int index)
{
    const camsim::Model* model = modelNamed(emulator.camera(index).value(QStringLiteral("Model")).toString());
    return model ? QString::fromStdString(model->hardwareId) : QString();
}

void TestUpgrade::goodPackageUpgradesAndReboots()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--upgrade-ms"),
                             QStringLiteral("800"), QStringLiteral("--reboot-ms"), QStringLiteral("300")}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString oldVersion = emulator.camera(0).value(QStringLiteral("Version")).toString();
    const QString neighbourVersion = emulator.camera(1).value(QStringLiteral("Version")).toString();

    upgradepackage::PackageSpec contents;
    contents.hardware = hardwareOf(emulator, 0).toStdString();
    contents.version = "V9.99.R01.UPGRADED";
    contents.firmwareSize = 3 * 1024 * 1024 + 123;
    contents.deflate = true;
    const QString path = package(QStringLiteral("good.zip"), contents);
    QVERIFY(!path.isEmpty());
    const int size = int(QFileInfo(path).size());

    // A watcher on the progress port, as the program's receive thread.
    QTcpSocket watcher;
    watcher.connectToHost(emulator.address(0), protocol::kUpgradePort);
    QVERIFY(watcher.waitForConnected(5000));

    int error = 0;
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    const int threadsBefore = threadCount();

    Recorder recorder;
    const long handle = sdkStartUpgrade(login, path.toLocal8Bit().constData(), 0, &Recorder::callback, &recorder);
    QVERIFY(handle > 0);

    QByteArray received;
    QList<int> portValues;
    QTRY_VERIFY_WITH_TIMEOUT((received += watcher.readAll(), portValues += scanProgress(received),
                              portValues.contains(protocol::kUpgradeSucceeded)),
                             kTransferLimitMs);
    QCOMPARE(recorder.waitEnd(kTransferLimitMs), -1);
    QCOMPARE(sdkCloseUpgrade(handle), 1l);
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore, 2000); // joined; the task leaves /proc just after
    QCOMPARE(sdkCloseUpgrade(handle), 0l);                         // released: the handle is gone

    // Transfer progress rises to the whole size, then the device's write progress, then success.
    const std::vector<Recorder::Event> events = recorder.events();
    QVERIFY(events.size() > 3);
    int lastSent = 0;
    std::size_t i = 0;
    for (; i < events.size() && events[i].type == size; ++i) {
        QVERIFY(events[i].value > lastSent);
        QCOMPARE(events[i].login, login);
        QCOMPARE(events[i].handle, handle);
        lastSent = events[i].value;
    }
    QCOMPARE(lastSent, size);
    QVERIFY(i > 2); // several chunks were reported
    int lastWrite = -1;
    for (; i < events.size() && events[i].type == -1; ++i) {
        QVERIFY(events[i].value > lastWrite);
        QVERIFY(events[i].value <= 100);
        lastWrite = events[i].value;
    }
    QCOMPARE(lastWrite, 100);
    QCOMPARE(i + 1, events.size());
    QCOMPARE(events[i].value, -1);

    // The progress port saw the write rising and the success.
    QVERIFY(portValues.size() >= 3);
    QCOMPARE(portValues.last(), protocol::kUpgradeSucceeded);
    for (int k = 1; k + 1 < portValues.size(); ++k)
        QVERIFY(portValues[k] > portValues[k - 1] && portValues[k] <= 100);

    // The camera reboots (every connection drops) and comes back with the new version.
    QTRY_COMPARE_WITH_TIMEOUT(watcher.state(), QAbstractSocket::UnconnectedState, 5000);
    const long back = loginWithin(emulator.address(0), QString(), &error, 10000);
    QVERIFY2(back > 0, qPrintable(QString::number(error)));
    sdkLogout(back);
    sdkLogout(login);
    bool seen = false;
    for (const RawSearchRecord& r : searchDevices(16 * kSearchRecordSize, 1000).records) {
        if (r.mac == emulator.mac(0)) {
            QCOMPARE(r.version, QString::fromStdString(contents.version));
            seen = true;
        } else if (r.mac == emulator.mac(1)) {
            QCOMPARE(r.version, neighbourVersion);
        }
    }
    QVERIFY(seen);
    QVERIFY(oldVersion != QString::fromStdString(contents.version));
    QCOMPARE(emulator.camera(0).value(QStringLiteral("Upgrades")).toInt(), 1);
    QCOMPARE(emulator.camera(1).value(QStringLiteral("Upgrades")).toInt(), 0);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestUpgrade::wrongBrokenAndRefusedPackages()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--upgrade-ms"),
                             QStringLiteral("200")}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString version = emulator.camera(0).value(QStringLiteral("Version")).toString();
    int error = 0;
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));

    upgradepackage::PackageSpec foreign;
    foreign.hardware = hardwareOf(emulator, 1).toStdString();
    foreign.version = "V0.0.FOREIGN";
    foreign.firmwareSize = 200 * 1024;
    QVERIFY(foreign.hardware != hardwareOf(emulator, 0).toStdString());
    upgradepackage::PackageSpec noDesc = foreign;
    noDesc.hardware = hardwareOf(emulator, 0).toStdString();
    noDesc.withDescription = false;

    // A zip whose directory is cut off, and bytes that are no zip at all.
    QByteArray truncated;
    {
        const QString good = package(QStringLiteral("cut.zip"), noDesc);
        QFile f(good);
        QVERIFY(f.open(QIODevice::ReadOnly));
        truncated = f.readAll();
        truncated.chop(30);
    }
    const QString cut = dir_.filePath(QStringLiteral("cut.zip"));
    {
        QFile f(cut);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(truncated);
    }
    const QString garbage = dir_.filePath(QStringLiteral("garbage.bin"));
    {
        QFile f(garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100000, 'x'));
    }

    struct Case
    {
        QString path;
        int end;
    };
    const Case cases[] = {
        {package(QStringLiteral("foreign.zip"), foreign), SDK_ERR_UPGRADE_HARDWARE},
        {package(QStringLiteral("nodesc.zip"), noDesc), SDK_ERR_UPGRADE_PACKET},
        {cut, SDK_ERR_UPGRADE_PACKET},
        {garbage, SDK_ERR_UPGRADE_PACKET},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        const long handle = sdkStartUpgrade(login, c.path.toLocal8Bit().constData(), 0, &Recorder::callback, &recorder);
        QVERIFY2(handle > 0, qPrintable(c.path));
        QCOMPARE(recorder.waitEnd(kTransferLimitMs), c.end);
        QCOMPARE(sdkCloseUpgrade(handle), 1l);
        for (const Recorder::Event& e : recorder.events())
            QVERIFY(e.type != -1); // nothing was written
    }
    // The login outlives refused packages, and the camera kept its firmware and stayed up.
    QCOMPARE(emulator.camera(0).value(QStringLiteral("Version")).toString(), version);
    QCOMPARE(emulator.camera(0).value(QStringLiteral("Reboots")).toInt(), 0);
    QCOMPARE(emulator.camera(0).value(QStringLiteral("Upgrades")).toInt(), 0);

    // Refused at once: no handle, the reason as last error, no callback.
    Recorder refused;
    QCOMPARE(sdkStartUpgrade(login, dir_.filePath(QStringLiteral("missing.zip")).toLocal8Bit().constData(), 0,
                             &Recorder::callback, &refused),
             0l);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_ILLEGAL_PARAM));
    QCOMPARE(sdkStartUpgrade(login + 1000, garbage.toLocal8Bit().constData(), 0, &Recorder::callback, &refused), 0l);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_INVALID_HANDLE));
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("RefuseUpgrade"), true}}));
    QCOMPARE(sdkStartUpgrade(login, garbage.toLocal8Bit().constData(), 0, &Recorder::callback, &refused), 0l);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_UPGRADE_MEMORY));
    QVERIFY(refused.events().empty());
    QCOMPARE(sdkCloseUpgrade(0), 0l);
    sdkLogout(login);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestUpgrade::cameraDyingKeepsOldFirmware()
{
    EmulatorProcess emulator;
    QVERIFY2(
        emulator.start({QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--upgrade-ms"),
                        QStringLiteral("1000"), QStringLiteral("--reboot-ms"), QStringLiteral("300"),
                        QStringLiteral("--fault-cameras"), QStringLiteral("0"), QStringLiteral("--die-mid-transfer")}),
        qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    // Camera 0 dies from the command line, camera 1 through the control command.
    QVERIFY(emulator.setFault(1, QJsonObject{{QStringLiteral("DieMidWrite"), true}}));

    for (int index = 0; index < 2; ++index) {
        const QString version = emulator.camera(index).value(QStringLiteral("Version")).toString();
        upgradepackage::PackageSpec contents;
        contents.hardware = hardwareOf(emulator, index).toStdString();
        contents.version = "V7.77.NEVER";
        contents.firmwareSize = 2 * 1024 * 1024;
        const QString path = package(QStringLiteral("die%1.zip").arg(index), contents);
        int error = 0;
        const long login = loginTo(emulator.address(index), QString(), &error);
        QVERIFY2(login > 0, qPrintable(QString::number(error)));

        Recorder recorder;
        const long handle = sdkStartUpgrade(login, path.toLocal8Bit().constData(), 0, &Recorder::callback, &recorder);
        QVERIFY(handle > 0);
        QCOMPARE(recorder.waitEnd(kTransferLimitMs), -2);
        QCOMPARE(sdkCloseUpgrade(handle), 1l);
        bool wrote = false;
        for (const Recorder::Event& e : recorder.events())
            wrote = wrote || (e.type == -1 && e.value >= 0);
        QCOMPARE(wrote, index == 1); // the second camera died while writing

        const long back = loginWithin(emulator.address(index), QString(), &error, 10000);
        QVERIFY2(back > 0, qPrintable(QString::number(error)));
        QCOMPARE(emulator.camera(index).value(QStringLiteral("Version")).toString(), version);
        QCOMPARE(emulator.camera(index).value(QStringLiteral("Upgrades")).toInt(), 0);
        QCOMPARE(emulator.camera(index).value(QStringLiteral("BadFrames")).toInt(), 0); // died, not choked
        sdkLogout(back);
        sdkLogout(login);
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestUpgrade::closeEndsThreadAndCallbacks()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--upgrade-ms"),
                             QStringLiteral("1500"), QStringLiteral("--reboot-ms"), QStringLiteral("200")}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    upgradepackage::PackageSpec contents;
    contents.hardware = hardwareOf(emulator, 0).toStdString();
    contents.version = "V5.55.CLOSED";
    contents.firmwareSize = 512 * 1024;
    const QString path = package(QStringLiteral("close.zip"), contents);

    // Closed while the camera writes: the call returns at once and nothing is reported after it,
    // although the camera goes on and finishes.
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    const int threadsBefore = threadCount();
    Recorder recorder;
    const long handle = sdkStartUpgrade(login, path.toLocal8Bit().constData(), 0, &Recorder::callback, &recorder);
    QVERIFY(handle > 0);
    QVERIFY(recorder.waitWriteProgress(kTransferLimitMs));
    QCOMPARE(sdkCloseUpgrade(handle), 1l);
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore, 2000); // joined; the task leaves /proc just after
    const std::size_t reported = recorder.events().size();
    QTRY_COMPARE_WITH_TIMEOUT(emulator.camera(0).value(QStringLiteral("Upgrades")).toInt(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!emulator.camera(0).value(QStringLiteral("Rebooting")).toBool(true), 10000);
    QCOMPARE(recorder.events().size(), reported);
    for (const Recorder::Event& e : recorder.events())
        QVERIFY(e.value >= 0);
    sdkLogout(login);

    // Closed from inside its own final callback, as the program does: the thread ends by itself.
    const long second = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(second > 0, qPrintable(QString::number(error)));
    contents.hardware = hardwareOf(emulator, 1).toStdString();
    const QString other = package(QStringLiteral("close1.zip"), contents);
    Recorder closing;
    closing.closeOnEnd();
    const long handle2 = sdkStartUpgrade(second, other.toLocal8Bit().constData(), 0, &Recorder::callback, &closing);
    QVERIFY(handle2 > 0);
    QCOMPARE(closing.waitEnd(kTransferLimitMs), -1);
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore, 5000);
    QCOMPARE(sdkCloseUpgrade(handle2), 0l); // already released by the callback
    sdkLogout(second);

    // Cleanup stops a running upgrade and joins its thread.
    QTRY_VERIFY_WITH_TIMEOUT(!emulator.camera(1).value(QStringLiteral("Rebooting")).toBool(true), 10000);
    const long third = loginWithin(emulator.address(1), QString(), &error, 10000);
    QVERIFY2(third > 0, qPrintable(QString::number(error)));
    Recorder cleaned;
    QVERIFY(sdkStartUpgrade(third, other.toLocal8Bit().constData(), 0, &Recorder::callback, &cleaned) > 0);
    QVERIFY(cleaned.waitWriteProgress(kTransferLimitMs));
    sdkCleanup();
    QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threadsBefore, 2000); // joined; the task leaves /proc just after
    const std::size_t beforeCleanup = cleaned.events().size();
    sdkInit(nullptr, nullptr);
    sdkSetup(3000, 1);
    QVERIFY(emulator.configureLibrary());
    QTRY_COMPARE_WITH_TIMEOUT(emulator.camera(1).value(QStringLiteral("Upgrades")).toInt(), 2, 10000);
    QCOMPARE(cleaned.events().size(), beforeCleanup);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
