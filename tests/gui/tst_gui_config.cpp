// The configuration dialog and its pages against the emulator (cameras 0 IPC-A, 1 IPC-B, 2 IPC-C,
// 3 IPC-B, 4 NVR-8): what an opening shows on each model, the tree's ticks, the page contract, the fields'
// rules, and, through the main window, the dialog's opening and the ticked pages applied to three cameras.

#include <QAbstractButton>
#include <QComboBox>
#include <QJsonArray>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include <netsdk/netsdk.h>

#include "CMyIpAddrEdit.h"
#include "config/CDeviceTreeView.h"
#include "config/COtherConfigDlg.h"
#include "config/ConfigRecords.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"
#include "sdktesthelpers.h"

namespace {

template <class T = QWidget> T* child(COtherConfigDlg& dlg, int nType, const char* szName)
{
    T* pWidget = dlg.page(nType)->findChild<T*>(QLatin1String(szName));
    if (!pWidget)
        qFatal("page %d has no %s", nType, szName);
    return pWidget;
}

QAbstractButton* box(COtherConfigDlg& dlg, int nType, const char* szName)
{
    return child<QAbstractButton>(dlg, nType, szName);
}

/// A click on a check box or radio button: on its indicator, since a click beside the caption of a
/// wide one does not count.
void tick(QAbstractButton* pButton)
{
    QTest::mouseClick(pButton, Qt::LeftButton, {}, QPoint(6, pButton->height() / 2));
}

QByteArray configOf(COtherConfigDlg& dlg, int nType)
{
    QByteArray ba(configRecordSize(nType), '\0');
    return dlg.getConfigByType(nType, ba.data(), int(ba.size())) ? ba : QByteArray();
}

QByteArray patched(QByteArray ba, const QList<QPair<int, qint32>>& lstInts)
{
    for (const auto& field : lstInts)
        setRecordInt(ba, field.first, field.second);
    return ba;
}

/// A press and release at dx pixels from the item's left edge.
void clickItem(COtherConfigDlg& dlg, QStandardItem* pItem, int dx)
{
    const QRect rect = dlg.treeView()->visualRect(pItem->index());
    QTest::mouseClick(dlg.treeView()->viewport(), Qt::LeftButton, {}, QPoint(rect.left() + dx, rect.center().y()));
}

/// The controls a model may lack, and their pages.
const QList<QPair<int, const char*>> kOptional{
    {kPageCamera, "SoftPhotoAdjustSlider"},  {kPageCamera, "checkBoxNoRedFaceExposure"},
    {kPageMotion, "comboBoxSoundPlayType"},  {kPageMotion, "lineEditAlarmInterval"},
    {kPageMotion, "checkBoxHumanoidDetect"}, {kPageMotion, "sliderVolume"},
    {kPageMotion, "checkBoxAlarmSound"}};

} // namespace

class TestGuiConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void openingShowsWhatTheCameraHolds_data();
    void openingShowsWhatTheCameraHolds();
    void treeTicksPagesBothWays();
    void fieldRules();
    void pagesHandBackWhatTheyHold();
    void applyThroughTheWindow();

private:
    long login(int nCamera);
    /// A dialog filled from camera nCamera through its own open path (loaded off the UI thread).
    std::unique_ptr<COtherConfigDlg> openedOn(int nCamera);

    EmulatorProcess emulator;
};

void TestGuiConfig::initTestCase()
{
    QVERIFY(guitest::startEmulator(
        emulator, {"--count", "5", "--models", "IPC-A,IPC-B,IPC-C,IPC-B,NVR-8", "--reboot-ms", "300"}));
    sdkInit(nullptr, nullptr);
    QVERIFY(emulator.configureLibrary());
}

void TestGuiConfig::cleanupTestCase()
{
    sdkCleanup();
    QVERIFY(guitest::stopEmulator(emulator));
}

void TestGuiConfig::init()
{
    QVERIFY(emulator.setFault(-1, QJsonObject{{"FailRead", 0}, {"FailWrites", false}, {"RebootNeeded", false}}));
}

long TestGuiConfig::login(int nCamera)
{
    int nError = 0;
    const long lLogin = loginTo(emulator.address(nCamera), QString(), &nError);
    if (lLogin <= 0)
        qWarning("login to camera %d failed: %d", nCamera, nError);
    return lLogin;
}

std::unique_ptr<COtherConfigDlg> TestGuiConfig::openedOn(int nCamera)
{
    auto pDlg = std::make_unique<COtherConfigDlg>();
    const long lLogin = login(nCamera);
    QSignalSpy spyLoaded(pDlg.get(), &COtherConfigDlg::configLoaded);
    pDlg->loadAllConfig(lLogin);
    // Nothing is read on the calling thread: the dialog says it is reading until the pages are filled.
    const bool bBusy = pDlg->isLoading() && !pDlg->saveButton()->isEnabled();
    const bool bLoaded = spyLoaded.wait(10000);
    sdkLogout(lLogin);
    if (!bBusy || !bLoaded || pDlg->isLoading() || !pDlg->saveButton()->isEnabled()) {
        qWarning("opening camera %d: busy %d, loaded %d", nCamera, bBusy, bLoaded);
        return nullptr;
    }
    return pDlg;
}

void TestGuiConfig::openingShowsWhatTheCameraHolds_data()
{
    QTest::addColumn<int>("nCamera");
    QTest::addColumn<QString>("strShown");  // of kOptional, "1" for each control shown
    QTest::addColumn<int>("nModes");        // day/night modes offered
    QTest::addColumn<int>("nSounds");       // voice tips offered
    QTest::addColumn<QString>("strServer"); // server button checked
    QTest::newRow("IPC-A") << 0 << "0000000" << 3 << 0 << "radioButtonAuto";
    QTest::newRow("IPC-B") << 1 << "1111111" << 7 << 4 << "radioButtonCustom";
    QTest::newRow("IPC-C") << 2 << "1000011" << 2 << 0 << QString();
    QTest::newRow("NVR-8") << 4 << "0011101" << 4 << 3 << QString();
}

void TestGuiConfig::openingShowsWhatTheCameraHolds()
{
    QFETCH(int, nCamera);
    QFETCH(QString, strShown);
    QFETCH(int, nModes);
    QFETCH(int, nSounds);
    QFETCH(QString, strServer);
    auto pDlg = openedOn(nCamera);
    QVERIFY(pDlg);
    COtherConfigDlg& dlg = *pDlg;

    QString strSeen;
    for (const auto& optional : kOptional)
        strSeen += child(dlg, optional.first, optional.second)->isHidden() ? '0' : '1';
    QCOMPARE(strSeen, strShown);
    QCOMPARE(child<QComboBox>(dlg, kPageCamera, "comboBoxDayNightMode")->count(), nModes);
    QCOMPARE(child<QComboBox>(dlg, kPageMotion, "comboBoxSoundPlayType")->count(), nSounds);
    for (const char* szRadio : {"radioButtonCustom", "radioButtonAuto"})
        QCOMPARE(box(dlg, kPageNtp, szRadio)->isChecked(), strServer == QLatin1String(szRadio));
    QCOMPARE(child(dlg, kPageNtp, "lineEditHostPort")->isHidden(), strServer == QLatin1String("radioButtonAuto"));

    // Unedited pages hand back exactly the camera's records, so every value they show is the camera's.
    auto rec = [&](int nCommand, int nChannel) { return emulator.record(nCamera, nCommand, nChannel); };
    const QByteArray baNtp = configOf(dlg, kPageNtp);
    QCOMPARE(baNtp, rec(41, -1));
    QCOMPARE(child<CMyIpAddrEdit>(dlg, kPageNtp, "lineEditHostIP")->text(), textAt(baNtp, 4, 68));
    QCOMPARE(configOf(dlg, kPageCloud), rec(122, -1));
    QCOMPARE(child(dlg, kPageCloud, "lineEditMtu")->isEnabled(), rec(122, -1).at(0) != 0);
    QCOMPARE(configOf(dlg, kPagePms), rec(138, -1));
    QCOMPARE(configOf(dlg, kPageTcp), rec(274, -1) + rec(37, -1));
    QCOMPARE(configOf(dlg, kPageNormal), rec(18, -1));
    QCOMPARE(child<QComboBox>(dlg, kPageNormal, "comboBoxVideoStandard")->currentText(),
             textAt(rec(64, -1), 4 + 16 * intAt(rec(18, -1), 116), 16));
    const QByteArray baCamera = configOf(dlg, kPageCamera);
    QCOMPARE(baCamera.mid(4, 176), rec(95, -1));
    QCOMPARE(baCamera.mid(180, 84), rec(94, 0));
    const bool bExtended = strShown[0] == '1';
    QCOMPARE(baCamera.at(0) != 0, bExtended);
    QCOMPARE(baCamera.mid(264, 264), bExtended ? rec(145, 0) : QByteArray(264, '\0'));
    const QByteArray baMotion = configOf(dlg, kPageMotion);
    QCOMPARE(baMotion.mid(1060, 2696), rec(24, 0));
    if (strShown[4] == '1') // humanoid detection
        QCOMPARE(baMotion.mid(4, 1056), rec(302, 0));
    if (strShown[5] == '1') { // volume
        const QJsonObject volume =
            emulator.json(nCamera, "fVideo.Volume", 1042, -1).value("fVideo.Volume").toArray().at(0).toObject();
        QCOMPARE(child<QSlider>(dlg, kPageMotion, "sliderVolume")->value(), volume.value("LeftVolume").toInt());
        QCOMPARE(textAt(baMotion, 3760, 32), volume.value("AudioMode").toString());
    }
}

void TestGuiConfig::treeTicksPagesBothWays()
{
    COtherConfigDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QStandardItem* pSystem = dlg.treeModel()->item(1);
    QCOMPARE(pSystem->text(), QStringLiteral("System Config"));

    // A group's box ticks each of its pages and their own boxes. An encode page that read nothing
    // hands out nothing, ticked or not.
    clickItem(dlg, pSystem, 5);
    for (int nType : {kPageNormal, kPageCamera, kPageEncode}) {
        QCOMPARE(dlg.findItemByType(nType)->checkState(), Qt::Checked);
        QVERIFY(box(dlg, nType, "checkBoxSetEnable")->isChecked());
    }
    QVERIFY(configOf(dlg, kPageEncode).isEmpty());

    // A page's own box updates its item only; the item's box unticks the page again.
    QAbstractButton* pNtpBox = box(dlg, kPageNtp, "checkBoxSetEnable");
    tick(pNtpBox);
    QCOMPARE(dlg.findItemByType(kPageNtp)->checkState(), Qt::Checked);
    QCOMPARE(dlg.treeModel()->item(0)->checkState(), Qt::Unchecked);
    QVERIFY(!dlg.isConfigChecked(kPageCloud));
    clickItem(dlg, dlg.findItemByType(kPageNtp), 5);
    QVERIFY(!pNtpBox->isChecked());
    // Beside the box a click shows the page without touching its tick.
    clickItem(dlg, dlg.findItemByType(kPageCloud), 40);
    QCOMPARE(dlg.currentPage(), dlg.page(kPageCloud));
    QCOMPARE(dlg.findItemByType(kPageCloud)->checkState(), Qt::Unchecked);
}

void TestGuiConfig::fieldRules()
{
    COtherConfigDlg dlg;
    // Port 1..65535 and interval 1..99999: what leaves the range cannot be typed.
    for (const auto& [szEdit, szTyped] : {std::pair<const char*, const char*>{"lineEditHostPort", "0"},
                                          {"lineEditHostPort", "65536"},
                                          {"lineEditUpdateInterval", "0"},
                                          {"lineEditUpdateInterval", "100000"}}) {
        auto* pEdit = child<QLineEdit>(dlg, kPageNtp, szEdit);
        pEdit->clear();
        QTest::keyClicks(pEdit, szTyped);
        QVERIFY2(pEdit->text() != szTyped && pEdit->hasAcceptableInput() == !pEdit->text().isEmpty(),
                 qPrintable(pEdit->text()));
    }
    // The automatic server writes time zone 14 (the custom one's 13 is applyThroughTheWindow's).
    tick(box(dlg, kPageNtp, "radioButtonAuto"));
    QCOMPARE(intAt(configOf(dlg, kPageNtp), 212), 14);
    // Cloud: the enable box switches the MTU field.
    QAbstractButton* pCloud = box(dlg, kPageCloud, "checkBoxEnableCloud");
    for (bool bOn : {true, false}) {
        pCloud->setChecked(!bOn);
        tick(pCloud);
        QCOMPARE(child(dlg, kPageCloud, "lineEditMtu")->isEnabled(), bOn);
    }

    // Motion: the enable box switches its dependants; the sound controls follow the alarm sound.
    const long lLogin = login(1);
    dlg.initAllConfig(lLogin);
    sdkLogout(lLogin);
    QAbstractButton* pEnable = box(dlg, kPageMotion, "checkBoxEnable");
    QAbstractButton* pSound = box(dlg, kPageMotion, "checkBoxAlarmSound");
    QVERIFY(pEnable->isChecked() && pSound->isChecked());
    // "1": enabled, of HumanoidDetect, PhoneReport, AlarmSound, SoundPlayType, AlarmInterval.
    auto enabled = [&] {
        QString str;
        for (const char* szName : {"checkBoxHumanoidDetect", "checkBoxPhoneReport", "checkBoxAlarmSound",
                                   "comboBoxSoundPlayType", "lineEditAlarmInterval"})
            str += child(dlg, kPageMotion, szName)->isEnabled() ? '1' : '0';
        return str;
    };
    for (bool bSoundOn : {true, false}) {
        pSound->setChecked(bSoundOn);
        tick(pEnable);
        QCOMPARE(enabled(), QStringLiteral("00000"));
        tick(pEnable);
        QCOMPARE(enabled(), bSoundOn ? QStringLiteral("11111") : QStringLiteral("11100"));
    }
}

void TestGuiConfig::pagesHandBackWhatTheyHold()
{
    COtherConfigDlg dlg;
    // A time server held by name shows as an empty address and goes back as the camera holds it.
    QByteArray baNtp = emulator.record(0, 41, -1);
    setRecordText(baNtp, 4, 68, "time.example.invalid");
    const long lNamed = login(0);
    QCOMPARE(sdkSetConfig(lNamed, 41, -1, baNtp.data(), 216, 3000), 1L);
    dlg.initAllConfig(lNamed);
    sdkLogout(lNamed);
    QCOMPARE(child<CMyIpAddrEdit>(dlg, kPageNtp, "lineEditHostIP")->text(), QStringLiteral("..."));
    QCOMPARE(configOf(dlg, kPageNtp), baNtp);

    // A buffer of the wrong size gets nothing; the same record each time; no login reads nothing.
    const long lLogin = login(1);
    dlg.initAllConfig(lLogin);
    child<QLineEdit>(dlg, kPageNtp, "lineEditHostPort")->setText(QStringLiteral("4321"));
    QMap<int, QByteArray> mapFirst;
    for (int nType = kFirstConfigPage; nType < kPageEncode; ++nType) {
        const int nSize = configRecordSize(nType);
        for (int nWrong : {nSize - 1, nSize + 1}) {
            QByteArray ba(nWrong, '\xab');
            QVERIFY(!dlg.getConfigByType(nType, ba.data(), nWrong));
            QCOMPARE(ba, QByteArray(nWrong, '\xab'));
        }
        mapFirst[nType] = configOf(dlg, nType);
        QCOMPARE(configOf(dlg, nType), mapFirst[nType]);
    }
    QCOMPARE(intAt(mapFirst[kPageNtp], 72), 4321);
    for (long lNone : {-1L, 0L}) {
        dlg.initAllConfig(lNone);
        for (int nType = kFirstConfigPage; nType < kPageEncode; ++nType)
            QCOMPARE(configOf(dlg, nType), mapFirst[nType]);
    }
    // A list with nothing chosen (an empty mode list, a value outside the list) keeps the camera's value.
    child<QComboBox>(dlg, kPageCamera, "comboBoxSceneMode")->setCurrentIndex(-1);
    child<QComboBox>(dlg, kPageCamera, "comboBoxDayNightMode")->clear();
    QCOMPARE(configOf(dlg, kPageCamera).mid(180, 8), emulator.record(1, 94, 0).left(8));

    // The extended camera record that could not be read is not handed back (its zeros would overwrite
    // the camera's settings); a video standard list that could not be read offers each standard once.
    QVERIFY(emulator.setFault(1, QJsonObject{{"FailRead", 145}}));
    dlg.initAllConfig(lLogin);
    QCOMPARE(configOf(dlg, kPageCamera).at(0), '\0');
    QVERIFY(emulator.setFault(1, QJsonObject{{"FailRead", 64}}));
    dlg.initAllConfig(lLogin);
    auto* pStandards = child<QComboBox>(dlg, kPageNormal, "comboBoxVideoStandard");
    QCOMPARE(pStandards->count(), 2);
    QCOMPARE(pStandards->itemText(0) + pStandards->itemText(1), QStringLiteral("PALNTSC"));
    sdkLogout(lLogin);
}

void TestGuiConfig::applyThroughTheWindow()
{
    // The window starts the device library and releases it when it goes: this test runs last.
    auto pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
    CVantrel& window = *pWindow;
    COtherConfigDlg& dlg = *window.configDlg();
    QPushButton* pModify = guitest::button(window, "btnModifyCfg");
    guitest::ModalAnswerer answerer;
    guitest::StatusLog log(window.tableModel());
    // OtherConfig on the current row; fnInDialog runs in the dialog once its pages are read and closes
    // it. True when the dialog has closed and its device is logged out again.
    auto open = [&](std::function<void(COtherConfigDlg*)> fnInDialog) {
        answerer.queue<COtherConfigDlg>([fnInDialog](COtherConfigDlg* pDlg) {
            // The pages' values may already be queued behind this action, where a nested event loop
            // does not look: they are delivered here.
            if (!QTest::qWaitFor(
                    [pDlg] {
                        QCoreApplication::sendPostedEvents();
                        return !pDlg->isLoading();
                    },
                    10000))
                qWarning("the dialog did not finish reading");
            fnInDialog(pDlg);
        });
        guitest::click(window, "btnOtherCfg");
        return QTest::qWaitFor(
            [&] { return answerer.pendingActions() == 0 && !dlg.isVisible() && !window.isLoginRunning(); }, 20000);
    };
    auto save = [](COtherConfigDlg* pDlg) { QTest::mouseClick(pDlg->saveButton(), Qt::LeftButton); };

    // The dialog opens on the current row: camera 3 (an IPC-B), whose values every camera receives.
    const int nSource = 3;
    const int nSourceRow = guitest::rowOfCamera(window, emulator, nSource);
    auto* pTable = window.findChild<QTableView*>(QStringLiteral("tableView"));
    QTest::mouseClick(pTable->viewport(), Qt::LeftButton, {},
                      pTable->visualRect(window.tableModel()->index(nSourceRow, 1)).center());
    // A login refused (the password typed is wrong) leaves the dialog closed and its text in the row.
    auto* pPassword = window.findChild<QLineEdit*>(QStringLiteral("lineEditPassword"));
    pPassword->setText(QStringLiteral("wrong"));
    guitest::click(window, "btnOtherCfg");
    QTRY_VERIFY(!window.isLoginRunning());
    QCOMPARE(guitest::cell(window, nSourceRow, guitest::kStatusColumn), QStringLiteral("Password is error"));
    QCOMPARE(answerer.lstSeen, QStringList());
    pPassword->clear();
    const int nLogins = guitest::cameraValue(emulator, nSource, "Logins");
    // Saved with no page ticked, DoModify is enabled but has nothing to do; closed, it is disabled.
    QVERIFY(open(save));
    QVERIFY(pModify->isEnabled());
    guitest::click(window, "btnModifyCfg");
    guitest::expectOneBox(answerer, QStringLiteral("Tips"), QStringLiteral("Please select device first"), 1);
    QVERIFY(window.isIdle());
    QVERIFY(open([](COtherConfigDlg* pDlg) { pDlg->close(); }));
    QVERIFY(!pModify->isEnabled());
    // Each opening logged in, said so in the row, and logged out afterwards.
    QCOMPARE(guitest::cameraValue(emulator, nSource, "Logins"), nLogins + 2);
    QTRY_COMPARE(guitest::cameraValue(emulator, nSource, "Sessions"), 0);
    QCOMPARE(window.getDevInfo(nSourceRow)->lLoginID, -1L);
    QCOMPARE(guitest::cell(window, nSourceRow, guitest::kStatusColumn), QStringLiteral("Login Success"));

    // The source camera's records before the edits; the edits below change exactly these fields.
    auto rec = [&](int nCommand, int nChannel) { return emulator.record(nSource, nCommand, nChannel); };
    QByteArray baNtpWritten = patched(rec(41, -1), {{72, 1234}, {208, 77}, {212, 13}});
    setRecordText(baNtpWritten, 4, 68, "127.0.0.99");
    // Command, channel and the record each camera holds afterwards: the source's bytes, edits applied.
    const QList<std::tuple<int, int, QByteArray>> lstExpected{
        {41, -1, baNtpWritten},
        {122, -1, patched(rec(122, -1), {{4, 1400}})},
        {37, -1, QByteArray(1, '\1') + rec(37, -1).mid(1)},
        {274, -1, rec(274, -1)},
        {94, 0, patched(rec(94, 0), {{44, 1}})},
        {145, 0, patched(rec(145, 0), {{40, 1}})},
        {302, 0, rec(302, 0)},
        {24, 0, patched(rec(24, 0), {{2684, 9}, {2688, 7}}).replace(2483, 1, "\1")},
        {18, -1, patched(rec(18, -1), {{116, 1}})}};
    QVERIFY(open([this, save](COtherConfigDlg* pDlg) {
        COtherConfigDlg& dlg = *pDlg;
        for (int nType : {kPageNtp, kPageCloud, kPageTcp, kPageCamera, kPageMotion, kPageNormal})
            tick(box(dlg, nType, "checkBoxSetEnable"));
        tick(box(dlg, kPageNtp, "radioButtonAuto"));
        tick(box(dlg, kPageNtp, "radioButtonCustom"));
        child<CMyIpAddrEdit>(dlg, kPageNtp, "lineEditHostIP")->setText(QStringLiteral("127.0.0.99"));
        for (const auto& typed : {qMakePair("lineEditHostPort", "1234"), qMakePair("lineEditUpdateInterval", "77")}) {
            child<QLineEdit>(dlg, kPageNtp, typed.first)->clear();
            QTest::keyClicks(child<QLineEdit>(dlg, kPageNtp, typed.first), typed.second);
        }
        child<QLineEdit>(dlg, kPageCloud, "lineEditMtu")->setText(QStringLiteral("1400"));
        tick(box(dlg, kPageTcp, "checkBoxDHCP"));
        tick(box(dlg, kPageCamera, "checkBoxMirror"));
        tick(box(dlg, kPageCamera, "checkBoxNoRedFaceExposure"));
        tick(box(dlg, kPageMotion, "checkBoxPhoneReport"));
        child<QSpinBox>(dlg, kPageMotion, "lineEditAlarmInterval")->setValue(9);
        auto* pSounds = child<QComboBox>(dlg, kPageMotion, "comboBoxSoundPlayType");
        pSounds->setCurrentIndex(pSounds->findText(QStringLiteral("Welcome")));
        child<QSlider>(dlg, kPageMotion, "sliderVolume")->setValue(37);
        child<QComboBox>(dlg, kPageNormal, "comboBoxVideoStandard")->setCurrentIndex(1);
        save(pDlg);
    }));
    QVERIFY(pModify->isEnabled());

    // Cameras 1 (IPC-B), 2 (IPC-C) and 3 (IPC-B), in this order in the table: 1 refuses every write,
    // 2 takes them, 3 asks for a reboot after each one.
    const QByteArray baFailingNtp = emulator.record(1, 41, -1);
    QVERIFY(emulator.setFault(1, QJsonObject{{"FailWrites", true}}));
    QVERIFY(emulator.setFault(3, QJsonObject{{"RebootNeeded", true}}));
    QList<int> lstRows;
    for (int nCamera : {1, 2, 3})
        lstRows << guitest::rowOfCamera(window, emulator, nCamera);
    QVERIFY(lstRows[0] < lstRows[1] && lstRows[1] < lstRows[2]);
    for (int nRow : lstRows) {
        window.tableModel()->item(nRow, 0)->setCheckState(Qt::Checked);
        window.tableModel()->item(nRow, guitest::kStatusColumn)->setText(QString());
    }
    log.lst.clear();
    answerer.clear();
    QVERIFY(guitest::runBatch(window, "btnModifyCfg"));
    QCOMPARE(answerer.lstSeen, QStringList());
    const QStringList lstTexts{"Set Ntp Failed", "Modify Config Success", "Need Reboot"};
    for (int i = 0; i < 3; ++i)
        QCOMPARE(log.forRow(lstRows[i]), (QStringList{"Login Success", lstTexts[i]}));
    // The failed camera keeps its login; the rebooted one has lost its login and reboots once.
    QVERIFY(window.getDevInfo(lstRows[0])->lLoginID > 0);
    QCOMPARE(guitest::cameraValue(emulator, 1, "Sessions"), 1);
    QCOMPARE(emulator.record(1, 41, -1), baFailingNtp);
    QCOMPARE(window.getDevInfo(lstRows[2])->lLoginID, -1L);
    QTRY_COMPARE(guitest::cameraValue(emulator, 3, "Reboots"), 1);
    QCOMPARE(guitest::cameraValue(emulator, 2, "Reboots"), 0);

    // What cameras 2 and 3 hold now.
    for (int nCamera : {2, 3}) {
        for (const auto& [nCommand, nChannel, baRecord] : lstExpected)
            QVERIFY2(emulator.record(nCamera, nCommand, nChannel) == baRecord,
                     qPrintable(QStringLiteral("camera %1 command %2").arg(nCamera).arg(nCommand)));
        QCOMPARE(emulator.json(nCamera, "fVideo.Volume", 1042, -1).value("fVideo.Volume").toArray(),
                 (QJsonArray{QJsonObject{{"AudioMode", "Single"}, {"LeftVolume", 37}, {"RightVolume", 37}}}));
    }
}

QTEST_MAIN(TestGuiConfig)
#include "tst_gui_config.moc"
