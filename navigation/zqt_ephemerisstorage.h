// The ephemeris storage of a navigation store: the broadcast ephemerides of a time window,
// indexed per satellite by time, and the orbit provider that selects the record valid for
// a satellite and a time and evaluates it (clock, position and velocity, health, GLONASS
// channel, carrier frequencies), caching the last state of every satellite.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zqt_basestorage.h"
#include "zqt_ephem_bs.h"
#include "zqt_ephem_tp.h"
#include "zqt_obs_intrf.h"
#include "zqt_sat_obs_types.h"

namespace zqt_ephem_dbs {
class TZQS_Ephem;
}

namespace zqt_ephemerisstorage {

using zqt_ephem_tp::REphem;
using zqt_ephem_tp::TEphemArray;
using zqt_obs_intrf::RSatState;

// The orbit provider with everything it offers; the observation model sees the narrow
// part (zqt_obs_intrf::IZQS_OrbitProvider). Select a record with SelectEphemeris, then ask
// the other members about the selected record at the requested time (+ dt seconds).
class IZQS_OrbitProvider : public zqt_obs_intrf::IZQS_OrbitProvider {
public:
    // The selected record, nullptr when none. The pointer stays valid until the storage
    // changes (a record is added, or it is cleared or reloaded).
    virtual const REphem* CurrentEphemeris() = 0;
    // The requested time (ticks) and satellite key of the last SelectEphemeris.
    virtual std::int64_t CurrentTime() = 0;
    virtual std::uint16_t CurrentSatId() = 0;
    // Group delay of the selected record (s); 0.0 when none is selected.
    virtual double CurrentTgd() = 0;
    // Carrier frequency (Hz) of a band (signal slot 1..6) for the requested system and the
    // current GLONASS channel. For a GLONASS satellite whose channel is not known (no
    // record selected) it is -1.0, the marker of an unknown frequency, which callers test
    // for; so is any frequency of an unknown system.
    virtual double Frequency(std::uint8_t Band) = 0;
    // Frequency of the band that an observation type (1..24) belongs to.
    virtual double FrequencyOfSignal(std::uint8_t Signal) = 0;
    // State of the selected satellite at the requested time + Dt; False without a
    // selection or when the record gives no state. Computed states are cached per
    // satellite (requested time, dt within 1e-8 s, and the record they came from).
    virtual bool SatState(double Dt, RSatState& State) = 0;
    // SatState; on failure the state is zeroed.
    virtual void SatStateOrZero(double Dt, RSatState& State) = 0;
    // SatState at the requested time + Dt minus the satellite clock offset; False without
    // a selection.
    virtual bool SatStateClockCorrected(double Dt, RSatState& State) = 0;
    // SatStateClockCorrected; on failure the state is zeroed.
    virtual void SatStateAtTransmit(double Dt, RSatState& State) = 0;
    // Zeroes a receiver channel-information record; the storage is not touched.
    virtual void ClearChannelInfo(zqt_sat_obs_types::TChannelInfo& Info) = 0;
};

using IZQS_OrbitProviderPtr = std::shared_ptr<IZQS_OrbitProvider>;

class IZQS_EphemerisStorage : public virtual zqt_objects_intrf::IZQS_BaseStorage {
public:
    // With the flag set, loading keeps every record, not only the healthy ones.
    virtual void SetAllRecords(bool Value) = 0;
    // Reads the records of the storage's window from its database; True on success.
    virtual bool Load() = 0;
    // The storage's orbit provider; the full interface is IZQS_OrbitProvider above
    // (std::dynamic_pointer_cast to it).
    virtual zqt_obs_intrf::IZQS_OrbitProviderPtr GetOrbitProvider() = 0;
    // Keeps a copy of the record when its key (time block, satellite, message kind) is new.
    virtual void AddEphemeris(const REphem& Record) = 0;

    // Members below have neutral bodies, for stand-ins that keep no records; the
    // ephemeris storage class overrides every one.

    virtual bool GetAllRecords() { return false; }
    // A copy of every record, in the order of addition.
    virtual TEphemArray GetRecords() { return {}; }
    // Copies of the records of one system (the high byte of svprn), in the order of
    // addition.
    virtual void RecordsOfSystem(TEphemArray& Records, std::uint8_t System) {
        (void)System;
        Records.clear();
    }
    // The row cursor through which records are added (SetRecord, then IndexRow); created
    // when missing.
    virtual zqt_ephem_bs::IZQS_EphemPtr GetEphemItem() { return nullptr; }
    // The selected record of the orbit provider, nullptr when none (valid until the
    // storage changes).
    virtual const REphem* GetCurrentRecord() { return nullptr; }
};

using IZQS_EphemerisStoragePtr = std::shared_ptr<IZQS_EphemerisStorage>;

// Selection limits per system code 0..7, in seconds: a request at t first looks for the
// record nearest to t + Shift; a record found so is taken when it lies within
// MaxShiftedDistance of t; every record taken is at most MaxAge from t.
struct RSelectionLimits {
    std::int32_t Shift;
    std::int32_t MaxShiftedDistance;
    std::int32_t MaxAge;
};
inline constexpr RSelectionLimits SelectionLimits[8] = {
    {0, 0, 0},           // unknown
    {6300, 7300, 9000},  // GPS
    {0, 1800, 1800},     // GLONASS
    {3600, 3600, 3600},  // SBAS
    {0, 3600, 3600},     // Galileo
    {0, 3600, 3600},     // QZSS
    {1350, 3700, 7000},  // BeiDou
    {0, 3600, 3600},     // IRNSS
};

// Bit of the number byte that marks a Galileo record of the satellite's second
// navigation message.
inline constexpr std::uint16_t GalileoSecondMessage = 0x80;

// Margin of the window query on each side: four hours, in ticks.
inline constexpr std::int64_t EphemerisWindowMargin = 144'000'000;

class TZQS_EphemerisStorage : public zqt_basestorage::TZQS_SvStorage,
                              public virtual IZQS_EphemerisStorage,
                              public IZQS_OrbitProvider {
public:
    // A storage that is a child of Parent on Db (the parent's database when Db is empty).
    static std::shared_ptr<TZQS_EphemerisStorage> CreateChild(
        const zqt_objects_intrf::IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db);

    void InitFields() override;
    // The window query: healthy records only unless the all-records flag is set.
    void OpenTable() override;
    // Empties the time indexes, the record list and the state cache; the selection is
    // dropped (the requested key and time are kept).
    void Clear() override;
    // Writes every record, in the order of addition, through the cursor (when the cursor
    // exists; rows already in the table are kept).
    void ExecuteWrite() override;
    // The cursor's write statement is closed too.
    void CloseWrite() override;

    // The cursor, created on first need as a child of the storage on its database.
    TZQS_ScObjectPtr GetItem() override;

    // IZQS_EphemerisStorage
    void SetAllRecords(bool Value) override { FAllRecords = Value; }
    bool GetAllRecords() override { return FAllRecords; }
    bool Load() override { return Next(); }
    zqt_obs_intrf::IZQS_OrbitProviderPtr GetOrbitProvider() override;
    void AddEphemeris(const REphem& Record) override;
    TEphemArray GetRecords() override { return FRecords; }
    void RecordsOfSystem(TEphemArray& Records, std::uint8_t System) override;
    zqt_ephem_bs::IZQS_EphemPtr GetEphemItem() override;
    const REphem* GetCurrentRecord() override { return Selected(); }

    // IZQS_OrbitProvider
    // Selects the record of the satellite valid at the time (see FindRecord); True when
    // one is. A repeated request (same key and time, storage unchanged) is answered from
    // the remembered selection.
    bool SelectEphemeris(std::uint16_t Svprn, std::int64_t Time) override;
    bool IsHealthy() override;
    // For a GLONASS request the selected record's channel, 127 (unknown) when none is
    // selected; 0 for other systems.
    std::int32_t CurrentGlonassChannel() override;
    // Satellite clock offset (s) of the selected record at the requested time + Dt; NaN
    // when nothing is selected.
    double ClockCorrection(double Dt) override;
    // SatState, then turned by the Earth's rotation during the signal travel time to the
    // receiver at Position.
    bool SatStateRotated(double Dt, const zqt_basestorage::RVec3& Position,
                         RSatState& State) override;
    // For a GLONASS key the channel of the record valid at the time, 127 when none; 0 for
    // other systems. The selection is not touched.
    std::int32_t GlonassChannel(std::uint16_t Svprn, std::int64_t Time) override;
    const REphem* CurrentEphemeris() override { return Selected(); }
    std::int64_t CurrentTime() override { return FRequestTime; }
    std::uint16_t CurrentSatId() override { return FRequestKey; }
    double CurrentTgd() override;
    double Frequency(std::uint8_t Band) override;
    double FrequencyOfSignal(std::uint8_t Signal) override;
    bool SatState(double Dt, RSatState& State) override;
    void SatStateOrZero(double Dt, RSatState& State) override;
    bool SatStateClockCorrected(double Dt, RSatState& State) override;
    void SatStateAtTransmit(double Dt, RSatState& State) override;
    void ClearChannelInfo(zqt_sat_obs_types::TChannelInfo& Info) override;

    // Row index of the record of the satellite valid at Time under the selection rules,
    // -1 when none: the nearest record to Time + Shift when it lies within the shifted
    // distance of Time, else the nearer of it and the record nearest to Time; none when
    // that is older or younger than the maximal age. System codes above 7 find nothing.
    virtual std::int32_t FindRecord(std::uint16_t Svprn, std::int64_t Time);
    // FindRecord; for Galileo, when that finds nothing, the records of the satellite's
    // second navigation message (number byte + 128) are tried.
    std::int32_t FindRecordWithRetry(std::uint16_t Svprn, std::int64_t Time);
    // The record at a row index (nullptr outside the list).
    const REphem* Record(std::int32_t Row) const;
    std::size_t RecordCount() const { return FRecords.size(); }

protected:
    // Appends a copy of the cursor's record and indexes it under its satellite.
    std::int32_t AddIndex() override;

private:
    // A computed state of one satellite and what it was computed for.
    struct RStateCacheEntry {
        std::int64_t Time = 0;
        double dt = 0.0;
        std::int32_t Row = -1;  // the record it came from; -1: empty entry
        bool Ok = false;
        RSatState State;
    };

    std::shared_ptr<zqt_ephem_dbs::TZQS_Ephem> Cursor();
    const REphem* Selected() const { return Record(FSelected); }
    std::uint8_t RequestSystem() const { return static_cast<std::uint8_t>(FRequestKey >> 8); }

    TEphemArray FRecords;
    std::shared_ptr<zqt_ephem_dbs::TZQS_Ephem> FCursor;
    std::vector<RStateCacheEntry> FCache;
    // The selection: a row index (-1 none), valid while the list keeps its records; it
    // answers a repeated request only while no record was added since.
    std::int32_t FSelected = -1;
    bool FSelectionCurrent = false;
    std::uint16_t FRequestKey = 0;
    std::int64_t FRequestTime = 0;
    bool FAllRecords = false;
};

// Installs TZQS_EphemerisStorage as the navigation store's ephemeris storage; calling
// it again installs it anew.
void InstallEphemerisStorage();

}  // namespace zqt_ephemerisstorage
