#include "host/cli/Automation.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "host/cli/CliError.h"
#include "host/cli/TextMatch.h"

namespace morvane_cli {

namespace {

std::string where(const std::string& fileName, int line) {
    return fileName + ":" + std::to_string(line) + ": ";
}

std::vector<std::string> splitBlanks(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start) words.emplace_back(text, start, i - start);
    }
    return words;
}

std::string unquote(const std::string& text) {
    const std::string trimmed = trimText(text);
    if (trimmed.size() >= 2 && (trimmed.front() == '"' || trimmed.front() == '\'') &&
        trimmed.back() == trimmed.front())
        return trimmed.substr(1, trimmed.size() - 2);
    return trimmed;
}

constexpr size_t kLongestLine = 4096;

// The next line without its newline, like std::getline, but reading at most
// one character past `limit`: a file without newlines (or /dev/zero) is
// refused as too long instead of being taken into memory whole.
bool readLine(std::istream& in, std::string& text, size_t limit) {
    text.clear();
    using Traits = std::istream::traits_type;
    for (Traits::int_type c = in.get(); !Traits::eq_int_type(c, Traits::eof()); c = in.get()) {
        if (Traits::to_char_type(c) == '\n') return true;
        text.push_back(Traits::to_char_type(c));
        if (text.size() > limit) return true;
    }
    return !text.empty();
}

} // namespace

std::vector<AutomationLine> readAutomation(std::istream& in, const std::string& fileName) {
    std::vector<AutomationLine> lines;
    std::string text;
    int number = 0;
    while (readLine(in, text, kLongestLine)) {
        ++number;
        if (text.size() > kLongestLine) throw CliError(where(fileName, number) + "line too long");
        if (text.find('\0') != std::string::npos) throw CliError(where(fileName, number) + "not a text file");
        const size_t hash = text.find('#');
        if (hash != std::string::npos) text.erase(hash);
        const std::string line = trimText(text);
        if (line.empty()) continue;

        size_t split = 0;
        while (split < line.size() && !std::isspace(static_cast<unsigned char>(line[split])))
            ++split;
        std::string timeText = line.substr(0, split);
        if (timeText.size() > 1 && (timeText.back() == 's' || timeText.back() == 'S')) timeText.pop_back();
        double seconds = 0.0;
        if (!parseNumber(timeText, seconds))
            throw CliError(where(fileName, number) + "\"" + line.substr(0, split) +
                           "\" is not a time in seconds");
        if (seconds < 0.0)
            throw CliError(where(fileName, number) + "time " + line.substr(0, split) + " is negative");
        const std::string rest = trimText(std::string_view(line).substr(split));
        if (rest.empty()) throw CliError(where(fileName, number) + "expected SECONDS NAME VALUE");
        lines.push_back({seconds, rest, number});
    }
    if (in.bad()) throw CliError(fileName + ": read error");
    return lines;
}

std::vector<AutomationLine> readAutomationFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw CliError(path + ": cannot open the automation file");
    return readAutomation(in, path);
}

const ParameterDescription& splitNameAndValue(const ParameterCatalogue& catalogue, const AutomationLine& line,
                                              const std::string& fileName, std::string& value) {
    const std::string& rest = line.rest;
    const std::string prefix = where(fileName, line.line);
    std::string name;
    if (rest.find('=') != std::string::npos) {
        name = unquote(rest.substr(0, rest.find('=')));
        value = unquote(rest.substr(rest.find('=') + 1));
    } else if (rest.front() == '"' || rest.front() == '\'') {
        const size_t close = rest.find(rest.front(), 1);
        if (close == std::string::npos) throw CliError(prefix + "unclosed quote in \"" + rest + "\"");
        name = rest.substr(1, close - 1);
        value = unquote(rest.substr(close + 1));
    } else {
        // The shortest run of leading words that names a parameter.
        const std::vector<std::string> words = splitBlanks(rest);
        for (size_t count = 1; count < words.size(); ++count) {
            std::string candidate;
            for (size_t i = 0; i < count; ++i)
                candidate += (i ? " " : "") + words[i];
            if (catalogue.find(candidate) != nullptr) {
                name = candidate;
                for (size_t i = count; i < words.size(); ++i)
                    value += (i > count ? " " : "") + words[i];
                break;
            }
        }
        if (name.empty()) {
            if (const ParameterDescription* whole = catalogue.find(rest))
                throw CliError(prefix + "no value for " + whole->name);
            if (words.size() < 2)
                throw CliError(prefix + "expected SECONDS NAME VALUE, found \"" + rest + "\"");
            // Report against everything but the last word, the likeliest name.
            for (size_t i = 0; i + 1 < words.size(); ++i)
                name += (i ? " " : "") + words[i];
            value = words.back();
        }
    }
    if (value.empty()) throw CliError(prefix + "no value for " + name);
    try {
        return catalogue.resolve(name);
    } catch (const CliError& error) {
        throw CliError(prefix + error.what());
    }
}

std::vector<ScheduledChange> scheduleAutomation(ParameterCatalogue& catalogue,
                                                std::vector<AutomationLine> lines,
                                                const std::string& fileName, double sampleRate,
                                                int64_t totalFrames) {
    std::stable_sort(lines.begin(), lines.end(),
                     [](const AutomationLine& a, const AutomationLine& b) { return a.seconds < b.seconds; });
    std::vector<ScheduledChange> changes;
    changes.reserve(lines.size());
    for (const AutomationLine& line : lines) {
        std::string valueText;
        const ParameterDescription& parameter = splitNameAndValue(catalogue, line, fileName, valueText);
        float natural = 0.0f;
        try {
            natural = catalogue.parseValue(parameter, valueText);
        } catch (const CliError& error) {
            throw CliError(where(fileName, line.line) + error.what());
        }
        const double frame = std::round(line.seconds * sampleRate);
        if (frame >= static_cast<double>(totalFrames)) {
            char text[160];
            std::snprintf(text, sizeof text, "time %g s is beyond the end of the render (%.3f s)",
                          line.seconds, static_cast<double>(totalFrames) / sampleRate);
            throw CliError(where(fileName, line.line) + text);
        }
        catalogue.mirror(parameter.id, natural);
        changes.push_back({static_cast<int64_t>(frame), parameter.id, natural});
    }
    return changes;
}

} // namespace morvane_cli
