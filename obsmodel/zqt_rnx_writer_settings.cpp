#include "zqt_rnx_writer_settings.h"

#include <algorithm>

namespace zqt_rnx_writer_settings {

using sysutils::Format;
using sysutils::Trim;
using sysutils::UpperCase;

namespace {

// Character i of a short code; a missing character reads as the terminator.
inline char CodeChar(std::string_view s, std::size_t i) noexcept {
    return i < s.size() ? s[i] : '\0';
}

bool MatchEntry(std::string_view entry, std::string_view code, std::uint32_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        const char e = CodeChar(entry, i);
        if (e != '?' && e != CodeChar(code, i)) return false;
        if (e == '\0') break;  // both ended: the rest is the terminator on both sides
    }
    return true;
}

}  // namespace

void Clear(TRnxObsStr3& filter) {
    filter.MajorVersion = 0;
    for (auto& list : filter.Codes) list.clear();
}

void SetVersion(TRnxObsStr3& filter, unsigned rnxVersion) {
    Clear(filter);
    filter.MajorVersion = rnxVersion <= zqt_sat_obs_types::RN2_END ? 2 : 3;
}

void AddObsCode(TRnxObsStr3& filter, unsigned sys, std::string_view code) {
    if (sys >= filter.Codes.size())
        throw zqt_sat_obs_types::ExceptionZQS(Format("Bad system %d for observation codes", sys));
    auto& list = filter.Codes[sys];
    if (std::find(list.begin(), list.end(), code) == list.end()) list.emplace_back(code);
}

void SetObsCodes(TRnxObsStr3& filter, unsigned sys, std::string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        std::string piece = UpperCase(Trim(text.substr(start, comma - start)));
        if (piece.size() > 3) piece.resize(3);
        if (!piece.empty()) AddObsCode(filter, sys, piece);
        start = comma + 1;
    }
}

bool MatchObsCode(const TRnxObsStr3& filter, unsigned sys, std::string_view code) noexcept {
    if (sys >= filter.Codes.size()) return false;
    // A filter whose version was never set compares whole codes rather than none of
    // their characters (which would leave out every code).
    const std::uint32_t n = filter.MajorVersion != 0 ? filter.MajorVersion : 3;
    for (const auto& entry : filter.Codes[sys])
        if (MatchEntry(entry, code, n)) return true;
    return false;
}

bool ObsCodeSelected(const TRnxObsStr3& filter, unsigned sys, std::string_view code) noexcept {
    return MatchObsCode(filter, AllSystemsList, code) ||
           (sys != AllSystemsList && MatchObsCode(filter, sys, code));
}

}  // namespace zqt_rnx_writer_settings
