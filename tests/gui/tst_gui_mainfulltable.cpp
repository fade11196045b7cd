// The table's 256-row limit seen from the Add button: with 255 rows Add still appends the 256th,
// with 256 rows (a full search of a 256-camera fleet, or 255 found plus one added) it does nothing
// at all: no dialog, no message, no row.
#include <functional>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "CMessageBox.h"
#include "device/CSearchDeviceThread.h"
#include "device/LoginDlg.h"
#include "emulatorprocess.h"
#include "mainwindow/CVantrel.h"

namespace {

constexpr int kFleet = 256;

// Counts every message box and login dialog that opens; a login dialog gets the queued address
// (posted, so its login runs outside this timer) or is rejected when none is queued.
class ModalWatcher : public QObject
{
public:
    ModalWatcher()
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, &ModalWatcher::tick);
        timer.start();
    }

    int nBoxes = 0;
    int nLoginDialogs = 0;
    QString strAddressToAdd;

private:
    void tick()
    {
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            if (auto* pBox = qobject_cast<CMessageBox*>(pWidget); pBox && pBox->isVisible()) {
                ++nBoxes;
                pBox->customButtons().value(0)->click();
                return;
            }
        }
        if (bPending)
            return;
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            auto* pDlg = qobject_cast<LoginDlg*>(pWidget);
            if (!pDlg || !pDlg->isVisible())
                continue;
            ++nLoginDialogs;
            bPending = true;
            QPointer<LoginDlg> ptrDlg(pDlg);
            const QString strAddress = strAddressToAdd;
            strAddressToAdd.clear();
            QTimer::singleShot(0, this, [this, ptrDlg, strAddress]() {
                if (ptrDlg && strAddress.isEmpty()) {
                    ptrDlg->reject();
                } else if (ptrDlg) {
                    ptrDlg->addressEdit()->clear();
                    QTest::keyClicks(ptrDlg->addressEdit(), strAddress);
                    QTest::mouseClick(ptrDlg->okButton(), Qt::LeftButton);
                }
                bPending = false;
            });
            return;
        }
    }

    QTimer timer;
    bool bPending = false;
};

} // namespace

class TestGuiMainFullTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void addStopsAt256Rows();

private:
    bool search(CVantrel& window, int nExpectedRows);

    EmulatorProcess emulator;
};

void TestGuiMainFullTable::initTestCase()
{
    QVERIFY2(emulator.start({"--count", QString::number(kFleet), "--models", "IPC-A"}, 60000),
             qPrintable(emulator.errorString() + emulator.diagnostics()));
    QFile ini(QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QStringLiteral("[Network]\nBroadcast=127.255.255.255\nAddressCheck=device\nLoopbackOnly=1\n"
                             "DiscoveryPort=%1\n")
                  .arg(emulator.discoveryPort())
                  .toLatin1());
    ini.close();
}

void TestGuiMainFullTable::cleanupTestCase()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini"));
    QVERIFY(emulator.stop());
}

bool TestGuiMainFullTable::search(CVantrel& window, int nExpectedRows)
{
    QSignalSpy spyStop(window.searchThread(), &CSearchDeviceThread::stop);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("SearchButton")), Qt::LeftButton);
    if (!spyStop.wait(20000))
        return false;
    QCoreApplication::processEvents();
    return window.tableModel()->rowCount() == nExpectedRows;
}

void TestGuiMainFullTable::addStopsAt256Rows()
{
    auto pWindow = std::make_unique<CVantrel>();
    pWindow->setSearchTime(2000);
    pWindow->show();
    auto* pAdd = pWindow->findChild<QPushButton*>(QStringLiteral("addBtn"));
    QStandardItemModel* pModel = pWindow->tableModel();
    ModalWatcher watcher;

    // One camera silent: 255 rows, and Add appends the 256th.
    QVERIFY(emulator.kill(kFleet - 1));
    QVERIFY(search(*pWindow, kFleet - 1));
    watcher.strAddressToAdd = emulator.address(0);
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.nLoginDialogs, 1);
    QCOMPARE(watcher.nBoxes, 0);
    QCOMPARE(pModel->rowCount(), kFleet);
    QCOMPARE(pModel->index(kFleet - 1, 0).data(), QVariant(kFleet));
    QCOMPARE(pModel->index(kFleet - 1, 3).data().toString(), QStringLiteral("Login Success"));
    QCOMPARE(pWindow->getDevInfo(kFleet - 1)->nIndex, kFleet - 1);

    // Full: Add opens nothing and says nothing.
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.nLoginDialogs, 1);
    QCOMPARE(watcher.nBoxes, 0);
    QCOMPARE(pModel->rowCount(), kFleet);

    // The whole fleet found by a search fills the table the same way.
    QVERIFY(emulator.revive(kFleet - 1));
    QVERIFY(search(*pWindow, kFleet));
    QTest::mouseClick(pAdd, Qt::LeftButton);
    QCOMPARE(watcher.nLoginDialogs, 1);
    QCOMPARE(watcher.nBoxes, 0);
    QCOMPARE(pModel->rowCount(), kFleet);
}

QTEST_MAIN(TestGuiMainFullTable)
#include "tst_gui_mainfulltable.moc"
