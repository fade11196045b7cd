#pragma once

#include <QCoreApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QString>
#include <QtTest/QTest>

#include "benchsupport.h"
#include "mainwindow/CVantrel.h"

// For the benchmarks that drive the real window (they link the program and Qt Test).
namespace bench {

/// What one batch through the window took.
struct WindowBatch
{
    double dWallMs = 0;     ///< from the press until the window is idle again
    double dMaxStallMs = 0; ///< the longest event-loop stall meanwhile
    double dStallEndMs = 0; ///< when that stall ended, from the press
    int nSuccess = 0;       ///< rows whose status reads the success text
};

/// Checks the first nRows rows, presses szButton and waits (at most nWaitMs) until the window is
/// idle again.
inline WindowBatch runWindowBatch(CVantrel& window, int nRows, const char* szButton, int nWaitMs,
                                  const QString& strSuccess)
{
    WindowBatch batch;
    QStandardItemModel* pModel = window.tableModel();
    for (int nRow = 0; nRow < nRows; ++nRow)
        pModel->item(nRow, 0)->setCheckState(Qt::Checked);
    StallMeter stalls;
    QSignalSpy spyEnd(&window, &CVantrel::releaseCursor);
    stalls.start();
    const Clock::time_point start = Clock::now();
    QTest::mouseClick(window.findChild<QPushButton*>(QLatin1String(szButton)), Qt::LeftButton);
    // releaseCursor is queued as the worker's last step but one; the idle flag follows it.
    spyEnd.wait(nWaitMs);
    while (!window.isIdle())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    batch.dWallMs = msBetween(start, Clock::now());
    stalls.stop();
    batch.dMaxStallMs = stalls.maxGapMs();
    batch.dStallEndMs = msBetween(start, stalls.maxGapEnd());
    QCoreApplication::processEvents();
    for (int nRow = 0; nRow < nRows; ++nRow)
        batch.nSuccess += pModel->index(nRow, 3).data().toString() == strSuccess ? 1 : 0;
    return batch;
}

} // namespace bench
