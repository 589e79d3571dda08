// Bit-exact whole-chain output: every factory preset, mono and stereo, and the
// most expensive setting the chain has ("3P LP" with its cut-off and the delay
// time moving on every sample while both pads drift), rendered over three
// seconds of a fixed drum loop and pinned as a 64-bit hash of every output
// sample's bits. Work on the render path's speed must leave every hash as it
// is. Run with MORVANE_GOLDEN=1 to print a fresh table after an intended change
// of sound (the same code path writes it as checks it), and with
// MORVANE_GOLDEN_DUMP=DIR to write every render's raw floats into DIR, to see
// by how much two builds differ where a hash changed.
//
// The rows that run "3P LP" (presets 3, 13, 19 and 22, and the worst case)
// pin its double-precision kernel; its distance from the same kernel in
// extended precision is held below -120 dBFS by
// tests/dsp/test_run_kernels.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/engine/test_state_support.h"

namespace {

constexpr double kRate = 48000.0;
constexpr double kSeconds = 3.0;
// Not a multiple of the 128-frame control tick, so ticks fall inside blocks.
constexpr UInt32 kBlock = 480;
constexpr int kWorstCase = -1;

// FNV-1a over the bits of every sample, frame by frame.
uint64_t hashOf(const std::vector<std::vector<float>>& out) {
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < out[0].size(); ++i)
        for (const auto& channel : out) {
            uint32_t bits;
            std::memcpy(&bits, &channel[i], sizeof bits);
            for (int b = 0; b < 4; ++b) {
                h ^= (bits >> (8 * b)) & 0xffu;
                h *= 1099511628211ull;
            }
        }
    return h;
}

// Preset `preset` (or the worst case) on the drum loop, in mono or stereo.
std::vector<std::vector<float>> render(int preset, UInt32 channels) {
    BundleHost host(kRate, channels, 4096);
    EXPECT_EQ(host.host().setTransport({120.0, 0.0}), noErr);
    EXPECT_EQ(host.host().selectFactoryPreset(preset == kWorstCase ? 0 : preset), noErr);
    auto in = drumLoop(kSeconds, kRate);
    in.resize(channels);
    if (preset != kWorstCase) return host.render(in, kBlock);

    // Preset 0's drifting pads, with "3P LP" swept and free delay times turned
    // before every block: both glide on every sample.
    host.set(kFilterType, 1.0f);
    host.set(kHostSync, 0.0f);
    std::vector<std::vector<float>> out(channels);
    float hz = 100.0f, time = 0.1f;
    for (size_t start = 0; start < in[0].size(); start += kBlock) {
        hz = hz > 10000.0f ? 100.0f : hz * 1.05f;
        time = time > 0.9f ? 0.1f : time + 0.003f;
        host.set(kFilterFreq, hz);
        host.set(kLeftDelayTime, time);
        std::vector<std::vector<float>> block(channels);
        for (UInt32 c = 0; c < channels; ++c)
            block[c].assign(in[c].begin() + static_cast<std::ptrdiff_t>(start),
                            in[c].begin() +
                                static_cast<std::ptrdiff_t>(std::min(start + kBlock, in[c].size())));
        const auto rendered = host.render(block, kBlock);
        for (UInt32 c = 0; c < channels; ++c)
            out[c].insert(out[c].end(), rendered[c].begin(), rendered[c].end());
    }
    return out;
}

struct Pinned {
    int preset; // kWorstCase for the worst case
    uint64_t stereo;
    uint64_t mono;
};

// Written by MORVANE_GOLDEN=1.
const Pinned kPinned[] = {
    {0, 0x0994e10c4a5c7f5eull, 0x126a121e5e3fdd92ull},
    {1, 0xfb821b8a6a372208ull, 0xba7fa5080f17f258ull},
    {2, 0xfa27046cb6c16b61ull, 0xc146b351d851f52aull},
    {3, 0x81781dcffca33929ull, 0xe1151fe4ecefc29eull},
    {4, 0xb7d8da32bc17889bull, 0x97f5f38cdb344759ull},
    {5, 0xcdabcb95ca76317cull, 0xe989ea9e5d92b087ull},
    {6, 0x54668b6701eff8daull, 0x3f8759da003e17d9ull},
    {7, 0x2b288e150432ff07ull, 0x2c03071ea6b2e89cull},
    {8, 0xe13b93f39fc2deadull, 0xc82da26ae9795b6aull},
    {9, 0xe2bc469595ad703bull, 0x8879116efe7e5c4full},
    {10, 0x1939a7258a4f58a4ull, 0xc1cf14a927342a88ull},
    {11, 0xb337ba5e305cba91ull, 0x0f1a3e82ad6727cfull},
    {12, 0x23afbd49798894e2ull, 0x234d1e7de6db12cdull},
    {13, 0xf0fdba673d08a92eull, 0x3d048ea0e2e9fde8ull},
    {14, 0x59e1822b12402da4ull, 0xbe83601fc88aba7dull},
    {15, 0xb0c592137ab1964full, 0xc7d7854d9dbffe7aull},
    {16, 0x996a4e26d2a31151ull, 0x069e10b09757d6dbull},
    {17, 0x55af6b4b08961020ull, 0x0b437c328a677d1eull},
    {18, 0x85c12363967d4974ull, 0xbc662e6c9c8bece8ull},
    {19, 0x95710866ae0a0b00ull, 0x1628291f6187a091ull},
    {20, 0xd5bf36d5c06a6b06ull, 0x811e3456775b4553ull},
    {21, 0xbd42cf3fe3177aa8ull, 0x38272140a5a088a6ull},
    {22, 0xe59e7ae42f191711ull, 0x0e4a8669be584feaull},
    {23, 0x3db61c0239592bbaull, 0x8b4089fef8453e35ull},
    {24, 0x49cec5dcfec8fe1cull, 0xe7db2a1f9ef7633dull},
    {25, 0x27f8d4c2c269d4b1ull, 0x8badba8c4d5b2ba7ull},
    {26, 0x68d89ad947a2590bull, 0xbfaf343e7127d49bull},
    {27, 0x7bde9de73424b23full, 0x6b50180298f3b650ull},
    {28, 0xc44e555d60578ed9ull, 0xa3779103391ddc01ull},
    {29, 0xc44e555d60578ed9ull, 0xa3779103391ddc01ull},
    {30, 0xc44e555d60578ed9ull, 0xa3779103391ddc01ull},
    {31, 0xc44e555d60578ed9ull, 0xa3779103391ddc01ull},
    {32, 0xc44e555d60578ed9ull, 0xa3779103391ddc01ull},
    {kWorstCase, 0xc39f882f4a32873dull, 0x5251fbfff37ae2feull},
};

class BitExact : public ::testing::TestWithParam<Pinned> {};

void dump(const std::vector<std::vector<float>>& out, int preset, UInt32 channels) {
    const char* dir = std::getenv("MORVANE_GOLDEN_DUMP");
    if (dir == nullptr) return;
    const std::string path =
        std::string(dir) + "/" + std::to_string(preset) + (channels == 2 ? "s" : "m") + ".f32";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        for (size_t i = 0; i < out[0].size(); ++i)
            for (const auto& channel : out)
                std::fwrite(&channel[i], sizeof(float), 1, f);
        std::fclose(f);
    }
}

uint64_t hashOfRender(int preset, UInt32 channels) {
    const auto out = render(preset, channels);
    dump(out, preset, channels);
    return hashOf(out);
}

TEST_P(BitExact, OutputBitsAsPinned) {
    const Pinned& p = GetParam();
    const uint64_t stereo = hashOfRender(p.preset, 2);
    const uint64_t mono = hashOfRender(p.preset, 1);
    if (std::getenv("MORVANE_GOLDEN") != nullptr) {
        std::printf("    {%s, 0x%016llxull, 0x%016llxull},\n",
                    p.preset == kWorstCase ? "kWorstCase" : std::to_string(p.preset).c_str(),
                    static_cast<unsigned long long>(stereo), static_cast<unsigned long long>(mono));
        return;
    }
    EXPECT_EQ(stereo, p.stereo) << "stereo output changed";
    EXPECT_EQ(mono, p.mono) << "mono output changed";
}

INSTANTIATE_TEST_SUITE_P(Presets, BitExact, ::testing::ValuesIn(kPinned),
                         [](const ::testing::TestParamInfo<Pinned>& info) {
                             return info.param.preset == kWorstCase
                                        ? std::string("WorstCase")
                                        : "Preset" + std::to_string(info.param.preset);
                         });

} // namespace
