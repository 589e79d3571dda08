// Fractional circular delay line whose read head follows a changed delay time
// either by gliding (re-pitching like a tape while the distance adapts) or by
// jumping at once.
#pragma once

#include <cstdint>

struct delay_fad {
    float time;         // s; attributes 500 and 514 set it from milliseconds
    uint32_t maxTimeMs; // from delay_fad_init_max_time; 0 when the line was sized by count
    int length;         // samples, (int)(time * sampling rate), kept within 1 .. size - 2
    uint32_t size;      // float slots in buffer
    float* buffer;      // owned; null when the allocation failed or size is 0
    float reserved;
    float readPos;       // fractional, 0 <= readPos < size
    float writePos;      // whole-numbered, 0 <= writePos < size
    float readSpeed;     // read-head advance per sample before the rate correction
    float writeSpeed;    // write-head advance per sample
    float lastInput;     // input of the previous call
    int lastIndex;       // first slot written by the previous call
    uint8_t jumpPending; // the next call re-positions the read head (attribute 514)
    uint8_t reversed;    // the flag bytes below are always 0 here
    uint8_t reverseRequest;
    uint8_t clipWrites;
    float writeMix; // share of the input not written; 0 here
    float output;   // last output
};

// Not on the render thread (they allocate or free). The record may be
// uninitialised before an init; init does not release an earlier buffer.
//
// Sizes the line for maxTimeMs at the current sampling rate (computed in double,
// saturated to 0 .. 4294967295 slots) and initialises it.
void delay_fad_init_max_time(delay_fad* d, uint32_t maxTimeMs);
// Allocates count zeroed slots; time 0.5 s, read head at 0, write head length - 1.
void delay_fad_init(delay_fad* d, uint32_t count);
// Re-sizes the buffer for maxTimeMs at a new sampling rate (nothing happens when
// the slot count is unchanged, or when the line was sized by count). The contents
// are lost and both heads restart at the current time's length.
void delay_fad_update_sampling_rate(delay_fad* d);
void delay_fad_free(delay_fad* d);

// Any thread that owns the record (the render thread, once per block).
// 500: glide to the new time; 514: jump to it. A length that does not fit the
// buffer is held at its nearest usable value (1 .. size - 2 samples).
void delay_fad_set_attr(delay_fad* d, int attributeId, float valueMs);

// Any thread that owns the record (not allocating): zeroes every slot and
// restarts both heads at the current length; lastInput and jumpPending stay.
void delay_fad_clear(delay_fad* d);

// Render thread: one sample in, one out. Real-time safe; a line without a
// buffer outputs silence. In steady state a sample comes out length - 2 calls
// after it went in, spread over two outputs because each stored slot holds the
// mean of two successive inputs.
inline float delay_fad_dsp(delay_fad* d, float x) {
    if (!d->buffer) return d->output = 0.0f;
    float* const buffer = d->buffer;
    const uint32_t size = d->size;
    const float fsize = static_cast<float>(size);

    // Rate: r = length / distance. A longer target distance slows the read head
    // (pitch falls) until the distance has grown; a shorter one speeds it up.
    float step;
    if (d->jumpPending) {
        float readPos = d->writePos - static_cast<float>(d->length) + 1.0f;
        if (readPos < 0.0f) readPos += fsize;
        d->readPos = readPos;
        d->jumpPending = 0;
        step = d->readSpeed;
    } else {
        int distance = static_cast<int>(d->writePos - d->readPos + 1.0f);
        if (distance < 0) distance += static_cast<int>(size);
        // The step readSpeed / r is taken as readSpeed * distance / length (one
        // division). A zero distance would make r infinite: the read head stands
        // still. At the target distance r is exactly 1 and no division is needed.
        if (distance == d->length)
            step = d->readSpeed;
        else if (distance == 0)
            step = 0.0f;
        else
            step = d->readSpeed * static_cast<float>(distance) / static_cast<float>(d->length);
    }

    // Read with linear interpolation between neighbouring slots.
    float readPos = d->readPos + step;
    while (readPos >= fsize)
        readPos -= fsize;
    d->readPos = readPos;
    const uint32_t i = static_cast<uint32_t>(readPos);
    const float f = readPos - static_cast<float>(i);
    const uint32_t next = i + 1 == size ? 0 : i + 1;
    const float out = (1.0f - f) * buffer[i] + f * buffer[next];

    // Write: every whole slot the write head passes gets a point on the line from
    // the previous input to this one; at speed 1 that is one slot holding their mean.
    const float from = d->writePos;
    float to = from + d->writeSpeed;
    const int first = static_cast<int>(from);
    const float previous = d->lastInput;
    if (d->writeSpeed == 1.0f && from == static_cast<float>(first)) {
        buffer[first] = (x - previous) * 0.5f + previous;
    } else {
        const int last = static_cast<int>(to);
        const float weightStep = 1.0f / static_cast<float>(last - first + 1);
        float weight = 0.0f;
        for (int k = first; static_cast<float>(k) < to; ++k) {
            weight += weightStep;
            const uint32_t slot = static_cast<uint32_t>(k);
            buffer[slot < size ? slot : slot - size] = (x - previous) * weight + previous;
        }
    }
    if (to >= fsize) to -= fsize;
    d->writePos = to;
    d->lastInput = x;
    d->lastIndex = first;
    return d->output = out;
}

inline float delay_fad_get_output(const delay_fad* d) {
    return d->output;
}

// delay_fad_dsp over a run of samples with the line's state in registers
// (render thread): taken from the record at construction, given back at
// destruction, nothing else touching the record in between. It relies on what
// this system always has, read and write speeds of 1 and so a write head on
// whole slots, and then gives exactly delay_fad_dsp's results in a fraction of
// its work; any other line is run by delay_fad_dsp itself.
class delay_fad_run {
  public:
    explicit delay_fad_run(delay_fad& d)
        : d(d), general(!d.buffer || d.readSpeed != 1.0f || d.writeSpeed != 1.0f || !(d.writePos >= 0.0f) ||
                        d.writePos != static_cast<float>(static_cast<uint32_t>(d.writePos))),
          buffer(d.buffer), size(d.size), fsize(static_cast<float>(d.size)), length(d.length),
          readPos(d.readPos), writePos(d.writePos), lastInput(d.lastInput), output(d.output),
          write(general ? 0 : static_cast<uint32_t>(d.writePos)), lastIndex(d.lastIndex),
          jump(d.jumpPending != 0) {}
    ~delay_fad_run() {
        if (general) return;
        d.readPos = readPos;
        d.writePos = writePos;
        d.lastInput = lastInput;
        d.output = output;
        d.lastIndex = lastIndex;
        d.jumpPending = jump ? 1 : 0;
    }
    delay_fad_run(const delay_fad_run&) = delete;
    delay_fad_run& operator=(const delay_fad_run&) = delete;

    float process(float x) {
        if (general) [[unlikely]]
            return delay_fad_dsp(&d, x);
        float step = 1.0f;
        if (jump) [[unlikely]] {
            readPos = writePos - static_cast<float>(length) + 1.0f;
            if (readPos < 0.0f) readPos += fsize;
            jump = false;
        } else {
            int distance = static_cast<int>(writePos - readPos + 1.0f);
            if (distance < 0) distance += static_cast<int>(size);
            if (distance != length) [[unlikely]]
                step = distance == 0 ? 0.0f : static_cast<float>(distance) / static_cast<float>(length);
        }
        readPos += step;
        while (readPos >= fsize)
            readPos -= fsize;
        const uint32_t i = static_cast<uint32_t>(readPos);
        const float f = readPos - static_cast<float>(i);
        const uint32_t next = i + 1 == size ? 0 : i + 1;
        output = (1.0f - f) * buffer[i] + f * buffer[next];

        buffer[write] = (x - lastInput) * 0.5f + lastInput;
        lastIndex = static_cast<int>(write);
        write = write + 1 == size ? 0 : write + 1;
        writePos += 1.0f;
        if (writePos >= fsize) writePos -= fsize;
        lastInput = x;
        return output;
    }

  private:
    delay_fad& d;
    const bool general;
    float* const buffer;
    const uint32_t size;
    const float fsize;
    const int length;
    float readPos, writePos, lastInput, output;
    uint32_t write; // writePos as a slot index
    int lastIndex;
    bool jump;
};
