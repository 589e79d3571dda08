// The morvane program's parsers of what users type: an automation file
// (readAutomation, then scheduleAutomation against the effect's parameters)
// and every line of the same text as a --set or --set-normalized argument.
//
// Checks: nothing but CliError ever leaves a parser (no other exception, no
// crash); every change it accepts is a finite value inside the parameter's
// range, at a frame inside the render.
// Seeds: automation files and --set arguments as the program's users write them.
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/cli/Automation.h"
#include "host/cli/CliError.h"
#include "host/cli/ParameterCatalogue.h"

using namespace morvane_cli;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

struct Program {
    std::unique_ptr<EffectHost> effect;
    std::unique_ptr<ParameterCatalogue> catalogue;
    std::vector<float> startValues;

    Program() {
        effect = std::make_unique<EffectHost>(MORVANE_BUNDLE_DIR);
        effect->start(44100.0, 2, 512);
        effect->selectPreset(0);
        catalogue = std::make_unique<ParameterCatalogue>(effect->parameters());
        for (int32_t id = 0; id < 64; ++id)
            startValues.push_back(effect->parameter(AudioUnitParameterID(id)));
    }

    // The mirror as the program has it after choosing preset 0.
    void restart() {
        catalogue->mirrorAll([this](int32_t id) { return startValues[size_t(id)]; });
    }

    bool inRange(int32_t id, float natural) const {
        for (const ParameterDescription& p : catalogue->parameters())
            if (p.id == id) return std::isfinite(natural) && natural >= p.minimum && natural <= p.maximum;
        return false;
    }
};

constexpr int64_t kTotalFrames = 44100 * 10;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static Program program;
    const std::string text(reinterpret_cast<const char*>(bytes), size);

    program.restart();
    try {
        std::istringstream in(text);
        std::vector<AutomationLine> lines = readAutomation(in, "fuzz.txt");
        const std::vector<ScheduledChange> changes =
            scheduleAutomation(*program.catalogue, std::move(lines), "fuzz.txt", 44100.0, kTotalFrames);
        for (const ScheduledChange& change : changes) {
            check(change.frame >= 0 && change.frame < kTotalFrames);
            check(program.inRange(change.id, change.natural));
        }
    } catch (const CliError&) {
    }

    program.restart();
    std::istringstream arguments(text);
    std::string argument;
    while (std::getline(arguments, argument)) {
        for (bool normalized : {false, true}) {
            try {
                std::string name, value;
                splitAssignment(argument, normalized ? "--set-normalized" : "--set", name, value);
                const ParameterDescription& parameter = program.catalogue->resolve(name);
                const float natural = normalized ? program.catalogue->parseNormalized(parameter, value)
                                                 : program.catalogue->parseValue(parameter, value);
                check(program.inRange(parameter.id, natural));
                program.catalogue->mirror(parameter.id, natural);
            } catch (const CliError&) {
            }
        }
    }
    return 0;
}
