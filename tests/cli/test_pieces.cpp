// The parts of the program that read what users type: name matching,
// automation files, output formats and parameter values.
#include <gtest/gtest.h>

#include <sstream>

#include "cli_test_support.h"
#include "host/cli/AudioFiles.h"
#include "host/cli/Automation.h"
#include "host/cli/Batch.h"
#include "host/cli/CliError.h"
#include "host/cli/EffectHost.h"
#include "host/cli/ParameterCatalogue.h"
#include "host/cli/TextMatch.h"

using namespace morvane_cli;

TEST(TextMatch, suggestsNamesWithinAFewSlipsAndNothingForNonsense) {
    const std::vector<std::string> names = {"Filter Freq", "Filter Gain", "Filter Type", "Width", "Kinetics"};
    EXPECT_EQ(editDistance("kitten", "sitting"), 3u);
    EXPECT_EQ(closestMatches("filtr freq", names).front(), "Filter Freq");
    EXPECT_EQ(closestMatches("Kinetic", names), std::vector<std::string>{"Kinetics"});
    EXPECT_EQ(closestMatches("freq", names).front(), "Filter Freq");
    EXPECT_TRUE(closestMatches("zzzzzzzz", names).empty());
    EXPECT_EQ(closestMatches("Filter", names).size(), 3u);
}

TEST(TextMatch, numbersAreWholeDecimalTextsOnly) {
    double v = 0;
    EXPECT_TRUE(parseNumber(" -1.5e2 ", v));
    EXPECT_EQ(v, -150.0);
    for (const char* bad : {"", "1.5x", "nan", "inf", "0x10", "1 2", "1e999"})
        EXPECT_FALSE(parseNumber(bad, v)) << bad;
}

TEST(AutomationFile, readsTimesCommentsAndBlankLinesAndRejectsBadTimes) {
    std::istringstream good("# header\n\n1.5 Filter Freq 100\n  2s   Left X 0.25 # pad\n0 Width=10\n");
    const std::vector<AutomationLine> lines = readAutomation(good, "a.txt");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].seconds, 1.5);
    EXPECT_EQ(lines[0].rest, "Filter Freq 100");
    EXPECT_EQ(lines[0].line, 3);
    EXPECT_EQ(lines[1].seconds, 2.0);
    EXPECT_EQ(lines[1].rest, "Left X 0.25");
    EXPECT_EQ(lines[2].line, 5);

    const std::vector<std::string> bads = {"x Filter Freq 1\n", "-0.5 Width 1\n", "1.0\n",
                                           std::string("1 W\0x 1\n", 9)};
    for (const std::string& bad : bads) {
        std::istringstream in(bad);
        EXPECT_THROW(readAutomation(in, "a.txt"), CliError) << bad;
    }

    // A source without newlines (/dev/zero, a large binary file) is refused
    // after one overlong line, not read into memory to its end.
    struct EndlessText : std::streambuf {
        size_t served = 0;
        int_type underflow() override {
            if (served >= (64u << 20)) return traits_type::eof();
            served += sizeof buffer;
            setg(buffer, buffer, buffer + sizeof buffer);
            return traits_type::to_int_type(buffer[0]);
        }
        char buffer[4096] = {'1', ' '};
    } endless;
    std::istream in(&endless);
    try {
        readAutomation(in, "z.txt");
        ADD_FAILURE() << "an endless line was accepted";
    } catch (const CliError& error) {
        EXPECT_NE(std::string(error.what()).find("z.txt:1: line too long"), std::string::npos)
            << error.what();
    }
    EXPECT_LE(endless.served, 3u * sizeof endless.buffer);
}

TEST(OutputFormat, keepsTheInputsOrFollowsTheWordsGiven) {
    const int floatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    EXPECT_EQ(resolveOutputFormat(floatWav, "", 2, 44100), floatWav);
    EXPECT_EQ(resolveOutputFormat(floatWav, "flac", 2, 44100), SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    EXPECT_EQ(resolveOutputFormat(floatWav, "ogg", 2, 44100), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_EQ(resolveOutputFormat(floatWav, "aiff:pcm16", 1, 44100), SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    EXPECT_THROW(resolveOutputFormat(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "float", 2, 44100), CliError)
        << "FLAC holds no floats";
    EXPECT_THROW(resolveOutputFormat(floatWav, "mp4", 2, 44100), CliError);
}

class CatalogueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        effect = std::make_unique<EffectHost>(MORVANE_BUNDLE_DIR);
        effect->start(44100, 2, 512);
        effect->selectPreset(0);
        catalogue = std::make_unique<ParameterCatalogue>(effect->parameters());
        catalogue->mirrorAll(
            [this](int32_t id) { return effect->parameter(static_cast<AudioUnitParameterID>(id)); });
    }
    float parse(const char* name, const char* value) {
        return catalogue->parseValue(catalogue->resolve(name), value);
    }

    std::unique_ptr<EffectHost> effect;
    std::unique_ptr<ParameterCatalogue> catalogue;
};

TEST_F(CatalogueTest, namesResolveByLongNameShortNameOrIdWithoutRegardToCase) {
    EXPECT_EQ(catalogue->parameters().size(), 45u);
    EXPECT_EQ(catalogue->resolve("wet/dry mix").id, 12);
    EXPECT_EQ(catalogue->resolve("Mix").id, 12);
    EXPECT_EQ(catalogue->resolve("12").id, 12);
    EXPECT_EQ(catalogue->find("47"), nullptr) << "the pad-throw velocities are not published";
    EXPECT_EQ(catalogue->find("45"), nullptr);
    try {
        catalogue->resolve("Regneration");
        FAIL();
    } catch (const CliError& e) {
        EXPECT_EQ(e.status(), kExitUsage);
        EXPECT_NE(std::string(e.what()).find("\"Regeneration\""), std::string::npos) << e.what();
    }
}

TEST_F(CatalogueTest, listNamesNumbersAndIndicesAreToldApart) {
    // "1/4" is a name of Motion Rate (index 4); "4" is index 4 as a number;
    // "1" is both the name of index 6 and index 1, so it is refused.
    EXPECT_EQ(parse("Motion Rate", "1/4"), 4.0f);
    EXPECT_EQ(parse("Motion Rate", "4"), 4.0f);
    EXPECT_EQ(parse("Motion Rate", "#1"), 1.0f);
    EXPECT_THROW(parse("Motion Rate", "1"), CliError);
    EXPECT_THROW(parse("Motion Rate", "#8"), CliError);
    // Both spellings of index 6 and 10 of the delay multiplier ("5/4") name
    // the first of them.
    EXPECT_EQ(parse("Right Delay Time", "5/4"), 6.0f);
    EXPECT_EQ(parse("L X Dest", "- None -"), 0.0f);
    EXPECT_EQ(parse("L X Dest", "RateRdux"), 6.0f);
    EXPECT_EQ(parse("L X Dest", "BitCrush"), 6.0f);
}

TEST_F(CatalogueTest, theDelayTimeTakesDivisionsWhileSyncedAndMillisecondsWhileFree) {
    const float eighthDotted = parse("Left Delay Time", "1/8.");
    EXPECT_EQ(static_cast<int>(eighthDotted * 15.0f), 7);
    EXPECT_EQ(static_cast<int>(parse("Left Delay Time", "1/1") * 15.0f), 14);
    EXPECT_EQ(parse("Left Delay Time", "0.25"), 0.25f);
    EXPECT_THROW(parse("Left Delay Time", "300ms"), CliError);

    catalogue->mirror(kHostSync, 0.0f);
    EXPECT_NEAR(parse("Left Delay Time", "4ms"), 0.0f, 1e-7);
    EXPECT_NEAR(parse("Left Delay Time", "2s"), 1.0f, 1e-7);
    EXPECT_NEAR(parse("Left Delay Time", "1002 ms"), 0.5f, 1e-6);
    EXPECT_THROW(parse("Left Delay Time", "1/8."), CliError);
    EXPECT_THROW(parse("Left Delay Time", "3000ms"), CliError);
}

TEST(BatchNames, outputsFollowTheirInputsAndTheContainerFormatNames) {
    BatchRequest batch;
    batch.inputs = {"takes/kick.wav", "takes/Snare Top.flac", "elsewhere/pad.aif", "noextension"};
    batch.outDir = "wet";
    batch.suffix = "_wet";
    EXPECT_EQ(batchOutputs(batch, ""), (std::vector<std::string>{"wet/kick_wet.wav", "wet/Snare Top_wet.flac",
                                                                 "wet/pad_wet.aif", "wet/noextension_wet"}));
    // A sample type alone keeps each input's container; a container names
    // the extension.
    EXPECT_EQ(batchOutputs(batch, "pcm24")[1], "wet/Snare Top_wet.flac");
    EXPECT_EQ(batchOutputs(batch, "flac:pcm24"),
              (std::vector<std::string>{"wet/kick_wet.flac", "wet/Snare Top_wet.flac", "wet/pad_wet.flac",
                                        "wet/noextension_wet.flac"}));
    EXPECT_EQ(batchOutputs(batch, "ogg")[0], "wet/kick_wet.ogg");

    // Two inputs that would write one file, standard input in a batch, and an
    // unknown format word are refused before anything runs.
    for (const std::vector<std::string>& inputs :
         {std::vector<std::string>{"a/kick.wav", "b/kick.wav"}, {"kick.wav", "-"}}) {
        batch.inputs = inputs;
        EXPECT_THROW(batchOutputs(batch, ""), CliError) << inputs.back();
    }
    batch.inputs = {"kick.wav", "kick.flac"};
    EXPECT_NO_THROW(batchOutputs(batch, ""));
    EXPECT_THROW(batchOutputs(batch, "wav"), CliError) << "both would become kick_wet.wav";
    EXPECT_THROW(batchOutputs(batch, "mp4"), CliError);
}
