// Search against a running emulator: every camera of a full fleet answers once per pass, and each
// answer lands in the 560-byte record at the layout's offsets with the values the emulator holds;
// cameras sharing an address and cameras outside loopback are all listed. A buffer that fills up
// ends the search early (tst_netsdk_search).

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include "emulatorprocess.h"
#include "sdktesthelpers.h"

class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void wholeFleetInEveryPass();
    void sharedAndForeignAddressesAllShow();

private:
    static QHash<QString, QJsonObject> camerasByMac(EmulatorProcess& emulator);
    static void compareWithCamera(const RawSearchRecord& record, const QJsonObject& camera);
};

void TestSearch::initTestCase()
{
    sdkInit(nullptr, nullptr);
    sdkSetup(2000, 1);
}

void TestSearch::cleanupTestCase()
{
    sdkCleanup();
}

QHash<QString, QJsonObject> TestSearch::camerasByMac(EmulatorProcess& emulator)
{
    QHash<QString, QJsonObject> byMac;
    const QJsonArray all = emulator.cameras();
    for (const QJsonValue& value : all) {
        const QJsonObject camera = value.toObject();
        byMac.insert(camera.value(QStringLiteral("MAC")).toString(), camera);
    }
    return byMac;
}

void TestSearch::compareWithCamera(const RawSearchRecord& record, const QJsonObject& camera)
{
    QCOMPARE(record.hostIp, camera.value(QStringLiteral("HostIP")).toString());
    QCOMPARE(record.submask, camera.value(QStringLiteral("Submask")).toString());
    QCOMPARE(record.gateway, camera.value(QStringLiteral("GateWay")).toString());
    QCOMPARE(record.ports[1], 34567);
    QCOMPARE(record.deviceKind, camera.value(QStringLiteral("DeviceKind")).toInt(-1));
    QCOMPARE(record.version, camera.value(QStringLiteral("Version")).toString());

    const camsim::Model* model = modelNamed(camera.value(QStringLiteral("Model")).toString());
    QVERIFY2(model, qPrintable(camera.value(QStringLiteral("Model")).toString()));
    QCOMPARE(record.deviceKind, model->deviceKind);
    QCOMPARE(record.buildYear, model->buildYear);
    QCOMPARE(record.buildMonth, model->buildMonth);
    QCOMPARE(record.buildDay, model->buildDay);
    if (model->answersCloudId) {
        // The cloud identifier is the camera's serial: 16 hexadecimal digits.
        static const QRegularExpression serial(QStringLiteral("^[0-9A-Fa-f]{16}$"));
        QVERIFY2(serial.match(record.cloudId).hasMatch(), qPrintable(record.cloudId));
    } else {
        QVERIFY2(record.cloudId.isEmpty(), qPrintable(record.cloudId));
    }
}

void TestSearch::wholeFleetInEveryPass()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("256")}, 30000),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    const QHash<QString, QJsonObject> byMac = camerasByMac(emulator);
    QCOMPARE(byMac.size(), 256);
    QCOMPARE(emulator.cameraCount(), 256);

    QSet<bool> cloudKinds;
    for (int pass = 0; pass < 2; ++pass) {
        const SearchResult result = searchDevices(256 * kSearchRecordSize, 8000);
        QVERIFY2(result.returned != 0, qPrintable(QStringLiteral("pass %1").arg(pass)));
        QCOMPARE(result.length, 256 * kSearchRecordSize);
        QCOMPARE(result.records.size(), 256);

        QSet<QString> seen;
        for (int i = 0; i < result.records.size(); ++i) {
            const RawSearchRecord& record = result.records.at(i);
            QVERIFY2(
                byMac.contains(record.mac),
                qPrintable(QStringLiteral("pass %1 record %2: unknown MAC '%3'").arg(pass).arg(i).arg(record.mac)));
            QVERIFY2(!seen.contains(record.mac), qPrintable(record.mac));
            seen.insert(record.mac);
            const QJsonObject camera = byMac.value(record.mac);
            compareWithCamera(record, camera);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("pass %1, camera %2").arg(pass).arg(record.mac)));
            QCOMPARE(record.hostIp, emulator.address(camera.value(QStringLiteral("Index")).toInt()));
            cloudKinds.insert(record.cloudId.isEmpty());
        }
    }
    // The default mix holds every model, so both kinds of answer occur when the models have both.
    QSet<bool> modelKinds;
    for (const camsim::Model& model : camsim::models())
        modelKinds.insert(!model.answersCloudId);
    QCOMPARE(cloudKinds, modelKinds);
}

void TestSearch::sharedAndForeignAddressesAllShow()
{
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({QStringLiteral("--count"), QStringLiteral("5"), QStringLiteral("--same-address"),
                             QStringLiteral("3"), QStringLiteral("--foreign"), QStringLiteral("1")}),
             qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    QCOMPARE(emulator.cameraCount(), 6);
    const QHash<QString, QJsonObject> byMac = camerasByMac(emulator);
    QCOMPARE(byMac.size(), 6);

    const SearchResult result = searchDevices(256 * kSearchRecordSize, 1500);
    QVERIFY(result.returned != 0);
    QCOMPARE(result.length, 6 * kSearchRecordSize);

    QHash<QString, int> perAddress;
    QSet<QString> macs;
    for (const RawSearchRecord& record : result.records) {
        QVERIFY2(byMac.contains(record.mac), qPrintable(record.mac));
        compareWithCamera(record, byMac.value(record.mac));
        if (QTest::currentTestFailed())
            return;
        macs.insert(record.mac);
        perAddress[record.hostIp] += 1;
    }
    QCOMPARE(macs.size(), 6);
    QCOMPARE(perAddress.value(emulator.firstAddress()), 3);
    QCOMPARE(perAddress.value(emulator.rangeAddress(1)), 1);
    QCOMPARE(perAddress.value(emulator.rangeAddress(2)), 1);
    QCOMPARE(perAddress.value(QStringLiteral("192.168.1.10")), 1);

    // Of the three cameras on one address only one can listen; the foreign one never does.
    int listening = 0;
    for (int i = 0; i < 3; ++i)
        listening += emulator.camera(i).value(QStringLiteral("Listening")).toBool() ? 1 : 0;
    QCOMPARE(listening, 1);
    QCOMPARE(emulator.camera(5).value(QStringLiteral("Listening")).toBool(true), false);
    QCOMPARE(emulator.camera(5).value(QStringLiteral("HostIP")).toString(), QStringLiteral("192.168.1.10"));
}

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
