// The encode page against the emulator (cameras 0 IPC-A, 1 IPC-B, 2 IPC-C, 3 NVR-8, 4 HVR-4, 5 IPC-D,
// 6 IPC-A, 7 IPC-B): what each model offers, the lists that follow a change, smart encoding's locks, a
// failed read, and the record written to cameras on either firmware path.

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QStandardItem>
#include <QtTest>

#include <memory>

#include <netsdk/netsdk.h>

#include "batch/CConfigApplier.h"
#include "config/CEncodeConfig.h"
#include "config/COtherConfigDlg.h"
#include "config/ConfigRecords.h"
#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "sdktesthelpers.h"

namespace {

namespace R = EncodeRecord;

template <class T = QComboBox> T* enc(COtherConfigDlg& dlg, const char* szName)
{
    T* pWidget = dlg.page(kPageEncode)->findChild<T*>(QLatin1String(szName));
    if (!pWidget)
        qFatal("the encode page has no %s", szName);
    return pWidget;
}

QStringList texts(const QComboBox* pBox)
{
    QStringList lst;
    for (int i = 0; i < pBox->count(); ++i)
        lst << pBox->itemText(i);
    return lst;
}

/// The box's items, or nothing when the box is hidden.
QStringList shown(const QComboBox* pBox)
{
    return pBox->isHidden() ? QStringList() : texts(pBox);
}

/// "resolution/fps/bit rate" as a stream's boxes show them.
QString selected(COtherConfigDlg& dlg, const QString& strStream)
{
    auto text = [&](const char* szBox) { return enc(dlg, qPrintable(szBox + strStream))->currentText(); };
    return text("comboBoxResolution") + "/" + text("comboBoxFPS") + "/" + text("comboBoxBitRate");
}

/// What a stream offers and shows: "compressions resolutions frame-rates lowest-highest-bit-rate
/// selected", e.g. "H.264 D1,CIF,1080P 25 1024-8192 1080P/25/4096".
QString offered(COtherConfigDlg& dlg, const QString& strStream)
{
    auto list = [&](const char* szBox) { return texts(enc(dlg, qPrintable(szBox + strStream))); };
    const QStringList lstRates = list("comboBoxBitRate");
    return QStringList{list("comboBoxCompression").join(','), list("comboBoxResolution").join(','),
                       QString::number(list("comboBoxFPS").size()),
                       lstRates.value(0) + '-' + lstRates.value(lstRates.size() - 1), selected(dlg, strStream)}
        .join(' ');
}

/// A click on a check box's indicator.
void tick(QAbstractButton* pButton)
{
    QTest::mouseClick(pButton, Qt::LeftButton, {}, QPoint(6, pButton->height() / 2));
}

bool choose(QComboBox* pBox, const QString& strText)
{
    const int nIndex = pBox->findText(strText);
    pBox->setCurrentIndex(nIndex);
    return nIndex >= 0;
}

QByteArray encodeRecord(COtherConfigDlg& dlg)
{
    QByteArray ba(R::kSize, '\0');
    return dlg.getConfigByType(kPageEncode, ba.data(), int(ba.size())) ? ba : QByteArray();
}

} // namespace

class TestGuiEncode : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void offersWhatEachModelAllows_data();
    void offersWhatEachModelAllows();
    void changesRefitTheListsThatDependOnThem();
    void smartEncodingLocksItsBoxes();
    void failedReadDisablesThePage();
    void applyWritesTheChosenFormat();

private:
    std::unique_ptr<COtherConfigDlg> openedOn(int nCamera);
    QString apply(int nCamera, const CConfigSnapshot& snapshot);

    EmulatorProcess emulator;
};

void TestGuiEncode::initTestCase()
{
    QVERIFY(guitest::startEmulator(emulator,
                                   {"--count", "8", "--models", "IPC-A,IPC-B,IPC-C,NVR-8,HVR-4,IPC-D,IPC-A,IPC-B"}));
    sdkInit(nullptr, nullptr);
    QVERIFY(emulator.configureLibrary());
}

void TestGuiEncode::cleanupTestCase()
{
    sdkCleanup();
    QVERIFY(guitest::stopEmulator(emulator));
}

void TestGuiEncode::init()
{
    QVERIFY(emulator.setFault(-1, QJsonObject{{"FailRead", 0}, {"FailWrite", 0}}));
}

std::unique_ptr<COtherConfigDlg> TestGuiEncode::openedOn(int nCamera)
{
    auto pDlg = std::make_unique<COtherConfigDlg>();
    int nError = 0;
    const long lLogin = loginTo(emulator.address(nCamera), QString(), &nError);
    QSignalSpy spyLoaded(pDlg.get(), &COtherConfigDlg::configLoaded);
    pDlg->loadAllConfig(lLogin);
    const bool bLoaded = spyLoaded.wait(10000);
    sdkLogout(lLogin);
    if (lLogin <= 0 || !bLoaded) {
        qWarning("opening camera %d: login %ld, loaded %d", nCamera, lLogin, bLoaded);
        return nullptr;
    }
    return pDlg;
}

QString TestGuiEncode::apply(int nCamera, const CConfigSnapshot& snapshot)
{
    SDK_DEVICE_INFO info{};
    int nError = 0;
    const long lLogin = loginTo(emulator.address(nCamera), QString(), &nError, &info);
    const CConfigApplier::Result result = CConfigApplier::apply(lLogin, info.version, snapshot);
    if (result.bLoggedIn)
        sdkLogout(lLogin);
    return result.strStatus;
}

void TestGuiEncode::offersWhatEachModelAllows_data()
{
    QTest::addColumn<int>("nCamera");
    QTest::addColumn<QString>("strMain"); // offered(), see above
    QTest::addColumn<QString>("strExtra");
    QTest::addColumn<QString>("strExtras"); // smart encoding main|extra, profiles; hidden boxes offer nothing
    QTest::addColumn<bool>("bUnchanged");   // the unedited page hands back the camera's encode entries

    // Set 2 on PAL, 56 million pixels per second: 1080P at 25 leaves room for CIF at 25 beside it.
    QTest::newRow("IPC-A") << 0 << "H.264 D1,CIF,720P,960P,1080P 25 1024-8192 1080P/25/4096"
                           << "MJPG,H.264 D1,CIF,QVGA 25 48-768 CIF/25/288"
                           << "||" << true;
    // Set 3; its D1 extra stream counts against the main one: 3M would run at 22 (see below).
    QTest::newRow("IPC-B") << 1 << "H.264,H.265 D1,720P,960P,1080P,3M 25 1024-8192 1080P/25/4096"
                           << "H.264,H.265 D1,CIF,QVGA 25 512-2560 D1/25/1024"
                           << "Close,H264+||baseline,main profile,high profile" << false;
    // NTSC, code 7 named "H.265X", H.265 main stream on set 4; the 4M main stream leaves the extra one
    // 13.4 million pixels per second.
    QTest::newRow("IPC-C") << 2 << "H.265X,H.265 D1,720P,1080P,3M,4M 30 998-6656 4M/30/5324"
                           << "H.265X D1,CIF,QVGA,720P 30 512-2560 D1/30/1024"
                           << "Close,H265+,H265AI|Close,H265+,H265AI|high profile" << true;
    // A recorder: channel 0 is its first digital channel, with that channel's abilities.
    QTest::newRow("NVR-8") << 3 << "H.264,H.265 D1,720P,1080P 25 1024-8192 1080P/25/4096"
                           << "H.264,H.265 D1,CIF,QVGA 25 512-2560 D1/25/1024"
                           << "Close,H264+||" << false;
    // Four channels share the power: 25.97 million each, 23.4 million beside the CIF extra stream.
    QTest::newRow("HVR-4") << 4 << "H.264 D1,CIF,960H,720P,1080N 25 1024-4096 720P/25/2560"
                           << "H.264 CIF,QCIF 25 64-1024 CIF/25/192"
                           << "||" << true;
    // H.265 on both streams (set 4), smart encoding per stream, a 5M main stream at 20 frames.
    QTest::newRow("IPC-D") << 5 << "H.264,H.265 720P,1080P,5M,4M,4K 25 1105-5527 5M/20/3316"
                           << "H.264,H.265 D1,CIF,QVGA,720P 25 332-1664 D1/25/665"
                           << "Close,H265+,H265++|Close,H265+,H265++|main profile,high profile" << false;
}

void TestGuiEncode::offersWhatEachModelAllows()
{
    QFETCH(int, nCamera);
    QFETCH(QString, strMain);
    QFETCH(QString, strExtra);
    QFETCH(QString, strExtras);
    QFETCH(bool, bUnchanged);
    auto pDlg = openedOn(nCamera);
    QVERIFY(pDlg);
    COtherConfigDlg& dlg = *pDlg;
    QCOMPARE(offered(dlg, "Main"), strMain);
    QCOMPARE(offered(dlg, "Extra"), strExtra);
    const QString strProfiles = shown(enc(dlg, "comboBoxStaticEncodeMain")).join(',');
    QCOMPARE(shown(enc(dlg, "comboBoxSmartH264V2Main")).join(',') + '|' +
                 shown(enc(dlg, "comboBoxSmartH264V2Extra")).join(',') + '|' + strProfiles,
             strExtras);
    QCOMPARE(enc<QLabel>(dlg, "labelSmartH264Enable")->isHidden(), strExtras.startsWith("||"));
    QCOMPARE(enc<QLabel>(dlg, "labelStaticEncode")->isHidden(), strProfiles.isEmpty());
    QVERIFY(!enc<QAbstractButton>(dlg, "checkBoxVideoMain")->isEnabled());
    const QByteArray baRecord = encodeRecord(dlg);
    QCOMPARE(baRecord.size(), R::kSize);
    if (bUnchanged)
        QCOMPARE(baRecord.mid(R::kEntries, R::kEntriesSize), emulator.record(nCamera, 19, -1));
}

void TestGuiEncode::changesRefitTheListsThatDependOnThem()
{
    // IPC-C, NTSC: a 720P extra stream has what the 4M main stream at 30 leaves, 14 frames; its
    // bit rates are set 1's for 14 frames, its own the quality's.
    auto pDlg = openedOn(2);
    QVERIFY(pDlg);
    COtherConfigDlg& dlg = *pDlg;
    QVERIFY(choose(enc(dlg, "comboBoxResolutionExtra"), "720P"));
    QCOMPARE(offered(dlg, "Extra"), QStringLiteral("H.265X D1,CIF,QVGA,720P 14 549-2196 720P/14/1098"));
    // A 720P main stream allows no 720P extra stream: it becomes D1 (the first offered), keeps its 14
    // frames of now 30, and its bit rates are D1's at 14 frames.
    QVERIFY(choose(enc(dlg, "comboBoxResolutionMain"), "720P"));
    QCOMPARE(offered(dlg, "Extra"), QStringLiteral("H.265X D1,CIF,QVGA 30 274-1372 D1/14/549"));
    QCOMPARE(offered(dlg, "Main"), QStringLiteral("H.265X,H.265 D1,720P,1080P,3M,4M 30 665-2662 720P/30/1996"));

    // IPC-B: 3M beside the D1 extra stream runs at 22 frames at most; the frame rate goes down with it,
    // and the variable bit rate (smart encoding is on) is the quality's at 22 frames.
    auto pB = openedOn(1);
    QVERIFY(pB);
    QVERIFY(choose(enc(*pB, "comboBoxResolutionMain"), "3M"));
    QCOMPARE(enc(*pB, "comboBoxFPSMain")->count(), 22);
    QCOMPARE(selected(*pB, "Main"), QStringLiteral("3M/22/5519"));

    // IPC-D: the main compression decides both streams' tables: H.264 set 1, H.265 set 4.
    auto pD = openedOn(5);
    QVERIFY(pD);
    QVERIFY(choose(enc(*pD, "comboBoxCompressionMain"), "H.264"));
    QCOMPARE(texts(enc(*pD, "comboBoxBitRateMain")), (QStringList{"1700", "2551", "3401", "5102", "6803", "8504"}));
    QCOMPARE(texts(enc(*pD, "comboBoxBitRateExtra")), (QStringList{"512", "768", "1024", "1536", "2048", "2560"}));
    QCOMPARE(texts(enc(*pD, "comboBoxSmartH264V2Main")), (QStringList{"Close", "H264+", "H265x"}));
    QVERIFY(choose(enc(*pD, "comboBoxCompressionMain"), "H.265"));
    QCOMPARE(texts(enc(*pD, "comboBoxBitRateMain")), (QStringList{"1105", "1657", "2210", "3316", "4421", "5527"}));
    QCOMPARE(texts(enc(*pD, "comboBoxBitRateExtra")), (QStringList{"332", "499", "665", "998", "1331", "1664"}));
    QCOMPARE(enc(*pD, "comboBoxSmartH264V2Main")->currentText(), QStringLiteral("H265+"));
}

void TestGuiEncode::smartEncodingLocksItsBoxes()
{
    // The boxes smart encoding locks, of "IFrameInter StreamCtrl BitRate", as "ISB" (a dot: usable).
    auto locked = [](COtherConfigDlg& dlg, const QString& strStream) {
        QString str;
        for (const char* szBox : {"comboBoxIFrameInter", "comboBoxStreamCtrl", "comboBoxBitRate"})
            str += enc(dlg, qPrintable(szBox + strStream))->isEnabled() ? '.' : szBox[8];
        return str;
    };
    // IPC-B: one smart setting for the channel, on: both streams are locked at interval 2, "VBR".
    auto pB = openedOn(1);
    QVERIFY(pB);
    COtherConfigDlg& dlg = *pB;
    QCOMPARE(locked(dlg, "Main") + locked(dlg, "Extra"), QStringLiteral("ISBISB"));
    QCOMPARE(enc(dlg, "comboBoxIFrameInterExtra")->currentText(), QStringLiteral("2"));
    QCOMPARE(enc(dlg, "comboBoxStreamCtrlExtra")->currentText(), QStringLiteral("VBR"));
    QVERIFY(choose(enc(dlg, "comboBoxSmartH264V2Main"), "Close"));
    // "VBR" keeps the bit rate the quality's.
    QCOMPARE(locked(dlg, "Main") + locked(dlg, "Extra"), QStringLiteral("..B..B"));
    QVERIFY(choose(enc(dlg, "comboBoxStreamCtrlMain"), "CBR"));
    QCOMPARE(locked(dlg, "Main"), QStringLiteral("..."));
    QVERIFY(!enc(dlg, "comboBoxQualityMain")->isEnabled());
    QCOMPARE(recordFlag(encodeRecord(dlg), R::kSmartSwitches), false);

    // IPC-D: per stream; the main stream's is on, the extra stream's off until chosen.
    auto pD = openedOn(5);
    QVERIFY(pD);
    QCOMPARE(locked(*pD, "Main") + locked(*pD, "Extra"), QStringLiteral("ISB..."));
    QVERIFY(choose(enc(*pD, "comboBoxSmartH264V2Extra"), "H265++"));
    QCOMPARE(locked(*pD, "Extra"), QStringLiteral("ISB"));
    // The profile goes back with its own number, whichever profiles the list offers.
    QVERIFY(choose(enc(*pD, "comboBoxStaticEncodeMain"), "high profile"));
    const QByteArray baRecord = encodeRecord(*pD);
    QCOMPARE(baRecord.mid(R::kSmartStreams, 12), QByteArray::fromHex("010000000000000001000000"));
    QCOMPARE(baRecord.mid(R::kProfiles, 8), QByteArray::fromHex("0300000028000000"));

    // The bit-rate box: the first value not below the stream's, the last one above them all (a box
    // with nothing chosen would write no bit rate); a list ends at its first 0.
    auto* pPage = static_cast<CEncodeConfig*>(pD->page(kPageEncode));
    QComboBox box;
    const int anRates[6] = {512, 768, 1024, 0, 2048, 2560};
    for (const auto& [nValue, strChosen] : {std::pair<int, const char*>{900, "1024"}, {5000, "1024"}}) {
        pPage->addBitRateComb(&box, anRates, nValue);
        QCOMPARE(box.currentText(), QLatin1String(strChosen));
        QCOMPARE(box.count(), 3);
    }
}

void TestGuiEncode::failedReadDisablesThePage()
{
    // IPC-B sits exactly at V2.62.R07: it is read through the simplified entries, the way it is
    // written, so a camera that cannot read its per-channel entries opens all the same.
    QVERIFY(emulator.setFault(1, QJsonObject{{"FailRead", 19}}));
    auto pB = openedOn(1);
    QVERIFY(pB);
    QVERIFY(enc(*pB, "comboBoxResolutionMain")->isEnabled());
    QCOMPARE(encodeRecord(*pB).size(), R::kSize);

    // Without its stream formats the page shows nothing editable, unticks itself and hands out nothing.
    QVERIFY(emulator.setFault(1, QJsonObject{{"FailRead", 68}}));
    QVERIFY(emulator.setFault(0, QJsonObject{{"FailRead", 19}}));
    for (int nCamera : {0, 1}) {
        COtherConfigDlg dlg;
        int nError = 0;
        const long lLogin = loginTo(emulator.address(nCamera), QString(), &nError);
        dlg.onConfigCheckStateChanged(kPageEncode, true);
        dlg.treeCheckChanged(kPageEncode, true);
        dlg.initAllConfig(lLogin);
        sdkLogout(lLogin);
        for (QWidget* pChild : dlg.page(kPageEncode)->findChildren<QWidget*>())
            QVERIFY2(!pChild->isEnabled(), qPrintable(pChild->objectName()));
        QCOMPARE(dlg.findItemByType(kPageEncode)->checkState(), Qt::Unchecked);
        QVERIFY(!dlg.takeConfigSnapshot().contains(kPageEncode));
    }
}

void TestGuiEncode::applyWritesTheChosenFormat()
{
    // New firmware (IPC-B): 3M at 20 frames, constant 2551, no smart encoding, high profile, audio on
    // the extra stream; written as simplified entries only.
    auto pB = openedOn(1);
    QVERIFY(pB);
    COtherConfigDlg& dlg = *pB;
    for (const auto& [szBox, szText] : {std::pair<const char*, const char*>{"comboBoxSmartH264V2Main", "Close"},
                                        {"comboBoxStreamCtrlMain", "CBR"},
                                        {"comboBoxResolutionMain", "3M"},
                                        {"comboBoxFPSMain", "20"},
                                        {"comboBoxBitRateMain", "2551"},
                                        {"comboBoxStaticEncodeMain", "high profile"}})
        QVERIFY2(choose(enc(dlg, szBox), szText), szBox);
    tick(enc<QAbstractButton>(dlg, "checkBoxAudioExtra"));
    tick(enc<QAbstractButton>(dlg, "checkBoxSetEnable"));
    const CConfigSnapshot snapshot = dlg.takeConfigSnapshot();
    QCOMPARE(snapshot.keys(), QList<int>{kPageEncode});
    const QByteArray baEntries = emulator.record(7, 19, -1);
    const QByteArray baProfiles = emulator.record(7, 117, -1);
    const QByteArray baSmart = emulator.record(7, 249, -1);
    QVERIFY(emulator.setFault(7, QJsonObject{{"FailWrite", 68}}));
    QCOMPARE(apply(7, snapshot), QStringLiteral("Set Encode Failed"));
    QVERIFY(emulator.setFault(7, QJsonObject{{"FailWrite", 19}}));
    QCOMPARE(apply(7, snapshot), QStringLiteral("Modify Config Success"));
    // The camera holds the chosen format; every other byte is as it was.
    QByteArray baExpected = baEntries;
    const QByteArray& baSent = snapshot[kPageEncode];
    baExpected.replace(0, 44, baSent.mid(R::kEntries, 44)).replace(132, 44, baSent.mid(R::kEntries + 132, 44));
    QCOMPARE(emulator.record(7, 19, -1), baExpected);
    QCOMPARE(baExpected.mid(0, 28).toHex(), QByteArray("0700000011000000000000000400000014000000f709000002000000"));
    QCOMPARE(baExpected.at(132 + 41), '\1');
    QCOMPARE(emulator.record(7, 117, -1), QByteArray::fromHex("0300000028000000") + baProfiles.mid(8));
    QCOMPARE(emulator.record(7, 249, -1), QByteArray(1, '\0') + baSmart.mid(1));

    // Old firmware (IPC-A): per-channel entries, whole, and nothing else.
    auto pA = openedOn(0);
    QVERIFY(pA);
    QVERIFY(choose(enc(*pA, "comboBoxResolutionMain"), "720P"));
    QVERIFY(choose(enc(*pA, "comboBoxCompressionExtra"), "MJPG"));
    pA->onConfigCheckStateChanged(kPageEncode, true);
    pA->treeCheckChanged(kPageEncode, true);
    const CConfigSnapshot old = pA->takeConfigSnapshot();
    const QByteArray baOldEntries = emulator.record(6, 19, -1);
    QVERIFY(emulator.setFault(6, QJsonObject{{"FailWrite", 19}}));
    QCOMPARE(apply(6, old), QStringLiteral("Set Encode Failed"));
    QVERIFY(emulator.setFault(6, QJsonObject{{"FailWrite", 68}}));
    QCOMPARE(apply(6, old), QStringLiteral("Modify Config Success"));
    QCOMPARE(emulator.record(6, 19, -1), old[kPageEncode].mid(R::kEntries, 396) + baOldEntries.mid(396));
    QCOMPARE(intAt(emulator.record(6, 19, 0), 4), 11);
    QCOMPARE(intAt(emulator.record(6, 19, 0), 132), 5);

    // Four channels sharing power take channel 0's format; a recorder's first digital channel its
    // stream table entry.
    for (int nCamera : {4, 3}) {
        auto pDlg = openedOn(nCamera);
        QVERIFY(pDlg);
        QVERIFY(choose(enc(*pDlg, "comboBoxResolutionMain"), nCamera == 4 ? "1080N" : "720P"));
        pDlg->onConfigCheckStateChanged(kPageEncode, true);
        pDlg->treeCheckChanged(kPageEncode, true);
        QCOMPARE(apply(nCamera, pDlg->takeConfigSnapshot()), QStringLiteral("Modify Config Success"));
    }
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(intAt(emulator.record(4, 19, c), 4), 19);
        QCOMPARE(intAt(emulator.record(4, 19, c), 16), 22);
    }
    QCOMPARE(intAt(emulator.record(3, 172, 0), 4), 11);
}

QTEST_MAIN(TestGuiEncode)
#include "tst_gui_encode.moc"
