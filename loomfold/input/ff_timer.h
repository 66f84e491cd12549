// A refresh timer: one thread that calls its refresh function when a
// scheduled moment comes. A decoder schedules its next refresh from inside
// the refresh itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace loomfold {

class ff_timer {
public:
    ff_timer() = default;
    ~ff_timer() { stop(); }
    ff_timer(const ff_timer&) = delete;
    ff_timer& operator=(const ff_timer&) = delete;

    bool start(std::function<void()> refresh);
    // Asks for a refresh after delay (sooner wins over a pending later one).
    void schedule(std::chrono::microseconds delay);
    // No further refresh; waits for the thread (not when called from it).
    void stop();
    void abort();

private:
    void run();

    std::function<void()> refresh_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cond_;
    // -- Guarded by mutex_.
    std::chrono::steady_clock::time_point wake_;
    bool needed_ = false;
    bool abort_ = false;
};

}  // namespace loomfold
