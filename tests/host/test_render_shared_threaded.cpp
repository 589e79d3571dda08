// The two-slot record the render thread reads a host's callbacks from: a host
// thread replaces it as fast as it can while the render thread reads, and
// every read is one whole record as some set wrote it. Run under
// ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "host/AUBaseElements.h"

namespace {

TEST(RenderShared, ReadsAreWholeRecordsWhileTheHostReplacesThem) {
    struct Record {
        UInt64 serial;
        UInt64 check; // ~serial
        void* pointer;
    };
    AURenderShared<Record> shared;
    EXPECT_EQ(shared.Get().pointer, nullptr) << "empty before the first set";
    std::atomic<bool> stop{false};
    std::atomic<UInt64> reads{0}, torn{0}, backwards{0};
    std::thread render([&] {
        UInt64 last = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            const Record r = shared.Get();
            if (r.serial == 0) continue;
            if (r.check != ~r.serial || r.pointer != &shared) ++torn;
            if (r.serial < last) ++backwards;
            last = r.serial;
            ++reads;
        }
    });
    for (UInt64 serial = 1; serial <= 200000; ++serial)
        shared.Set(Record{serial, ~serial, &shared});
    while (reads.load() < 1000)
        std::this_thread::yield();
    stop = true;
    render.join();
    EXPECT_EQ(torn.load(), 0u);
    EXPECT_EQ(backwards.load(), 0u);
    EXPECT_EQ(shared.Get().serial, 200000u);
}

} // namespace
