// A thread of its own that runs tasks one after the other, in the order given: for calls that
// may keep their caller waiting (the shell waits up to 4 s for a taskbar that does not answer),
// so that the window thread never does. A task tells its outcome by posting to a window.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace kvztl {

class SerialWorker {
public:
    SerialWorker();
    // Runs what is still queued, waiting for it at most `patience`; a task still running then
    // is left to end with the process.
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void Queue(std::function<void()> task);
    // Forgets the tasks that have not begun (the one running goes on).
    void DropQueued();
    // Waits until every task queued so far has run; false if that took longer than `timeout`.
    bool Drain(std::chrono::milliseconds timeout);

    // Two of the shell's 4 s waits, and some.
    static constexpr std::chrono::milliseconds patience{9000};

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace kvztl
