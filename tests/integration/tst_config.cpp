// Configuration access through the library against the emulator: every record the cameras hold is
// read, written and read back byte for byte; wrong sizes, unknown commands, short buffers, the JSON
// configuration calls and the write faults give the contract's results.

#include <cstring>
#include <map>
#include <set>

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

QJsonObject parseReply(const QByteArray& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text);
    return document.isObject() ? document.object() : QJsonObject();
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyRecordRoundTrips();
    void unknownCommandAndShortBuffer();
    void jsonConfiguration();
    void writesNeedingReboot();
    void failingWrites();

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
    QVERIFY2(result > 0, qPrintable(where + QStringLiteral(": read %1").arg(sdkGetLastError())));
    QVERIFY2(!expected.isEmpty(), qPrintable(where));
    QVERIFY2(original == expected,
             qPrintable(where + QStringLiteral(": %1 bytes read, %2 held").arg(original.size()).arg(expected.size())));

    const QByteArray changed = modifiedCopy(command, channel, original);
    QVERIFY2(changed != original, qPrintable(where));
    const camsim::CommandInfo* info = camsim::commandInfo(command);
    if (info && info->readOnly) {
        // A record the camera only reports: the write is refused and nothing changes.
        const long refused = writeRecord(login, command, channel, changed);
        QVERIFY2(refused == SDK_ERR_CONFIG_REJECTED, qPrintable(where + QStringLiteral(": write %1").arg(refused)));
        QVERIFY2(emulator.record(index, command, channel) == original, qPrintable(where + QStringLiteral(": held")));
        return;
    }
    const long written = writeRecord(login, command, channel, changed);
    QVERIFY2(written == 1, qPrintable(where + QStringLiteral(": write %1").arg(written)));
    QVERIFY2(readRecord(login, command, channel, &result) == changed,
             qPrintable(where + QStringLiteral(": read back")));
    QVERIFY2(emulator.record(index, command, channel) == changed, qPrintable(where + QStringLiteral(": held")));

    // A record one byte too long or too short changes nothing.
    QByteArray wrong = modifiedCopy(command, channel, changed) + QByteArray(1, '\x5a');
    long bad = writeRecord(login, command, channel, wrong);
    QVERIFY2(bad == SDK_ERR_CONFIG_SIZE, qPrintable(where + QStringLiteral(": long write %1").arg(bad)));
    if (changed.size() > 1) {
        wrong.chop(2);
        bad = writeRecord(login, command, channel, wrong);
        QVERIFY2(bad == SDK_ERR_CONFIG_SIZE, qPrintable(where + QStringLiteral(": short write %1").arg(bad)));
    }
    QVERIFY2(emulator.record(index, command, channel) == changed, qPrintable(where + QStringLiteral(": after bad")));
}

void TestConfig::everyRecordRoundTrips()
{
    const int modelCount = int(camsim::models().size());
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QString::number(modelCount)}),
             qPrintable(emulator.errorString()));
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
    qInfo("%d records read, written and read back", checked_);
    for (int command : kCommands)
        QVERIFY2(present.count(command), qPrintable(QStringLiteral("no model holds command %1").arg(command)));
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestConfig::unknownCommandAndShortBuffer()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("1")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));

    long result = 0;
    QVERIFY(readRecord(login, 4242, -1, &result).isEmpty());
    QVERIFY(result <= 0);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_CONFIG_UNKNOWN));
    QCOMPARE(writeRecord(login, 4242, -1, QByteArray(8, '\1')), long(SDK_ERR_CONFIG_UNKNOWN));

    // A buffer one byte short: the call fails and writes nothing past what it was given.
    const QByteArray general = emulator.record(0, 18, -1);
    QVERIFY(general.size() > 1);
    QByteArray buffer(general.size() + 64, char(0x5A));
    unsigned long returned = 0;
    result = sdkGetConfig(login, 18, -1, buffer.data(), (unsigned long)general.size() - 1, &returned, 3000);
    QVERIFY(result <= 0);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_BUFFER_SMALL));
    QCOMPARE(buffer.mid(general.size() - 1), QByteArray(65, char(0x5A)));
    // The session is still in step: the next read gets the right record.
    QCOMPARE(readRecord(login, 18, -1, &result), general);
    QCOMPARE(readRecord(login, 20, -1, &result).size(), 144);

    // Null buffers are refused by the library itself.
    QVERIFY(sdkGetConfig(login, 18, -1, nullptr, 4096, &returned, 3000) <= 0);
    QCOMPARE(sdkGetLastError(), long(SDK_ERR_ILLEGAL_PARAM));
    sdkLogout(login);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestConfig::jsonConfiguration()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QString::number(camsim::models().size())}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QString volumeName = QStringLiteral("fVideo.Volume");
    const QString tipName = QStringLiteral("Ability.VoiceTipType");
    int volumeModels = 0, tipModels = 0, abilityModels = 0;

    for (int index = 0; index < emulator.cameraCount(); ++index) {
        const camsim::Model* model = modelNamed(emulator.camera(index).value(QStringLiteral("Model")).toString());
        QVERIFY(model);
        const QString where = QStringLiteral("camera %1 (%2)").arg(index).arg(QString::fromStdString(model->name));
        int error = 0;
        const long login = loginTo(emulator.address(index), QString(), &error);
        QVERIFY2(login > 0, qPrintable(QString::number(error)));
        QByteArray buffer(kBufferSize, '\0');
        int length = 0;

        // Volume: a model with the ability answers it and stores a new value; others answer a
        // failing Ret in a reply that the call hands over for the caller to judge.
        const QJsonObject heldVolume = emulator.json(index, volumeName, 1042, -1);
        long result =
            sdkGetDevConfigJson(login, "fVideo.Volume", 1042, -1, buffer.data(), buffer.size(), &length, 3000);
        QJsonObject reply = parseReply(QByteArray(buffer.constData()));
        QCOMPARE(reply.value(QStringLiteral("Name")).toString(), volumeName);
        QCOMPARE(reply.value(QStringLiteral("Ret")).toInt(), heldVolume.value(QStringLiteral("Ret")).toInt(-1));
        QVERIFY2(reply.value(QStringLiteral("SessionID")).toString().startsWith(QStringLiteral("0x")),
                 qPrintable(where));
        if (model->abilities.hasFunction(205)) {
            ++volumeModels;
            QVERIFY2(result == 1, qPrintable(where + QStringLiteral(": %1").arg(result)));
            QVERIFY(length > 0 && length < buffer.size());
            QCOMPARE(reply.value(QStringLiteral("Ret")).toInt(), 100);
            QCOMPARE(reply.value(volumeName), heldVolume.value(volumeName));
            QJsonObject volume = reply.value(volumeName).toArray().at(0).toObject();
            QVERIFY(volume.value(QStringLiteral("AudioMode")).isString());
            QVERIFY(volume.value(QStringLiteral("LeftVolume")).isDouble());
            QVERIFY(volume.value(QStringLiteral("RightVolume")).isDouble());

            const int left = (volume.value(QStringLiteral("LeftVolume")).toInt() + 17) % 100;
            const int right = (volume.value(QStringLiteral("RightVolume")).toInt() + 29) % 100;
            const QByteArray text =
                QStringLiteral("[\n   {\n      \"AudioMode\" : \"%1\",\n      \"LeftVolume\" : %2,\n"
                               "      \"RightVolume\" : %3\n   }\n]\n")
                    .arg(volume.value(QStringLiteral("AudioMode")).toString())
                    .arg(left)
                    .arg(right)
                    .toUtf8();
            QCOMPARE(sdkSetDevConfigJson(login, "fVideo.Volume", 1040, -1, text.constData(), text.size(), 3000), 1l);
            buffer.fill('\0');
            QCOMPARE(sdkGetDevConfigJson(login, "fVideo.Volume", 1042, -1, buffer.data(), buffer.size(), &length, 3000),
                     1l);
            volume = parseReply(QByteArray(buffer.constData())).value(volumeName).toArray().at(0).toObject();
            QCOMPARE(volume.value(QStringLiteral("LeftVolume")).toInt(), left);
            QCOMPARE(volume.value(QStringLiteral("RightVolume")).toInt(), right);
            QCOMPARE(emulator.json(index, volumeName, 1042, -1).value(volumeName).toArray().at(0).toObject(), volume);

            // A reply larger than the caller's buffer is refused, not cut.
            QByteArray small(8, char(0x5A));
            QVERIFY(sdkGetDevConfigJson(login, "fVideo.Volume", 1042, -1, small.data(), 4, &length, 3000) != 1);
            QCOMPARE(sdkGetLastError(), long(SDK_ERR_BUFFER_SMALL));
            QCOMPARE(small.mid(4), QByteArray(4, char(0x5A)));
        } else {
            QVERIFY2(result == 1, qPrintable(where));
            QVERIFY2(reply.value(QStringLiteral("Ret")).toInt() != 100, qPrintable(where));
        }

        const QJsonObject heldTips = emulator.json(index, tipName, 1042, -1);
        buffer.fill('\0');
        result =
            sdkGetDevConfigJson(login, "Ability.VoiceTipType", 1042, -1, buffer.data(), buffer.size(), &length, 3000);
        reply = parseReply(QByteArray(buffer.constData()));
        QCOMPARE(reply.value(QStringLiteral("Name")).toString(), tipName);
        QCOMPARE(reply.value(QStringLiteral("Ret")).toInt(), heldTips.value(QStringLiteral("Ret")).toInt(-1));
        if (model->abilities.hasFunction(203)) {
            ++tipModels;
            QVERIFY2(result == 1, qPrintable(where + QStringLiteral(": %1").arg(result)));
            const QJsonArray tips = reply.value(tipName).toObject().value(QStringLiteral("VoiceTip")).toArray();
            QCOMPARE(tips.size(), int(model->abilities.voiceTips.size()));
            for (int i = 0; i < tips.size(); ++i) {
                const QJsonObject tip = tips.at(i).toObject();
                QCOMPARE(tip.value(QStringLiteral("VoiceEnum")).toInt(-1),
                         model->abilities.voiceTips.at(std::size_t(i)).code);
                QCOMPARE(tip.value(QStringLiteral("VoiceText")).toString(),
                         QString::fromStdString(model->abilities.voiceTips.at(std::size_t(i)).text));
            }
            QCOMPARE(reply.value(tipName), heldTips.value(tipName));
        } else {
            QVERIFY2(result == 1, qPrintable(where));
            QVERIFY2(reply.value(QStringLiteral("Ret")).toInt() != 100, qPrintable(where));
        }

        // Channel abilities, on models that answer them from JSON: one flag per channel under the
        // reply's own name.
        for (const char* name : {"ChannelSystemFunction@SmartH264", "ChannelSystemFunction@SmartH264V2"}) {
            buffer.fill('\0');
            result = sdkGetChannelAbilityJson(login, name, 0, buffer.data(), buffer.size(), &length, 3000);
            reply = parseReply(QByteArray(buffer.constData()));
            QCOMPARE(reply.value(QStringLiteral("Name")).toString(), QString::fromLatin1(name));
            if (!model->abilities.hasFunction(11)) {
                // The reply says the channel lacks the ability; the caller reads that from "Ret".
                QVERIFY2(reply.value(QStringLiteral("Ret")).toInt(100) != 100,
                         qPrintable(where + QStringLiteral(": %1 %2").arg(result).arg(
                                                QString::fromLatin1(buffer.constData()))));
                continue;
            }
            ++abilityModels;
            QVERIFY2(result == 1, qPrintable(where + QStringLiteral(": %1").arg(result)));
            QCOMPARE(reply.value(QStringLiteral("Ret")).toInt(), 100);
            const QJsonArray flags = reply.value(QString::fromLatin1(name)).toArray();
            QCOMPARE(flags.size(), qMin(model->channelCount(), 64));
            const std::uint32_t mask =
                QByteArray(name).endsWith("V2") ? model->abilities.smartStreamMask : model->abilities.smartChannelMask;
            for (int c = 0; c < flags.size(); ++c)
                QCOMPARE(flags.at(c).toInt(-1), (mask >> c) & 1u ? 1 : 0);
        }
        sdkLogout(login);
    }
    // The model table has cameras on both sides of each ability.
    QVERIFY(volumeModels > 0 && volumeModels < emulator.cameraCount());
    QVERIFY(tipModels > 0 && tipModels < emulator.cameraCount());
    QVERIFY(abilityModels > 0 && abilityModels < 2 * emulator.cameraCount());
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestConfig::writesNeedingReboot()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("2")}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long login = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(login > 0, qPrintable(QString::number(error)));
    long result = 0;

    // Video standard: stored, applied after a reboot.
    QByteArray general = readRecord(login, 18, -1, &result);
    QVERIFY(general.size() > kVideoStandardOffset);
    general[kVideoStandardOffset] = char(general.at(kVideoStandardOffset) == 0 ? 1 : 0);
    QCOMPARE(writeRecord(login, 18, -1, general), long(SDK_ERR_NEED_REBOOT));
    QCOMPARE(readRecord(login, 18, -1, &result), general);

    // DHCP switch (the first byte of the address-assignment record): the same.
    QByteArray dhcp = readRecord(login, 37, -1, &result);
    QVERIFY(!dhcp.isEmpty());
    dhcp[0] = char(dhcp.at(0) == 0 ? 1 : 0);
    QCOMPARE(writeRecord(login, 37, -1, dhcp), long(SDK_ERR_NEED_REBOOT));
    QCOMPARE(readRecord(login, 37, -1, &result), dhcp);

    // Under the fault every stored write asks for a reboot, and is stored.
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("RebootNeeded"), true}}));
    const QByteArray ntp = modifiedCopy(41, -1, readRecord(login, 41, -1, &result));
    QCOMPARE(writeRecord(login, 41, -1, ntp), long(SDK_ERR_NEED_REBOOT));
    QCOMPARE(emulator.record(0, 41, -1), ntp);
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("RebootNeeded"), false}}));
    const QByteArray again = modifiedCopy(41, 0, ntp);
    QCOMPARE(writeRecord(login, 41, -1, again), 1l);
    QCOMPARE(emulator.record(0, 41, -1), again);
    sdkLogout(login);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

void TestConfig::failingWrites()
{
    // A model with the volume ability, so that the refused JSON write is one that would be stored.
    QString volumeModel;
    for (const camsim::Model& model : camsim::models()) {
        if (volumeModel.isEmpty() && model.abilities.hasFunction(205))
            volumeModel = QString::fromStdString(model.name);
    }
    QVERIFY(!volumeModel.isEmpty());
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--models"), volumeModel,
                             QStringLiteral("--fail-writes"), QStringLiteral("--fault-cameras"), QStringLiteral("0")}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int error = 0;
    const long failing = loginTo(emulator.address(0), QString(), &error);
    QVERIFY2(failing > 0, qPrintable(QString::number(error)));
    const long healthy = loginTo(emulator.address(1), QString(), &error);
    QVERIFY2(healthy > 0, qPrintable(QString::number(error)));
    long result = 0;

    const QByteArray before = readRecord(failing, 41, -1, &result);
    QVERIFY(!before.isEmpty());
    QCOMPARE(writeRecord(failing, 41, -1, modifiedCopy(41, -1, before)), long(SDK_ERR_CONFIG_REJECTED));
    QCOMPARE(emulator.record(0, 41, -1), before);
    const QByteArray text("[ { \"AudioMode\" : \"Single\", \"LeftVolume\" : 3, \"RightVolume\" : 4 } ]");
    const QJsonObject volumeBefore = emulator.json(0, QStringLiteral("fVideo.Volume"), 1042, -1);
    QCOMPARE(sdkSetDevConfigJson(failing, "fVideo.Volume", 1040, -1, text.constData(), text.size(), 3000),
             long(SDK_ERR_CONFIG_REJECTED));
    QCOMPARE(emulator.json(0, QStringLiteral("fVideo.Volume"), 1042, -1).value(QStringLiteral("fVideo.Volume")),
             volumeBefore.value(QStringLiteral("fVideo.Volume")));

    // Only camera 0 carries the fault.
    const QByteArray other = modifiedCopy(41, -1, readRecord(healthy, 41, -1, &result));
    QCOMPARE(writeRecord(healthy, 41, -1, other), 1l);
    QCOMPARE(emulator.record(1, 41, -1), other);

    // Lifted at run time, writes are stored again.
    QVERIFY(emulator.setFault(0, QJsonObject{{QStringLiteral("FailWrites"), false}}));
    const QByteArray now = modifiedCopy(41, -1, before);
    QCOMPARE(writeRecord(failing, 41, -1, now), 1l);
    QCOMPARE(emulator.record(0, 41, -1), now);
    sdkLogout(failing);
    sdkLogout(healthy);
    QVERIFY2(emulator.stop(), qPrintable(emulator.errorString()));
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
