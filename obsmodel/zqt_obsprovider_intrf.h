// The recordset as the RINEX observation writers read it: the epochs of its window, epoch
// by epoch and satellite by satellite, the observation values of the current satellite,
// and the counts, statistics and header items a RINEX header needs.
//
// The entries of IZQS_RecordSet (OpenDataset, GetDataSetID, GetDataStorage,
// GetGloChannels, GetEpoch, SetEpoch, GetObsInfo, GetStationPos, GetFileHeader) keep their
// declarations there; this interface adds the stepping and the queries of the observation
// provider. The writers take the RINEX header items from GetFileHeader (receiver and
// observer items from the data set, marker, antenna, interval, times and approximate
// position from the recordset; an unknown item Null).
#pragma once

#include <cstdint>
#include <memory>

#include "zqt_antenna_rcrd.h"
#include "zqt_geo.h"
#include "zqt_obs_intrf.h"
#include "zqt_sat_obs_types.h"

namespace zqt_obs_intrf {

using zqt_geo::RObsStatistics;

class IZQS_RecordSetProvider : public virtual IZQS_RecordSet {
public:
    // ---- the epoch cursor ---------------------------------------------------------------

    // Steps to the next epoch of the window (ascending GPS time); False after the last.
    // The epoch interface (GetEpoch) and its satellite observations then hold that epoch.
    virtual bool NextEpoch() = 0;
    // Time of the current epoch, GPS ticks.
    virtual std::int64_t GetCurTime() = 0;
    // Number of epochs of the window that hold at least one wanted satellite.
    virtual std::int32_t GetEpochCount() = 0;

    // ---- the satellite cursor of the current epoch ---------------------------------------

    // Steps to the next satellite of the current epoch (ascending svprn); False after the
    // last, when the current satellite key becomes 0. The satellite observations of the
    // epoch follow the cursor.
    virtual bool NextSat() = 0;
    // Puts the satellite cursor before the first satellite of the current epoch.
    virtual void ResetSatCursor() = 0;
    // ResetSatCursor, then NextSat.
    virtual bool FirstSat() = 0;
    // svprn of the current satellite; 0 before the first and after the last.
    virtual std::uint16_t GetCurSatKey() = 0;
    // The same value (second entry).
    virtual std::uint16_t GetCurSat() = 0;
    // Makes the satellite of the current epoch current, when it is not already.
    virtual void SelectSat(std::uint16_t Svprn) = 0;
    // System code of the current satellite.
    virtual std::uint8_t GetCurSystem() = 0;

    // ---- values of the current satellite -------------------------------------------------

    // Carrier wavelength of a band 1..6 of the current satellite, m; 0.0 when its
    // frequency is unknown (a GLONASS satellite of unknown channel).
    virtual double GetWavelength(std::uint8_t Band) = 0;
    // The band block of the current satellite with its pseudorange and phase (m) corrected
    // for the antenna and its Doppler as a range rate (m/s, the Doppler times minus the
    // wavelength); an absent value is NaN.
    virtual void GetCurObsValues(RSatObsBand& Block, std::uint8_t Band) = 0;

    // ---- the window as a whole ----------------------------------------------------------

    // Satellites of the window (after the recordset's own filter), their systems and
    // counts.
    virtual TSatSet GetSatSet() = 0;
    virtual std::uint8_t GetSystemMask() = 0;
    virtual std::int32_t GetSystemCount() = 0;
    virtual std::int32_t GetSatCount() = 0;
    // Observation statistics of the window (zqt_geo::QueryObsCountsAndHealth).
    virtual void GetObsStatistics(RObsStatistics& Stat) = 0;
};
using IZQS_RecordSetProviderPtr = std::shared_ptr<IZQS_RecordSetProvider>;

}  // namespace zqt_obs_intrf
