#pragma once

#include <functional>

#include <QObject>

class QThread;

/// One piece of blocking work (a login, a search, reading a file) off the user-interface thread:
/// start() runs the work on a thread of its own and then the completion on the thread this object
/// lives on, through its event loop. One task at a time. The thread is owned here: the destructor
/// waits for running work (whose device calls are bounded by their time-outs) and the completion of
/// work that ends then is dropped, since whoever would receive it is going away.
class CBackgroundTask : public QObject
{
    Q_OBJECT

public:
    explicit CBackgroundTask(QObject* parent = nullptr);
    ~CBackgroundTask() override;

    /// True from start() until the completion has run.
    bool isRunning() const { return pThread != nullptr; }
    /// Runs fnWork on its own thread, then fnDone here. False, and nothing runs, while an earlier
    /// task has not completed.
    bool start(std::function<void()> fnWork, std::function<void()> fnDone = {});

signals:
    /// After the completion of each task.
    void finished();

private:
    void complete();

    QThread* pThread = nullptr;
    std::function<void()> fnDone;
};
