#pragma once

#include <atomic>

#include <QThread>

/// A thread that runs one plain function with one argument: the main window's batch worker.
class CMyThread : public QThread
{
    Q_OBJECT

public:
    using ThreadFunc = unsigned int (*)(void*);

    explicit CMyThread(QObject* parent = nullptr);
    /// Clears the function and waits for a running body to return: a QThread must not be
    /// destroyed while it runs, and every body it runs ends on its own.
    ~CMyThread() override;

    /// Stores the body and its argument for every later start().
    void setThreadFunc(ThreadFunc pFunc, void* pArg);

protected:
    void run() override;

private:
    std::atomic<ThreadFunc> pFunc{nullptr};
    std::atomic<void*> pArg{nullptr};
};
