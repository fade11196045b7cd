#include "CMyThread.h"

CMyThread::CMyThread(QObject* parent) : QThread(parent) {}

CMyThread::~CMyThread()
{
    pFunc = nullptr;
    if (isRunning()) {
        exit(0);
        wait();
    }
}

void CMyThread::setThreadFunc(ThreadFunc pNewFunc, void* pNewArg)
{
    pFunc = pNewFunc;
    pArg = pNewArg;
}

void CMyThread::run()
{
    // Read once: the destructor may clear the member while this body runs.
    const ThreadFunc pBody = pFunc;
    if (pBody)
        pBody(pArg.load());
}
