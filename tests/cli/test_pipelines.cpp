// The morvane program in pipelines and batches, as a user runs it: audio
// through standard input and output, many files at once, the picture of a
// render, whole renders from a settled start to a faded tail, and the manual
// page.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli_test_support.h"
#include "host/cli/RenderPlot.h"

using namespace cli_test;

namespace {

constexpr int kRate = 44100;
constexpr float kMinus90Db = 3.1622777e-5f;

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The fraction of neighbouring pixel columns inside `box` that differ.
double changingColumns(cairo_surface_t* image, const morvane_cli::PlotBox& box) {
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    int changed = 0;
    for (int x = box.x + 1; x < box.x + box.width; ++x) {
        for (int y = box.y; y < box.y + box.height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
            if (row[x] != row[x - 1]) {
                ++changed;
                break;
            }
        }
    }
    return static_cast<double>(changed) / (box.width - 1);
}

} // namespace

TEST(Pipes, standardInputAndOutputGiveTheSamplesOfTheFileForm) {
    TempDir dir;
    const std::string in = dir.path("in.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, kRate, testSignal(2, kRate, 0.5, 0.2f));

    ASSERT_EQ(runMorvane({"process", in, dir.path("file.wav"), "--preset", "5", "-q"}).status, 0);
    // cat in.wav | morvane process - - --preset 5 > pipe.wav, with the summary
    // as JSON on standard error.
    Streams pipe;
    pipe.in = in;
    pipe.outPath = dir.path("pipe.wav");
    const RunResult piped = runMorvane({"process", "-", "-", "--preset", "5", "-q", "--json"}, {}, pipe);
    ASSERT_EQ(piped.status, 0) << piped.err;
    const Audio file = readAudio(dir.path("file.wav")), streamed = readAudio(dir.path("pipe.wav"));
    EXPECT_EQ(streamed.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(streamed.samples.size(), file.samples.size());
    EXPECT_TRUE(streamed.samples == file.samples);

    const nlohmann::json summary = nlohmann::json::parse(piped.err);
    EXPECT_EQ(summary["input"], "standard input");
    EXPECT_EQ(summary["output"], "standard output");
    EXPECT_EQ(summary["frames"]["input"], kRate / 2);
    EXPECT_EQ(summary["frames"]["output"], file.frames());
    EXPECT_EQ(summary["settings"]["tail"], "auto");
    EXPECT_EQ(summary["settings"]["pre_roll_seconds"], 0.25);
    EXPECT_EQ(summary["output_level"]["clipped_samples"], 0);
    EXPECT_LT(summary["output_level"]["peak_dbfs"].get<double>(), 0.0);
    EXPECT_TRUE(summary["time"].contains("wall_seconds"));

    // Any container is recognised on standard input by its header; without
    // -q the summary line goes to standard error, beside the audio.
    writeAudio(dir.path("in.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 22050, testSignal(1, 22050, 0.3));
    pipe.in = dir.path("in.flac");
    const RunResult flac = runMorvane({"process", "-", "-", "--format", "flac", "--tail", "0.1"}, {}, pipe);
    ASSERT_EQ(flac.status, 0) << flac.err;
    EXPECT_TRUE(contains(flac.err, "standard output: 0.40 s")) << flac.err;
    const Audio fromFlac = readAudio(dir.path("pipe.wav"));
    EXPECT_EQ(fromFlac.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_EQ(fromFlac.frames(), static_cast<size_t>(0.4 * 22050));
}

TEST(Pipes, aReaderThatStopsAFullDiskOrNoInputAreErrors) {
    TempDir dir;
    const std::string in = dir.path("in.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, testSignal(2, kRate, 0.5));

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]); // the reader has gone
    Streams closed;
    closed.outFd = ends[1];
    const RunResult broken = runMorvane({"process", in, "-", "-q"}, {}, closed);
    ::close(ends[1]);
    EXPECT_EQ(broken.status, 1);
    EXPECT_TRUE(contains(broken.err, "standard output: broken pipe")) << broken.err;

    Streams full;
    full.outPath = "/dev/full";
    const RunResult noSpace = runMorvane({"process", in, "-", "-q"}, {}, full);
    EXPECT_EQ(noSpace.status, 1);
    EXPECT_TRUE(contains(noSpace.err, "standard output: write error")) << noSpace.err;

    const RunResult nothing = runMorvane({"process", "-", dir.path("out.wav")});
    EXPECT_EQ(nothing.status, 1);
    EXPECT_TRUE(contains(nothing.err, "standard input: no audio")) << nothing.err;
    EXPECT_FALSE(fileExists(dir.path("out.wav")));
}

TEST(Batch, rendersEveryInputReportsTheCorruptOneAndGivesTheSameBytesForAnyJobCount) {
    TempDir dir;
    std::vector<std::string> inputs;
    for (int i = 0; i < 6; ++i) {
        const bool flac = i % 2 == 1;
        inputs.push_back(dir.path("take" + std::to_string(i) + (flac ? ".flac" : ".wav")));
        if (i == 3)
            writeText(inputs.back(), "fLaC, but nothing after it");
        else
            writeAudio(inputs.back(),
                       flac ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16 : SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1 + i % 2,
                       kRate, testSignal(1 + i % 2, kRate, 0.2 + 0.05 * i));
    }
    const std::vector<std::string> settings = {"--preset", "0", "--tail", "0.2", "--suffix", "_wet"};

    const RunResult three = runMorvane(
        join(join({"process"}, inputs),
             join(settings, {"--out-dir", dir.path("j3"), "-j", "3", "--json=" + dir.path("summary.json")})));
    EXPECT_EQ(three.status, 1);
    EXPECT_TRUE(contains(three.err, "take3.flac: cannot read it as audio")) << three.err;
    EXPECT_TRUE(contains(three.err, "5 of 6 inputs processed, 1 failed")) << three.err;
    const std::vector<std::string> expected = {"take0_wet.wav", "take1_wet.flac", "take2_wet.wav",
                                               "take4_wet.wav", "take5_wet.flac"};
    const std::vector<std::string> written = filesIn(dir.path("j3"));
    EXPECT_EQ(written, expected) << "the corrupt input left something, or a temporary file was left";

    const nlohmann::json summary = nlohmann::json::parse(readText(dir.path("summary.json")));
    EXPECT_EQ(summary["processed"], 5);
    EXPECT_EQ(summary["failed"], 1);
    ASSERT_EQ(summary["files"].size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(summary["files"][i]["ok"], i != 3) << i;
        EXPECT_EQ(summary["files"][i]["input"], inputs[i]);
    }

    const RunResult one = runMorvane(
        join(join({"process"}, inputs), join(settings, {"--out-dir", dir.path("j1"), "-j", "1", "-q"})));
    EXPECT_EQ(one.status, 1);
    for (const std::string& name : expected)
        EXPECT_TRUE(sameBytes(dir.path("j3/" + name), dir.path("j1/" + name))) << name;
    EXPECT_EQ(readAudio(dir.path("j1/take1_wet.flac")).channels, 2);
}

TEST(Plot, drawsThePadsThatMoveAndLeavesStillOnesFlat) {
    TempDir dir;
    const std::string in = dir.path("in.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, testSignal(2, kRate, 1.5));
    // Preset 0 drifts both pads; preset 5 leaves them where they are. No
    // transport, so no bar lines cross the pad panel.
    for (const char* preset : {"0", "5"}) {
        const RunResult run = runMorvane({"process", in, dir.path(std::string("out") + preset + ".wav"),
                                          "--preset", preset, "--no-transport", "--tail", "0.5", "-q",
                                          "--plot", dir.path(std::string("plot") + preset + ".png")});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    cairo_surface_t* moving = cairo_image_surface_create_from_png(dir.path("plot0.png").c_str());
    cairo_surface_t* still = cairo_image_surface_create_from_png(dir.path("plot5.png").c_str());
    ASSERT_EQ(cairo_surface_status(moving), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_surface_status(still), CAIRO_STATUS_SUCCESS);
    for (cairo_surface_t* image : {moving, still}) {
        EXPECT_EQ(cairo_image_surface_get_width(image), morvane_cli::PlotLayout::kWidth);
        EXPECT_EQ(cairo_image_surface_get_height(image), morvane_cli::PlotLayout::kHeight);
    }
    const morvane_cli::PlotBox pads = morvane_cli::PlotLayout::kPads;
    EXPECT_GT(changingColumns(moving, pads), 0.5) << "drifting pads draw moving lines";
    EXPECT_LT(changingColumns(still, pads), 0.01) << "still pads draw flat lines";
    cairo_surface_destroy(moving);
    cairo_surface_destroy(still);

    // The same render draws the same picture.
    ASSERT_EQ(runMorvane({"process", in, dir.path("out0.wav"), "--no-transport", "--tail", "0.5", "-q",
                          "--plot", dir.path("again.png")})
                  .status,
              0);
    EXPECT_TRUE(sameBytes(dir.path("plot0.png"), dir.path("again.png")));
    const RunResult batch =
        runMorvane({"process", in, "--out-dir", dir.path("many"), "--plot", dir.path("x.png")});
    EXPECT_EQ(batch.status, 2);
    EXPECT_TRUE(contains(batch.err, "--plot draws one render")) << batch.err;
}

TEST(Plot, placesASoundAtItsTimeAndItsFrequency) {
    TempDir dir;
    // Two seconds of silence with a 1 kHz tone from 1.0 to 1.5 s, passed
    // through unchanged.
    std::vector<float> burst(2 * kRate, 0.0f);
    for (size_t i = kRate; i < kRate + kRate / 2; ++i)
        burst[i] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * 1000.0 * i / kRate));
    writeAudio(dir.path("burst.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, kRate, burst);
    const RunResult run = runMorvane({"process", dir.path("burst.wav"), dir.path("out.wav"), "--bypass",
                                      "--set", "Filter On/Off=Off", "--tail", "0", "--no-transport", "-q",
                                      "--plot", dir.path("plot.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    cairo_surface_t* image = cairo_image_surface_create_from_png(dir.path("plot.png").c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    const auto pixel = [&](int x, int y) {
        return reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFF;
    };

    // The output's waveform is taller than a third of its lane from 1.0 to
    // 1.5 s, half way and three quarters along the time axis.
    const morvane_cli::PlotBox& wave = morvane_cli::PlotLayout::kOutput;
    const int probe = wave.y + wave.height / 2 - 12;
    int first = -1, last = -1;
    for (int x = wave.x; x < wave.x + wave.width; ++x) {
        if (pixel(x, probe) == pixel(wave.x, probe)) continue;
        if (first < 0) first = x;
        last = x;
    }
    EXPECT_NEAR(first, wave.x + wave.width * 0.5, 2.0);
    EXPECT_NEAR(last, wave.x + wave.width * 0.75, 2.0);

    // In the spectrum the brightest row is 1 kHz on its logarithmic axis.
    const morvane_cli::PlotBox& spectrum = morvane_cli::PlotLayout::kSpectrum;
    int brightest = -1;
    double most = -1.0;
    for (int y = spectrum.y; y < spectrum.y + spectrum.height; ++y) {
        double sum = 0.0;
        for (int x = first; x <= last; ++x) {
            const uint32_t p = pixel(x, y);
            sum += (p >> 16) + ((p >> 8) & 0xFF) + (p & 0xFF);
        }
        if (sum > most) {
            most = sum;
            brightest = y;
        }
    }
    const double expected =
        spectrum.y + spectrum.height * (1.0 - std::log(1000.0 / morvane_cli::PlotLayout::kLowestHz) /
                                                  std::log(morvane_cli::PlotLayout::kHighestHz /
                                                           morvane_cli::PlotLayout::kLowestHz));
    EXPECT_NEAR(brightest, expected, 2.0);
    cairo_surface_destroy(image);
}

TEST(Tail, anAutomaticTailFollowsTheEchoesDownToMinus90dBFS) {
    TempDir dir;
    constexpr int rate = 22050;
    const std::string in = dir.path("burst.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, rate, testSignal(2, rate, 0.3, 0.8f));
    // "Arcane": long, dark echoes that a 5-second tail used to cut at -40 dBFS.
    const RunResult run = runMorvane({"process", in, dir.path("out.wav"), "--preset", "22"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "s auto tail")) << run.out;
    const Audio out = readAudio(dir.path("out.wav"));
    const size_t input = static_cast<size_t>(0.3 * rate), quiet = static_cast<size_t>(rate);
    EXPECT_GT(out.frames(), input + 5 * rate);
    EXPECT_LT(out.frames(), input + 60 * rate);
    // It ends one second after the last sample at or above -90 dBFS.
    const auto loud = [&](size_t frame) {
        return std::fabs(out.at(frame, 0)) >= kMinus90Db || std::fabs(out.at(frame, 1)) >= kMinus90Db;
    };
    for (size_t i = out.frames() - quiet; i < out.frames(); ++i)
        ASSERT_FALSE(loud(i)) << "frame " << i;
    EXPECT_TRUE(loud(out.frames() - quiet - 1));
}

TEST(PreRoll, theEffectHasSettledWhenTheInputStartsAndTheSongPositionIsKept) {
    TempDir dir;
    // A steady tone through a plain chain: the effect's smoothers rise from
    // zero after it starts, so without a pre-roll the first milliseconds
    // come out low.
    std::vector<float> tone(static_cast<size_t>(kRate / 2));
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * 441.0 * i / kRate));
    writeAudio(dir.path("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, kRate, tone);
    const std::vector<std::string> plain = {"--set",  "Filter On/Off=Off",
                                            "--set",  "Delay On/Off=Off",
                                            "--set",  "Kinetics=Off",
                                            "--set",  "Input Gain=0",
                                            "--tail", "0",
                                            "--set",  "Output Gain=0",
                                            "-q"};
    const auto firstLevel = [&](const std::vector<std::string>& options) {
        EXPECT_EQ(runMorvane(join(join({"process", dir.path("tone.wav"), dir.path("t.wav")}, plain), options))
                      .status,
                  0);
        const Audio out = readAudio(dir.path("t.wav"));
        double sum = 0.0; // the first 10 ms: 4.41 periods, but whole ones suffice
        for (size_t i = 0; i < 400; ++i)
            sum += out.at(i, 0) * out.at(i, 0);
        return 10.0 * std::log10(sum / 400.0 / 0.125); // relative to the tone
    };
    EXPECT_LT(firstLevel({"--pre-roll", "0"}), -3.0);
    EXPECT_NEAR(firstLevel({}), 0.0, 0.5);

    // The pre-roll is silence before the input with the song position moved
    // back: the same as rendering a quarter second of silence and the input
    // from beat -0.5 at 120 BPM, then cutting the silence off. Preset 18 plays
    // gestures locked to the song.
    const std::vector<float> input = testSignal(2, kRate, 0.5);
    std::vector<float> padded(2 * static_cast<size_t>(kRate / 4), 0.0f);
    padded.insert(padded.end(), input.begin(), input.end());
    writeAudio(dir.path("in.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, kRate, input);
    writeAudio(dir.path("padded.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, kRate, padded);
    const std::vector<std::string> song = {"--preset", "18", "--tail", "0.5", "-q"};
    ASSERT_EQ(runMorvane(join({"process", dir.path("in.wav"), dir.path("rolled.wav")}, song)).status, 0);
    ASSERT_EQ(runMorvane(join({"process", dir.path("padded.wav"), dir.path("by-hand.wav"), "--pre-roll", "0",
                               "--start-beat", "-0.5"},
                              song))
                  .status,
              0);
    const Audio rolled = readAudio(dir.path("rolled.wav")), byHand = readAudio(dir.path("by-hand.wav"));
    ASSERT_EQ(byHand.frames(), rolled.frames() + kRate / 4);
    EXPECT_TRUE(std::equal(rolled.samples.begin(), rolled.samples.end(), byHand.samples.begin() + kRate / 2));
}

TEST(Process, aFailedWriteIsAnErrorThatLeavesTheFormerOutputAlone) {
    TempDir dir;
    const std::string in = dir.path("in.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, testSignal(2, kRate, 2.0));
    writeText(dir.path("out.ogg"), "the take before");
    // A file-size limit makes the write of the finished Ogg stream fail (as a
    // full disk would) after libsndfile has encoded it.
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    struct rlimit small = before;
    small.rlim_cur = 8192;
    const sighandler_t oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const RunResult run = runMorvane({"process", in, dir.path("out.ogg"), "--format", "ogg", "--tail", "0"});
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "out.ogg: write error")) << run.err;
    EXPECT_EQ(readText(dir.path("out.ogg")), "the take before");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"in.wav", "out.ogg"}));
}

TEST(Program, theManualPageRendersFromTheProgramsOwnHelp) {
#ifndef MORVANE_CLI_MANPAGE
    GTEST_SKIP() << "built without help2man, so without the manual page";
#else
    std::FILE* man = ::popen("MANWIDTH=80 man -l " MORVANE_CLI_MANPAGE " 2>&1", "r");
    ASSERT_NE(man, nullptr);
    std::string page;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, man)) > 0;)
        page.append(buffer, got);
    EXPECT_EQ(::pclose(man), 0) << page;
    for (const char* part :
         {"MORVANE(1)", "morvane process:", "--out-dir DIR", "--plot FILE.png", "--pre-roll",
          "$ morvane process stems/*.wav", "morvane state save:", "morvane demo:"})
        EXPECT_TRUE(contains(page, part)) << part;

    const RunResult version = runMorvane({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "morvane 1.0.1\n");
#endif
}
