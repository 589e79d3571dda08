// The parameter-listener and event facility.
//
// Posting side (any thread, render thread included): a post enters a
// reader gate, scans the registry of listeners and, in each, its table of
// registrations; for every match it stores the value and a pending mark in
// that registration (value changes, latest wins) or appends an item to the
// listener's bounded lock-free event queue (gestures, properties). No lock, no
// allocation, no system call.
//
// Growth: the registry and each listener's registrations have no fixed limit.
// They grow on the side that registers (creation and AddParameter, never the
// render thread): registrations live in chunks that never move, reached
// through a directory of chunk pointers; the registry is an array of listener
// pointers. A full directory or registry is copied into one twice its size,
// the copy is published, and the old one is freed after a grace period of the
// gate, so a post may read either but never a freed one. A post reads the
// count of entries in use before the table, and a table is published before
// the count that needs it, so the table it reads always holds that count.
//
// Delivery side (the listener's run loop): the loop's pump calls perform(),
// which takes the pending marks and queued events, orders them by the
// sequence number each post drew, and makes the callbacks.
//
// Lifetime: a listener leaves the registry and then waits for a grace period
// of the gate (every post that might still see it has finished) before its
// memory or a registration slot is reused. The gate has two reader counters
// and an epoch; a grace period flips the epoch and waits for the old counter
// to drain, so new posts never hold it up.
#include "host/AUListener.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Reader gate

struct Gate {
    std::atomic<UInt32> epoch{0};
    std::atomic<UInt32> readers[2]{};
};
Gate gGate;
std::mutex gGraceMutex;

UInt32 gateEnter() {
    for (;;) {
        const UInt32 e = gGate.epoch.load(std::memory_order_seq_cst);
        gGate.readers[e & 1u].fetch_add(1, std::memory_order_seq_cst);
        if (gGate.epoch.load(std::memory_order_seq_cst) == e) return e;
        // A grace period began in between: it may not wait for this counter.
        gGate.readers[e & 1u].fetch_sub(1, std::memory_order_release);
    }
}

void gateLeave(UInt32 e) {
    gGate.readers[e & 1u].fetch_sub(1, std::memory_order_release);
}

// Returns once every post that was in progress when it was called has left.
void gateSynchronize() {
    std::lock_guard<std::mutex> lock(gGraceMutex);
    const UInt32 old = gGate.epoch.fetch_add(1, std::memory_order_seq_cst);
    while (gGate.readers[old & 1u].load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield();
}

struct GateScope {
    UInt32 epoch = gateEnter();
    ~GateScope() { gateLeave(epoch); }
};

// ---------------------------------------------------------------------------
// Registrations

enum : UInt32 { kFree = 0, kActive = 1, kRetired = 2 };
enum : UInt32 { kPendingValue = 1, kPendingFetch = 2 };

// A registration's coalescing slot: the latest value change posted for it and
// not yet taken, as one word (kind in the top two bits, 0 when nothing is
// pending; the low 30 bits of the post's sequence; the value's bits), so that
// the delivery that takes it with one exchange gets the kind, value and
// sequence of the same post. Read in three steps, a post landing in between
// paired one post's mark with a later post's value and place: a drag's last
// value could then be lost from before its end.
constexpr int kSlotSequenceBits = 30;
constexpr UInt64 kSlotSequenceMask = (UInt64(1) << kSlotSequenceBits) - 1;

UInt64 packSlot(UInt32 kind, UInt64 sequence, float value) {
    UInt32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return UInt64(kind) << 62 | (sequence & kSlotSequenceMask) << 32 | bits;
}

struct SlotContents {
    UInt32 kind;
    UInt64 sequence;
    float value;
};

// The full sequence is the one nearest `reference` (a sequence drawn about the
// same time) with the stored low bits: exact while fewer than 2^29 posts lie
// between the two.
SlotContents unpackSlot(UInt64 word, UInt64 reference) {
    const UInt32 bits = UInt32(word);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    UInt64 ahead = ((word >> 32) - reference) & kSlotSequenceMask;
    if (ahead >> (kSlotSequenceBits - 1)) ahead -= kSlotSequenceMask + 1; // behind: wraps to a negative step
    return SlotContents{UInt32(word >> 62), reference + ahead, value};
}

struct Key {
    void* object = nullptr;
    AudioUnitEventType type = kAudioUnitEvent_ParameterValueChange;
    AudioUnit unit = nullptr;
    UInt32 id = 0; // parameter or property id
    AudioUnitScope scope = 0;
    AudioUnitElement element = 0;

    bool operator==(const Key&) const = default;
};

// The key fields are written only while the registration is free (before its
// state is published with release) and read only while it is active, or under
// the listener's mutex; a free slot is reused only after a grace period.
struct Registration {
    std::atomic<UInt32> state{kFree};
    UInt32 generation = 0;
    Key key;
    std::atomic<UInt64> pending{0}; // packSlot(); 0: nothing pending
};

// A gesture or property event, or a value change moved out of its
// registration's coalescing slot so that it keeps its place among gestures.
struct QueuedEvent {
    UInt32 index = 0;
    UInt32 generation = 0;
    UInt64 sequence = 0;
    UInt32 kind = 0; // 0 for an event; kPendingValue or kPendingFetch for a value change
    float value = 0.0f;
};

// Bounded multi-producer queue (one consumer, the delivering pump): each cell
// carries a sequence that says whose turn it is.
class EventQueue {
  public:
    EventQueue() {
        for (size_t i = 0; i < kSize; ++i)
            cells_[i].turn.store(i, std::memory_order_relaxed);
    }

    bool push(const QueuedEvent& item) {
        size_t pos = tail_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[pos & kMask];
            const size_t turn = cell.turn.load(std::memory_order_acquire);
            const auto diff = static_cast<std::ptrdiff_t>(turn) - static_cast<std::ptrdiff_t>(pos);
            if (diff == 0) {
                if (tail_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    cell.item = item;
                    cell.turn.store(pos + 1, std::memory_order_release);
                    return true;
                }
            } else if (diff < 0) {
                return false; // full
            } else {
                pos = tail_.load(std::memory_order_relaxed);
            }
        }
    }

    bool pop(QueuedEvent& item) {
        const size_t pos = head_.load(std::memory_order_relaxed);
        Cell& cell = cells_[pos & kMask];
        if (cell.turn.load(std::memory_order_acquire) != pos + 1) return false;
        item = cell.item;
        cell.turn.store(pos + kSize, std::memory_order_release);
        head_.store(pos + 1, std::memory_order_relaxed);
        return true;
    }

  private:
    static constexpr size_t kSize = kMorvaneListenerEventQueueSize;
    static constexpr size_t kMask = kSize - 1;
    static_assert((kSize & kMask) == 0, "the event queue size is a power of two");
    struct Cell {
        std::atomic<size_t> turn{0};
        QueuedEvent item;
    };
    Cell cells_[kSize];
    std::atomic<size_t> tail_{0};
    std::atomic<size_t> head_{0};
};

// Registrations in fixed chunks: a registration's address never changes, so
// posts and deliveries may keep using it while the directory grows.
constexpr UInt32 kChunkSize = 64;
struct RegistrationChunk {
    Registration r[kChunkSize];
};

// Chunk pointers [0, capacity). Entries are written before the count of
// registrations in use covers them and never change after.
struct ChunkDirectory {
    explicit ChunkDirectory(UInt32 n) : capacity(n), chunks(new RegistrationChunk*[n]()) {}
    UInt32 capacity;
    std::unique_ptr<RegistrationChunk*[]> chunks;
};

constexpr UInt32 kInitialChunks = 8; // 512 registrations before the first growth

struct Delivery {
    Key key;
    UInt32 kind = 0; // kPendingValue, kPendingFetch, or 0 for an event
    float value = 0.0f;
    UInt64 sequence = 0;
    UInt32 order = 0;
};

std::atomic<UInt64> gPostSequence{0};

} // namespace

struct AUListenerBase {
    bool isEventListener = false;
    AUParameterListenerProc parameterProc = nullptr;
    AUEventListenerProc eventProc = nullptr;
    void* refCon = nullptr;
    CFRunLoopRef loop = nullptr;
    double interval = 0.0;

    // Registrations [0, used) have ever been filled; the directory and the
    // chunks are owned here and change only under `mutex`.
    std::atomic<ChunkDirectory*> directory{nullptr};
    std::atomic<UInt32> used{0};
    std::vector<std::unique_ptr<RegistrationChunk>> chunks;
    EventQueue events;
    std::atomic<bool> anyPending{false};
    std::atomic<UInt64> droppedEvents{0};

    // Registration changes and delivery snapshots (never held during a callback).
    std::mutex mutex;

    // Touched only by the delivery (perform() or MorvaneListenerDeliver), which
    // never overlaps itself.
    std::vector<Delivery> scratch;
    // A larger batch, reserved under `mutex` when the registrations grow; the
    // delivery swaps it in once the batch has become too small.
    std::vector<Delivery> spareScratch;
    bool hasDelivered = false;
    double lastDelivery = 0.0;
    // Set by a dispose made from inside this listener's own callback.
    std::atomic<bool> disposed{false};

    ~AUListenerBase() { delete directory.load(std::memory_order_relaxed); }
};

namespace {

// Registration i of a listener, through a directory that holds it.
Registration& registrationAt(const ChunkDirectory* directory, UInt32 i) {
    return directory->chunks[i / kChunkSize]->r[i % kChunkSize];
}

// ---------------------------------------------------------------------------
// Registry

// Listener pointers [0, capacity); null slots are free. Slots change only
// under gRegistryMutex.
struct ListenerTable {
    explicit ListenerTable(UInt32 n) : capacity(n), slots(new std::atomic<AUListenerBase*>[n]()) {}
    UInt32 capacity;
    std::unique_ptr<std::atomic<AUListenerBase*>[]> slots;
};

constexpr UInt32 kInitialListeners = 64;

std::mutex gRegistryMutex;
std::atomic<ListenerTable*> gListeners{nullptr};
std::atomic<UInt32> gListenerTop{0}; // slots [0, top) have ever been used

bool validInterval(Float32 seconds) {
    return std::isfinite(seconds) && seconds > 0.0f;
}

// ---------------------------------------------------------------------------
// Posting

struct Post {
    AudioUnitEventType type = kAudioUnitEvent_ParameterValueChange;
    AudioUnit unit = nullptr;
    UInt32 id = 0;
    AudioUnitScope scope = 0;
    AudioUnitElement element = 0;
    bool anyParameter = false;
    bool hasValue = false;
    float value = 0.0f;
    bool eventListenersOnly = false;
    const AUListenerBase* sender = nullptr;
    void* senderObject = nullptr;
};

bool matches(const Key& key, const Post& post) {
    if (key.type != post.type || key.unit != post.unit) return false;
    if (post.anyParameter) return true;
    return key.id == post.id && key.scope == post.scope && key.element == post.element;
}

// Before a gesture is queued, the values of that parameter still waiting in
// the listener's coalescing slots join the queue, so they are delivered before
// the gesture (the last value of a drag arrives before its end). Returns
// whether anything was queued.
bool queuePendingValues(AUListenerBase* listener, const Key& gesture, const ChunkDirectory* directory,
                        UInt32 used, UInt64 sequence) {
    bool queued = false;
    for (UInt32 j = 0; j < used; ++j) {
        Registration& q = registrationAt(directory, j);
        if (q.state.load(std::memory_order_acquire) != kActive) continue;
        const Key& k = q.key;
        if (k.type != kAudioUnitEvent_ParameterValueChange || k.unit != gesture.unit || k.id != gesture.id ||
            k.scope != gesture.scope || k.element != gesture.element)
            continue;
        const UInt64 word = q.pending.exchange(0, std::memory_order_seq_cst);
        if (!word) continue;
        const SlotContents pending = unpackSlot(word, sequence);
        if (listener->events.push(
                QueuedEvent{j, q.generation, pending.sequence, pending.kind, pending.value})) {
            queued = true;
        } else {
            // Stays coalesced, unless a newer value took the slot meanwhile.
            UInt64 empty = 0;
            q.pending.compare_exchange_strong(empty, word, std::memory_order_seq_cst);
        }
    }
    return queued;
}

void postTo(AUListenerBase* listener, const Post& post, UInt64 sequence) {
    if (post.eventListenersOnly && !listener->isEventListener) return;
    const bool queued = post.type != kAudioUnitEvent_ParameterValueChange;
    bool marked = false;
    // The count first: the directory read after it holds every registration it counts.
    const UInt32 used = listener->used.load(std::memory_order_acquire);
    const ChunkDirectory* directory = listener->directory.load(std::memory_order_acquire);
    for (UInt32 i = 0; i < used; ++i) {
        Registration& r = registrationAt(directory, i);
        if (r.state.load(std::memory_order_acquire) != kActive) continue;
        if (!matches(r.key, post)) continue;
        if (listener == post.sender && r.key.object == post.senderObject) continue;
        if (queued) {
            if (post.type != kAudioUnitEvent_PropertyChange &&
                queuePendingValues(listener, r.key, directory, used, sequence))
                marked = true;
            if (listener->events.push(QueuedEvent{i, r.generation, sequence, 0, 0.0f}))
                marked = true;
            else
                listener->droppedEvents.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        r.pending.store(post.hasValue ? packSlot(kPendingValue, sequence, post.value)
                                      : packSlot(kPendingFetch, sequence, 0.0f),
                        std::memory_order_seq_cst);
        marked = true;
    }
    if (marked) listener->anyPending.store(true, std::memory_order_seq_cst);
}

void post(const Post& post) {
    const UInt64 sequence = gPostSequence.fetch_add(1, std::memory_order_relaxed) + 1;
    GateScope gate;
    // The count first: the table read after it holds every slot it counts.
    const UInt32 top = gListenerTop.load(std::memory_order_acquire);
    const ListenerTable* table = gListeners.load(std::memory_order_acquire);
    for (UInt32 i = 0; i < top; ++i) {
        AUListenerBase* listener = table->slots[i].load(std::memory_order_acquire);
        if (listener) postTo(listener, post, sequence);
    }
}

// ---------------------------------------------------------------------------
// Delivery

// Returns whether a callback was made.
bool deliverOne(AUListenerBase* listener, const Delivery& d, double now) {
    float value = d.value;
    const bool parameterEvent = d.key.type != kAudioUnitEvent_PropertyChange;
    if (parameterEvent && d.kind != kPendingValue) {
        AudioUnitParameterValue current = 0.0f;
        const OSStatus result =
            AudioUnitGetParameter(d.key.unit, d.key.id, d.key.scope, d.key.element, &current);
        // A value change whose value cannot be read has nothing to say.
        if (result != noErr && d.kind == kPendingFetch) return false;
        value = result == noErr ? current : 0.0f;
    }
    if (!parameterEvent) value = 0.0f;
    if (!listener->isEventListener) {
        const AudioUnitParameter parameter{d.key.unit, d.key.id, d.key.scope, d.key.element};
        listener->parameterProc(listener->refCon, d.key.object, &parameter, value);
        return true;
    }
    AudioUnitEvent event{};
    event.mEventType = d.key.type;
    if (parameterEvent)
        event.mArgument.mParameter = AudioUnitParameter{d.key.unit, d.key.id, d.key.scope, d.key.element};
    else
        event.mArgument.mProperty = AudioUnitProperty{d.key.unit, d.key.id, d.key.scope, d.key.element};
    const UInt64 hostTime = now > 0.0 ? static_cast<UInt64>(now * 1.0e9) : 0;
    listener->eventProc(listener->refCon, d.key.object, &event, hostTime, value);
    return true;
}

// Moves the pending marks and queued events of a listener into its scratch
// batch, in posting order. Items of one post keep the order they were
// gathered in. Never allocates: the batch was reserved for the worst case
// (see spareScratch).
std::vector<Delivery>& gatherPending(AUListenerBase* listener) {
    const UInt32 used = listener->used.load(std::memory_order_acquire);
    const ChunkDirectory* directory = listener->directory.load(std::memory_order_acquire);
    // One entry per registration and per queued event at most. When the
    // registrations have grown past the batch, the spare batch reserved as
    // they grew takes over (a swap: nothing is allocated or freed here).
    if (listener->scratch.capacity() < size_t(used) + kMorvaneListenerEventQueueSize)
        listener->scratch.swap(listener->spareScratch);
    std::vector<Delivery>& batch = listener->scratch;
    batch.clear();
    const UInt64 now = gPostSequence.load(std::memory_order_relaxed);
    for (UInt32 i = 0; i < used; ++i) {
        Registration& r = registrationAt(directory, i);
        if (r.state.load(std::memory_order_acquire) != kActive) continue;
        const UInt64 word = r.pending.exchange(0, std::memory_order_seq_cst);
        if (!word) continue;
        const SlotContents pending = unpackSlot(word, now);
        batch.push_back(Delivery{r.key, pending.kind, pending.value, pending.sequence});
    }
    QueuedEvent item;
    while (listener->events.pop(item)) {
        Registration& r = registrationAt(directory, item.index);
        if (r.state.load(std::memory_order_acquire) != kActive || r.generation != item.generation) continue;
        batch.push_back(Delivery{r.key, item.kind, item.value, item.sequence});
    }
    // (std::sort works in place, where a stable sort would allocate.)
    for (size_t i = 0; i < batch.size(); ++i)
        batch[i].order = UInt32(i);
    std::sort(batch.begin(), batch.end(), [](const Delivery& a, const Delivery& b) {
        return a.sequence != b.sequence ? a.sequence < b.sequence : a.order < b.order;
    });
    return batch;
}

CFIndex perform(void* info, CFAbsoluteTime now, Boolean force) {
    auto* listener = static_cast<AUListenerBase*>(info);
    if (!listener->anyPending.load(std::memory_order_seq_cst)) return 0;
    // Coalescing: at most one delivery per interval. A clock that went back
    // (an offline host starting over) does not hold deliveries back.
    if (!force && listener->interval > 0.0 && listener->hasDelivered && now >= listener->lastDelivery &&
        now < listener->lastDelivery + listener->interval)
        return 0;
    // Cleared before the marks are taken: a post that lands after the scan
    // sets it again.
    listener->anyPending.store(false, std::memory_order_seq_cst);

    std::unique_lock<std::mutex> lock(listener->mutex);
    const std::vector<Delivery>& batch = gatherPending(listener);
    lock.unlock();

    CFIndex calls = 0;
    for (const Delivery& d : batch) {
        if (listener->disposed.load(std::memory_order_acquire)) break;
        if (deliverOne(listener, d, now)) ++calls;
    }
    if (calls > 0) {
        listener->hasDelivered = true;
        listener->lastDelivery = now;
    }
    if (listener->disposed.load(std::memory_order_acquire)) {
        // Disposed from inside one of its callbacks: the last use is here.
        CFRunLoopRef loop = listener->loop;
        delete listener;
        MorvaneRunLoopRelease(loop);
    }
    return calls;
}

// ---------------------------------------------------------------------------
// Creation and registration

// The table in use, holding at least `needed` slots: a larger copy is
// published when it is full, and the old one is handed back in `retired`
// (free it after a grace period). Under gRegistryMutex. Throws std::bad_alloc
// with nothing changed.
ListenerTable* registryWithRoom(UInt32 needed, std::unique_ptr<ListenerTable>& retired) {
    ListenerTable* table = gListeners.load(std::memory_order_relaxed);
    if (table != nullptr && needed <= table->capacity) return table;
    UInt32 capacity = table != nullptr ? table->capacity : kInitialListeners;
    while (capacity < needed)
        capacity *= 2;
    auto grown = std::make_unique<ListenerTable>(capacity);
    const UInt32 top = gListenerTop.load(std::memory_order_relaxed);
    for (UInt32 i = 0; i < top; ++i)
        grown->slots[i].store(table->slots[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
    gListeners.store(grown.get(), std::memory_order_release);
    retired.reset(table);
    return grown.release();
}

// Takes ownership of `listener` (deleted on failure). Throws std::bad_alloc.
OSStatus createListener(AUListenerBase* rawListener, CFRunLoopRef runLoop, Float32 interval,
                        AUParameterListenerRef* out) {
    std::unique_ptr<AUListenerBase> owned(rawListener);
    owned->interval = validInterval(interval) ? interval : 0.0;
    owned->directory.store(new ChunkDirectory(kInitialChunks), std::memory_order_relaxed);
    // Room for a full first directory, so deliveries allocate nothing until it grows.
    owned->scratch.reserve(size_t(kInitialChunks) * kChunkSize + kMorvaneListenerEventQueueSize);
    AUListenerBase* listener = owned.get();
    std::unique_ptr<ListenerTable> retired;
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        const UInt32 top = gListenerTop.load(std::memory_order_relaxed);
        const ListenerTable* current = gListeners.load(std::memory_order_relaxed);
        UInt32 slot = 0;
        while (slot < top && current->slots[slot].load(std::memory_order_relaxed))
            ++slot;
        ListenerTable* table = registryWithRoom(slot + 1, retired);
        owned.release();
        listener->loop = MorvaneRunLoopRetain(runLoop ? runLoop : CFRunLoopGetCurrent());
        table->slots[slot].store(listener, std::memory_order_release);
        if (slot >= top) gListenerTop.store(slot + 1, std::memory_order_release);
    }
    if (retired) gateSynchronize(); // no post still reads the old table
    MorvaneRunLoopAddSource(listener->loop, perform, listener);
    *out = listener;
    return noErr;
}

// True when listener is a live listener of this process. The registry is
// searched for the pointer instead of reading through it, so a disposed or
// foreign pointer is refused rather than used.
bool isRegistered(const AUListenerBase* listener) {
    if (!listener) return false;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    const UInt32 top = gListenerTop.load(std::memory_order_relaxed);
    const ListenerTable* table = gListeners.load(std::memory_order_relaxed);
    for (UInt32 i = 0; i < top; ++i)
        if (table->slots[i].load(std::memory_order_relaxed) == listener) return true;
    return false;
}

// The registration at index `used`, the next never filled: a new chunk is
// added when it needs one, in a directory twice the size when this one is
// full. Under the listener's mutex. Throws std::bad_alloc with nothing changed.
Registration* appendSlot(AUListenerBase* listener, UInt32 used) {
    ChunkDirectory* directory = listener->directory.load(std::memory_order_relaxed);
    const UInt32 chunk = used / kChunkSize;
    if (chunk < directory->capacity && directory->chunks[chunk] != nullptr)
        return &registrationAt(directory, used);
    auto fresh = std::make_unique<RegistrationChunk>();
    std::unique_ptr<ChunkDirectory> grown;
    if (chunk >= directory->capacity) {
        grown = std::make_unique<ChunkDirectory>(directory->capacity * 2);
        std::copy(directory->chunks.get(), directory->chunks.get() + directory->capacity,
                  grown->chunks.get());
        // A batch for every registration the larger directory holds, for the
        // delivery to take over (it may run on a render thread). The spare it
        // replaces is freed here.
        std::vector<Delivery> spare;
        spare.reserve(size_t(grown->capacity) * kChunkSize + kMorvaneListenerEventQueueSize);
        listener->spareScratch.swap(spare);
    }
    listener->chunks.push_back(std::move(fresh)); // the last step that may throw
    // Posts read chunk pointers only below the count of registrations in use,
    // which does not reach this chunk yet.
    (grown ? grown.get() : directory)->chunks[chunk] = listener->chunks.back().get();
    if (grown) {
        listener->directory.store(grown.release(), std::memory_order_release);
        gateSynchronize(); // no post still reads the old directory
        delete directory;
    }
    return &registrationAt(listener->directory.load(std::memory_order_relaxed), used);
}

// memFullErr when memory runs out, with nothing changed.
OSStatus addRegistration(AUListenerBase* listener, const Key& key) try {
    std::lock_guard<std::mutex> lock(listener->mutex);
    const UInt32 used = listener->used.load(std::memory_order_relaxed);
    const ChunkDirectory* directory = listener->directory.load(std::memory_order_relaxed);
    bool anyRetired = false;
    for (UInt32 i = 0; i < used; ++i) {
        const Registration& r = registrationAt(directory, i);
        const UInt32 state = r.state.load(std::memory_order_relaxed);
        if (state == kActive && r.key == key) return noErr;
        anyRetired |= state == kRetired;
    }
    Registration* slot = nullptr;
    UInt32 index = used;
    auto takeFree = [&] {
        for (UInt32 i = 0; i < used && !slot; ++i) {
            Registration& r = registrationAt(directory, i);
            if (r.state.load(std::memory_order_relaxed) == kFree) {
                slot = &r;
                index = i;
            }
        }
    };
    takeFree();
    // Rather than add a chunk, take back removed registrations once no post
    // can still be looking at them, so adding and removing for ever keeps the
    // table the size of what is registered at one time.
    if (!slot && anyRetired && used % kChunkSize == 0) {
        gateSynchronize();
        for (UInt32 i = 0; i < used; ++i) {
            Registration& r = registrationAt(directory, i);
            if (r.state.load(std::memory_order_relaxed) != kRetired) continue;
            r.pending.store(0, std::memory_order_relaxed);
            ++r.generation;
            r.state.store(kFree, std::memory_order_relaxed);
        }
        takeFree();
    }
    if (!slot) slot = appendSlot(listener, used);
    slot->key = key;
    slot->pending.store(0, std::memory_order_relaxed);
    slot->state.store(kActive, std::memory_order_release);
    if (index == used) listener->used.store(used + 1, std::memory_order_release);
    return noErr;
} catch (const std::bad_alloc&) {
    return memFullErr;
}

OSStatus removeRegistration(AUListenerBase* listener, const Key& key) {
    std::lock_guard<std::mutex> lock(listener->mutex);
    const UInt32 used = listener->used.load(std::memory_order_relaxed);
    const ChunkDirectory* directory = listener->directory.load(std::memory_order_relaxed);
    for (UInt32 i = 0; i < used; ++i) {
        Registration& r = registrationAt(directory, i);
        if (r.state.load(std::memory_order_relaxed) == kActive && r.key == key) {
            r.state.store(kRetired, std::memory_order_release);
            break;
        }
    }
    return noErr;
}

Key parameterKey(void* object, const AudioUnitParameter& p, AudioUnitEventType type) {
    return Key{object, type, p.mAudioUnit, p.mParameterID, p.mScope, p.mElement};
}

bool eventKey(void* object, const AudioUnitEvent& event, Key& key) {
    switch (event.mEventType) {
    case kAudioUnitEvent_ParameterValueChange:
    case kAudioUnitEvent_BeginParameterChangeGesture:
    case kAudioUnitEvent_EndParameterChangeGesture:
        key = parameterKey(object, event.mArgument.mParameter, event.mEventType);
        return true;
    case kAudioUnitEvent_PropertyChange: {
        const AudioUnitProperty& p = event.mArgument.mProperty;
        key = Key{object, event.mEventType, p.mAudioUnit, p.mPropertyID, p.mScope, p.mElement};
        return true;
    }
    default:
        return false;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Public calls

extern "C" {

OSStatus AUListenerCreate(AUParameterListenerProc inProc, void* inRefCon, CFRunLoopRef inRunLoop, CFStringRef,
                          Float32 inNotificationInterval, AUParameterListenerRef* outListener) {
    if (!inProc || !outListener) return paramErr;
    try {
        auto* listener = new AUListenerBase();
        listener->parameterProc = inProc;
        listener->refCon = inRefCon;
        return createListener(listener, inRunLoop, inNotificationInterval, outListener);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void* inCallbackRefCon, CFRunLoopRef inRunLoop,
                               CFStringRef, Float32 inNotificationInterval, Float32,
                               AUEventListenerRef* outListener) {
    if (!inProc || !outListener) return paramErr;
    try {
        auto* listener = new AUListenerBase();
        listener->isEventListener = true;
        listener->eventProc = inProc;
        listener->refCon = inCallbackRefCon;
        return createListener(listener, inRunLoop, inNotificationInterval, outListener);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

OSStatus AUListenerDispose(AUParameterListenerRef inListener) {
    if (!inListener) return paramErr;
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        const UInt32 top = gListenerTop.load(std::memory_order_relaxed);
        const ListenerTable* table = gListeners.load(std::memory_order_relaxed);
        UInt32 slot = 0;
        while (slot < top && table->slots[slot].load(std::memory_order_relaxed) != inListener)
            ++slot;
        if (slot == top) return paramErr; // not a live listener
        table->slots[slot].store(nullptr, std::memory_order_seq_cst);
    }
    gateSynchronize(); // no post can reach the listener any more
    CFRunLoopRef loop = inListener->loop;
    if (MorvaneRunLoopRemoveSource(loop, inListener)) {
        // Called from one of its own callbacks: perform() frees it on the way out.
        inListener->disposed.store(true, std::memory_order_release);
        return noErr;
    }
    delete inListener;
    MorvaneRunLoopRelease(loop);
    return noErr;
}

OSStatus AUListenerAddParameter(AUParameterListenerRef inListener, void* inObject,
                                const AudioUnitParameter* inParameter) {
    if (!inParameter || !isRegistered(inListener)) return paramErr;
    return addRegistration(inListener,
                           parameterKey(inObject, *inParameter, kAudioUnitEvent_ParameterValueChange));
}

OSStatus AUListenerRemoveParameter(AUParameterListenerRef inListener, void* inObject,
                                   const AudioUnitParameter* inParameter) {
    if (!inParameter || !isRegistered(inListener)) return paramErr;
    return removeRegistration(inListener,
                              parameterKey(inObject, *inParameter, kAudioUnitEvent_ParameterValueChange));
}

OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void* inObject,
                                     const AudioUnitEvent* inEvent) {
    Key key;
    if (!inEvent || !eventKey(inObject, *inEvent, key) || !isRegistered(inListener) ||
        !inListener->isEventListener)
        return paramErr;
    return addRegistration(inListener, key);
}

OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void* inObject,
                                        const AudioUnitEvent* inEvent) {
    Key key;
    if (!inEvent || !eventKey(inObject, *inEvent, key) || !isRegistered(inListener) ||
        !inListener->isEventListener)
        return paramErr;
    return removeRegistration(inListener, key);
}

OSStatus AUParameterSet(AUParameterListenerRef inSendingListener, void* inSendingObject,
                        const AudioUnitParameter* inParameter, AudioUnitParameterValue inValue,
                        UInt32 inBufferOffsetInFrames) {
    if (!inParameter || inParameter->mParameterID == kAUParameterListener_AnyParameter) return paramErr;
    const OSStatus result =
        AudioUnitSetParameter(inParameter->mAudioUnit, inParameter->mParameterID, inParameter->mScope,
                              inParameter->mElement, inValue, inBufferOffsetInFrames);
    if (result != noErr) return result;
    // Listeners hear the value the unit stored (it may hold it within its range).
    AudioUnitParameterValue stored = inValue;
    if (AudioUnitGetParameter(inParameter->mAudioUnit, inParameter->mParameterID, inParameter->mScope,
                              inParameter->mElement, &stored) != noErr)
        stored = inValue;
    Post p;
    p.unit = inParameter->mAudioUnit;
    p.id = inParameter->mParameterID;
    p.scope = inParameter->mScope;
    p.element = inParameter->mElement;
    p.hasValue = true;
    p.value = stored;
    p.sender = inSendingListener;
    p.senderObject = inSendingObject;
    post(p);
    return noErr;
}

OSStatus AUParameterListenerNotify(AUParameterListenerRef inSendingListener, void* inSendingObject,
                                   const AudioUnitParameter* inParameter) {
    if (!inParameter) return paramErr;
    Post p;
    p.unit = inParameter->mAudioUnit;
    p.id = inParameter->mParameterID;
    p.scope = inParameter->mScope;
    p.element = inParameter->mElement;
    p.anyParameter = inParameter->mParameterID == kAUParameterListener_AnyParameter;
    p.sender = inSendingListener;
    p.senderObject = inSendingObject;
    post(p);
    return noErr;
}

OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void* inSendingObject,
                               const AudioUnitEvent* inEvent) {
    Key key;
    if (!inEvent || !eventKey(inSendingObject, *inEvent, key)) return paramErr;
    Post p;
    p.type = key.type;
    p.unit = key.unit;
    p.id = key.id;
    p.scope = key.scope;
    p.element = key.element;
    p.anyParameter =
        key.type != kAudioUnitEvent_PropertyChange && key.id == kAUParameterListener_AnyParameter;
    p.eventListenersOnly = true;
    p.sender = inSendingListener;
    p.senderObject = inSendingObject;
    post(p);
    return noErr;
}

} // extern "C"

UInt64 MorvaneListenerDroppedEvents(AUEventListenerRef inListener) {
    return isRegistered(inListener) ? inListener->droppedEvents.load(std::memory_order_relaxed) : 0;
}

CFIndex MorvaneListenerDeliver(CFRunLoopRef runLoop) {
    if (runLoop == nullptr) return 0;
    CFIndex calls = 0;
    // The gate keeps every listener of the registry alive while it is looked
    // at; those of this loop cannot go away by the caller's promise.
    GateScope gate;
    const UInt32 top = gListenerTop.load(std::memory_order_acquire);
    const ListenerTable* table = gListeners.load(std::memory_order_acquire);
    for (UInt32 i = 0; i < top; ++i) {
        AUListenerBase* listener = table->slots[i].load(std::memory_order_acquire);
        if (listener == nullptr || listener->loop != runLoop) continue;
        if (!listener->anyPending.exchange(false, std::memory_order_seq_cst)) continue;
        for (const Delivery& d : gatherPending(listener))
            if (deliverOne(listener, d, 0.0)) ++calls;
    }
    return calls;
}
