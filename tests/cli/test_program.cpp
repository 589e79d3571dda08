// The morvane program run as a user runs it: a separate process that finds
// the effect bundle beside itself, reads and writes real audio files and
// reports on standard output and standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli_test_support.h"

using namespace cli_test;

namespace {

constexpr int kRate = 44100;

// Settings under which the output is a plain, measurable function of the
// input: no filter, no echoes, no pad drift, unity gains.
std::vector<std::string> quietChain() {
    return {"--set", "Filter On/Off=Off", "--set", "Delay On/Off=Off", "--set", "Kinetics=Off",
            "--set", "Input Gain=0",      "--set", "Output Gain=0"};
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

size_t lineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The parameters "params --json" reports, by name.
nlohmann::json paramsAfter(const std::vector<std::string>& options) {
    const RunResult run = runMorvane(join({"params", "--json"}, options));
    EXPECT_EQ(run.status, 0) << run.err;
    nlohmann::json byName;
    if (run.status != 0) return byName;
    const nlohmann::json all = nlohmann::json::parse(run.out);
    for (const auto& p : all["parameters"])
        byName[p["name"].get<std::string>()] = p;
    return byName;
}

// Index of the largest |sample| of one channel within [from, to).
size_t peakIndex(const Audio& audio, int channel, size_t from, size_t to) {
    size_t best = from;
    for (size_t i = from; i < std::min(to, audio.frames()); ++i)
        if (std::fabs(audio.at(i, channel)) > std::fabs(audio.at(best, channel))) best = i;
    return best;
}

struct FileCase {
    const char* name;
    int channels;
    int format;
    int sampleRate;
    const char* extension;
};

void PrintTo(const FileCase& c, std::ostream* out) {
    *out << c.name;
}

class ProcessFormats : public ::testing::TestWithParam<FileCase> {};

} // namespace

TEST_P(ProcessFormats, keepsTheInputsFormatAddsTheTailAndGivesTheSameBytesEveryRun) {
    const FileCase& c = GetParam();
    TempDir dir;
    const std::string in = dir.path(std::string("in.") + c.extension);
    const std::string out = dir.path(std::string("out.") + c.extension);
    const std::string again = dir.path(std::string("again.") + c.extension);
    const std::vector<float> signal = testSignal(c.channels, c.sampleRate, 0.25);
    writeAudio(in, c.format, c.channels, c.sampleRate, signal);

    const RunResult run = runMorvane({"process", in, out, "--tail", "0.1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lineCount(run.out), 1u) << run.out;
    const Audio input = readAudio(in);
    const Audio result = readAudio(out);
    EXPECT_EQ(result.format, c.format);
    EXPECT_EQ(result.channels, c.channels);
    EXPECT_EQ(result.sampleRate, c.sampleRate);
    const size_t expectedFrames = input.frames() + static_cast<size_t>(std::lround(0.1 * c.sampleRate));
    if ((c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG)
        EXPECT_NEAR(static_cast<double>(result.frames()), static_cast<double>(expectedFrames),
                    0.01 * expectedFrames);
    else
        EXPECT_EQ(result.frames(), expectedFrames);

    // The effect worked on it: not a copy of the input, not silence.
    double difference = 0.0, energy = 0.0;
    for (size_t i = 0; i < std::min(input.samples.size(), result.samples.size()); ++i) {
        difference += std::fabs(result.samples[i] - input.samples[i]);
        energy += std::fabs(result.samples[i]);
    }
    EXPECT_GT(difference, 1.0);
    EXPECT_GT(energy, 1.0);

    // Writers like to stamp files with the time: run again in another second.
    const std::time_t first = std::time(nullptr);
    while (std::time(nullptr) == first)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(runMorvane({"process", in, again, "--tail", "0.1", "-q"}).status, 0);
    EXPECT_TRUE(sameBytes(out, again)) << "the same command gave different bytes";
    EXPECT_EQ(dir.files().size(), 3u) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProcessFormats,
    ::testing::Values(FileCase{"MonoWav16", 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, "wav"},
                      FileCase{"StereoWavFloat", 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, "wav"},
                      FileCase{"MonoFlac", 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, "flac"},
                      FileCase{"StereoFlac24", 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, "flac"},
                      FileCase{"StereoAiff", 2, SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 8000, "aiff"},
                      FileCase{"StereoOgg", 2, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, "ogg"}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST(Process, formatOptionChoosesContainerAndSamplesAndOnlyIntegerOutputClips) {
    TempDir dir;
    const std::string in = dir.path("loud.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, testSignal(2, kRate, 0.2, 0.95f));
    const std::vector<std::string> hot = {
        "--set",         "Input Gain=3dB", "--set", "Output Gain=3", "--set", "Filter On/Off=Off", "--set",
        "Wet/Dry Mix=0", "--tail",         "0"};

    const RunResult asFloat =
        runMorvane(join({"process", in, dir.path("hot.flt"), "--format", "wav:float"}, hot));
    ASSERT_EQ(asFloat.status, 0) << asFloat.err;
    EXPECT_EQ(asFloat.err.find("samples clipped"), std::string::npos) << asFloat.err;
    const Audio floatOut = readAudio(dir.path("hot.flt"));
    EXPECT_EQ(floatOut.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const float floatPeak = *std::max_element(floatOut.samples.begin(), floatOut.samples.end());
    EXPECT_GT(floatPeak, 1.1f) << "float output must keep what lies above full scale";

    const RunResult asFlac = runMorvane(join({"process", in, dir.path("hot.flac"), "--format", "flac"}, hot));
    ASSERT_EQ(asFlac.status, 0) << asFlac.err;
    EXPECT_NE(asFlac.err.find("samples clipped"), std::string::npos) << asFlac.err;
    EXPECT_EQ(readAudio(dir.path("hot.flac")).format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
}

TEST(Process, bypassHandsTheInputThroughUnchangedFollowedBySilence) {
    TempDir dir;
    const std::string in = dir.path("in.wav"), out = dir.path("out.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, kRate, testSignal(2, kRate, 0.1));
    ASSERT_EQ(runMorvane({"process", in, out, "--bypass", "--tail", "0.05", "-q"}).status, 0);
    const Audio input = readAudio(in), output = readAudio(out);
    ASSERT_EQ(output.samples.size(), input.samples.size() + 2 * std::lround(0.05 * kRate));
    EXPECT_TRUE(std::equal(input.samples.begin(), input.samples.end(), output.samples.begin()));
    EXPECT_TRUE(std::all_of(output.samples.begin() + static_cast<long>(input.samples.size()),
                            output.samples.end(), [](float x) { return x == 0.0f; }));
}

TEST(Process, anInputShorterThanItsHeaderSaysGetsItsTailAfterItsRealEnd) {
    TempDir dir;
    // Half a second of FLAC whose header claims 120 seconds: the tail must
    // follow the audio that is there, not two minutes (or, with a worse
    // header, days) of invented silence.
    const std::string in = dir.path("short.flac");
    writeAudio(in, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 8000, testSignal(1, 8000, 0.5));
    std::string bytes = readText(in);
    ASSERT_EQ(bytes.compare(0, 4, "fLaC"), 0);
    // The 36-bit sample count ends the 18th byte of the stream-info block,
    // which starts at byte 8.
    const uint64_t claimed = 120u * 8000u;
    bytes[21] = static_cast<char>((static_cast<unsigned char>(bytes[21]) & 0xF0) | ((claimed >> 32) & 0x0F));
    for (int i = 0; i < 4; ++i)
        bytes[22 + i] = static_cast<char>(claimed >> (24 - 8 * i));
    writeText(in, bytes);

    const RunResult run = runMorvane({"process", in, dir.path("out.wav"), "--tail", "0.25"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readAudio(dir.path("out.wav")).frames(), 4000u + 2000u);
    EXPECT_NE(run.out.find("0.75 s (0.50 s + 0.25 s tail)"), std::string::npos) << run.out;
}

TEST(Presets, listsAllThirtyThreeAndSelectsByNumberOrName) {
    const RunResult list = runMorvane({"presets"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(lineCount(list.out), 33u);
    EXPECT_NE(list.out.find("  0  Welcome To Morvane\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(" 32  User 5 (init)\n"), std::string::npos) << list.out;

    const RunResult byNumber = runMorvane({"params", "--json", "--preset", "10"});
    const RunResult byName = runMorvane({"params", "--json", "--preset", "stereo dubs (send)"});
    ASSERT_EQ(byNumber.status, 0) << byNumber.err;
    EXPECT_EQ(byNumber.out, byName.out);
    EXPECT_NE(byNumber.out.find("Stereo Dubs (send)"), std::string::npos);
    // Preset 10 is fully wet; preset 0 mixes half and half.
    EXPECT_EQ(paramsAfter({"--preset", "10"})["Wet/Dry Mix"]["value"].get<double>(), 100.0);

    const RunResult typo = runMorvane({"params", "--preset", "Welcom To Morvan"});
    EXPECT_EQ(typo.status, 2);
    EXPECT_NE(typo.err.find("did you mean \"Welcome To Morvane\""), std::string::npos) << typo.err;
    const RunResult tooHigh = runMorvane({"params", "--preset", "33"});
    EXPECT_EQ(tooHigh.status, 2);
    EXPECT_NE(tooHigh.err.find("0 to 32"), std::string::npos) << tooHigh.err;
}

TEST(Values, displayTextsUnitsAndPositionsSetWhatTheyName) {
    struct Case {
        std::vector<std::string> options;
        const char* parameter;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {{"--set", "Filter Type=2P LP"}, "Filter Type", 2, "2P LP"},
        {{"--set", "FiltType=4php"}, "Filter Type", 3, "4P HP"},
        {{"--set", "Emulation=Digi"}, "Emulation", 1, "Digi"},
        {{"--set", "Right Delay Time=3/2"}, "Right Delay Time", 8, "3/2x"},
        {{"--set", "Right Delay Time=#5"}, "Right Delay Time", 5, "1x"},
        {{"--set", "Link Mode=Lock"}, "Link Mode", 1, "Lock"},
        {{"--set", "43=Link"}, "Link Mode", 2, "Link"},
        {{"--set", "Motion Mode=Rec"}, "Motion Mode", 2, "Rec"},
        {{"--set", "L X Destination=Delay Regen"}, "L X Destination", 10, "Delay Regen"},
        {{"--set", "Filter Freq=1.5kHz"}, "Filter Freq", 1500, "1500"},
        {{"--set", "Regeneration=-12 dB"}, "Regeneration", -12, "-12.0"},
        {{"--set", "Mix=25%"}, "Wet/Dry Mix", 25, "25"},
        {{"--set", "Kinetics=Off"}, "Kinetics", 0, "Off"},
        // A note division while Host Sync is on, milliseconds once it is off.
        {{"--set", "Left Delay Time=1/8."}, "Left Delay Time", 7.0 / 15.0, "1/8."},
        {{"--set", "Host Sync=Off", "--set", "Left Delay Time=500ms"},
         "Left Delay Time",
         (500.0 - 4.0) / 1996.0,
         "500"},
        // Control positions, with the reversed axes of the two mode lists.
        {{"--set-normalized", "Motion Mode=0"}, "Motion Mode", 2, "Rec"},
        {{"--set-normalized", "Link Mode=1"}, "Link Mode", 0, "Free"},
        {{"--set-normalized", "Filter Freq=0"}, "Filter Freq", 40, "40.0"},
        // Later assignments win, whichever option they use.
        {{"--set-normalized", "Filter Freq=0", "--set", "Filter Freq=1000"}, "Filter Freq", 1000, "1000"},
        {{"--set", "Filter Freq=1000", "--set-normalized", "Filter Freq=1"}, "Filter Freq", 20000, "20000"},
    };
    for (const Case& c : cases) {
        const nlohmann::json params = paramsAfter(c.options);
        ASSERT_TRUE(params.contains(c.parameter)) << c.options.back();
        EXPECT_NEAR(params[c.parameter]["value"].get<double>(), c.value,
                    1e-4 * std::max(1.0, std::fabs(c.value)))
            << c.options.back();
        EXPECT_EQ(params[c.parameter]["text"].get<std::string>(), c.text) << c.options.back();
    }
}

TEST(Values, mistakesNameTheArgumentAndSuggestCloseMatches) {
    struct Case {
        const char* assignment;
        const char* expected;
    };
    const Case cases[] = {
        {"Filtr Freq=100", "did you mean \"Filter Freq\""},
        {"Filter Freq=50000", "outside 40..20000 Hz"},
        {"Filter Type=2P BP", "did you mean \"2P LP\", \"2P HP\" or \"4P BP\""},
        {"Filter Type=2P LPP", "did you mean \"2P LP\""},
        {"Motion Rate=1", "write \"#6\" or \"#1\""},
        {"Left Delay Time=250ms", "Host Sync is On"},
        {"Regeneration=-6Hz", "its unit is dB"},
        {"Filter Freq", "expected NAME=VALUE"},
    };
    for (const Case& c : cases) {
        const RunResult run = runMorvane({"params", "--set", c.assignment});
        EXPECT_EQ(run.status, 2) << c.assignment;
        EXPECT_EQ(lineCount(run.err), 1u) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << c.assignment << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

TEST(Automation, aChangeLandsOnItsExactSampleInsideABlock) {
    TempDir dir;
    const std::string in = dir.path("dc.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, kRate, std::vector<float>(4096, 0.5f));
    // Sample 640: inside the second 512-frame block and on a 128-frame control
    // tick (counted from the input's first frame when there is no pre-roll),
    // where the output gain's smoother takes a new target. Unsplit, the block
    // would carry the old gain to sample 1024. After the default pre-roll the
    // change still lands on input sample 640, and the gain falls from the
    // next tick.
    writeText(dir.path("jump.txt"), "# output gain jump\n0.0145124716553288 Output Gain -20\n");
    for (const char* preRoll : {"0", "0.25"}) {
        const std::vector<std::string> common =
            join({"--tail", "0", "--pre-roll", preRoll, "--format", "float", "--block", "512", "-q"},
                 quietChain());
        ASSERT_EQ(runMorvane(join({"process", in, dir.path("plain.wav")}, common)).status, 0);
        const RunResult automated = runMorvane(
            join({"process", in, dir.path("jump.wav"), "--automation", dir.path("jump.txt")}, common));
        ASSERT_EQ(automated.status, 0) << automated.err;

        const Audio plain = readAudio(dir.path("plain.wav")), jump = readAudio(dir.path("jump.wav"));
        ASSERT_EQ(plain.frames(), jump.frames());
        for (size_t i = 0; i < 640; ++i)
            ASSERT_EQ(jump.at(i, 0), plain.at(i, 0))
                << "changed early, at sample " << i << ", pre-roll " << preRoll;
        const size_t falling = std::string(preRoll) == "0" ? 640 : 640 + 127;
        EXPECT_LT(jump.at(falling, 0), plain.at(falling, 0) * 0.98f) << "pre-roll " << preRoll;
        EXPECT_LT(jump.at(1023, 0), plain.at(1023, 0) * 0.5f);
    }
}

TEST(Automation, namesAndValuesWithBlanksAreUnderstoodAndBadLinesNameTheirLine) {
    TempDir dir;
    const std::string in = dir.path("in.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, testSignal(2, kRate, 0.2));
    writeText(dir.path("moves.txt"), "0     L X Destination Delay Regen   # multi-word name and value\n"
                                     "0.05  \"Filter Type\" 2P LP\n"
                                     "0.1s  Left X=0.75\n"
                                     "\n"
                                     "0.02  Emulation Digi\n");
    const RunResult run = runMorvane(join({"process", in, dir.path("out.wav"), "--tail", "0", "--automation",
                                           dir.path("moves.txt"), "--save-state", dir.path("end.plist")},
                                          {"--set", "Kinetics=Off"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const RunResult shown = runMorvane({"state", "show", "--json", dir.path("end.plist")});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const nlohmann::json state = nlohmann::json::parse(shown.out);
    std::map<std::string, std::string> texts;
    for (const auto& p : state["parameters"])
        texts[p["name"].get<std::string>()] = p["text"].get<std::string>();
    EXPECT_EQ(texts["L X Destination"], "Delay Regen");
    EXPECT_EQ(texts["Filter Type"], "2P LP");
    EXPECT_EQ(texts["Emulation"], "Digi");

    struct Bad {
        const char* line;
        const char* expected;
    };
    const Bad bads[] = {
        {"0.1 Filtr Freq 100\n",
         "moves.txt:1: unknown parameter \"Filtr Freq\"; did you mean \"Filter Freq\""},
        {"soon Filter Freq 100\n", "moves.txt:1: \"soon\" is not a time"},
        {"# fine\n-1 Filter Freq 100\n", "moves.txt:2: time -1 is negative"},
        {"0.1 Filter Freq 1e9\n", "moves.txt:1: Filter Freq: 1e+09 Hz is outside"},
        {"9 Filter Freq 100\n", "moves.txt:1: time 9 s is beyond the end"},
        {"0.1 Filter Freq\n", "moves.txt:1: no value for Filter Freq"},
        {"0.1\n", "moves.txt:1: expected SECONDS NAME VALUE"},
    };
    for (const Bad& bad : bads) {
        writeText(dir.path("moves.txt"), bad.line);
        const RunResult failed = runMorvane(
            {"process", in, dir.path("bad.wav"), "--tail", "0", "--automation", dir.path("moves.txt")});
        EXPECT_EQ(failed.status, 1) << bad.line;
        EXPECT_NE(failed.err.find(bad.expected), std::string::npos) << failed.err;
        EXPECT_FALSE(fileExists(dir.path("bad.wav")));
    }
}

TEST(Transport, aQuarterNoteEchoFollowsTheHostTempoOrFallsBackTo120Bpm) {
    TempDir dir;
    const std::string in = dir.path("click.wav");
    std::vector<float> click(static_cast<size_t>(kRate) * 2, 0.0f);
    const size_t clickAt = kRate / 10; // after the start-up glides
    click[2 * clickAt] = click[2 * clickAt + 1] = 0.8f;
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, kRate, click);
    const std::vector<std::string> echoOnly = {
        "--set", "Host Sync=On",        "--set",  "Left Delay Time=1/4",
        "--set", "Right Delay Time=1x", "--set",  "Width=100",
        "--set", "Wet/Dry Mix=100",     "--set",  "Filter On/Off=Off",
        "--set", "Emulation=Digi",      "--set",  "Kinetics=Off",
        "--set", "Regeneration=-60",    "--tail", "0",
        "-q"};

    struct Case {
        std::vector<std::string> transport;
        double echoMs;
    };
    const Case cases[] = {{{"--tempo", "90"}, 60000.0 / 90.0}, {{"--no-transport"}, 500.0}};
    for (const Case& c : cases) {
        const std::string out = dir.path("echo.wav");
        const RunResult run = runMorvane(join(join({"process", in, out}, echoOnly), c.transport));
        ASSERT_EQ(run.status, 0) << run.err;
        const Audio echo = readAudio(out);
        const size_t peak = peakIndex(echo, 0, clickAt + kRate / 20, echo.frames());
        const double measuredMs = (static_cast<double>(peak) - clickAt) * 1000.0 / kRate;
        EXPECT_NEAR(measuredMs, c.echoMs, 0.5) << c.transport.front();
        EXPECT_GT(std::fabs(echo.at(peak, 0)), 1e-3f);
    }
}

TEST(State, aSavedStateReproducesTheRenderBitForBit) {
    TempDir dir;
    const std::string in = dir.path("in.wav");
    writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, kRate, testSignal(2, kRate, 0.5));

    // A preset with pad recordings and drift, saved before rendering...
    const std::vector<std::string> setup = {"--preset",          "Digi Train", "--set",
                                            "Filter Type=2P LP", "--set",      "Mix=70"};
    ASSERT_EQ(runMorvane(join({"state", "save", dir.path("start.plist"), "-q"}, setup)).status, 0);
    ASSERT_EQ(runMorvane(join({"process", in, dir.path("direct.wav"), "-q", "--tail", "0.5"}, setup)).status,
              0);
    ASSERT_EQ(runMorvane({"process", in, dir.path("restored.wav"), "-q", "--tail", "0.5", "--state",
                          dir.path("start.plist")})
                  .status,
              0);
    EXPECT_TRUE(sameBytes(dir.path("direct.wav"), dir.path("restored.wav")));

    // ...and a still setting saved after rendering with --save-state.
    const std::vector<std::string> still = {"--preset", "User 1 (init)", "--set", "Filter Type=3P LP",
                                            "-q",       "--tail",        "0.5"};
    ASSERT_EQ(
        runMorvane(join({"process", in, dir.path("first.wav"), "--save-state", dir.path("end.plist")}, still))
            .status,
        0);
    ASSERT_EQ(runMorvane({"process", in, dir.path("second.wav"), "-q", "--tail", "0.5", "--state",
                          dir.path("end.plist")})
                  .status,
              0);
    EXPECT_TRUE(sameBytes(dir.path("first.wav"), dir.path("second.wav")));

    const RunResult shown = runMorvane({"state", "show", dir.path("start.plist")});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("name          \"Digi Train\""), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("parameters    45"), std::string::npos);
    EXPECT_NE(shown.out.find("2P LP"), std::string::npos);
    EXPECT_NE(shown.out.find("recordings    left 28 points, right 10 points"), std::string::npos)
        << shown.out;
}

namespace {

struct ErrorCase {
    const char* name;
    std::vector<std::string> args; // "@IN", "@OUT", "@DIR/..." are replaced
    const char* expected;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
    *out << c.name;
}

class ErrorPaths : public ::testing::TestWithParam<ErrorCase> {};

} // namespace

TEST_P(ErrorPaths, exitNonZeroWithOneLineAndLeaveNoFile) {
    const ErrorCase& c = GetParam();
    TempDir dir;
    writeAudio(dir.path("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, testSignal(2, kRate, 0.1));
    writeAudio(dir.path("three.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, kRate, testSignal(3, kRate, 0.1));
    writeAudio(dir.path("slow.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 4000, testSignal(1, 4000, 0.1));
    writeText(dir.path("junk.wav"), "RIFF but not really a wave file");
    writeText(dir.path("junk.plist"), "<?xml version=\"1.0\"?><plist><dict><key>data</key>");
    writeText(dir.path("auto.txt"), "0.05 Filter Freq lots\n");
    // A state the effect refuses: its own entries are required.
    ASSERT_EQ(runMorvane({"state", "save", dir.path("good.plist"), "-q"}).status, 0);
    std::string text = readText(dir.path("good.plist"));
    const size_t key = text.find("<key>RightMotion</key>");
    ASSERT_NE(key, std::string::npos);
    text.replace(key, 22, "<key>Elsewhere</key>");
    writeText(dir.path("partial.plist"), text);
    ASSERT_EQ(::symlink(dir.path("in.wav").c_str(), dir.path("alias.wav").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.path("pipe").c_str(), 0600), 0);
    const std::vector<std::string> before = dir.files();

    std::vector<std::string> args;
    for (std::string a : c.args) {
        if (a.rfind("@", 0) == 0) a = dir.path(a.substr(1));
        args.push_back(a);
    }
    const RunResult run = runMorvane(args);
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(lineCount(run.err), 1u) << run.err;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(dir.files(), before) << "an output or temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(
    Program, ErrorPaths,
    ::testing::Values(
        ErrorCase{"MissingInput", {"process", "@nothing.wav", "@out.wav"}, "nothing.wav: No such file"},
        ErrorCase{"NotAudio", {"process", "@junk.wav", "@out.wav"}, "cannot read it as audio"},
        ErrorCase{"ThreeChannels",
                  {"process", "@three.wav", "@out.wav"},
                  "3 channels; the effect takes mono or stereo"},
        ErrorCase{"RateTooLow", {"process", "@slow.wav", "@out.wav"}, "4000 Hz is outside"},
        ErrorCase{"OutIsIn", {"process", "@in.wav", "@in.wav"}, "is the input file"},
        ErrorCase{"OutIsInThroughALink", {"process", "@in.wav", "@alias.wav"}, "is the input file"},
        ErrorCase{"StateOverTheOutputByAnotherName",
                  {"process", "@in.wav", "@out.wav", "--save-state", "@./out.wav"},
                  "would overwrite an audio file"},
        ErrorCase{"OutIsAPipe", {"process", "@in.wav", "@pipe"}, "pipe: is not a regular file"},
        ErrorCase{"StateIntoAPipe", {"state", "save", "@pipe"}, "is not a regular file"},
        ErrorCase{"UnknownParameter",
                  {"process", "@in.wav", "@out.wav", "--set", "Feedback=3"},
                  "unknown parameter"},
        ErrorCase{"BadValue", {"process", "@in.wav", "@out.wav", "--set", "Width=wide"}, "Width: \"wide\""},
        ErrorCase{"BadPosition",
                  {"process", "@in.wav", "@out.wav", "--set-normalized", "Width=2"},
                  "position 0..1"},
        ErrorCase{"CorruptState", {"process", "@in.wav", "@out.wav", "--state", "@junk.plist"}, "junk.plist"},
        ErrorCase{"RefusedState", {"process", "@in.wav", "@out.wav", "--state", "@partial.plist"}, "refused"},
        ErrorCase{"CorruptAutomation",
                  {"process", "@in.wav", "@out.wav", "--automation", "@auto.txt"},
                  "auto.txt:1:"},
        ErrorCase{"PresetAndState",
                  {"process", "@in.wav", "@out.wav", "--preset", "1", "--state", "@good.plist"},
                  "--preset and --state"},
        ErrorCase{"UnknownFormat", {"process", "@in.wav", "@out.wav", "--format", "mp4"}, "--format"},
        ErrorCase{"MissingDirectory", {"process", "@in.wav", "@no/such/out.wav"}, "cannot create a file"},
        ErrorCase{"ZeroBlock", {"process", "@in.wav", "@out.wav", "--block", "0"}, "--block 0"},
        ErrorCase{"UnknownOption", {"process", "@in.wav", "@out.wav", "--colour"}, "--colour"},
        ErrorCase{"ShowCorruptState", {"state", "show", "@junk.plist"}, "junk.plist"},
        ErrorCase{"MissingBundle", {"--bundle", "@nowhere.component", "info"}, "nowhere.component"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST(Demo, writesTheDryLoopAndItsWetRenderTheSameEveryTime) {
    TempDir dir;
    const RunResult run = runMorvane({"demo", dir.path("first")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio dry = readAudio(dir.path("first/demo-dry.wav"));
    const Audio wet = readAudio(dir.path("first/demo-wet.wav"));
    EXPECT_EQ(dry.channels, 2);
    EXPECT_EQ(dry.sampleRate, 44100);
    EXPECT_EQ(dry.frames(), 16u * 44100u); // 8 bars of 4 beats at 120 BPM
    // The echoes ring on until they have faded below -90 dBFS for a second.
    ASSERT_GT(wet.frames(), dry.frames() + 44100u);
    EXPECT_LT(wet.frames(), dry.frames() + 60u * 44100u);
    for (size_t i = wet.frames() - 44100u; i < wet.frames(); ++i)
        ASSERT_LT(std::fabs(wet.at(i, 0)), 3.2e-5f) << "frame " << i;
    EXPECT_NE(run.out.find("dry"), std::string::npos);
    EXPECT_NE(run.out.find("RMS"), std::string::npos);
    EXPECT_NE(run.out.find("peak"), std::string::npos);
    EXPECT_NE(run.out.find("Welcome To Morvane"), std::string::npos);
    // The echoes ring on after the loop ends.
    double tail = 0.0;
    for (size_t i = dry.frames(); i < wet.frames(); ++i)
        tail = std::max(tail, double(std::fabs(wet.at(i, 0))));
    EXPECT_GT(tail, 0.01);

    ASSERT_EQ(runMorvane({"demo", dir.path("second"), "-q"}).status, 0);
    EXPECT_TRUE(sameBytes(dir.path("first/demo-dry.wav"), dir.path("second/demo-dry.wav")));
    EXPECT_TRUE(sameBytes(dir.path("first/demo-wet.wav"), dir.path("second/demo-wet.wav")));
}

TEST(Program, everyCommandHasHelpAndInfoDescribesTheComponent) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"process", "--help"},
                                                 {"presets", "--help"},
                                                 {"params", "--help"},
                                                 {"state", "save", "--help"},
                                                 {"state", "show", "--help"},
                                                 {"info", "--help"},
                                                 {"demo", "--help"}}) {
        const RunResult run = runMorvane(args);
        EXPECT_EQ(run.status, 0) << args.front();
        EXPECT_NE(run.out.find("Usage:"), std::string::npos) << run.out;
    }
    const RunResult info = runMorvane({"info", "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    const nlohmann::json j = nlohmann::json::parse(info.out);
    EXPECT_EQ(j["version"], "1.0.1");
    EXPECT_EQ(j["type"], "aufx");
    EXPECT_EQ(j["channels"], nlohmann::json::parse(R"([{"in":1,"out":1},{"in":2,"out":2}])"));
    EXPECT_EQ(j["tail_seconds"], 5.0);
    EXPECT_EQ(j["parameters"], 45);
    EXPECT_EQ(j["factory_presets"], 33);

    // MORVANE_BUNDLE names the bundle when --bundle does not.
    const RunResult viaEnvironment =
        runMorvane({"info"}, {std::string("MORVANE_BUNDLE=") + MORVANE_BUNDLE_DIR});
    EXPECT_EQ(viaEnvironment.status, 0) << viaEnvironment.err;
    const RunResult wrongEnvironment =
        runMorvane({"info"}, {"MORVANE_BUNDLE=/nonexistent/Morvane.component"});
    EXPECT_EQ(wrongEnvironment.status, 1);
    EXPECT_NE(wrongEnvironment.err.find("MORVANE_BUNDLE=/nonexistent"), std::string::npos);
}
