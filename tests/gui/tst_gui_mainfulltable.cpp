// The table's 256-row limit seen from the Add button: with 255 rows Add still appends the 256th,
// with 256 rows (a full search of a 256-camera fleet, or 255 found plus one added) it does nothing
// at all: no dialog, no message, no row; and a search that fills the table while the dialog is open
// leaves the dialog's device out (logged out again, with a message).
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>

#include "device/CSearchDeviceThread.h"
#include "device/LoginDlg.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"

namespace {

constexpr int kFleet = 256;

} // namespace

class TestGuiMainFullTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void addStopsAt256Rows();

private:
    EmulatorProcess emulator;
};

void TestGuiMainFullTable::initTestCase()
{
    QVERIFY(guitest::startEmulator(emulator, {"--count", QString::number(kFleet), "--models", "IPC-A"}, {}, 60000));
}

void TestGuiMainFullTable::cleanupTestCase()
{
    QVERIFY(guitest::stopEmulator(emulator));
}

void TestGuiMainFullTable::addStopsAt256Rows()
{
    auto pWindow = guitest::newWindow(2000);
    auto* pAdd = guitest::button(*pWindow, "addBtn");
    QStandardItemModel* pModel = pWindow->tableModel();
    // Every message box and login dialog that opens is recorded; a login dialog without a queued
    // address is rejected.
    guitest::ModalAnswerer watcher;

    // One camera silent: 255 rows, and Add appends the 256th.
    QVERIFY(emulator.kill(kFleet - 1));
    QVERIFY(guitest::search(*pWindow, kFleet - 1, 20000));
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        pDlg->addressEdit()->clear();
        QTest::keyClicks(pDlg->addressEdit(), emulator.address(0));
        QTest::mouseClick(pDlg->okButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!pDlg->isLoggingIn(), 10000);
    });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.pendingActions(), 0);
    QCOMPARE(watcher.lstUnexpected, QStringList());
    QCOMPARE(watcher.lstBoxes.size(), 0);
    QCOMPARE(pModel->rowCount(), kFleet);
    QCOMPARE(pModel->index(kFleet - 1, 0).data(), QVariant(kFleet));
    QCOMPARE(pModel->index(kFleet - 1, 3).data().toString(), QStringLiteral("Login Success"));
    QCOMPARE(pWindow->getDevInfo(kFleet - 1)->nIndex, kFleet - 1);

    // Full: Add opens nothing and says nothing.
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.lstUnexpected, QStringList());
    QCOMPARE(watcher.lstBoxes.size(), 0);
    QCOMPARE(pModel->rowCount(), kFleet);

    // The whole fleet found by a search fills the table the same way.
    QVERIFY(emulator.revive(kFleet - 1));
    QVERIFY(guitest::search(*pWindow, kFleet, 20000));
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.lstUnexpected, QStringList());
    QCOMPARE(watcher.lstBoxes.size(), 0);
    QCOMPARE(pModel->rowCount(), kFleet);

    // Add pressed while a search is under way: its results fill the table while the dialog is open.
    QSignalSpy spyStop(pWindow->searchThread(), &CSearchDeviceThread::stop);
    QTest::mouseClick(guitest::button(*pWindow, "SearchButton"), Qt::LeftButton);
    watcher.clear();
    watcher.queue<LoginDlg>([&](LoginDlg* pDlg) {
        QTRY_COMPARE_WITH_TIMEOUT(pModel->rowCount(), kFleet, 20000);
        pDlg->addressEdit()->setText(emulator.address(0));
        QTest::mouseClick(pDlg->okButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!pDlg->isLoggingIn(), 10000);
    });
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.pendingActions(), 0);
    QCOMPARE(pModel->rowCount(), kFleet);
    QCOMPARE(watcher.lstSeen, QStringList{QStringLiteral("Prompt|The table is full: the device was not added")});
    QTRY_COMPARE(guitest::cameraValue(emulator, 0, "Sessions"), 0);
    QVERIFY(spyStop.count() > 0 || spyStop.wait(20000));
}

QTEST_MAIN(TestGuiMainFullTable)
#include "tst_gui_mainfulltable.moc"
