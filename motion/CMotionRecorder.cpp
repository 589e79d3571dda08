#include "motion/CMotionRecorder.h"

#include <bit>

namespace {

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;

// Image words: 0..79 x, 80..159 y, then the six 32-bit fields.
constexpr std::size_t kWordY = CMotionRecorder::kCapacity;
constexpr std::size_t kWordReserved640 = 2 * CMotionRecorder::kCapacity;
constexpr std::size_t kWordCount = kWordReserved640 + 1;
constexpr std::size_t kWordPlayIndex = kWordReserved640 + 2;
constexpr std::size_t kWordPlayStep = kWordReserved640 + 3;
constexpr std::size_t kWordReserved656 = kWordReserved640 + 4;
constexpr std::size_t kWordPlayFraction = kWordReserved640 + 5;
constexpr std::size_t kWords = CMotionRecorder::kImageSize / 4;
static_assert(kWordPlayFraction + 1 == kWords);

uint32_t floatBits(const std::atomic<float>& f) {
    return std::bit_cast<uint32_t>(f.load(kRelaxed));
}

uint32_t wordBits(const CMotionRecorder& r, std::size_t w) {
    if (w < kWordY) return floatBits(r.x[w]);
    if (w < kWordReserved640) return floatBits(r.y[w - kWordY]);
    switch (w) {
    case kWordReserved640:
        return r.reserved640.load(kRelaxed);
    case kWordCount:
        return r.count.load(kRelaxed);
    case kWordPlayIndex:
        return r.playIndex.load(kRelaxed);
    case kWordPlayStep:
        return floatBits(r.playStep);
    case kWordReserved656:
        return floatBits(r.reserved656);
    default:
        return floatBits(r.playFraction);
    }
}

float padCoordinate(uint32_t bits) {
    const float v = std::bit_cast<float>(bits);
    if (v != v) return 0.0f;
    return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

} // namespace

CMotionRecorder::CMotionRecorder()
    : reserved640(0), count(0), playIndex(0), playStep(1.0f), reserved656(1.0f), playFraction(0.0f) {
    for (uint32_t k = 0; k < kCapacity; ++k) {
        x[k].store(0.0f, kRelaxed);
        y[k].store(0.0f, kRelaxed);
    }
}

void CMotionRecorder::startRecording() {
    count.store(0, kRelaxed);
}

void CMotionRecorder::recordValues(float xValue, float yValue) {
    const uint32_t n = count.load(kRelaxed);
    if (n >= kCapacity) return;
    x[n].store(xValue, kRelaxed);
    y[n].store(yValue, kRelaxed);
    count.store(n + 1, kRelaxed);
}

void CMotionRecorder::clearRecording() {
    count.store(0, kRelaxed);
    playIndex.store(0, kRelaxed);
    playFraction.store(0.0f, kRelaxed);
}

void CMotionRecorder::startPlayback() {
    playIndex.store(0, kRelaxed);
    playFraction.store(0.0f, kRelaxed);
}

bool CMotionRecorder::getIndexedValues(float& xValue, float& yValue, float phase) const {
    // Read once: every index below stays under this count, which never exceeds 80.
    const uint32_t n = count.load(kRelaxed);
    if (n == 0) return false;
    const uint32_t lastPoint = n - 1;
    float p = static_cast<float>(lastPoint) * phase;
    if (!(p > 0.0f)) p = 0.0f;
    if (p >= static_cast<float>(lastPoint)) {
        xValue = x[lastPoint].load(kRelaxed);
        yValue = y[lastPoint].load(kRelaxed);
        return true;
    }
    const uint32_t i = static_cast<uint32_t>(p);
    const float f = p - static_cast<float>(i);
    xValue = (1.0f - f) * x[i].load(kRelaxed) + f * x[i + 1].load(kRelaxed);
    yValue = (1.0f - f) * y[i].load(kRelaxed) + f * y[i + 1].load(kRelaxed);
    return true;
}

void CMotionRecorder::saveImage(uint8_t out[kImageSize]) const {
    for (std::size_t w = 0; w < kWords; ++w) {
        const uint32_t bits = w == kWordReserved640 ? 0 : wordBits(*this, w);
        for (std::size_t b = 0; b < 4; ++b)
            out[4 * w + b] = static_cast<uint8_t>(bits >> (8 * b));
    }
}

bool CMotionRecorder::restoreImage(const uint8_t* bytes, std::size_t length) {
    if (length == 0) return true;
    if (!bytes) return false;
    const std::size_t n = length < kImageSize ? length : kImageSize;
    // Each touched word is stored once, already checked, so the render thread
    // never sees a count above 80 or a point that is not a pad coordinate.
    const std::size_t touched = (n + 3) / 4;
    for (std::size_t w = 0; w < touched; ++w) {
        // A word the image ends inside keeps its own upper bytes.
        uint32_t bits = wordBits(*this, w);
        for (std::size_t b = 0; b < 4 && 4 * w + b < n; ++b) {
            bits &= ~(0xffu << (8 * b));
            bits |= static_cast<uint32_t>(bytes[4 * w + b]) << (8 * b);
        }
        if (w < kWordY)
            x[w].store(padCoordinate(bits), kRelaxed);
        else if (w < kWordReserved640)
            y[w - kWordY].store(padCoordinate(bits), kRelaxed);
        else if (w == kWordReserved640)
            reserved640.store(bits, kRelaxed);
        else if (w == kWordCount)
            count.store(bits > kCapacity ? kCapacity : bits, kRelaxed);
        else if (w == kWordPlayIndex)
            playIndex.store(bits, kRelaxed);
        else if (w == kWordPlayStep)
            playStep.store(std::bit_cast<float>(bits), kRelaxed);
        else if (w == kWordReserved656)
            reserved656.store(std::bit_cast<float>(bits), kRelaxed);
        else
            playFraction.store(std::bit_cast<float>(bits), kRelaxed);
    }
    return true;
}
