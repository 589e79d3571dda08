#include "host/cli/TextMatch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace morvane_cli {

std::string foldText(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isspace(u)) continue;
        folded.push_back(static_cast<char>(std::tolower(u)));
    }
    return folded;
}

std::string trimText(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return std::string(text.substr(begin, end - begin));
}

size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const size_t substitute = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitute});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::vector<std::string> closestMatches(std::string_view typed, const std::vector<std::string>& candidates,
                                        size_t limit) {
    const std::string key = foldText(typed);
    struct Scored {
        size_t distance;
        size_t order;
        const std::string* name;
    };
    std::vector<Scored> scored;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const std::string folded = foldText(candidates[i]);
        size_t distance = editDistance(key, folded);
        // A typed fragment of a longer name ("freq" for "Filter Freq") is a
        // good hint too: count it as a near miss.
        if (key.size() >= 3 && folded.find(key) != std::string::npos)
            distance = std::min<size_t>(distance, 2);
        // Allow roughly one slip per three characters, at least two.
        const size_t allowed = std::max<size_t>(2, std::max(key.size(), folded.size()) / 3);
        if (distance <= allowed) scored.push_back({distance, i, &candidates[i]});
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const Scored& a, const Scored& b) { return a.distance < b.distance; });
    std::vector<std::string> result;
    for (const Scored& s : scored) {
        if (result.size() >= limit) break;
        if (std::find(result.begin(), result.end(), *s.name) == result.end()) result.push_back(*s.name);
    }
    return result;
}

std::string quotedList(const std::vector<std::string>& names, const char* lastJoin) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += (i + 1 == names.size()) ? lastJoin : ", ";
        text += "\"" + names[i] + "\"";
    }
    return text;
}

bool parseNumber(std::string_view text, double& value) {
    const std::string trimmed = trimText(text);
    if (trimmed.empty()) return false;
    // Only plain decimal notation: no hex, no "inf" or "nan".
    for (char c : trimmed) {
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.' || c == 'e' ||
              c == 'E'))
            return false;
    }
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(trimmed.c_str(), &end);
    if (end != trimmed.c_str() + trimmed.size() || errno == ERANGE || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

} // namespace morvane_cli
