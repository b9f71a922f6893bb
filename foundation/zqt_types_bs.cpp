#include "zqt_types_bs.h"

#include <vector>

namespace zqt_types_bs {

using sysutils::PointFormatSettings;
using sysutils::StrToFloat;
using sysutils::Trim;
using sysutils::UpperCase;

std::string_view TropoModelName(eTropoModels m) noexcept {
    const auto i = static_cast<std::size_t>(m);
    return i < TropoModelNames.size() ? TropoModelNames[i] : std::string_view{};
}

// ---------------------------------------------------------------------------------------
// Free events

void StrToFreeEvent(RFreeEvent& event, std::string_view text) {
    const auto eq = text.find('=');
    if (eq != std::string_view::npos) {
        event.Tag = std::string(text.substr(0, eq));
        event.Value = std::string(text.substr(eq + 1));
    } else {
        event.Tag = "_HHH";
        event.Value = std::string(text);
    }
    event.Kind = FE_BEG;
    for (int k = FE_XA; k <= FE_RMS; ++k) {
        if (FreeEventTags[static_cast<std::size_t>(k)] == event.Tag) {
            event.Kind = static_cast<EFreeEvents>(k);
            break;
        }
    }
}

namespace {

// A number with "." as decimal separator; blanks around it are allowed.
double PointNumber(std::string_view text) { return StrToFloat(Trim(text), PointFormatSettings()); }

}  // namespace

double AntennaHeightFromText(std::string_view text, bool& IsSlant) {
    std::string s = UpperCase(text);
    for (char& c : s)
        if (c == ',') c = '.';

    if (auto v = s.find('V'); v != std::string::npos) {
        IsSlant = false;
        s[v] = ' ';
    }

    if (s.find('+') != std::string::npos) {
        // The terms of a sum; empty terms do not count.
        std::vector<std::string> parts;
        std::size_t from = 0;
        for (;;) {
            const auto plus = s.find('+', from);
            const std::string part = Trim(std::string_view(s).substr(
                from, plus == std::string::npos ? std::string::npos : plus - from));
            if (!part.empty()) parts.push_back(part);
            if (plus == std::string::npos) break;
            from = plus + 1;
        }
        if (parts.empty()) return 0.0;
        if (parts.size() == 1) return PointNumber(parts[0]);
        return PointNumber(parts[0]) + PointNumber(parts[1]);
    }

    if (auto p = s.find('S'); p != std::string::npos) {
        IsSlant = true;
        s[p] = ' ';
    }
    return PointNumber(s);
}

double RFreeEvent::GetAntennaHeight(bool& IsSlant) const {
    if (Kind != FE_ANH) throw FreeEventException("RFreeEvent.AntennaHeight: type must be ANH");
    return AntennaHeightFromText(Value, IsSlant);
}

double RFreeEvent::GetAntennaOffset(double& Second, bool& IsSlant) const {
    if (Kind != FE_ANO) throw FreeEventException("RFreeEvent.AntennaHeight: type must be ANO");
    const std::string_view v = Value;
    const auto semi = v.find(';');
    const std::string_view first = v.substr(0, semi);
    // A value without ";" has no second part: converting the empty text raises.
    const std::string_view second =
        semi == std::string_view::npos ? std::string_view{} : v.substr(semi + 1);
    const auto secondEnd = second.find(';');
    const double height = AntennaHeightFromText(first, IsSlant);
    Second = PointNumber(second.substr(0, secondEnd));
    return height;
}

// ---------------------------------------------------------------------------------------
// Recordset settings

namespace {

TRRecordsetSettings MakeRecordsetSettingsDefault() {
    TRRecordsetSettings s;
    s.Engine = 0;
    s.SolutionType = 8;
    s.ElevationMask = 12;
    s.SystemSet = 0xF6;
    s.ExcludedSats = TSatSetBits{};
    s.RelativisticDelay = false;
    s.TropoModel = TM_Neill;
    s.Pressure = 980.0;
    s.Temperature = 20.0;
    s.Humidity = 50.0;
    s.AntennaModel = 0;
    return s;
}

}  // namespace

void RecordsetSettingsDefault(TRRecordsetSettings& settings) {
    static const TRRecordsetSettings defaults = MakeRecordsetSettingsDefault();
    settings = defaults;
}

TRRecordsetSettings RecordsetSettingsDefault() {
    TRRecordsetSettings s;
    RecordsetSettingsDefault(s);
    return s;
}

// ---------------------------------------------------------------------------------------
// File facts

void FileInfoClear(RFileInfo& info) { info = RFileInfo{}; }

}  // namespace zqt_types_bs
