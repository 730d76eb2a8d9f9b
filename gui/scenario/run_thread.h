// The thread of a run off the window's thread, and the flag that asks it to stop. A window
// declares it after every member the run uses: it goes first, and its destructor cancels the
// run and joins the thread before anything the thread may still touch is destroyed.
#pragma once

#include <QObject>
#include <atomic>
#include <thread>
#include <utility>

namespace orvane {

class RunThread {
public:
    RunThread() = default;
    RunThread(const RunThread&) = delete;
    RunThread& operator=(const RunThread&) = delete;
    ~RunThread() {
        cancel();
        join();
    }

    // Runs work on a new thread, the flag cleared, then `done` on the receiver's thread (queued):
    // the receiver holds this thread and joins it before it goes, so it is alive then. The
    // previous run must have been joined.
    template <typename Work, typename Done>
    void start(QObject* receiver, Work work, Done done) {
        cancel_ = false;
        thread_ = std::thread([receiver, work = std::move(work), done = std::move(done)] {
            work();
            QMetaObject::invokeMethod(receiver, done, Qt::QueuedConnection);
        });
    }
    // Asks the run to stop; it stops within what its loop checks the flag between.
    void cancel() { cancel_ = true; }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    // What the run checks (the options' cancel pointer).
    const std::atomic<bool>* cancelFlag() const { return &cancel_; }

private:
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};

}  // namespace orvane
