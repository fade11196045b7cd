// The batch with the modify-IP setting on: every device is first moved to its fixed address (last
// octet = row + 20) without a login, then logged in there; a device that cannot be moved is
// skipped with the text of the address change.
#include <QPushButton>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>

#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

class TestGuiBatchModifyIp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void devicesMoveBeforeTheirLogin();

private:
    EmulatorProcess emulator;
};

void TestGuiBatchModifyIp::initTestCase()
{
    QVERIFY(guitest::startEmulator(emulator, {"--count", "2", "--models", "IPC-A"}, {{"UpgradeInfo/ModifyIP", "1"}}));
}

void TestGuiBatchModifyIp::cleanupTestCase()
{
    QVERIFY(guitest::stopEmulator(emulator));
}

void TestGuiBatchModifyIp::devicesMoveBeforeTheirLogin()
{
    auto pWindow = guitest::newWindow();
    QVERIFY(pWindow->modifyIPSetting());
    QVERIFY(guitest::search(*pWindow, 2));
    QStandardItemModel* pModel = pWindow->tableModel();

    const int anCam[2] = {guitest::cameraOfRow(*pWindow, emulator, 0), guitest::cameraOfRow(*pWindow, emulator, 1)};
    QVERIFY(anCam[0] >= 0 && anCam[1] >= 0);
    const QString strOld0 = emulator.address(anCam[0]);
    const QString strOld1 = emulator.address(anCam[1]);
    const QString strFixed1 = strOld1.section(QLatin1Char('.'), 0, 2) + QStringLiteral(".21");

    // Row 0's camera wants a reboot for address changes: ModifyIP fails, the row is skipped.
    QVERIFY(emulator.setFault(anCam[0], QJsonObject{{"RebootNeeded", true}}));
    guitest::checkRows(*pWindow, {0, 1});
    QVERIFY(guitest::runBatch(*pWindow, "btnOpenDhcp", 30000));

    QCOMPARE(pModel->index(0, 3).data().toString(), QStringLiteral("Need Reboot"));
    QCOMPARE(pModel->index(0, 1).data().toString(), strOld0);
    QCOMPARE(guitest::cameraValue(emulator, anCam[0], "Logins"), 0);
    QCOMPARE(pWindow->getDevInfo(0)->lLoginID, 0L);

    QCOMPARE(pModel->index(1, 3).data().toString(), QStringLiteral("Set IP adaptive Success"));
    QCOMPARE(pModel->index(1, 1).data().toString(), strFixed1);
    QCOMPARE(QString::fromLatin1(pWindow->getDevInfo(1)->szIpAddr), strFixed1);
    QCOMPARE(emulator.camera(anCam[1]).value(QStringLiteral("HostIP")).toString(), strFixed1);
    QCOMPARE(guitest::cameraValue(emulator, anCam[1], "Logins"), 1);
    QCOMPARE(emulator.record(anCam[1], 274, -1), QByteArray(1, char(1)));
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, -1L);
}

QTEST_MAIN(TestGuiBatchModifyIp)
#include "tst_gui_batchmodifyip.moc"
