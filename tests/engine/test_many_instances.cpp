// Many instances in one process, as a large session holds them: every instance
// has its own parameter listener, and one host listener may follow the
// parameters of many instances at once.
#include <map>
#include <memory>
#include <vector>

#include "tests/engine/engine_test_support.h"

namespace {

// 300 instances, each initialised with its own listener: a value set on any
// of them, the last ones included, reaches that instance's effect.
TEST(ManyInstances, EveryOneOfThreeHundredInstancesHearsItsParameters) {
    constexpr int kInstances = 300;
    std::vector<std::unique_ptr<EngineHost>> hosts;
    for (int i = 0; i < kInstances; ++i)
        hosts.push_back(std::make_unique<EngineHost>(44100.0, 2, 256));
    for (int i = 0; i < kInstances; ++i)
        hosts[size_t(i)]->set(kWetDryMix, float(i % 100));
    hosts.front()->pump(); // one run loop delivers to every instance's listener
    for (int i = 0; i < kInstances; ++i)
        ASSERT_EQ(hosts[size_t(i)]->params().getNaturalValue(kWetDryMix), float(i % 100)) << "instance " << i;
}

// One host listener registered for every parameter of 20 instances (900
// registrations) hears a change on the last parameter of the last instance.
TEST(ManyInstances, OneHostListenerFollowsTwentyInstances) {
    std::vector<std::unique_ptr<EngineHost>> hosts;
    for (int i = 0; i < 20; ++i)
        hosts.push_back(std::make_unique<EngineHost>(44100.0, 2, 256));
    std::map<std::pair<AudioUnit, AudioUnitParameterID>, float> heard;
    AUParameterListenerRef host = nullptr;
    ASSERT_EQ(AUListenerCreate(
                  [](void* refCon, void*, const AudioUnitParameter* p, AudioUnitParameterValue value) {
                      (*static_cast<decltype(heard)*>(refCon))[{p->mAudioUnit, p->mParameterID}] = value;
                  },
                  &heard, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.0f, &host),
              noErr);
    for (auto& h : hosts)
        for (AudioUnitParameterID id = 0; id < AudioUnitParameterID(kNumPublishedParameters); ++id) {
            const AudioUnitParameter p{h->host().unit(), id, kAudioUnitScope_Global, 0};
            ASSERT_EQ(AUListenerAddParameter(host, nullptr, &p), noErr);
        }
    hosts.back()->set(kKinetics, 0.0f);
    hosts.front()->set(kFilterType, 3.0f);
    hosts.back()->pump();
    EXPECT_EQ((heard[{hosts.back()->host().unit(), AudioUnitParameterID(kKinetics)}]), 0.0f);
    EXPECT_EQ((heard[{hosts.front()->host().unit(), AudioUnitParameterID(kFilterType)}]), 3.0f);
    EXPECT_EQ(hosts.back()->params().getNaturalValue(kKinetics), 0.0f) << "the effect's own listener too";
    AUListenerDispose(host);
}

} // namespace
