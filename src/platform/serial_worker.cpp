#include "platform/serial_worker.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace kvztl {

struct SerialWorker::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    bool running = false;  // a task has been taken and has not returned
    bool stopping = false;

    void Serve() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stopping || !tasks.empty(); });
            if (tasks.empty()) return;
            std::function<void()> task = std::move(tasks.front());
            tasks.pop_front();
            running = true;
            lock.unlock();
            task();
            lock.lock();
            running = false;
            changed.notify_all();
        }
    }
};

SerialWorker::SerialWorker() : shared_(std::make_shared<Shared>()) {
    // The thread holds the shared state, so that it may outlive the object (see the destructor).
    thread_ = std::thread([shared = shared_] { shared->Serve(); });
}

SerialWorker::~SerialWorker() {
    const bool done = Drain(patience);
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->tasks.clear();
    }
    shared_->changed.notify_all();
    if (done) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

void SerialWorker::Queue(std::function<void()> task) {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->tasks.push_back(std::move(task));
    }
    shared_->changed.notify_all();
}

void SerialWorker::DropQueued() {
    const std::lock_guard lock(shared_->mutex);
    shared_->tasks.clear();
}

bool SerialWorker::Drain(std::chrono::milliseconds timeout) {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, timeout, [this] { return shared_->tasks.empty() && !shared_->running; });
}

}  // namespace kvztl
