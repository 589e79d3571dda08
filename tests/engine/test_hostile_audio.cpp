// Hostile audio: every host rate, odd block sizes, input that is not audio,
// buffer lists with more buffers than the chain runs on, and feedback loops
// set above unity gain.
#include "tests/engine/engine_test_support.h"

#include <algorithm>
#include <cstring>

namespace {

// Unity gains, filter off, fully wet, each echo on its own side, fixed 12 kHz
// damping, a free delay of `ms` on both lines at `regenDb`.
void setPlainLoop(EngineHost& e, float ms, float regenDb) {
    e.set(kInputGain, 0.0f);
    e.set(kOutputGain, 0.0f);
    e.set(kFilterOnOff, 0.0f);
    e.set(kDelayOnOff, 1.0f);
    e.set(kWetDryMix, 100.0f);
    e.set(kWidth, 100.0f);
    e.set(kEmulation, 1.0f);
    e.set(kHostSync, 0.0f);
    e.set(kLeftDelayTime, (ms - 4.0f) / 1996.0f); // the fraction of 4..2000 ms
    e.set(kRightDelayTime, 5.0f);                 // x 1
    e.set(kRegeneration, regenDb);
    e.pump();
}

std::vector<std::vector<float>> noiseBurst(size_t frames, size_t burst, float amplitude) {
    std::vector<std::vector<float>> in(2, std::vector<float>(frames, 0.0f));
    uint32_t seed = 99;
    for (size_t i = 0; i < burst; ++i)
        for (auto& ch : in) {
            seed = seed * 1664525u + 1013904223u;
            ch[i] = amplitude * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
        }
    return in;
}

bool allFinite(const std::vector<std::vector<float>>& x) {
    for (const auto& ch : x)
        for (float v : ch)
            if (!std::isfinite(v)) return false;
    return true;
}

float peakOf(const std::vector<std::vector<float>>& x, size_t from = 0, size_t to = SIZE_MAX) {
    float peak = 0.0f;
    for (const auto& ch : x) {
        const size_t end = std::min(to, ch.size()); // a fixed bound keeps g++ -O3 from indices near SIZE_MAX
        for (size_t i = from; i < end; ++i)
            peak = std::max(peak, std::fabs(ch[i]));
    }
    return peak;
}

// ---------------------------------------------------------------------------
// Every rate, every filter, pushed hard

class EveryRate : public ::testing::TestWithParam<double> {};

// A full-scale square, DC at full scale both ways and denormal input, in
// blocks of 1, 7, 4096 or the framework's largest slice, through every filter
// type at full resonance with every gain up and the shortest loop above unity.
TEST_P(EveryRate, FiniteInputGivesFiniteBoundedOutputThroughEveryFilter) {
    const double rate = GetParam();
    EngineHost e(rate, 2, 65536);
    ASSERT_EQ(e.host().selectFactoryPreset(0), noErr); // pads drifting over cut-off, resonance, bitcrush
    e.set(kRYDestination, 0.0f);                       // regeneration stays where it is set below
    e.set(kHostSync, 0.0f);
    e.set(kLeftDelayTime, 0.0f); // 4 ms: the loop runs away within the first block of each filter
    const size_t n = static_cast<size_t>(rate / 16.0);
    std::vector<std::vector<float>> in(2, std::vector<float>(4 * n));
    for (size_t i = 0; i < n; ++i) {
        const float square = (i / 37) % 2 ? 1.0f : -1.0f;
        in[0][i] = in[1][i] = square;
        in[0][n + i] = in[1][n + i] = 1.0f;
        in[0][2 * n + i] = in[1][2 * n + i] = -1.0f;
        in[0][3 * n + i] = i % 2 ? 1e-40f : -3e-42f;
        in[1][3 * n + i] = 1e-45f;
    }
    e.set(kInputGain, 3.0f);
    e.set(kOutputGain, 3.0f);
    e.set(kRegeneration, 1.0f);
    e.set(kFilterGain, 15.0f);
    e.set(kFilterResonance, 100.0f);
    e.set(kSaturation, 100.0f);
    const UInt32 blocks[] = {1, 7, 4096, 65536};
    for (int type = 0; type < 6; ++type) {
        e.set(kFilterType, static_cast<float>(type));
        e.pump();
        const UInt32 block = blocks[(type + static_cast<int>(rate)) % 4];
        const auto out = e.render(in, block);
        ASSERT_TRUE(allFinite(out)) << rate << " Hz, type " << type << ", blocks of " << block;
        // The loop is held below +24 dBFS; with the dry path and every gain up
        // the output stays within a few times that.
        ASSERT_LT(peakOf(out), 100.0f) << rate << " Hz, type " << type << ", blocks of " << block;
    }
}

INSTANTIATE_TEST_SUITE_P(HostRates, EveryRate,
                         ::testing::Values(8000.0, 11025.0, 16000.0, 22050.0, 32000.0, 44100.0, 48000.0,
                                           88200.0, 96000.0, 176400.0, 192000.0));

// ---------------------------------------------------------------------------
// Input that is not audio

// NaN and infinite samples are heard as silence: the output is exactly what
// zeros in their place give, so nothing of them stays in the filters or the
// feedback loops.
TEST(HostileInput, NonFiniteSamplesAreHeardAsSilence) {
    auto clean = noiseBurst(44100, 44100, 0.5f);
    auto hostile = clean;
    for (size_t i = 1000; i < 1100; ++i)
        clean[0][i] = clean[1][i] = 0.0f;
    for (size_t i = 1000; i < 1100; ++i) {
        hostile[0][i] = i % 3 ? NAN : INFINITY;
        hostile[1][i] = i % 2 ? -INFINITY : NAN;
    }
    hostile[0][5000] = hostile[1][7000] = NAN;
    clean[0][5000] = clean[1][7000] = 0.0f;
    for (UInt32 channels : {2u, 1u}) {
        std::vector<std::vector<float>> outs[2];
        for (int k = 0; k < 2; ++k) {
            EngineHost e(44100.0, channels);
            ASSERT_EQ(e.host().selectFactoryPreset(14), noErr); // "4P BP", long regeneration, pads moving
            e.pump();
            auto in = k ? hostile : clean;
            in.resize(channels);
            outs[k] = e.render(in, 512);
        }
        ASSERT_TRUE(allFinite(outs[1])) << channels << " channels";
        for (UInt32 c = 0; c < channels; ++c)
            EXPECT_TRUE(std::equal(outs[0][c].begin(), outs[0][c].end(), outs[1][c].begin()))
                << channels << " channels, channel " << c;
    }
}

// Finite samples far beyond full scale are held at +-1e6 before the chain, so
// even the largest floats (which input gain alone would overflow) stay finite.
TEST(HostileInput, HugeFiniteSamplesCannotOverflowTheChain) {
    EngineHost e;
    setPlainLoop(e, 50.0f, 1.0f);
    e.set(kFilterOnOff, 1.0f);
    e.set(kInputGain, 3.0f);
    e.set(kOutputGain, 3.0f);
    e.pump();
    auto in = noiseBurst(22050, 22050, 3.4e38f);
    const auto out = e.render(in, 512);
    ASSERT_TRUE(allFinite(out));
}

// ---------------------------------------------------------------------------
// Block sizes and buffer lists

// Drives the render chain directly, the way a host with its own buffer lists
// would: `in` and `out` hold one vector per buffer.
void processLists(Morvane_AU& effect, const std::vector<std::vector<float>>& in,
                  std::vector<std::vector<float>>& out, size_t from, UInt32 frames) {
    AudioBufferListStorage<4> inList, outList;
    inList.setNumberBuffers(static_cast<UInt32>(in.size()));
    outList.setNumberBuffers(static_cast<UInt32>(out.size()));
    for (UInt32 c = 0; c < in.size(); ++c)
        inList.setChannel(c, const_cast<float*>(in[c].data()) + from, frames);
    for (UInt32 c = 0; c < out.size(); ++c)
        outList.setChannel(c, out[c].data() + from, frames);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(effect.ProcessBufferLists(flags, inList.list(), outList.list(), frames), noErr);
}

// Calls of no frames change nothing, and blocks of 1, 7, 4096 and the largest
// slice give the very same audio (preset 6 moves only per-tick values).
TEST(BlockSizes, EmptyCallsAndOddSizesGiveTheSameAudio) {
    const auto in = noiseBurst(3 * 65536, 3 * 65536, 0.5f);
    std::vector<std::vector<float>> outs[2];
    for (int k = 0; k < 2; ++k) {
        EngineHost e(44100.0, 2, 65536);
        ASSERT_EQ(e.host().setTransport({120.0, 0.0}), noErr);
        ASSERT_EQ(e.host().selectFactoryPreset(6), noErr);
        e.pump();
        outs[k].assign(2, std::vector<float>(in[0].size(), 0.0f));
        const UInt32 pattern[] = {0, 1, 7, 0, 4096, 65536, 0};
        size_t at = 0;
        for (size_t step = 0; at < in[0].size(); ++step) {
            UInt32 frames = k == 0 ? 512 : pattern[step % std::size(pattern)];
            frames = static_cast<UInt32>(std::min<size_t>(frames, in[0].size() - at));
            if (frames == 0) {
                processLists(e.effect(), in, outs[k], at, 0); // the host's call of no frames
                continue;
            }
            const float* ip[2] = {in[0].data() + at, in[1].data() + at};
            float* op[2] = {outs[k][0].data() + at, outs[k][1].data() + at};
            ASSERT_EQ(e.host().render(ip, op, frames), noErr);
            at += frames;
        }
    }
    for (int c = 0; c < 2; ++c)
        EXPECT_TRUE(std::equal(outs[0][c].begin(), outs[0][c].end(), outs[1][c].begin())) << "channel " << c;
}

// The chain runs on buffers 0 and 1. A third output buffer must not keep what
// the host's memory held: it carries its own input through, or silence.
TEST(BufferLists, BuffersBeyondTheSecondPassThroughOrAreSilenced) {
    const auto stereo = noiseBurst(4096, 4096, 0.5f);
    auto three = stereo;
    three.push_back(std::vector<float>(4096, 0.25f));
    std::vector<std::vector<float>> reference(2, std::vector<float>(4096));
    {
        EngineHost e;
        e.setDryUnity();
        processLists(e.effect(), stereo, reference, 0, 4096);
    }
    for (size_t inputs : {2u, 3u}) {
        EngineHost e;
        e.setDryUnity();
        std::vector<std::vector<float>> out(3, std::vector<float>(4096, NAN));
        processLists(e.effect(), std::vector<std::vector<float>>(three.begin(), three.begin() + inputs), out,
                     0, 4096);
        for (int c = 0; c < 2; ++c)
            EXPECT_TRUE(std::equal(out[c].begin(), out[c].end(), reference[c].begin()))
                << inputs << " inputs";
        EXPECT_EQ(out[2], std::vector<float>(4096, inputs == 3 ? 0.25f : 0.0f)) << inputs << " inputs";
    }
    // Mono in, two buffers out: the second is silent.
    EngineHost e;
    e.setDryUnity();
    std::vector<std::vector<float>> out(2, std::vector<float>(4096, NAN));
    processLists(e.effect(), {stereo[0]}, out, 0, 4096);
    EXPECT_TRUE(allFinite(out));
    EXPECT_EQ(out[1], std::vector<float>(4096, 0.0f));
}

// ---------------------------------------------------------------------------
// Regeneration above unity

// Below the knee the loop is left exactly as it was: the chain is linear with
// the filter off, so input scaled by a power of two gives output scaled by the
// same power bit for bit. A limiter working on every sample would break this.
TEST(LoopContainment, BelowTheKneeTheLoopIsUntouchedBitForBit) {
    std::vector<std::vector<float>> outs[2];
    for (int k = 0; k < 2; ++k) {
        EngineHost e;
        setPlainLoop(e, 100.0f, 1.0f); // +1 dB per pass, 10 dB a second
        outs[k] = e.render(noiseBurst(3 * 44100, 4410, k ? 0.25f : 0.125f));
    }
    ASSERT_LT(peakOf(outs[1]), 3.5f); // still below +12 dBFS
    ASSERT_GT(peakOf(outs[1]), 1.0f); // but well above full scale
    // (Exactly so except near the denormals, where halving loses bits.)
    for (int c = 0; c < 2; ++c)
        for (size_t i = 0; i < outs[0][c].size(); ++i)
            if (std::fabs(outs[1][c][i]) > 1e-30f) {
                ASSERT_EQ(outs[1][c][i], 2.0f * outs[0][c][i]) << "channel " << c << " frame " << i;
            }
}

// A loop above unity grows, then saturates below +24 dBFS and keeps singing:
// a tone, not a constant offset, even with the shortest delay, whose loop
// would otherwise settle on DC.
TEST(LoopContainment, ALoopAboveUnityGrowsSaturatesAndSings) {
    const float ceiling = std::pow(10.0f, 24.0f / 20.0f);
    for (float ms : {4.0f, 100.0f}) {
        EngineHost e;
        setPlainLoop(e, ms, 1.0f);
        const size_t second = 44100;
        const auto out = e.render(noiseBurst(12 * second, second / 100, 0.25f));
        ASSERT_TRUE(allFinite(out));
        EXPECT_LT(peakOf(out), ceiling) << ms << " ms";
        EXPECT_LT(peakOf(out, 0, second / 50), 1.0f) << ms << " ms"; // grows from the burst
        EXPECT_GT(peakOf(out, 10 * second), 4.0f) << ms << " ms";    // past the knee, held below +24
        // A tone, not a constant offset: over the last two seconds the mean is
        // small beside the RMS.
        double mean = 0.0, squares = 0.0;
        for (auto v = out[0].end() - static_cast<long>(2 * second); v != out[0].end(); ++v) {
            mean += *v;
            squares += static_cast<double>(*v) * *v;
        }
        mean /= 2.0 * second;
        EXPECT_LT(std::fabs(mean), 0.05 * std::sqrt(squares / (2.0 * second))) << ms << " ms";
    }
}

// ---------------------------------------------------------------------------
// Denormals

// The mix gains glide to 0 at 0 % and 100 % mix. Stepped by a coefficient
// above one half, a lag would stop at the smallest denormal and scale every
// sample by it for good; it must end at exactly 0.
TEST(Denormals, MixGainsGlidingToZeroEndAtExactlyZero) {
    for (float mix : {0.0f, 100.0f}) {
        EngineHost e;
        e.setDryUnity();
        e.set(kDelayOnOff, 1.0f);
        e.pump();
        e.renderConstant(0.0f, 4096); // both gains up
        e.set(kWetDryMix, mix);
        e.pump();
        e.renderConstant(0.0f, 3 * 44100);
        EXPECT_EQ(mix == 0.0f ? e.effect().currentWetGain() : e.effect().currentDryGain(), 0.0f) << mix;
    }
}

} // namespace
