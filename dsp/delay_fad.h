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

// Render thread, the two halves of a call: delay_fad_read moves the read head
// and returns the output; delay_fad_write stores the input (the line's state
// as the read left it).
inline float delay_fad_read(delay_fad* d) {
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
    return d->output = (1.0f - f) * buffer[i] + f * buffer[next];
}

inline void delay_fad_write(delay_fad* d, float x) {
    float* const buffer = d->buffer;
    const uint32_t size = d->size;
    const float fsize = static_cast<float>(size);
    // Every whole slot the write head passes gets a point on the line from the
    // previous input to this one; at speed 1 that is one slot holding their mean.
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
}

// Render thread: one sample in, one out. Real-time safe; a line without a
// buffer outputs silence. In steady state a sample comes out length - 2 calls
// after it went in, spread over two outputs because each stored slot holds the
// mean of two successive inputs.
inline float delay_fad_dsp(delay_fad* d, float x) {
    if (!d->buffer) return d->output = 0.0f;
    const float out = delay_fad_read(d);
    delay_fad_write(d, x);
    return out;
}

inline float delay_fad_get_output(const delay_fad* d) {
    return d->output;
}

// delay_fad_dsp over a stretch of calls, reads first and writes after
// (render thread): the outputs of the coming calls are read ahead, as many as
// do not depend on the inputs of the stretch (a slot is read before the
// stretch writes it), then the stretch's inputs are written. The line's state
// is taken from the record at construction and given back at destruction,
// nothing else touching the record in between. The results are exactly
// delay_fad_dsp's, call for call.
//
// It relies on what this system always has, read and write speeds of 1 and so
// a write head on whole slots. Then a stretch in which the heads keep their
// distance (the delay time is not moving) and neither wraps nor crosses a
// power of two (so every step of the read head is exact and leaves its
// fraction alone) is read as one interpolation over contiguous slots. Any
// other stretch is read call by call, and any other line by delay_fad_dsp's
// own halves, one call per stretch.
class delay_fad_run {
  public:
    explicit delay_fad_run(delay_fad& d);
    ~delay_fad_run();
    delay_fad_run(const delay_fad_run&) = delete;
    delay_fad_run& operator=(const delay_fad_run&) = delete;

    // The outputs of up to `frames` (1 or more) coming calls of two lines
    // into outA[0..n) and outB[0..n), moving their read heads; returns n, at
    // least 1, the same for both. The lines' call-by-call reads run side by
    // side, each one's chain of dependent steps filling the other's waits.
    static uint32_t readAhead(delay_fad_run& a, float* outA, delay_fad_run& b, float* outB, uint32_t frames);
    // The inputs of the calls read ahead, in[0..n) for the n readAhead returned.
    void writeBehind(const float* in, uint32_t frames);

  private:
    struct Heads {
        float readPos, writePos;
        bool jump;
    };
    // True when the next `frames` calls form a steady stretch.
    bool steady(uint32_t frames) const;
    // Reads a steady stretch.
    [[gnu::always_inline]] inline void readSteady(uint32_t frames, float* out);
    // Call k of a stretch read from heads h, moving them: false, h untouched,
    // when it would read a slot an earlier call of the stretch writes.
    [[gnu::always_inline]] inline bool readCall(Heads& h, uint32_t k, float& out) const;
    // One whole call of a general line's own routine (its write comes in
    // writeBehind).
    void readGeneral(float* out);

    delay_fad& d;
    const bool general;
    float* const buffer;
    const uint32_t size;
    const float fsize;
    const int length;
    Heads heads;
    // The read head's step for the last distance measured call by call.
    mutable int stepDistance;
    mutable float stepOfDistance = 1.0f;
    float lastInput, output;
    uint32_t write; // the slot the next written input goes to
    int lastIndex;
};
