// The live preview window of one emulated camera on a real X display, for the screenshot test:
// starts the emulator, plays its camera in CRealplayDlg and, once the library has drawn a few
// pictures, prints where on the screen the test picture's colour area and text block are:
//
//   ready colour=<x>,<y>,<w>,<h> text=<x>,<y>,<w>,<h>
//
// It runs until its standard input closes, then ends the stream and the emulator.

#include <atomic>
#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include "emulatorprocess.h"
#include "media/CRealplayDlg.h"
#include "netsdk/netsdk.h"
#include "netsdk/netsdk_test.h"
#include "sdktesthelpers.h"
#include "testpicture.h"

namespace {

std::atomic<int> g_drawn{0};

void observer(const SDK_TEST_FRAME_INFO* info, void*)
{
    if (info->bDrawn)
        ++g_drawn;
}

QString rectText(const QRect& r)
{
    return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

/// The part of the area at fractions [x0, x1) x [y0, y1), shrunk by a fifth on each side so that
/// scaling and compression at its edges do not count.
QRect inner(const QRect& area, double x0, double y0, double x1, double y1, bool shrink)
{
    const double dx = shrink ? (x1 - x0) / 5 : 0, dy = shrink ? (y1 - y0) / 5 : 0;
    return QRect(area.x() + int(area.width() * (x0 + dx)), area.y() + int(area.height() * (y0 + dy)),
                 int(area.width() * (x1 - x0 - 2 * dx)), int(area.height() * (y1 - y0 - 2 * dy)));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    sdkInit(nullptr, nullptr);
    sdkTestSetFrameObserver(observer, nullptr);
    EmulatorProcess emulator;
    if (!emulator.start({"--count", "1"}) || !emulator.configureLibrary()) {
        std::fprintf(stderr, "previewwindow: %s\n", qPrintable(emulator.errorString()));
        return 1;
    }
    int nError = 0;
    const long lLoginID = loginTo(emulator.address(0), QString(), &nError);
    if (lLoginID <= 0) {
        std::fprintf(stderr, "previewwindow: login failed (%d)\n", nError);
        return 1;
    }
    // D1 at 25 frames a second keeps the emulator's encoder light.
    QByteArray entry(396, '\0');
    unsigned long nGot = 0;
    sdkGetConfig(lLoginID, 19, 0, entry.data(), 396, &nGot, 3000);
    entry[4] = 0;
    sdkSetConfig(lLoginID, 19, 0, entry.data(), 396, 3000);

    int nResult = 0;
    {
        CRealplayDlg dlg;
        dlg.move(40, 40);
        dlg.show();
        dlg.startRealPlay(lLoginID, 0, 0);

        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (g_drawn.load() < 10)
                return;
            poll.stop();
            QWidget* pArea = dlg.videoArea();
            const QRect area(pArea->mapToGlobal(QPoint(0, 0)), pArea->size());
            using P = camsim::TestPicture;
            const QRect colour = inner(area, P::kColourLeft, P::kColourTop, P::kColourRight, P::kColourBottom, true);
            const QRect text = inner(area, 0, 0, P::kTextRight, P::kTextBottom, false);
            std::printf("ready colour=%s text=%s\n", qPrintable(rectText(colour)), qPrintable(rectText(text)));
            std::fflush(stdout);
        });
        poll.start(20);
        QTimer::singleShot(20000, &app, [&] {
            if (g_drawn.load() < 10) {
                std::fprintf(stderr, "previewwindow: nothing drawn (%d pictures)\n", g_drawn.load());
                nResult = 1;
                app.quit();
            }
        });
        QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&input, &QSocketNotifier::activated, [&] {
            char buffer[64];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                app.quit();
        });
        app.exec();
    }
    sdkTestSetFrameObserver(nullptr, nullptr);
    sdkCleanup();
    emulator.stop();
    return nResult;
}
