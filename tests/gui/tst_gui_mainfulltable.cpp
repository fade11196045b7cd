// The table's 256-row limit seen from the Add button: with 255 rows Add still appends the 256th,
// with 256 rows (a full search of a 256-camera fleet, or 255 found plus one added) it does nothing
// at all: no dialog, no message, no row.
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>

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
}

QTEST_MAIN(TestGuiMainFullTable)
#include "tst_gui_mainfulltable.moc"
