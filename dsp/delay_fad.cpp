#include "dsp/delay_fad.h"

#include <climits>

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
