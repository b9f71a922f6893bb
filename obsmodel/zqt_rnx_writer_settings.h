// Settings of a RINEX output: the observation-code filter (codes to leave out, for all
// systems and per system, with "?" wildcards) and the options record every RINEX writer
// takes a copy of.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zqt_sat_obs_types.h"

namespace zqt_rnx_writer_settings {

using zqt_sat_obs_types::RnxStr3;
using zqt_sat_obs_types::TSatSet;

// Observation-code filter. List 0 (AllSystemsList) applies to every system, list s to
// system s. A code matches an entry on its first MajorVersion characters (2 for RINEX 2
// output, 3 for RINEX 3 and 4), "?" in the entry matching any character.
inline constexpr unsigned AllSystemsList = 0;
struct TRnxObsStr3 {
    std::uint32_t MajorVersion = 0;
    std::array<std::vector<RnxStr3>, 8> Codes;

    bool operator==(const TRnxObsStr3&) const = default;
};

// Major version 0, every list empty.
void Clear(TRnxObsStr3& filter);
// Clear, then major version 2 for ordinals up to 4 (2.00 to 2.12), 3 from ordinal 5 on.
void SetVersion(TRnxObsStr3& filter, unsigned rnxVersion);
// Appends the code to the list of system 0..7 unless the list holds it already. Another
// system raises zqt_sat_obs_types::ExceptionZQS.
void AddObsCode(TRnxObsStr3& filter, unsigned sys, std::string_view code);
// Comma list of codes: each piece trimmed, upper-cased, cut to three characters and added;
// empty pieces are skipped.
void SetObsCodes(TRnxObsStr3& filter, unsigned sys, std::string_view text);
// True when an entry of the list of system 0..7 matches the code.
bool MatchObsCode(const TRnxObsStr3& filter, unsigned sys, std::string_view code) noexcept;
// True when the code is to be left out for system 1..7: list 0 or the system's own list
// matches it.
bool ObsCodeSelected(const TRnxObsStr3& filter, unsigned sys, std::string_view code) noexcept;

// The options record of a RINEX output. The main program fills it; every writer takes a
// copy and changes nothing but the included systems at the start of an observation file.
struct RRnxWriterSettings {
    std::uint32_t IncludedSystems =
        0;  // bit s = system s; the main program starts at AllSystemsMask
    TSatSet ExcludedSats;
    // Observation types (bit t = OBSTYPE t) left out per system; index = system code,
    // entry 0 unused.
    std::array<std::uint32_t, 8> ExcludedObsTypes{};
    TRnxObsStr3 ObsCodes;
    std::uint8_t RnxVersion = 0;  // ERnxVersion ordinal
    std::uint8_t Events = 0;      // recorded events go into the observation body
    bool NoClockOffset = false;   // epoch lines carry no receiver clock offset
    std::string ProgramName;
    std::string ProgramVersion;
    bool LeadingZeros = false;  // RINEX 2 epoch lines write G05, not G 5
    bool AllEvents = false;     // every recorded event kind is written
    bool CAPhase = false;       // RINEX 2: C/A phase and Doppler stand for L1 and D1
    bool RinexNames = false;    // output named by the RINEX convention
    std::string OutputName;     // without extension, as the user gave it
    std::string OutputDir;
    bool NavTimeWindow = false;         // navigation records far from the data span are left out
    bool KeepBlanks = false;            // body lines keep their trailing blanks
    bool HourlyFiles = false;           // one file per hour (main program only)
    bool NoNavigation = false;          // no navigation files beside an observation file
    bool MixedNavigation = false;       // one navigation file for all systems
    bool PhaseShiftCorrection = false;  // phases reduced by their slot's phase shift
    bool RecordsetValues = false;       // values from the recordset, not the satellite records
    bool DExponent = false;             // navigation exponents written with "D"
};

}  // namespace zqt_rnx_writer_settings
