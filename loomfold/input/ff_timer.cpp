#include "ff_timer.h"

#include <system_error>

namespace loomfold {

bool ff_timer::start(std::function<void()> refresh) {
    refresh_ = std::move(refresh);
    try {
        thread_ = std::thread(&ff_timer::run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ff_timer::schedule(std::chrono::microseconds delay) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    const auto when = now + delay;
    if (!needed_ || when < wake_ || wake_ <= now)
        wake_ = when;
    needed_ = true;
    cond_.notify_all();
}

void ff_timer::abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    abort_ = true;
    cond_.notify_all();
}

void ff_timer::stop() {
    abort();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
    else if (thread_.joinable())
        thread_.detach();
}

void ff_timer::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!abort_) {
        if (!needed_) {
            cond_.wait(lock, [this] { return abort_ || needed_; });
            continue;
        }
        if (std::chrono::steady_clock::now() < wake_) {
            cond_.wait_until(lock, wake_);
            continue;
        }
        needed_ = false;
        lock.unlock();
        refresh_();
        lock.lock();
    }
}

}  // namespace loomfold
