#include "guitestsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include "CMessageBox.h"
#include "device/CSearchDeviceThread.h"
#include "mainwindow/CVantrel.h"

namespace guitest {

QString configPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Config.ini");
}

bool writeConfigText(const QByteArray& baText)
{
    QFile file(configPath());
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(baText) == baText.size();
}

bool writeConfig(quint16 nDiscoveryPort, const ConfigKeys& lstExtra)
{
    const QByteArray baText = configIniText(nDiscoveryPort, lstExtra);
    return !baText.isEmpty() && writeConfigText(baText);
}

void removeConfig()
{
    QFile::remove(configPath());
}

bool startEmulator(EmulatorProcess& emulator, const QStringList& lstArguments, const ConfigKeys& lstExtra,
                   int nReadyTimeoutMs)
{
    if (!emulator.start(lstArguments, nReadyTimeoutMs)) {
        qWarning("emulator did not start: %s\n%s", qPrintable(emulator.errorString()),
                 qPrintable(emulator.diagnostics()));
        return false;
    }
    if (!writeConfig(emulator.discoveryPort(), lstExtra)) {
        qWarning("cannot write %s", qPrintable(configPath()));
        return false;
    }
    return true;
}

bool stopEmulator(EmulatorProcess& emulator)
{
    removeConfig();
    return emulator.stop();
}

std::unique_ptr<CVantrel> newWindow(int nSearchMs)
{
    auto pWindow = std::make_unique<CVantrel>();
    pWindow->setSearchTime(nSearchMs);
    pWindow->show();
    pWindow->activateWindow();
    return pWindow;
}

bool search(CVantrel& window, int nExpectedRows, int nTimeoutMs)
{
    QSignalSpy spyStop(window.searchThread(), &CSearchDeviceThread::stop);
    click(window, "SearchButton");
    if (!spyStop.wait(nTimeoutMs)) {
        qWarning("search: the pass did not end within %d ms", nTimeoutMs);
        return false;
    }
    // The results are queued ahead of the end of the pass: let them arrive.
    QCoreApplication::processEvents();
    const int nRows = window.tableModel()->rowCount();
    if (nExpectedRows >= 0 && nRows != nExpectedRows) {
        qWarning("search: %d rows, expected %d", nRows, nExpectedRows);
        return false;
    }
    return true;
}

std::unique_ptr<CVantrel> searchedWindow(int nExpectedRows, int nSearchMs, int nTimeoutMs)
{
    auto pWindow = newWindow(nSearchMs);
    if (!search(*pWindow, nExpectedRows, nTimeoutMs))
        pWindow.reset();
    return pWindow;
}

bool runBatch(CVantrel& window, const char* szButton, int nDeadlineMs)
{
    click(window, szButton);
    if (window.isIdle())
        return false;
    QElapsedTimer timer;
    timer.start();
    while (!window.isIdle() && timer.elapsed() < nDeadlineMs)
        QTest::qWait(10);
    // The worker's last writes are queued before the idle flag is set.
    QCoreApplication::processEvents();
    return window.isIdle();
}

void doubleClickRow(CVantrel& window, int nRow, int nTimeoutMs)
{
    QSignalSpy spyDone(&window, &CVantrel::loginFinished);
    auto* pView = window.findChild<QTableView*>(QStringLiteral("tableView"));
    const QModelIndex index = window.tableModel()->index(nRow, ColumnIpAddress);
    pView->scrollTo(index);
    const QPoint ptCell = pView->visualRect(index).center();
    // Press and release, then the double-click event and its release, as a mouse sends them.
    QTest::mouseClick(pView->viewport(), Qt::LeftButton, Qt::NoModifier, ptCell);
    QTest::mouseDClick(pView->viewport(), Qt::LeftButton, Qt::NoModifier, ptCell);
    QTest::mouseRelease(pView->viewport(), Qt::LeftButton, Qt::NoModifier, ptCell);
    if (window.isLoginRunning() && !spyDone.wait(nTimeoutMs))
        qWarning("doubleClickRow: the login of row %d did not end within %d ms", nRow, nTimeoutMs);
}

bool loginRow(CVantrel& window, int nRow, int nTimeoutMs)
{
    QSignalSpy spyDone(&window, &CVantrel::loginFinished);
    window.on_tableView_doubleClicked(window.tableModel()->index(nRow, ColumnIpAddress));
    if (window.isLoginRunning() && !spyDone.wait(nTimeoutMs))
        qWarning("loginRow: the login of row %d did not end within %d ms", nRow, nTimeoutMs);
    const DEV_INFO* pInfo = window.getDevInfo(nRow);
    return pInfo && pInfo->lLoginID > 0;
}

QPushButton* button(const CVantrel& window, const char* szName)
{
    return window.findChild<QPushButton*>(QLatin1String(szName));
}

void click(CVantrel& window, const char* szButton)
{
    QPushButton* pButton = button(window, szButton);
    if (!pButton)
        qFatal("no button %s", szButton);
    QTest::mouseClick(pButton, Qt::LeftButton);
}

QString cell(const CVantrel& window, int nRow, int nColumn)
{
    return window.tableModel()->index(nRow, nColumn).data().toString();
}

QStringList statusColumn(const CVantrel& window)
{
    QStringList lst;
    for (int nRow = 0; nRow < window.tableModel()->rowCount(); ++nRow)
        lst << cell(window, nRow, kStatusColumn);
    return lst;
}

void checkRows(CVantrel& window, std::initializer_list<int> lstRows, Qt::CheckState state)
{
    for (int nRow : lstRows)
        window.tableModel()->item(nRow, 0)->setCheckState(state);
}

QList<int> checkedRows(const CVantrel& window)
{
    QList<int> lst;
    for (int nRow = 0; nRow < window.tableModel()->rowCount(); ++nRow) {
        if (window.tableModel()->item(nRow, 0)->checkState() == Qt::Checked)
            lst << nRow;
    }
    return lst;
}

int rowOfMac(const CVantrel& window, const QString& strMac)
{
    for (int nRow = 0; nRow < window.tableModel()->rowCount(); ++nRow) {
        if (cell(window, nRow, 4).compare(strMac, Qt::CaseInsensitive) == 0)
            return nRow;
    }
    return -1;
}

int rowOfCamera(const CVantrel& window, EmulatorProcess& emulator, int nCamera)
{
    return rowOfMac(window, emulator.mac(nCamera));
}

int cameraOfRow(const CVantrel& window, EmulatorProcess& emulator, int nRow)
{
    const QString strMac = cell(window, nRow, 4);
    for (int i = 0; i < emulator.cameraCount(); ++i) {
        if (emulator.mac(i).compare(strMac, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int cameraValue(EmulatorProcess& emulator, int nCamera, const char* szName)
{
    return emulator.camera(nCamera).value(QLatin1String(szName)).toInt(-1);
}

QImage boxIcon(int nIcon)
{
    return QPixmap(CMessageBox::iconPath(nIcon)).toImage();
}

ModalAnswerer::ModalAnswerer(OtherDialogs others) : others_(others)
{
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::tick);
    timer_.start();
}

void ModalAnswerer::clear()
{
    lstBoxes.clear();
    lstSeen.clear();
    lstUnexpected.clear();
}

void ModalAnswerer::tick()
{
    if (answerBox() || bActionRunning_)
        return;
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        auto* pDialog = qobject_cast<QDialog*>(pWidget);
        if (!pDialog || !pDialog->isVisible() || qobject_cast<CMessageBox*>(pDialog))
            continue;
        if (std::function<void(QDialog*)> fnHandler = handlerFor(pDialog)) {
            fnHandler(pDialog);
            return;
        }
        if (std::function<void(QDialog*)> fnAction = takeActionFor(pDialog)) {
            bActionRunning_ = true;
            QPointer<QDialog> ptrDialog(pDialog);
            QTimer::singleShot(0, this, [this, ptrDialog, fnAction]() {
                if (ptrDialog)
                    fnAction(ptrDialog);
                bActionRunning_ = false;
            });
            return;
        }
        if (others_ == LeaveOthers)
            continue;
        const QString strClass = QString::fromLatin1(pDialog->metaObject()->className());
        lstUnexpected << strClass;
        lstSeen << QStringLiteral("dialog|") + strClass;
        pDialog->reject();
        return;
    }
}

bool ModalAnswerer::answerBox()
{
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        auto* pBox = qobject_cast<CMessageBox*>(pWidget);
        if (!pBox || !pBox->isVisible())
            continue;
        BoxSeen seen;
        seen.strTitle = pBox->windowTitle();
        if (const auto* pLabel = pBox->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
            seen.strText = pLabel->text();
        for (QAbstractButton* pButton : pBox->customButtons())
            seen.lstButtons << pButton->text();
        if (const auto* pIcon = pBox->findChild<QLabel*>(QStringLiteral("msgboxex_icon_label")))
            seen.imgIcon = pIcon->pixmap().toImage();
        lstBoxes << seen;
        lstSeen << seen.strTitle + QLatin1Char('|') + seen.strText;
        if (QAbstractButton* pFirst = pBox->customButtons().value(0))
            pFirst->click();
        else
            pBox->reject();
        return true;
    }
    return false;
}

std::function<void(QDialog*)> ModalAnswerer::takeActionFor(QDialog* pDialog)
{
    for (int i = 0; i < lstActions_.size(); ++i) {
        if (lstActions_[i].first->cast(pDialog))
            return lstActions_.takeAt(i).second;
    }
    return {};
}

std::function<void(QDialog*)> ModalAnswerer::handlerFor(QDialog* pDialog) const
{
    for (const Action& handler : lstHandlers_) {
        if (handler.first->cast(pDialog))
            return handler.second;
    }
    return {};
}

void expectOneBox(const ModalAnswerer& answerer, const QString& strTitle, const QString& strText, int nIcon)
{
    QCOMPARE(answerer.lstUnexpected, QStringList());
    QCOMPARE(answerer.lstBoxes.size(), 1);
    QCOMPARE(answerer.lstBoxes[0].strTitle, strTitle);
    QCOMPARE(answerer.lstBoxes[0].strText, strText);
    QCOMPARE(answerer.lstBoxes[0].lstButtons, QStringList{QStringLiteral("OK")});
    QCOMPARE(answerer.lstBoxes[0].imgIcon, boxIcon(nIcon));
}

StatusLog::StatusLog(QStandardItemModel* pModel)
{
    connect(pModel, &QAbstractItemModel::dataChanged, this,
            [this, pModel](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (topLeft.column() > kStatusColumn || bottomRight.column() < kStatusColumn)
                    return;
                for (int nRow = topLeft.row(); nRow <= bottomRight.row(); ++nRow)
                    lst << QStringLiteral("%1:%2").arg(nRow).arg(pModel->index(nRow, kStatusColumn).data().toString());
            });
}

QStringList StatusLog::forRow(int nRow) const
{
    QStringList lstRow;
    const QString strPrefix = QStringLiteral("%1:").arg(nRow);
    for (const QString& str : lst) {
        if (str.startsWith(strPrefix))
            lstRow << str.mid(strPrefix.size());
    }
    return lstRow;
}

} // namespace guitest
