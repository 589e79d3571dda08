// "morvane snapshot" as a user runs it: the editor drawn from the bundle's own
// bitmaps on a live effect, at scale 1 and 2, with the mouse resting on the
// pad, and its refusals.
#include <gtest/gtest.h>

#include <cairo.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "editor/MorvaneEditorLayout.h"
#include "host/harness/HostHarness.h"
#include "params/MorvaneParameterIds.h"

namespace {

namespace L = MorvaneLayout;

struct Outcome {
    int status = -1;
    std::string out;
};

class Snapshot : public ::testing::Test {
  protected:
    Snapshot() {
        char name[] = "/tmp/morvane-snapshot-XXXXXX";
        dir = mkdtemp(name);
    }
    ~Snapshot() override { std::filesystem::remove_all(dir); }

    // Runs the program with arguments (no quoting needed for these), both
    // output streams together.
    Outcome morvane(const std::string& arguments) {
        Outcome run;
        const std::string command = std::string(MORVANE_CLI_PROGRAM) + " " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            run.out += buffer;
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }
    std::string path(const char* name) const { return dir + "/" + name; }

    std::string dir;
};

struct Png {
    explicit Png(const std::string& file) : surface(cairo_image_surface_create_from_png(file.c_str())) {}
    ~Png() { cairo_surface_destroy(surface); }
    bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface); }
    int height() const { return cairo_image_surface_get_height(surface); }
    // Red, green, blue of an opaque pixel.
    uint32_t rgb(int x, int y) const {
        const auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xffffff;
    }
    cairo_surface_t* surface;
};

// Where preset 27 puts the left pad's handle centre, from the effect itself.
std::pair<int, int> leftHandleCentre() {
    std::string error;
    auto host = HostHarness::Open(MORVANE_BUNDLE_DIR, error);
    if (!host || host->configure(44100.0, 2, 512) != noErr || host->initialize() != noErr ||
        host->selectFactoryPreset(27) != noErr)
        throw std::runtime_error("cannot open the bundle: " + error);
    host->pump();
    const L::Rect pad = L::findControl(kLeftX)->rect;
    const int travel = pad.width() - L::kPadHandleSize;
    const int left = pad.left + static_cast<int>(host->getParameter(kLeftX) * static_cast<float>(travel));
    const int top =
        pad.top + static_cast<int>((1.0f - host->getParameter(kLeftY)) * static_cast<float>(travel));
    return {left + L::kPadHandleSize / 2, top + L::kPadHandleSize / 2};
}

TEST_F(Snapshot, DrawsTheEditorAtBothScalesWithTheHandlesWhereThePresetPutsThem) {
    const auto [x, y] = leftHandleCentre();
    for (int scale : {1, 2}) {
        const std::string out = path(scale == 1 ? "one.png" : "two.png");
        const Outcome run = morvane("snapshot " + out + " --preset 27 --scale " + std::to_string(scale));
        ASSERT_EQ(run.status, 0) << run.out;
        const Png png(out);
        ASSERT_TRUE(png.ok());
        EXPECT_EQ(png.width(), L::kWindowWidth * scale);
        EXPECT_EQ(png.height(), L::kWindowHeight * scale);
        // The left handle is amber: much more red than blue.
        const uint32_t c = png.rgb(x * scale, y * scale);
        EXPECT_GT(c >> 16 & 0xff, 200u) << std::hex << c;
        EXPECT_LT(c & 0xff, 100u) << std::hex << c;
    }
}

TEST_F(Snapshot, TheMouseOnThePadShowsBothPadsValues) {
    const L::Rect pad = L::findControl(kLeftX)->rect;
    const std::string hover = std::to_string(pad.left + 3) + "," + std::to_string(pad.bottom - 3);
    const Outcome run = morvane("snapshot " + path("hover.png") + " --hover " + hover);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(
        std::regex_search(run.out, std::regex(R"(display: "\[ [^,]+, [^\]]+ \] / \[ [^,]+, [^\]]+ \]")")))
        << run.out;
}

TEST_F(Snapshot, RefusesWhatItCannotDrawAndLeavesNoFile) {
    const std::string out = path("refused.png");
    for (const char* arguments : {"--preset 99", "--hover 900,10", "--hover 3", "--scale 3",
                                  "--preset 1 --state x.aupreset", "--state /nonexistent.aupreset"}) {
        const Outcome run = morvane("snapshot " + out + " " + arguments);
        EXPECT_NE(run.status, 0) << arguments;
        EXPECT_EQ(run.out.rfind("morvane: ", 0), 0u) << run.out;
        EXPECT_FALSE(std::filesystem::exists(out)) << arguments;
    }
    EXPECT_EQ(morvane("snapshot " + path("missing/dir.png")).status, 1);
}

} // namespace
