#include "CRealplayDlg.h"

#include <cstring>

#include <QApplication>
#include <QHBoxLayout>
#include <QThread>

#include "CMessageBox.h"
#include "app/LogCategories.h"
#include "netsdk/netsdk.h"

namespace {

/// The area the library draws into: a native window of its own that Qt never paints over.
class CVideoArea : public QWidget
{
public:
    explicit CVideoArea(QWidget* pParent) : QWidget(pParent)
    {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    void paintEvent(QPaintEvent*) override {}
};

} // namespace

/// Owns the stream: every device call of the preview, one after the other on the worker thread.
class CRealplayWorker : public QObject
{
    Q_OBJECT

public:
    void play(long lLoginID, int nChannel, int nStreamType, quintptr nWindow)
    {
        void* hWnd = reinterpret_cast<void*>(nWindow);
        // The previous stream stops first; the library paints the window black.
        if (lHandle > 0)
            sdkStopRealPlay(lHandle, hWnd);
        SDK_CLIENTINFO client;
        std::memset(&client, 0, sizeof client);
        client.nChannel = nChannel;
        client.nStream = nStreamType;
        client.nMode = 0;
        client.hWnd = hWnd;
        lHandle = sdkStartRealPlay(lLoginID, &client);
        const long nError = lHandle < 1 ? sdkGetLastError() : 0;
        qCDebug(lcMedia) << "sdkStartRealPlay" << lHandle << "loginID" << lLoginID << "error" << nError;
        emit started(lHandle, nError);
    }

    void stop()
    {
        if (lHandle > 0) {
            sdkRealPlayReset(lHandle, 0, 0);
            sdkStopRealPlay(lHandle, nullptr);
            lHandle = -1;
        }
    }

signals:
    void started(long lHandle, long nError);

private:
    long lHandle = -1; // a refused start keeps what the library returned (not above 0)
};

CRealplayDlg::CRealplayDlg(QWidget* parent)
    : QDialog(parent, Qt::CustomizeWindowHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint)
{
    auto* pLayout = new QHBoxLayout(this);
    pVideoArea = new CVideoArea(this);
    pLayout->addWidget(pVideoArea, 0);
    resize(720, 480);
    // A window of its own (no parent) that must not keep the program running once the main window,
    // which owns it, has closed.
    setAttribute(Qt::WA_QuitOnClose, false);

    pWorkerThread = new QThread(this);
    pWorkerThread->setObjectName(QStringLiteral("realplay"));
    pWorker = new CRealplayWorker;
    pWorker->moveToThread(pWorkerThread);
    connect(pWorkerThread, &QThread::finished, pWorker, &QObject::deleteLater);
    connect(pWorker, &CRealplayWorker::started, this, &CRealplayDlg::onStarted);
    pWorkerThread->start();
}

CRealplayDlg::~CRealplayDlg()
{
    CRealplayWorker* pOwner = pWorker;
    QMetaObject::invokeMethod(
        pWorker, [pOwner] { pOwner->stop(); }, Qt::BlockingQueuedConnection);
    lRealHandle = -1;
    pWorkerThread->quit();
    pWorkerThread->wait();
}

void CRealplayDlg::startRealPlay(long lLoginID, int nChannel, int nStreamType)
{
    pVideoArea->update();
    // The native window exists from here on; its handle is what the library draws into.
    const quintptr nWindow = quintptr(pVideoArea->winId());
    CRealplayWorker* pOwner = pWorker;
    QMetaObject::invokeMethod(
        pWorker,
        [pOwner, lLoginID, nChannel, nStreamType, nWindow] { pOwner->play(lLoginID, nChannel, nStreamType, nWindow); },
        Qt::QueuedConnection);
}

void CRealplayDlg::onStarted(long lHandle, long nError)
{
    lRealHandle = lHandle;
    emit realPlayStarted(lHandle, nError);
    if (lHandle < 1) {
        CMessageBox::information(QApplication::activeWindow(), tr("Prompt"),
                                 QStringLiteral("%1 nRet = %2").arg(tr("Start RealPlay Fail")).arg(nError), tr("OK"));
    }
}

#include "CRealplayDlg.moc"
