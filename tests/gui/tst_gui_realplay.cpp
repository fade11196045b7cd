// The live preview window on its own against the emulator: a second device's stream replaces the
// first in the same window, closing only hides it, a refused stream shows its code, and the
// window's end stops the stream. Frames are seen through the device library's test hook (the
// offscreen platform has nothing to draw on).

#include <mutex>
#include <vector>

#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "media/CRealplayDlg.h"
#include "netsdk/netsdk.h"
#include "netsdk/netsdk_test.h"
#include "sdktesthelpers.h"

namespace {

std::mutex g_mutex;
std::vector<SDK_TEST_FRAME_INFO> g_frames;

void observer(const SDK_TEST_FRAME_INFO* info, void*)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_frames.push_back(*info);
}

/// Pictures of stream lHandle so far, and the size of the last one.
int picturesOf(long lHandle, int* pWidth = nullptr)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    int n = 0;
    for (const SDK_TEST_FRAME_INFO& f : g_frames) {
        if (f.lRealHandle == lHandle && !f.bEnded) {
            ++n;
            if (pWidth)
                *pWidth = f.nWidth;
        }
    }
    return n;
}

void setMainResolution(long lLoginID, int nResolution)
{
    QByteArray entry(396, '\0');
    unsigned long nGot = 0;
    QCOMPARE(sdkGetConfig(lLoginID, 19, 0, entry.data(), 396, &nGot, 3000), 1L);
    entry[4] = char(nResolution);
    QCOMPARE(sdkSetConfig(lLoginID, 19, 0, entry.data(), 396, 3000), 1L);
}

} // namespace

class TestGuiRealplay : public QObject
{
    Q_OBJECT

private slots:
    void previewLifecycle();
};

void TestGuiRealplay::previewLifecycle()
{
    sdkInit(nullptr, nullptr);
    sdkTestSetFrameObserver(observer, nullptr);
    EmulatorProcess emulator;
    QVERIFY2(emulator.start({"--count", "2"}), qPrintable(emulator.errorString()));
    QVERIFY(emulator.configureLibrary());
    int nError = 0;
    const long lFirst = loginTo(emulator.address(0), QString(), &nError);
    const long lSecond = loginTo(emulator.address(1), QString(), &nError);
    QVERIFY(lFirst > 0 && lSecond > 0);
    setMainResolution(lFirst, 3);  // CIF, 352 wide
    setMainResolution(lSecond, 4); // QCIF, 176 wide
    auto streams = [&](int nCamera) {
        return emulator.control({{"Cmd", "media"}, {"Index", nCamera}})["Streams"].toInt();
    };

    guitest::ModalAnswerer answerer(guitest::ModalAnswerer::LeaveOthers);
    auto pDlg = std::make_unique<CRealplayDlg>();
    QSignalSpy started(pDlg.get(), &CRealplayDlg::realPlayStarted);
    QCOMPARE(pDlg->realHandle(), -1L);
    QCOMPARE(pDlg->size(), QSize(720, 480));
    pDlg->startRealPlay(lFirst, 0, 0);
    pDlg->show();
    QTRY_COMPARE(started.count(), 1);
    const long lHandle1 = started.at(0).at(0).toLongLong();
    QVERIFY(lHandle1 > 0);
    QCOMPARE(pDlg->realHandle(), lHandle1);
    int nWidth = 0;
    QTRY_VERIFY(picturesOf(lHandle1, &nWidth) >= 3);
    QCOMPARE(nWidth, 352);

    // The second device replaces the first in the same window.
    pDlg->startRealPlay(lSecond, 0, 0);
    QTRY_COMPARE(started.count(), 2);
    const long lHandle2 = started.at(1).at(0).toLongLong();
    QVERIFY(lHandle2 > 0 && lHandle2 != lHandle1);
    QTRY_VERIFY(picturesOf(lHandle2, &nWidth) >= 3);
    QCOMPARE(nWidth, 176);
    QTRY_COMPARE(streams(0), 0);
    QCOMPARE(streams(1), 1);

    // Closing hides the window; the stream goes on.
    pDlg->close();
    QVERIFY(!pDlg->isVisible());
    const int nBefore = picturesOf(lHandle2);
    QTRY_VERIFY(picturesOf(lHandle2) > nBefore + 2);

    // A refused stream: the previous one stops, the box tells the library's code.
    pDlg->show();
    pDlg->startRealPlay(lSecond, 5, 0);
    QTRY_COMPARE(started.count(), 3);
    QCOMPARE(started.at(2).at(1).toLongLong(), qlonglong(SDK_ERR_NO_STREAM));
    QTRY_COMPARE(answerer.lstBoxes.size(), 1);
    QCOMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Start RealPlay Fail nRet = -11601")});
    QCOMPARE(pDlg->realHandle(), 0L);
    QTRY_COMPARE(streams(1), 0);

    // Playing again after the refusal; the window's end stops the stream.
    pDlg->startRealPlay(lFirst, 0, 0);
    QTRY_COMPARE(started.count(), 4);
    QVERIFY(started.at(3).at(0).toLongLong() > 0);
    QTRY_COMPARE(streams(0), 1);
    pDlg.reset();
    QTRY_COMPARE(streams(0), 0);

    sdkTestSetFrameObserver(nullptr, nullptr);
    sdkCleanup();
    QVERIFY(emulator.stop());
}

QTEST_MAIN(TestGuiRealplay)
#include "tst_gui_realplay.moc"
