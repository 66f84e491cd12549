// The bounded queue between two threads: order, serials and flushes, end
// markers, room, byte counts, and waits that end (by timeout or abort).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "bounded_queue.h"

namespace vistamo::queue {
namespace {

using namespace std::chrono_literals;

struct Length {
    size_t operator()(const std::string& s) const { return s.size(); }
};

TEST(BoundedQueue, OrderSerialsFlushesAndEndMarkers) {
    BoundedQueue<std::string, Length> q;
    EXPECT_EQ(q.push(std::string("one"), 0ms), Wait::Ok);
    EXPECT_EQ(q.push(std::string("three"), 0ms), Wait::Ok);
    EXPECT_EQ(q.bytes(), 8u);
    q.flush();  // a seek: both go, the serial moves on
    EXPECT_EQ(q.count(), 0u);
    EXPECT_EQ(q.bytes(), 0u);
    EXPECT_EQ(q.serial(), 1);
    EXPECT_EQ(q.push(std::string("after"), 0ms), Wait::Ok);
    EXPECT_EQ(q.pushEnd(0ms), Wait::Ok);
    int serial = -1;
    bool end = true;
    ASSERT_TRUE(q.peek(&serial, &end));
    EXPECT_EQ(serial, 1);
    EXPECT_FALSE(end);
    size_t length = 0;
    EXPECT_TRUE(q.peekItem([&](const std::string& s) { length = s.size(); }));
    EXPECT_EQ(length, 5u);
    BoundedQueue<std::string, Length>::Entry entry;
    ASSERT_EQ(q.pop(entry, 0ms), Wait::Ok);
    EXPECT_EQ(entry.item, "after");
    EXPECT_EQ(entry.serial, 1);
    EXPECT_FALSE(entry.end);
    ASSERT_EQ(q.pop(entry, 0ms), Wait::Ok);
    EXPECT_TRUE(entry.end);
    EXPECT_EQ(q.bytes(), 0u);
    EXPECT_EQ(q.pop(entry, 20ms), Wait::TimedOut);
    EXPECT_FALSE(q.peek(&serial));
}

TEST(BoundedQueue, ProducersWaitForRoomAndEveryWaitEnds) {
    BoundedQueue<int> q(2);
    EXPECT_EQ(q.push(1, 0ms), Wait::Ok);
    EXPECT_EQ(q.push(2, 0ms), Wait::Ok);
    int kept = 3;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(q.push(kept, 30ms), Wait::TimedOut);  // full: the wait ends
    EXPECT_GE(std::chrono::steady_clock::now() - before, 30ms);
    EXPECT_EQ(kept, 3);  // a push that timed out keeps its item
    // A consumer makes room; the waiting producer goes on at once.
    std::thread consumer([&] {
        std::this_thread::sleep_for(20ms);
        BoundedQueue<int>::Entry e;
        q.pop(e, 100ms);
    });
    EXPECT_EQ(q.push(kept, 2000ms), Wait::Ok);
    consumer.join();
    EXPECT_EQ(q.count(), 2u);

    // An abort wakes waiters on both sides long before their timeouts.
    BoundedQueue<int> empty(1);
    std::atomic<int> woken{0};
    std::thread popper([&] {
        BoundedQueue<int>::Entry e;
        if (empty.pop(e, 10000ms) == Wait::Aborted)
            ++woken;
    });
    std::thread pusher([&] {
        if (q.push(9, 10000ms) == Wait::Aborted)
            ++woken;
    });
    std::this_thread::sleep_for(30ms);
    const auto aborting = std::chrono::steady_clock::now();
    empty.abort();
    q.abort();
    popper.join();
    pusher.join();
    EXPECT_EQ(woken.load(), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - aborting, 1000ms);
    EXPECT_EQ(q.push(1, 0ms), Wait::Aborted);
    q.reset();
    EXPECT_EQ(q.count(), 0u);
    EXPECT_EQ(q.push(1, 0ms), Wait::Ok);
}

}  // namespace
}  // namespace vistamo::queue
