// The batch with the modify-IP setting on: every device is first moved to its fixed address (last
// octet = row + 20) without a login, then logged in there; a device that cannot be moved is
// skipped with the text of the address change.
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>

#include "device/CSearchDeviceThread.h"
#include "emulatorprocess.h"
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
    QVERIFY2(emulator.start({"--count", "2", "--models", "IPC-A"}),
             qPrintable(emulator.errorString() + emulator.diagnostics()));
    QFile ini(QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QStringLiteral("[UpgradeInfo]\nModifyIP=1\n[Network]\nBroadcast=127.255.255.255\nAddressCheck=device\n"
                             "LoopbackOnly=1\nDiscoveryPort=%1\n")
                  .arg(emulator.discoveryPort())
                  .toLatin1());
}

void TestGuiBatchModifyIp::cleanupTestCase()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    QVERIFY(emulator.stop());
}

void TestGuiBatchModifyIp::devicesMoveBeforeTheirLogin()
{
    auto pWindow = std::make_unique<CVantrel>();
    QVERIFY(pWindow->modifyIPSetting());
    pWindow->setSearchTime(800);
    pWindow->show();
    QSignalSpy spyStop(pWindow->searchThread(), &CSearchDeviceThread::stop);
    QTest::mouseClick(pWindow->findChild<QPushButton*>(QStringLiteral("SearchButton")), Qt::LeftButton);
    QVERIFY(spyStop.wait(10000));
    QCoreApplication::processEvents();
    QStandardItemModel* pModel = pWindow->tableModel();
    QCOMPARE(pModel->rowCount(), 2);

    int anCam[2] = {-1, -1};
    for (int nRow = 0; nRow < 2; ++nRow)
        for (int i = 0; i < 2; ++i)
            if (emulator.mac(i).compare(pModel->index(nRow, 4).data().toString(), Qt::CaseInsensitive) == 0)
                anCam[nRow] = i;
    QVERIFY(anCam[0] >= 0 && anCam[1] >= 0);
    const QString strOld0 = emulator.address(anCam[0]);
    const QString strOld1 = emulator.address(anCam[1]);
    const QString strFixed1 = strOld1.section(QLatin1Char('.'), 0, 2) + QStringLiteral(".21");

    // Row 0's camera wants a reboot for address changes: ModifyIP fails, the row is skipped.
    QVERIFY(emulator.setFault(anCam[0], QJsonObject{{"RebootNeeded", true}}));
    pModel->item(0, 0)->setCheckState(Qt::Checked);
    pModel->item(1, 0)->setCheckState(Qt::Checked);
    QTest::mouseClick(pWindow->findChild<QPushButton*>(QStringLiteral("btnOpenDhcp")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(pWindow->isIdle(), 30000);
    QCoreApplication::processEvents();

    QCOMPARE(pModel->index(0, 3).data().toString(), QStringLiteral("Need Reboot"));
    QCOMPARE(pModel->index(0, 1).data().toString(), strOld0);
    QCOMPARE(emulator.camera(anCam[0]).value(QStringLiteral("Logins")).toInt(), 0);
    QCOMPARE(pWindow->getDevInfo(0)->lLoginID, 0L);

    QCOMPARE(pModel->index(1, 3).data().toString(), QStringLiteral("Set IP adaptive Success"));
    QCOMPARE(pModel->index(1, 1).data().toString(), strFixed1);
    QCOMPARE(QString::fromLatin1(pWindow->getDevInfo(1)->szIpAddr), strFixed1);
    QCOMPARE(emulator.camera(anCam[1]).value(QStringLiteral("HostIP")).toString(), strFixed1);
    QCOMPARE(emulator.camera(anCam[1]).value(QStringLiteral("Logins")).toInt(), 1);
    QCOMPARE(emulator.record(anCam[1], 274, -1), QByteArray(1, char(1)));
    QCOMPARE(pWindow->getDevInfo(1)->lLoginID, -1L);
}

QTEST_MAIN(TestGuiBatchModifyIp)
#include "tst_gui_batchmodifyip.moc"
