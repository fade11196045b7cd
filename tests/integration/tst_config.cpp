// Configuration access through the library against the emulator: every record the cameras hold is
// read, written and read back byte for byte; wrong sizes, unknown commands, the JSON configuration
// calls and the write faults give the contract's results; eight threads on eight cameras at once. The
// emulator's state files: with a state directory what a camera was told survives a restart, a file
// that is not the camera's own gives only that camera the defaults, and without one nothing survives.

#include <set>
#include <thread>
#include <vector>

#include <QDir>
#include <QTemporaryDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

#include "emulatorprocess.h"
#include "records.h"
#include "sdktesthelpers.h"

namespace {

const int kCommands[] = {9,   10,  17,  18,  19,  24,  37,  41,  64,  68,  94,  95, 102,
                         117, 122, 138, 145, 172, 173, 249, 274, 302, 325, 326, 20};
constexpr int kBufferSize = 64 * 1024;
constexpr int kVideoStandardOffset = 116; // in the general record (command 18)

QByteArray readRecord(long login, int command, int channel, long* result)
{
    QByteArray buffer(kBufferSize, '\0');
    unsigned long returned = 0;
    *result = sdkGetConfig(login, (unsigned long)command, channel, buffer.data(), (unsigned long)buffer.size(),
                           &returned, 3000);
    if (*result <= 0 || returned > (unsigned long)buffer.size())
        return QByteArray();
    buffer.truncate(int(returned));
    return buffer;
}

long writeRecord(long login, int command, int channel, QByteArray bytes)
{
    return sdkSetConfig(login, (unsigned long)command, channel, bytes.data(), (unsigned long)bytes.size(), 3000);
}

/// A copy of `original` that differs in bytes the camera keeps as they are.
QByteArray modifiedCopy(int command, int channel, const QByteArray& original)
{
    QByteArray copy = original;
    QRandomGenerator random(quint32(command * 131 + channel + 17));
    if (command == 20) {
        // Keep address, mask, gateway, ports and MAC: a new host name. The camera builds this record
        // from its network settings, so only real fields (not the padding) come back.
        const QByteArray name = QByteArray("cam-") + QByteArray::number(random.bounded(100000));
        copy.replace(0, 64, QByteArray(64, '\0'));
        copy.replace(0, name.size(), name);
    } else if (copy.size() <= 16) {
        // Small records are flags and modes: move the last byte between 0 and 1.
        const int last = copy.size() - 1;
        copy[last] = char(copy.at(last) == 0 ? 1 : 0);
    } else {
        // The tail of a record: keeps the interpreted fields (video standard, DHCP switch) as they are.
        const int length = qBound(4, copy.size() / 8, 64);
        for (int i = copy.size() - length; i < copy.size(); ++i)
            copy[i] = char(random.bounded(256));
        if (copy == original)
            copy[copy.size() - 1] = char(~copy.at(copy.size() - 1));
    }
    return copy;
}

struct JsonReply
{
    long result = 0;
    int length = -1;
    QByteArray text;
    QJsonObject object;
};

/// A JSON configuration (or, with `ability`, a channel ability) as the library hands it over.
JsonReply getJson(long login, const char* name, bool ability)
{
    QByteArray buffer(kBufferSize, '\0');
    JsonReply r;
    r.result = ability ? sdkGetChannelAbilityJson(login, name, 0, buffer.data(), buffer.size(), &r.length, 3000)
                       : sdkGetDevConfigJson(login, name, 1042, -1, buffer.data(), buffer.size(), &r.length, 3000);
    r.text = QByteArray(buffer.constData());
    r.object = QJsonDocument::fromJson(r.text).object();
    return r;
}

/// One thread's rounds on its camera: log in, read the time-server record, write one only this thread
/// makes, read it back, log out. The first failure, empty when none; *last the last record written.
QString work(const QString& address, int thread, QByteArray* last)
{
    for (int round = 0; round < 20; ++round) {
        int error = 0;
        long result = 0;
        const long login = loginTo(address, QString(), &error);
        QByteArray record = login > 0 ? readRecord(login, 41, -1, &result) : QByteArray();
        if (record.size() < 8) {
            sdkLogout(login);
            return QStringLiteral("round %1: login %2, read %3").arg(round).arg(error).arg(result);
        }
        // The tail carries the thread and the round, so a record of another camera shows.
        record[record.size() - 1] = char(thread);
        record[record.size() - 2] = char(round);
        const long written = writeRecord(login, 41, -1, record);
        const QByteArray back = readRecord(login, 41, -1, &result);
        sdkLogout(login);
        if (written != 1 || back != record)
            return QStringLiteral("round %1: write %2, read back the same: %3")
                .arg(round)
                .arg(written)
                .arg(back == record);
        *last = record;
    }
    return QString();
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyRecordRoundTrips();
    void jsonConfiguration();
    void writeResults();
    void eightThreadsEachOnItsCamera();
    void stateSurvivesRestartsFileByFile();

private:
    void roundTrip(EmulatorProcess& emulator, int index, long login, int command, int channel, std::set<int>& present);
    int checked_ = 0;
};

void TestConfig::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestConfig::cleanupTestCase()
{
    sdkCleanup();
}

void TestConfig::roundTrip(EmulatorProcess& emulator, int index, long login, int command, int channel,
                           std::set<int>& present)
{
    const QString where = QStringLiteral("camera %1 command %2 channel %3").arg(index).arg(command).arg(channel);
    int stored = 0;
    const QByteArray expected = emulator.record(index, command, channel, &stored);
    long result = 0;
    const QByteArray original = readRecord(login, command, channel, &result);
    if (stored != 100) {
        // What the camera does not hold, the library does not read either, with the camera's reason.
        QVERIFY2(result <= 0, qPrintable(where));
        QVERIFY2(sdkGetLastError() == stored,
                 qPrintable(where + QStringLiteral(": %1 / %2").arg(sdkGetLastError()).arg(stored)));
        return;
    }
    present.insert(command);
    ++checked_;
    QVERIFY2(result > 0 && !expected.isEmpty() && original == expected,
             qPrintable(where + QStringLiteral(": read %1, %2 bytes, %3 held")
                                    .arg(sdkGetLastError())
                                    .arg(original.size())
                                    .arg(expected.size())));

    // A record the camera only reports refuses the write and stays as it was.
    const QByteArray changed = modifiedCopy(command, channel, original);
    QVERIFY2(changed != original, qPrintable(where));
    const camsim::CommandInfo* info = camsim::commandInfo(command);
    const bool readOnly = info && info->readOnly;
    const long written = writeRecord(login, command, channel, changed);
    QVERIFY2(written == (readOnly ? SDK_ERR_CONFIG_REJECTED : 1),
             qPrintable(where + QStringLiteral(": write %1").arg(written)));
    const QByteArray now = readOnly ? original : changed;
    QVERIFY2(readRecord(login, command, channel, &result) == now, qPrintable(where + QStringLiteral(": read back")));
    QVERIFY2(emulator.record(index, command, channel) == now, qPrintable(where + QStringLiteral(": held")));
}

void TestConfig::everyRecordRoundTrips()
{
    const int modelCount = int(camsim::models().size());
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", QString::number(modelCount)}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());

    std::set<int> present;
    for (int index = 0; index < modelCount; ++index) {
        const camsim::Model* model = modelNamed(emulator.camera(index).value(QStringLiteral("Model")).toString());
        QVERIFY(model);
        int error = 0;
        const long login = loginTo(emulator.address(index), QString(), &error);
        QVERIFY2(login > 0, qPrintable(QString::number(error)));
        // Every channel of the model, and the first one it does not have.
        const int channels = qMin(model->channelCount(), 4);
        for (int command : kCommands) {
            for (int channel = -1; channel <= channels; ++channel) {
                roundTrip(emulator, index, login, command, channel, present);
                if (QTest::currentTestFailed()) {
                    sdkLogout(login);
                    return;
                }
            }
        }
        // The address record was written with the camera's own address: the camera stays put.
        QCOMPARE(emulator.camera(index).value(QStringLiteral("HostIP")).toString(), emulator.address(index));
        sdkLogout(login);
    }
    QVERIFY(checked_ > int(std::size(kCommands)));
    for (int command : kCommands)
        QVERIFY2(present.count(command), qPrintable(QStringLiteral("no model holds command %1").arg(command)));
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestConfig::jsonConfiguration()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", QString::number(camsim::models().size())}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString volumeName = QStringLiteral("fVideo.Volume");
    for (int index = 0; index < emulator.cameraCount(); ++index) {
        int error = 0;
        const long login = loginTo(emulator.address(index), QString(), &error);
        QVERIFY2(login > 0, qPrintable(QString::number(error)));
        // The camera's reply is handed over whole, also when its "Ret" says the model lacks the
        // name: the caller judges "Ret".
        for (const char* name : {"fVideo.Volume", "Ability.VoiceTipType", "ChannelSystemFunction@SmartH264",
                                 "ChannelSystemFunction@SmartH264V2"}) {
            const bool ability = QByteArray(name).startsWith("Channel");
            const JsonReply reply = getJson(login, name, ability);
            const QString where = QStringLiteral("camera %1 %2: ").arg(index).arg(QLatin1String(name));
            QVERIFY2(reply.result == 1, qPrintable(where + QString::number(reply.result)));
            QCOMPARE(reply.length, reply.text.size());
            QCOMPARE(reply.object.value("Name").toString(), QLatin1String(name));
            QVERIFY2(reply.object.contains("Ret"), qPrintable(where + reply.text));
            if (!ability)
                QCOMPARE(reply.object.value("Ret"), emulator.json(index, name, 1042, -1).value("Ret"));
        }
        // A new volume is stored and read back, through the library and in the camera.
        const QJsonObject held = emulator.json(index, volumeName, 1042, -1);
        QJsonObject volume = held.value(volumeName).toArray().at(0).toObject();
        volume.insert("LeftVolume", (volume.value("LeftVolume").toInt() + 17) % 100);
        const QByteArray text = QJsonDocument(QJsonArray{volume}).toJson();
        if (held.value("Ret").toInt() == 100) {
            QCOMPARE(sdkSetDevConfigJson(login, "fVideo.Volume", 1040, -1, text.constData(), text.size(), 3000), 1l);
            QCOMPARE(getJson(login, "fVideo.Volume", false).object.value(volumeName).toArray().at(0).toObject(),
                     volume);
            QCOMPARE(emulator.json(index, volumeName, 1042, -1).value(volumeName).toArray().at(0).toObject(), volume);
        }
        sdkLogout(login);
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestConfig::writeResults()
{
    // Camera 0 refuses every write (a model with the volume, so that the refused JSON write is one
    // that would be stored); camera 1 is healthy.
    const auto volume = std::find_if(camsim::models().begin(), camsim::models().end(),
                                     [](const camsim::Model& m) { return m.abilities.hasFunction(205); });
    QVERIFY(volume != camsim::models().end());
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "2", "--models", QString::fromStdString(volume->name), "--fail-writes",
                             "--fault-cameras", "0"}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long failing = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(failing > 0, qPrintable(QString::number(error)));
    const long login = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    long result = 0;

    const QByteArray text("[ { \"AudioMode\" : \"Single\", \"LeftVolume\" : 3, \"RightVolume\" : 4 } ]");
    const QJsonValue volumeBefore =
        emulator.json(0, QStringLiteral("fVideo.Volume"), 1042, -1).value(QStringLiteral("fVideo.Volume"));
    QCOMPARE(sdkSetDevConfigJson(failing, "fVideo.Volume", 1040, -1, text.constData(), text.size(), 3000),
             long(SDK_ERR_CONFIG_REJECTED));
    QCOMPARE(emulator.json(0, QStringLiteral("fVideo.Volume"), 1042, -1).value(QStringLiteral("fVideo.Volume")),
             volumeBefore);

    // On the healthy camera a record one byte too long or too short changes nothing.
    const QByteArray ntp = readRecord(login, 41, -1, &result);
    QVERIFY(ntp.size() > 1);
    const QByteArray changed = modifiedCopy(41, -1, ntp);
    QCOMPARE(writeRecord(login, 41, -1, changed + '\1'), long(SDK_ERR_CONFIG_SIZE));
    QCOMPARE(writeRecord(login, 41, -1, changed.left(ntp.size() - 1)), long(SDK_ERR_CONFIG_SIZE));
    QCOMPARE(emulator.record(1, 41, -1), ntp);

    // The video standard (general record) and the DHCP switch (first byte of
    // the address assignment) are stored and applied after a reboot.
    for (const auto& [command, offset] : {std::pair<int, int>{18, kVideoStandardOffset}, {37, 0}}) {
        QByteArray record = readRecord(login, command, -1, &result);
        QVERIFY(record.size() > offset);
        record[offset] = char(record.at(offset) == 0 ? 1 : 0);
        QCOMPARE(writeRecord(login, command, -1, record), long(SDK_ERR_NEED_REBOOT));
        QCOMPARE(readRecord(login, command, -1, &result), record);
    }

    // An unknown command, read or written, is refused with its own result.
    QVERIFY(readRecord(login, 4242, -1, &result).isEmpty());
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_CONFIG_UNKNOWN));
    QCOMPARE(writeRecord(login, 4242, -1, QByteArray(8, '\1')), long(SDK_ERR_CONFIG_UNKNOWN));
    sdkLogout(failing);
    sdkLogout(login);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestConfig::eightThreadsEachOnItsCamera()
{
    // Several threads use the library at once, each on its own camera. (Threads sharing one login:
    // tst_netsdk_session.)
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "8"}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    QString failures[8];
    QByteArray last[8];
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back(
            [&failures, &last, i, address = emulator.address(i)] { failures[i] = work(address, i, &last[i]); });
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < 8; ++i) {
        QVERIFY2(failures[i].isEmpty(), qPrintable(QStringLiteral("thread %1: %2").arg(i).arg(failures[i])));
        // Each camera holds exactly what its own thread wrote last.
        QCOMPARE(emulator.record(i, 41, -1), last[i]);
        QCOMPARE(emulator.camera(i).value("Logins").toInt(), 20);
        QTRY_COMPARE_WITH_TIMEOUT(emulator.camera(i).value("Sessions").toInt(-1), 0, 5000);
    }
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestConfig::stateSurvivesRestartsFileByFile()
{
    QTemporaryDir state;
    QVERIFY(state.isValid());
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "3", "--state-dir", state.path()}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;

    // Camera 1 gets a new time-server record and camera 0 a new IP-adaptive byte over a login,
    // camera 2 a new address without one.
    const QByteArray defaultNtp = emulator.record(1, 41, -1);
    QByteArray ntp = defaultNtp;
    QVERIFY(ntp.size() >= 8);
    for (int i = ntp.size() - 8; i < ntp.size(); ++i)
        ntp[i] = char(0xA0 + i % 16);
    const QByteArray adaptive(1, char(emulator.record(0, 274, -1).at(0) ^ 1));
    for (const auto& [camera, command, bytes] : {std::tuple{1, 41, ntp}, std::tuple{0, 274, adaptive}}) {
        const long login = loginTo(emulator.address(camera), QString(), &error);
        QVERIFY2(login > 0, qPrintable(QString::number(error)));
        QByteArray data = bytes;
        QCOMPARE(sdkSetConfig(login, command, -1, data.data(), (unsigned long)data.size(), 3000), 1l);
        sdkLogout(login);
    }
    const QString moved = emulator.rangeAddress(77);
    SDK_NET_ADDRESS_BLOCK block = addressBlock(searchRecordOf(emulator.mac(2), 3000, emulator.cameraCount()), moved,
                                               "255.0.0.0", emulator.firstAddress(), QString());
    QCOMPARE(sdkSetConfigOverNet(20, 254, reinterpret_cast<char*>(&block), sizeof block, 5000), 1l);
    QTRY_COMPARE_WITH_TIMEOUT(emulator.camera(2).value("HostIP").toString(), moved, 5000);

    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
    QVERIFY2(emulator.restart(), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    // The moved camera listens and answers searches at its new address; the records came back.
    QCOMPARE(emulator.address(2), moved);
    QCOMPARE(parseSearchRecord(searchRecordOf(emulator.mac(2), 3000, emulator.cameraCount())).hostIp, moved);
    const long there = loginTo(moved, QString(), &error);
    QVERIFY2(there > 0, qPrintable(QString::number(error)));
    sdkLogout(there);
    QCOMPARE(emulator.record(1, 41, -1), ntp);
    QCOMPARE(emulator.record(0, 274, -1), adaptive);

    // Camera 1's file replaced by camera 0's (another camera's state): camera 1 gets its defaults,
    // the others keep theirs.
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
    const QString file1 = state.filePath(emulator.mac(1).remove(':') + ".json");
    QVERIFY(QFile::remove(file1) && QFile::copy(state.filePath(emulator.mac(0).remove(':') + ".json"), file1));
    QVERIFY2(emulator.restart(), qPrintable(emulator.errorString()));
    QCOMPARE(emulator.record(1, 41, -1), defaultNtp);
    QVERIFY(emulator.address(1) != emulator.address(0));
    QCOMPARE(emulator.record(0, 274, -1), adaptive);
    QCOMPARE(emulator.address(2), moved);

    // Without a state directory nothing survives.
    EmulatorProcess memoryOnly;
    QVERIFY2(memoryOnly.start({"--count", "1"}), qPrintable(memoryOnly.errorString()));
    QVERIFY(memoryOnly.configureLibrary());
    const long login = loginTo(memoryOnly.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    QByteArray data = adaptive;
    QCOMPARE(sdkSetConfig(login, 274, -1, data.data(), 1, 3000), 1l);
    sdkLogout(login);
    QVERIFY2(memoryOnly.restart(), qPrintable(memoryOnly.errorString()));
    QVERIFY(memoryOnly.record(0, 274, -1) != adaptive);
    QVERIFY2(memoryOnly.stop(), qPrintable(memoryOnly.errorString()));
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
