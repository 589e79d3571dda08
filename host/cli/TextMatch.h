// Small text helpers for matching what a user typed against the names the
// effect publishes: forgiving comparison (case and blanks ignored) and "did
// you mean" suggestions ranked by edit distance.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvane_cli {

// Lower case, blanks removed: "2P LP" and "2plp" compare equal.
std::string foldText(std::string_view text);
// Surrounding white space removed.
std::string trimText(std::string_view text);
// Levenshtein distance (insert, delete, substitute, each 1).
size_t editDistance(std::string_view a, std::string_view b);

// The candidates closest to `typed` (compared folded), best first, at most
// `limit` of them, keeping only those within a distance that still looks like
// a typing slip for names of that length. Duplicates are dropped.
std::vector<std::string> closestMatches(std::string_view typed, const std::vector<std::string>& candidates,
                                        size_t limit = 3);

// `"a", "b" or "c"` for an error message; empty for no names.
std::string quotedList(const std::vector<std::string>& names, const char* lastJoin = " or ");

// Full-string number parse (leading/trailing blanks allowed); false for
// anything else, including "nan" and "inf".
bool parseNumber(std::string_view text, double& value);

} // namespace morvane_cli
