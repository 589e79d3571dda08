// The loadable bundle as a host finds it: the registration, the exported
// entry, and a unit that initialises and renders the audible first preset.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/harness/HostHarness.h"
#include "params/MorvaneParameterIds.h"

namespace {

TEST(Bundle, LoadsInitialisesAndRendersThroughItsEntry) {
    std::string error;
    auto host = HostHarness::Open(MORVANE_BUNDLE_DIR, error);
    ASSERT_TRUE(host) << error;
    ASSERT_NE(host->bundle(), nullptr);
    ASSERT_FALSE(host->bundle()->Components().empty());
    EXPECT_EQ(host->bundle()->Components()[0].entryName, "Morvane_AUEntry");
    EXPECT_NE(host->bundle()->FindEntry("Morvane_AUEntry"), nullptr);
    EXPECT_EQ(GetComponentVersion(host->unit()), 0x00010001u);

    ASSERT_EQ(host->configure(48000.0, 2, 512), noErr);
    ASSERT_EQ(host->initialize(), noErr);
    ASSERT_EQ(host->announceAllParameters(), noErr); // the stored defaults reach the effect
    std::vector<float> in(48000), outL(48000), outR(48000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = 0.5f * std::sin(2.0 * M_PI * 220.0 * i / 48000.0);
    const float* ip[2] = {in.data(), in.data()};
    float* op[2] = {outL.data(), outR.data()};
    ASSERT_EQ(host->render(ip, op, 48000), noErr);
    double energy = 0.0;
    for (size_t i = 24000; i < outL.size(); ++i) {
        ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i]));
        energy += outL[i] * outL[i];
    }
    EXPECT_GT(energy / 24000.0, 1e-4);
}

} // namespace
