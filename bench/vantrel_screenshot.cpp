// vantrel-screenshot: takes the picture of the main window that the README shows. Starts the
// program the way main() does (font, translation, Config.ini beside the executable), presses
// Search, waits until the search pass has ended and the table holds at least the expected rows,
// and saves the window as a PNG. Exits non-zero when the table stays short or saving fails.
//
//   vantrel-screenshot --out docs/screenshot.png [--rows 10] [--wait 1500]

#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTranslator>
#include <QtTest/QTest>

#include "app/CAppStartup.h"
#include "device/CSearchDeviceThread.h"
#include "mainwindow/CVantrel.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Saves a picture of the main window after one search"));
    parser.addHelpOption();
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("PNG file to write"), QStringLiteral("file"));
    const QCommandLineOption rows(QStringLiteral("rows"), QStringLiteral("rows the table must hold (1)"),
                                  QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption wait(QStringLiteral("wait"), QStringLiteral("search wait in ms (1500)"),
                                  QStringLiteral("ms"), QStringLiteral("1500"));
    parser.addOptions({out, rows, wait});
    parser.process(app);
    bool bRowsOk = false;
    bool bWaitOk = false;
    const int nRows = parser.value(rows).toInt(&bRowsOk);
    const int nWaitMs = parser.value(wait).toInt(&bWaitOk);
    if (!parser.isSet(out) || !bRowsOk || !bWaitOk || nRows < 0 || nWaitMs < 100 || nWaitMs > 60000) {
        std::fprintf(stderr, "vantrel-screenshot: --out FILE required; --rows >= 0, --wait 100..60000\n");
        return 2;
    }

    CAppTranslators translators;
    prepareApplication(app, translators);
    CVantrel window;
    window.setSearchTime(nWaitMs);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 10000)) {
        std::fprintf(stderr, "vantrel-screenshot: the window was not shown\n");
        return 1;
    }

    QSignalSpy spyStop(window.searchThread(), &CSearchDeviceThread::stop);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("SearchButton")), Qt::LeftButton);
    if (!spyStop.wait(nWaitMs + 10000)) {
        std::fprintf(stderr, "vantrel-screenshot: the search did not end\n");
        return 1;
    }
    // The results are queued ahead of the end of the pass: let them arrive. grab() paints by itself.
    QCoreApplication::processEvents();
    const int nFound = window.tableModel()->rowCount();
    std::printf("vantrel-screenshot: %d rows\n", nFound);
    if (nFound < nRows) {
        std::fprintf(stderr, "vantrel-screenshot: expected at least %d rows\n", nRows);
        return 1;
    }
    const QString strOut = parser.value(out);
    if (!window.grab().save(strOut, "PNG")) {
        std::fprintf(stderr, "vantrel-screenshot: cannot write %s\n", qPrintable(strOut));
        return 1;
    }
    std::printf("vantrel-screenshot: wrote %s\n", qPrintable(strOut));
    return 0;
}
