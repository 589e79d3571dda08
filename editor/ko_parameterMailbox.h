// A lock-free mailbox of parameter values, one slot per parameter id: any
// thread (the render thread included) posts, the user-interface thread
// collects. Of several values posted to one slot between two collections only
// the latest is collected; slots are collected in id order.
//
// A slot is one 64-bit atomic word: the kind of value (non-zero while a value
// waits) above the value's 32 bits. Posting is a single store, collecting a
// single exchange: no lock, no allocation, no system call, and a poster never
// waits for the collector.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>

class ko_parameterMailbox {
  public:
    static constexpr int32_t kSlots = 64;

    // Any thread: leaves value of kind (1 to 255) in slot id, replacing what
    // waits there. Ids outside 0..kSlots-1 and kind 0 are ignored.
    void post(int32_t id, uint32_t kind, float value) {
        if (id < 0 || id >= kSlots || kind == 0 || kind > 255) return;
        const uint64_t word = (uint64_t{kind} << 32) | std::bit_cast<uint32_t>(value);
        slots[id].store(word, std::memory_order_release);
    }

    // User-interface thread: hands every waiting value to deliver(id, kind,
    // value), emptying its slot first, and returns how many there were.
    template <class Deliver> int collect(Deliver&& deliver) {
        int count = 0;
        for (int32_t id = 0; id < kSlots; ++id) {
            if (slots[id].load(std::memory_order_relaxed) == 0) continue;
            const uint64_t word = slots[id].exchange(0, std::memory_order_acquire);
            if (word == 0) continue;
            deliver(id, static_cast<uint32_t>(word >> 32), std::bit_cast<float>(static_cast<uint32_t>(word)));
            ++count;
        }
        return count;
    }

  private:
    std::atomic<uint64_t> slots[kSlots] = {};
};
