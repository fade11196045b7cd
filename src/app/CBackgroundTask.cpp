#include "CBackgroundTask.h"

#include <QThread>

CBackgroundTask::CBackgroundTask(QObject* parent) : QObject(parent) {}

CBackgroundTask::~CBackgroundTask()
{
    if (pThread) {
        pThread->wait();
        delete pThread;
    }
}

bool CBackgroundTask::start(std::function<void()> fnWork, std::function<void()> fnNewDone)
{
    if (pThread)
        return false;
    fnDone = std::move(fnNewDone);
    pThread = QThread::create(std::move(fnWork));
    connect(pThread, &QThread::finished, this, &CBackgroundTask::complete, Qt::QueuedConnection);
    pThread->start();
    return true;
}

void CBackgroundTask::complete()
{
    if (!pThread)
        return;
    pThread->wait();
    delete pThread;
    pThread = nullptr;
    const std::function<void()> fnRun = std::move(fnDone);
    fnDone = nullptr;
    if (fnRun)
        fnRun();
    emit finished();
}
