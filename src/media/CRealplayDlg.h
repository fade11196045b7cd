#pragma once

#include <QDialog>

class QThread;
class QWidget;
class CRealplayWorker;

/// The live preview: a plain resizable window whose video area the device library draws into.
/// The stream's device calls run on the dialog's own worker thread, in the order they were asked
/// for, so the window never waits for a device; a refused stream shows
/// "Start RealPlay Fail nRet = <code>". Closing the window only hides it: the stream goes on until
/// the next start replaces it or the dialog is destroyed.
class CRealplayDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CRealplayDlg(QWidget* parent = nullptr);
    /// Stops the stream (reset, then stop) and ends the worker.
    ~CRealplayDlg() override;

    /// Stops the stream that plays and starts channel nChannel's stream nStreamType (0 main, 1
    /// extra) of the logged-in device lLoginID in the video area.
    void startRealPlay(long lLoginID, int nChannel, int nStreamType);

    /// The running stream's handle as last reported by the worker; -1 before the first start, not
    /// above 0 after a refused one.
    long realHandle() const { return lRealHandle; }
    QWidget* videoArea() const { return pVideoArea; }

signals:
    /// A start has finished: the stream's handle, above 0, or the library's error code.
    void realPlayStarted(long lHandle, long nError);

private:
    void onStarted(long lHandle, long nError);

    long lRealHandle = -1;
    QWidget* pVideoArea = nullptr;
    QThread* pWorkerThread = nullptr;
    CRealplayWorker* pWorker = nullptr;
};
