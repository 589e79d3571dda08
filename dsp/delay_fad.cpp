#include "dsp/delay_fad.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "dsp/csd_utilities.h"

namespace {

// maxTimeMs at the current rate, in double, saturated to the unsigned range.
uint32_t slotsFor(uint32_t maxTimeMs) {
    const double count = static_cast<double>(maxTimeMs) * 0.001 * static_cast<double>(csd_sampling_rate());
    if (!(count > 0.0)) return 0;
    if (count >= 4294967295.0) return 4294967295u;
    return static_cast<uint32_t>(count);
}

// (int)(seconds * rate), saturated and held where the heads can work: at least
// one sample, and short of the full buffer so that the distance between the heads
// never wraps to zero.
int lengthFor(float seconds, uint32_t size) {
    const float samples = seconds * csd_sampling_rate();
    const uint32_t usable = size > 3 ? size - 2 : 1;
    const int longest = usable > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(usable);
    if (!(samples >= 1.0f)) return 1;
    if (samples >= static_cast<float>(longest)) return longest;
    return static_cast<int>(samples);
}

void restartHeads(delay_fad* d) {
    d->readPos = 0.0f;
    d->reserved = 0.0f;
    d->writePos = static_cast<float>(d->length - 1);
}

void allocate(delay_fad* d, uint32_t count) {
    d->buffer =
        count ? static_cast<float*>(csd_mem_alloc(static_cast<std::size_t>(count) * sizeof(float))) : nullptr;
    d->size = d->buffer ? count : 0;
}

} // namespace

void delay_fad_init_max_time(delay_fad* d, uint32_t maxTimeMs) {
    delay_fad_init(d, slotsFor(maxTimeMs));
    d->maxTimeMs = maxTimeMs;
}

void delay_fad_init(delay_fad* d, uint32_t count) {
    d->maxTimeMs = 0;
    allocate(d, count);
    d->time = 0.5f;
    d->length = lengthFor(d->time, d->size);
    restartHeads(d);
    d->lastInput = 0.0f;
    d->lastIndex = static_cast<int>(d->writePos - 1.0f);
    d->readSpeed = 1.0f;
    d->writeSpeed = 1.0f;
    d->jumpPending = 0;
    d->reversed = 0;
    d->reverseRequest = 0;
    d->clipWrites = 0;
    d->writeMix = 0.0f;
    d->output = 0.0f;
}

void delay_fad_update_sampling_rate(delay_fad* d) {
    if (d->maxTimeMs == 0) return;
    const uint32_t count = slotsFor(d->maxTimeMs);
    if (count == d->size && d->buffer) return;
    csd_mem_free(d->buffer);
    allocate(d, count);
    d->length = lengthFor(d->time, d->size);
    restartHeads(d);
    d->lastInput = 0.0f;
    d->lastIndex = static_cast<int>(d->writePos - 1.0f);
    d->readSpeed = 1.0f;
    d->writeSpeed = 1.0f;
}

void delay_fad_free(delay_fad* d) {
    csd_mem_free(d->buffer);
    d->buffer = nullptr;
    d->size = 0;
}

void delay_fad_set_attr(delay_fad* d, int attributeId, float valueMs) {
    if (attributeId != kCsdAttrDelayTimeGlide && attributeId != kCsdAttrDelayTimeJump) return;
    const float seconds = valueMs * 0.001f;
    d->time = seconds;
    const int length = lengthFor(seconds, d->size);
    if (length == d->length) return;
    d->length = length;
    if (attributeId == kCsdAttrDelayTimeJump) d->jumpPending = 1;
}

void delay_fad_clear(delay_fad* d) {
    for (uint32_t i = 0; i < d->size; ++i)
        d->buffer[i] = 0.0f;
    restartHeads(d);
}

delay_fad_run::delay_fad_run(delay_fad& d)
    : d(d), general(!d.buffer || d.readSpeed != 1.0f || d.writeSpeed != 1.0f || !(d.writePos >= 0.0f) ||
                    d.writePos != static_cast<float>(static_cast<uint32_t>(d.writePos))),
      buffer(d.buffer), size(d.size), fsize(static_cast<float>(d.size)),
      length(d.length), heads{d.readPos, d.writePos, d.jumpPending != 0}, stepDistance(d.length),
      lastInput(d.lastInput), output(d.output), write(general ? 0 : static_cast<uint32_t>(d.writePos)),
      lastIndex(d.lastIndex) {}

delay_fad_run::~delay_fad_run() {
    if (general) return;
    d.readPos = heads.readPos;
    d.writePos = heads.writePos;
    d.jumpPending = heads.jump ? 1 : 0;
    d.lastInput = lastInput;
    d.output = output;
    d.lastIndex = lastIndex;
}

namespace {

// The exponent field of a float: equal for two positive normal floats in the
// same power-of-two range.
uint32_t exponentOf(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits >> 23;
}

} // namespace

bool delay_fad_run::steady(uint32_t frames) const {
    if (heads.jump) return false;
    const float readPos = heads.readPos, writePos = heads.writePos;
    int distance = static_cast<int>(writePos - readPos + 1.0f);
    if (distance < 0) distance += static_cast<int>(size);
    const float lastRead = readPos + static_cast<float>(frames);
    // Every call steps the read head by exactly 1 (the distance it measures
    // stays the target), without wrapping or leaving readPos's power-of-two
    // range, so the step is exact and the fraction stays; the slots read
    // (first .. first + frames) lie behind those the stretch writes
    // (write .. write + frames - 1), and the write head does not wrap.
    if (distance != length || !(readPos >= 1.0f) || exponentOf(readPos) != exponentOf(lastRead) ||
        !(lastRead < fsize - 1.0f) || !(writePos + static_cast<float>(frames) < fsize))
        return false;
    const uint32_t first = static_cast<uint32_t>(readPos + 1.0f);
    const uint32_t behind = first >= write ? first - write : first + size - write;
    return behind + frames < size;
}

inline void delay_fad_run::readSteady(uint32_t frames, float* out) {
    const float readPos = heads.readPos + 1.0f;
    const uint32_t first = static_cast<uint32_t>(readPos);
    const float f = readPos - static_cast<float>(first);
    const float g = 1.0f - f;
    const float* const slot = buffer + first;
    for (uint32_t k = 0; k < frames; ++k)
        out[k] = g * slot[k] + f * slot[k + 1];
    heads.readPos += static_cast<float>(frames);
    heads.writePos += static_cast<float>(frames);
    output = out[frames - 1];
}

// delay_fad_read's arithmetic for speeds of 1.
inline bool delay_fad_run::readCall(Heads& h, uint32_t k, float& out) const {
    float step = 1.0f;
    float from = h.readPos;
    if (h.jump) {
        from = h.writePos - static_cast<float>(length) + 1.0f;
        if (from < 0.0f) from += fsize;
    } else {
        int distance = static_cast<int>(h.writePos - h.readPos + 1.0f);
        if (distance < 0) distance += static_cast<int>(size);
        // While the time glides the distance changes by a slot now and then:
        // the division is made only when it does (distance / length is
        // exactly 1 at the target and 0 at no distance, as delay_fad_read has
        // it).
        if (distance != stepDistance) {
            stepDistance = distance;
            stepOfDistance = distance == length ? 1.0f
                             : distance == 0    ? 0.0f
                                                : static_cast<float>(distance) / static_cast<float>(length);
        }
        step = stepOfDistance;
    }
    float readPos = from + step;
    while (readPos >= fsize)
        readPos -= fsize;
    const uint32_t i = static_cast<uint32_t>(readPos);
    const uint32_t j = i + 1 == size ? 0 : i + 1;
    // Calls 0 .. k - 1 of the stretch write slots write .. write + k - 1.
    const uint32_t behindI = i >= write ? i - write : i + size - write;
    const uint32_t behindJ = j >= write ? j - write : j + size - write;
    if (behindI < k || behindJ < k) return false;
    const float f = readPos - static_cast<float>(i);
    out = (1.0f - f) * buffer[i] + f * buffer[j];
    h.readPos = readPos;
    h.jump = false;
    h.writePos += 1.0f;
    if (h.writePos >= fsize) h.writePos -= fsize;
    return true;
}

void delay_fad_run::readGeneral(float* out) {
    out[0] = d.buffer ? delay_fad_read(&d) : (d.output = 0.0f);
}

uint32_t delay_fad_run::readAhead(delay_fad_run& a, float* outA, delay_fad_run& b, float* outB,
                                  uint32_t frames) {
    if (a.general || b.general) {
        // A general line takes one call per stretch; the other keeps step.
        frames = 1;
        if (a.general) a.readGeneral(outA);
        if (b.general) b.readGeneral(outB);
        if (a.general && b.general) return 1;
    }
    const bool steadyA = !a.general && a.steady(frames);
    const bool steadyB = !b.general && b.steady(frames);
    const bool byCallA = !a.general && !steadyA, byCallB = !b.general && !steadyB;
    uint32_t n = frames;
    if (byCallA && byCallB) {
        // Both call by call, in step: each line's chain of dependent steps
        // fills the other's waits.
        Heads ha = a.heads, hb = b.heads;
        uint32_t k = 0;
        for (; k < frames; ++k) {
            Heads nextA = ha, nextB = hb;
            float ya, yb;
            if (!a.readCall(nextA, k, ya) || !b.readCall(nextB, k, yb)) break;
            ha = nextA, hb = nextB;
            outA[k] = ya, outB[k] = yb;
        }
        a.heads = ha, b.heads = hb;
        a.output = outA[k - 1], b.output = outB[k - 1];
        n = k;
    } else if (byCallA || byCallB) {
        // One line call by call; the other, steady, follows (a steady stretch
        // stays steady when it is cut short).
        delay_fad_run& line = byCallA ? a : b;
        float* const out = byCallA ? outA : outB;
        uint32_t k = 0;
        while (k < frames && line.readCall(line.heads, k, out[k]))
            ++k;
        line.output = out[k - 1];
        n = k;
    }
    if (steadyA) a.readSteady(n, outA);
    if (steadyB) b.readSteady(n, outB);
    return n;
}

void delay_fad_run::writeBehind(const float* in, uint32_t frames) {
    if (general) {
        if (d.buffer) delay_fad_write(&d, in[0]);
        return;
    }
    // Each input goes to the next slot as the mean of it and the input before
    // it, in at most two runs of slots: up to the buffer's end, then from 0.
    float previous = lastInput;
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t count = std::min(frames - done, size - write);
        float* const slot = buffer + write;
        const float* const x = in + done;
        slot[0] = (x[0] - previous) * 0.5f + previous;
        for (uint32_t k = 1; k < count; ++k)
            slot[k] = (x[k] - x[k - 1]) * 0.5f + x[k - 1];
        previous = x[count - 1];
        lastIndex = static_cast<int>(write + count - 1);
        write = write + count == size ? 0 : write + count;
        done += count;
    }
    lastInput = previous;
}
