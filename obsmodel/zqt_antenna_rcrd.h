// The antenna record: for one antenna type, its radius, its measuring-point height and,
// per carrier, the phase-centre offset and the phase-centre variations read from the
// antennas database, with the routines that turn them into a line-of-sight correction for
// a satellite seen at a given azimuth and elevation. Also the record of RINEX header items
// that the data set and the recordset fill and the RINEX writers read.
//
// Angles of a direction travel as one RAzEl in radians (azimuth first). Offsets and
// variations are metres, grid angles degrees.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "SQLiteExt.h"
#include "zqt_basestorage.h"
#include "zqt_sat_obs_types.h"
#include "zqt_variant.h"

namespace zqt_antenna_rcrd {

using zqt_basestorage::RAzEl;
using zqt_sat_obs_types::eFrequencies;
using zqt_variant::Variant;

// Carrier numbers 0..28 of eFrequencies.
inline constexpr int CarrierCount = zqt_sat_obs_types::FrequencyCount;
// Signal slots 0..6 of a system (slot 0: none).
inline constexpr int SlotCount = 7;

// ---------------------------------------------------------------------------------------
// Calibration of one carrier

struct RParams {
    float North = 0.0f;  // phase-centre offset, m
    float East = 0.0f;
    float Up = 0.0f;
    float Azi1 = 0.0f;  // azimuth start, end and step, degrees
    float Azi2 = 0.0f;
    float DAzi = 0.0f;
    std::int32_t NAzi = 0;  // number of azimuths of the grid (0: no grid)
    float Zen1 = 0.0f;      // zenith start, end and step, degrees
    float Zen2 = 0.0f;
    float DZen = 0.0f;
    std::int32_t NZen = 0;                // number of zenith angles (0: no variations)
    std::vector<float> NoAzi;             // azimuth-independent values per zenith angle, m
    std::vector<std::vector<float>> Pcv;  // one row per azimuth, one value per zenith angle, m

    // Everything zero and empty: no offset, no variation.
    void Clear();

    // Phase-centre variation toward the direction, metres; AzimuthIndependent non-zero
    // (or a calibration without grid) uses the azimuth-independent values. Zenith and
    // azimuth indexes count from 0 in steps of DZen and DAzi; Zen1 is only the lower
    // clamp. Interpolation never leaves the arrays: a position beyond the last value
    // takes the last value, a calibration whose arrays hold fewer values than announced
    // is read over the values present, and a direction that cannot be placed (NaN, or a
    // step of 0 or less where interpolation needs it) gives 0.0.
    double Variation(const RAzEl& Direction, std::uint8_t AzimuthIndependent) const;
};

// ---------------------------------------------------------------------------------------
// Antenna record

struct RZQSAntenna {
    std::string Name;                 // the antenna type it was loaded for
    float Radius = 0.0f;              // m (only stored)
    float MeasurePointHeight = 0.0f;  // m (only stored)
    bool Loaded = false;
    std::uint32_t Carriers = 0;  // bit c: Params[c] holds a calibration of carrier c
    std::array<RParams, CarrierCount> Params{};

    // Loads the calibration of an antenna type from the antennas database (read through the
    // catalogue's antennas read connection) and its extension
    // (TZQS_Dirs::AntennasExtDbName); the
    // result is the loaded flag. A missing antennas database leaves the name as it was;
    // an unknown type leaves the name empty. Faulty variation texts raise
    // zqt_types_bs::ExceptionZQS "Bad dimehsions", database faults ESQLiteException; the
    // record then stays not loaded with an empty name.
    bool Load(const std::string& AntennaType);

    // True when a calibration of carrier C was loaded.
    bool HasCarrier(eFrequencies C) const noexcept;

    // The calibration serving a signal slot: the slot's own carrier, else its fallback;
    // all zero when the record is not loaded or has neither.
    RParams GetCarrierParams(unsigned System, unsigned Slot) const;

    // Phase-centre offset, raised by ExtraHeight (m), projected on the direction to the
    // satellite, less the variation; 0.0 when the record is not loaded or the elevation
    // is NaN. Without a calibration for the slot: ExtraHeight x sin(elevation).
    double PhaseCentreCorrection(unsigned System, unsigned Slot, const RAzEl& Direction,
                                 std::uint8_t AzimuthIndependent, double ExtraHeight) const;

private:
    // The calibration serving the slot, or nullptr (no copy).
    const RParams* CarrierParams(unsigned System, unsigned Slot) const noexcept;
};

// Carrier whose calibration serves a signal slot of a system, and the fallback used when
// the antenna has no calibration of that carrier. Unknown systems and slots give UNKNOWN.
eFrequencies OwnCarrier(unsigned System, unsigned Slot) noexcept;
eFrequencies FallbackCarrier(unsigned System, unsigned Slot) noexcept;

// Azimuth-independent values: Count comma-separated numbers in millimetres, returned in
// metres. Count < 1 gives no values; another number of items raises
// zqt_types_bs::ExceptionZQS "Bad dimehsions".
std::vector<float> ParseNoAzi(std::string_view Text, std::int32_t Count);

// Variation grid: NAzi rows of NZen numbers in millimetres, separated by commas or line
// feeds and closed by one more separator (NAzi x NZen + 1 items, the last unused);
// returned in metres, one row per azimuth. A count below 1 gives an empty grid; another
// number of items raises "Bad dimehsions".
std::vector<std::vector<float>> ParsePcvGrid(std::string_view Text, std::int32_t NZen,
                                             std::int32_t NAzi);

// ---------------------------------------------------------------------------------------
// RINEX header items. Every item is a Variant: Empty (unassigned) or Null when unknown.

struct RFileHeader {
    Variant MarkerName;
    Variant MarkerNumber;
    Variant Interval;  // ticks
    Variant FirstObs;  // time of first observation, GPS ticks
    Variant LastObs;   // time of last observation, GPS ticks
    Variant Observer;
    Variant Agency;
    Variant CountryCode;
    Variant Extra;    // one further text; no writer reads it
    Variant ApproxX;  // approximate position, m
    Variant ApproxY;
    Variant ApproxZ;
};

struct RReceiver {
    Variant Firmware;                   // firmware version text
    Variant Number;                     // receiver number
    Variant Serial;                     // serial number
    Variant Type;                       // receiver type
    Variant Board;                      // board text
    std::uint32_t FirmwareVersion = 0;  // the file receiver's firmware version as a number
};

// Antenna items of the header.
struct RAntenna {
    Variant HeightType1;  // True: the antenna height is slant
    Variant HeightType0;  // True: the antenna height is to the marker
    Variant Height;       // antenna height, m
    Variant VerticalHeight;
    Variant Number;  // antenna serial number
    Variant Type;    // antenna type
    Variant DeltaH;
    Variant DeltaE;
    Variant DeltaN;
};

struct RFileHeaderFull {
    RFileHeader Header;
    RReceiver Receiver;
    RAntenna Antenna;
};

}  // namespace zqt_antenna_rcrd
