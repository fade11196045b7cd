// The live preview from the device table against the emulator: a double-click logs the row in and
// plays its camera's stream (the extra stream, or the main one with MainStream checked) at the size
// of the camera's encode record; another camera's stream replaces the first in the same window; a
// closed window shows again with the new stream; a refused stream shows its code; the preview keeps
// no program alive and its stream ends with the main window. Frames are seen through the device
// library's test hook (the offscreen platform has nothing to draw on). How a stream follows the
// record and ends when its camera dies is tst_media's.

#include <mutex>
#include <vector>

#include <QCheckBox>
#include <QApplication>
#include <QJsonObject>
#include <QtTest>

#include "emulatorprocess.h"
#include "guitestsupport.h"
#include "mainwindow/CVantrel.h"
#include "media/CRealplayDlg.h"
#include "netsdk/netsdk.h"
#include "netsdk/netsdk_test.h"

namespace {

constexpr int kEncodeCommand = 19;
constexpr int kEntrySize = 396;
constexpr int kStreamBlock = 132;

std::mutex g_mutex;
std::vector<SDK_TEST_FRAME_INFO> g_frames;

void observer(const SDK_TEST_FRAME_INFO* pInfo, void*)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_frames.push_back(*pInfo);
}

struct StreamSeen
{
    int nPictures = 0;
    QSize size; ///< of the last picture
};

StreamSeen seen(long lHandle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    StreamSeen s;
    for (const SDK_TEST_FRAME_INFO& f : g_frames) {
        if (f.lRealHandle == lHandle && !f.bEnded) {
            ++s.nPictures;
            s.size = QSize(f.nWidth, f.nHeight);
        }
    }
    return s;
}

/// Writes stream nStream's resolution code and video switch into channel 0's encode entry.
void setEncode(long lLoginID, int nStream, int nResolution, bool bVideo = true)
{
    QByteArray baEntry(kEntrySize, '\0');
    unsigned long nGot = 0;
    QCOMPARE(sdkGetConfig(lLoginID, kEncodeCommand, 0, baEntry.data(), kEntrySize, &nGot, 3000), 1L);
    baEntry[nStream * kStreamBlock + 4] = char(nResolution);
    baEntry[nStream * kStreamBlock + 40] = bVideo ? 1 : 0;
    QCOMPARE(sdkSetConfig(lLoginID, kEncodeCommand, 0, baEntry.data(), kEntrySize, 3000), 1L);
}

} // namespace

class TestGuiRealplay : public QObject
{
    Q_OBJECT

private slots:
    void previewFromTheTable();

private:
    /// Double-clicks row nRow and waits for the preview's next stream to show three pictures.
    void playRow(CVantrel& window, int nRow, long* pHandle, QSize* pSize);
};

void TestGuiRealplay::playRow(CVantrel& window, int nRow, long* pHandle, QSize* pSize)
{
    // Handles only grow: the next stream's is above any earlier one.
    const long lBefore = window.realplayDlg() ? window.realplayDlg()->realHandle() : 0;
    guitest::doubleClickRow(window, nRow);
    QTRY_VERIFY(window.realplayDlg() && window.realplayDlg()->realHandle() > lBefore);
    QVERIFY(window.realplayDlg()->isVisible());
    *pHandle = window.realplayDlg()->realHandle();
    QTRY_VERIFY(seen(*pHandle).nPictures >= 3);
    *pSize = seen(*pHandle).size;
}

void TestGuiRealplay::previewFromTheTable()
{
    sdkTestSetFrameObserver(observer, nullptr);
    EmulatorProcess emulator;
    QVERIFY(guitest::startEmulator(emulator, {"--count", "2", "--models", "IPC-A"}));
    auto pWindow = guitest::searchedWindow(emulator.cameraCount());
    QVERIFY(pWindow);
    guitest::ModalAnswerer answerer(guitest::ModalAnswerer::LeaveOthers);
    const int nRowA = guitest::rowOfCamera(*pWindow, emulator, 0);
    const int nRowB = guitest::rowOfCamera(*pWindow, emulator, 1);
    auto streams = [&](int nCamera) {
        return emulator.control({{"Cmd", "media"}, {"Index", nCamera}})["Streams"].toInt();
    };
    auto login = [&](int nRow) { return pWindow->getDevInfo(nRow)->lLoginID; };

    // MainStream unchecked: the extra stream, at CIF in camera A's record.
    long lHandle = 0;
    QSize size;
    playRow(*pWindow, nRowA, &lHandle, &size);
    QCOMPARE(guitest::cell(*pWindow, nRowA, guitest::kStatusColumn), QStringLiteral("Login Success"));
    QCOMPARE(size, QSize(352, 288));
    CRealplayDlg* pDlg = pWindow->realplayDlg();
    QVERIFY(!pDlg->parent() && !pDlg->isModal());

    // Camera B replaces A in the same window.
    playRow(*pWindow, nRowB, &lHandle, &size);
    QCOMPARE(size, QSize(352, 288));
    QCOMPARE(pWindow->realplayDlg(), pDlg);
    QTRY_COMPARE(streams(0), 0);
    QCOMPARE(streams(1), 1);

    // Closing only hides the window; the next double-click shows it with the new stream.
    pDlg->close();
    QVERIFY(!pDlg->isVisible());
    playRow(*pWindow, nRowA, &lHandle, &size);
    QCOMPARE(size, QSize(352, 288));
    QTRY_COMPARE(streams(1), 0);

    // A's extra stream switched off: refused, with the library's code; the stream before it stops.
    setEncode(login(nRowA), 1, 4, false);
    guitest::doubleClickRow(*pWindow, nRowA);
    QTRY_COMPARE(answerer.lstSeen, QStringList{QStringLiteral("Prompt|Start RealPlay Fail nRet = -11601")});
    QCOMPARE(pDlg->realHandle(), 0L);
    QTRY_COMPARE(streams(0), 0);

    // MainStream checked: B's main stream at its record's QVGA.
    setEncode(login(nRowB), 0, 6);
    pWindow->findChild<QCheckBox*>(QStringLiteral("checkBoxMainStream"))->setChecked(true);
    playRow(*pWindow, nRowB, &lHandle, &size);
    QCOMPARE(size, QSize(320, 240));

    // Closing the main window ends the program's event loop even with the preview open (a preview
    // that kept it running would meet the fallback's quit), and the window's end stops the stream.
    QTimer fallback;
    fallback.setSingleShot(true);
    connect(&fallback, &QTimer::timeout, qApp, &QCoreApplication::quit);
    fallback.start(5000);
    QTimer::singleShot(0, pWindow.get(), [&pWindow] { pWindow->close(); });
    QApplication::exec();
    QVERIFY(fallback.isActive());
    fallback.stop();
    pWindow.reset();
    QTRY_COMPARE(streams(1), 0);
    sdkTestSetFrameObserver(nullptr, nullptr);
    QVERIFY(guitest::stopEmulator(emulator));
}

QTEST_MAIN(TestGuiRealplay)
#include "tst_gui_realplay.moc"
