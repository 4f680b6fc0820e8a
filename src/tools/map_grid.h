#pragma once
// The text of a map-shaped file, read without Qt so that kestrix-sim reads the maps Kestrix
// writes: the first line "RPM\TP," and 16 throttle headers, then 16 lines of an RPM header and
// 16 cells, each a whole number. Blanks around a field, CRLF or LF line ends, a last line without
// its end and empty lines at the end are accepted; anything else is refused, naming the line.
#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kx {

struct GridText {
    std::array<int, 16> rpm{}; // engine speed headers (scale bytes x 50)
    std::array<int, 16> tp{};  // raw throttle headers
    std::array<int, 256> values{};
};
struct GridTextRead {
    std::optional<GridText> grid;
    std::string error; // when there is no grid: "Line 3: ..."
};

namespace gridtext {
inline std::string_view trimmed(std::string_view t) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    while (!t.empty() && blank(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && blank(t.back()))
        t.remove_suffix(1);
    return t;
}
inline std::vector<std::string_view> split(std::string_view text, char at) {
    std::vector<std::string_view> out;
    for (size_t from = 0;;) {
        const size_t end = text.find(at, from);
        out.push_back(text.substr(from, end == std::string_view::npos ? end : end - from));
        if (end == std::string_view::npos) return out;
        from = end + 1;
    }
}
inline GridTextRead refused(size_t line, const std::string& why) {
    return {std::nullopt, "Line " + std::to_string(line) + ": " + why};
}
} // namespace gridtext

// Cells from `lowest` to `highest` are accepted; headers from 0 to 255 (RPM: to 255 x 50).
inline GridTextRead parseGridText(std::string_view bytes, int lowest, int highest) {
    using namespace gridtext;
    constexpr size_t kLines = 17;
    std::vector<std::string_view> lines = split(bytes, '\n');
    for (auto& l : lines)
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    while (!lines.empty() && trimmed(lines.back()).empty())
        lines.pop_back();
    GridText grid;
    // Line by line, so that the first fault in the file is the one named.
    for (size_t l = 0; l < std::min(lines.size(), kLines); ++l) {
        const std::vector<std::string_view> fields = split(lines[l], ',');
        if (fields.size() != 17)
            return refused(l + 1, std::to_string(fields.size()) +
                                      " columns; each line of a map file has 17.");
        for (size_t c = 0; c < 17; ++c) {
            const std::string_view f = trimmed(fields[c]);
            if (l == 0 && c == 0) {
                if (f != "RPM\\TP") return refused(1, "a map file starts with \"RPM\\TP\".");
                continue;
            }
            // Engine speed headers are scale bytes x 50; the rest are bytes.
            const bool cell = l > 0 && c > 0;
            const int low = cell ? lowest : 0;
            const int high = cell ? highest : l > 0 ? 255 * 50 : 255;
            int v = -1;
            const auto [end, err] = std::from_chars(f.data(), f.data() + f.size(), v);
            if (f.empty() || err != std::errc() || end != f.data() + f.size() || v < low ||
                v > high) {
                return refused(l + 1, "\"" + std::string(f.substr(0, 40)) +
                                          "\" is not a whole number from " + std::to_string(low) +
                                          " to " + std::to_string(high) + ".");
            }
            if (l == 0) {
                grid.tp[c - 1] = v;
            } else if (c == 0) {
                grid.rpm[l - 1] = v;
            } else {
                grid.values[16 * (l - 1) + c - 1] = v;
            }
        }
    }
    if (lines.size() < kLines)
        return refused(lines.size() + 1, "the map ends here; a map file has 17 lines.");
    if (lines.size() > kLines) return refused(kLines + 1, "a map file ends after line 17.");
    return {grid, {}};
}

} // namespace kx
