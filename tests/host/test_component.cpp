// The component model: bundle loading and registration, entry lookup,
// what the bundle exports, and that no exception or bad handle crosses an entry.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>

#include "host/AUEffectBase.h"
#include "host/ComponentDispatch.h"
#include "tests/host/testgain/TestGainEffect.h"

namespace {

const std::string kBundle = MORVANE_TEST_BUNDLE;
const std::string kLibrary = kBundle + "/Contents/Linux-x86_64/MorvaneTestGain.so";

// A scratch bundle named `name` holding a link to the test library and,
// optionally, an Info.plist with the given text.
std::string MakeBundle(const std::string& name, const char* infoPlist, bool withLibrary = true) {
    const std::string root =
        std::string(::testing::TempDir()) + "/" + name + "_" + std::to_string(::getpid()) + ".component";
    const std::string binary = root + "/Contents/Linux-x86_64";
    ::mkdir(root.c_str(), 0755);
    ::mkdir((root + "/Contents").c_str(), 0755);
    ::mkdir(binary.c_str(), 0755);
    const std::string stem = name + "_" + std::to_string(::getpid());
    const std::string link = binary + "/" + stem + ".so";
    ::unlink(link.c_str());
    if (withLibrary) {
        EXPECT_EQ(::symlink(kLibrary.c_str(), link.c_str()), 0);
    }
    const std::string plist = root + "/Contents/Info.plist";
    ::unlink(plist.c_str());
    if (infoPlist != nullptr) std::ofstream(plist) << infoPlist;
    return root;
}

} // namespace

TEST(ComponentBundle, LoadErrorsAreReportedNotFatal) {
    std::string error;
    EXPECT_EQ(ComponentBundle::Load("/nonexistent/Nothing.component", error), nullptr);
    EXPECT_NE(error.find("not a bundle"), std::string::npos) << error;

    EXPECT_EQ(ComponentBundle::Load(MakeBundle("NoLibrary", nullptr, false), error), nullptr);
    EXPECT_NE(error.find("no plug-in library"), std::string::npos) << error;

    EXPECT_EQ(ComponentBundle::Load(MakeBundle("Garbage", "this is <not a plist"), error), nullptr);
    EXPECT_FALSE(error.empty());

    const char* badCode =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>AudioComponents</key><array><dict>"
        "<key>type</key><string>aufx</string><key>subtype</key><string>Tga</string>"
        "<key>manufacturer</key><string>Qnlw</string></dict></array></dict></plist>";
    EXPECT_EQ(ComponentBundle::Load(MakeBundle("BadCode", badCode), error), nullptr);
    EXPECT_NE(error.find("four-character"), std::string::npos) << error;
}

TEST(ComponentBundle, EntriesAreFoundByRegistrationOrByName) {
    std::string error;
    auto bundle = ComponentBundle::Load(MakeBundle("Unregistered", nullptr), error);
    ASSERT_TRUE(bundle) << error;
    EXPECT_TRUE(bundle->Components().empty());
    ComponentInstance unit = nullptr;
    EXPECT_EQ(bundle->Open(ComponentDescription{}, &unit), invalidComponentID);
    EXPECT_EQ(bundle->OpenEntry("NoSuchEntry", ComponentDescription{}, &unit), invalidComponentID);
    EXPECT_EQ(unit, nullptr);
    // Internal symbols are not reachable: the bundle exports its entry only.
    EXPECT_EQ(bundle->FindEntry("csd_set_attr"), nullptr);
    // The platform calls resolve to the one shared platform library, not to a
    // copy inside the bundle.
    auto platformCall = reinterpret_cast<void*>(bundle->FindEntry("AudioUnitRender"));
    Dl_info where{};
    ASSERT_NE(::dladdr(platformCall, &where), 0);
    EXPECT_EQ(std::string(where.dli_fname).find(".component"), std::string::npos) << where.dli_fname;
    EXPECT_EQ(platformCall, reinterpret_cast<void*>(&AudioUnitRender));

    const ComponentDescription desc{kTestGainType, kTestGainSubType, kTestGainManufacturer, 0, 0};
    ASSERT_EQ(bundle->OpenEntry("MorvaneTestGain_AUEntry", desc, &unit), noErr);
    EXPECT_EQ(std::string(GetComponentInstanceBundlePath(unit)), bundle->Path());
    // The instance keeps the library loaded after the host lets the bundle go.
    bundle.reset();
    AudioUnitParameterValue value = 0;
    EXPECT_EQ(AudioUnitGetParameter(unit, kTestDepth, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_EQ(value, 50.0f);
    ComponentDescription got{};
    ASSERT_EQ(GetComponentInstanceDescription(unit, &got), noErr);
    EXPECT_EQ(got.componentSubType, kTestGainSubType);
    EXPECT_EQ(CloseComponent(unit), noErr);

    // A registration that does not match is not opened.
    bundle = ComponentBundle::Load(kBundle, error);
    ASSERT_TRUE(bundle) << error;
    EXPECT_EQ(bundle->Open(ComponentDescription{kTestGainType, MorvaneFourCC("Othr"), 0, 0, 0}, &unit),
              invalidComponentID);
}

TEST(ComponentCalls, BadHandlesAndSelectors) {
    EXPECT_EQ(AudioUnitInitialize(nullptr), badComponentInstance);
    AudioUnitParameterValue value = 0;
    EXPECT_EQ(AudioUnitGetParameter(nullptr, 0, 0, 0, &value), badComponentInstance);
    EXPECT_EQ(CloseComponent(nullptr), noErr);
    ComponentInstance unit = nullptr;
    EXPECT_EQ(MorvaneOpenComponent(nullptr, nullptr, &unit), invalidComponentID);

    ASSERT_EQ(MorvaneOpenComponent(&MorvaneTestGain_AUEntry, nullptr, &unit), noErr);
    ComponentParameters p{};
    p.what = 0x55;
    EXPECT_EQ(CallComponentDispatch(unit, &p), badComponentSelector);
    p.what = kComponentCanDoSelect;
    p.count = 1;
    p.args[0].s32 = kAudioUnitRenderSelect;
    EXPECT_EQ(CallComponentDispatch(unit, &p), 1);
    p.args[0].s32 = 0x55;
    EXPECT_EQ(CallComponentDispatch(unit, &p), 0);
    // Too few argument slots for the selector.
    p.what = kAudioUnitGetParameterSelect;
    p.count = 2;
    EXPECT_EQ(CallComponentDispatch(unit, &p), paramErr);
    p.count = kComponentMaxArguments + 1;
    EXPECT_EQ(CallComponentDispatch(unit, &p), paramErr);
    EXPECT_EQ(CloseComponent(unit), noErr);
}

namespace {

enum class Fault {
    None,
    ConstructorOutOfMemory,
    PostConstructorThrows,
    InitializeThrowsStatus,
    InitializeThrows
};
Fault gFault = Fault::None;
int gLiveObjects = 0;

class FaultyEffect : public AUEffectBase {
  public:
    explicit FaultyEffect(AudioComponentInstance unit) : AUEffectBase(unit) {
        if (gFault == Fault::ConstructorOutOfMemory) throw std::bad_alloc();
        ++gLiveObjects;
    }
    ~FaultyEffect() override { --gLiveObjects; }
    void PostConstructor() override {
        AUEffectBase::PostConstructor();
        if (gFault == Fault::PostConstructorThrows) throw std::logic_error("post");
    }
    OSStatus Initialize() override {
        if (gFault == Fault::InitializeThrowsStatus) throw OSStatus(-1234);
        if (gFault == Fault::InitializeThrows) throw std::runtime_error("init");
        return AUEffectBase::Initialize();
    }
};

} // namespace

COMPONENT_ENTRY(FaultyEffect)

TEST(ComponentCalls, NoExceptionCrossesTheEntry) {
    ComponentInstance unit = nullptr;
    gFault = Fault::ConstructorOutOfMemory;
    EXPECT_EQ(MorvaneOpenComponent(&FaultyEffectEntry, nullptr, &unit), memFullErr);
    EXPECT_EQ(unit, nullptr);

    gFault = Fault::PostConstructorThrows;
    EXPECT_EQ(MorvaneOpenComponent(&FaultyEffectEntry, nullptr, &unit), kMorvaneErr_Unexpected);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(gLiveObjects, 0) << "the half-built object is destroyed";

    gFault = Fault::InitializeThrowsStatus;
    ASSERT_EQ(MorvaneOpenComponent(&FaultyEffectEntry, nullptr, &unit), noErr);
    EXPECT_EQ(AudioUnitInitialize(unit), -1234);
    gFault = Fault::InitializeThrows;
    EXPECT_EQ(AudioUnitInitialize(unit), kMorvaneErr_Unexpected);
    gFault = Fault::None;
    EXPECT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(CloseComponent(unit), noErr);
    EXPECT_EQ(gLiveObjects, 0);
}
