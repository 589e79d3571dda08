// Renders whole signals through a harness in blocks of a chosen size.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "host/harness/HostHarness.h"

// `in` holds one vector per channel; the result has the same shape.
inline std::vector<std::vector<float>>
renderInBlocks(HostHarness& harness, const std::vector<std::vector<float>>& in, UInt32 block) {
    const size_t n = in[0].size();
    std::vector<std::vector<float>> out(in.size(), std::vector<float>(n, 0.0f));
    std::vector<const float*> ip(in.size());
    std::vector<float*> op(in.size());
    for (size_t start = 0; start < n; start += block) {
        const UInt32 frames = static_cast<UInt32>(std::min<size_t>(block, n - start));
        for (size_t c = 0; c < in.size(); ++c) {
            ip[c] = in[c].data() + start;
            op[c] = out[c].data() + start;
        }
        EXPECT_EQ(harness.render(ip.data(), op.data(), frames), noErr);
    }
    return out;
}
