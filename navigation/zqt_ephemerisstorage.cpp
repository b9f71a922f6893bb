#include "zqt_ephemerisstorage.h"

#include <cmath>
#include <iterator>
#include <limits>

#include "zqt_datastorage_bs.h"
#include "zqt_ephem_dbs.h"
#include "zqt_ephem_func.h"
#include "zqt_timefunc.h"

namespace zqt_ephemerisstorage {

using zqt_ephem_dbs::TZQS_Ephem;
using zqt_ephem_func::TZQS_BRDCFunc;
namespace sc = zqt_sat_obs_types;

namespace {

// The window queries: healthy records only, or every record.
constexpr const char* HealthySQL =
    "SELECT * FROM %s AS e WHERE (e.GPSTime BETWEEN %d AND %d) and (health=0)  ORDER BY e.GPSTime";
constexpr const char* AllRecordsSQL =
    "SELECT * FROM %s AS e WHERE (e.GPSTime BETWEEN %d AND %d)  ORDER BY e.GPSTime";

constexpr double TicksPerSecond = static_cast<double>(zqt_timefunc::TicksPerSecond);

// |t - RecordTime| in ticks, through seconds and rounded to the tick. Far-apart times stay
// finite and ordered (no integer overflow).
double Distance(std::int64_t t, std::int64_t RecordTime) noexcept {
    const double seconds =
        (static_cast<double>(t) - static_cast<double>(RecordTime)) / TicksPerSecond;
    return std::nearbyint(std::fabs(seconds) * TicksPerSecond);
}

}  // namespace

// =======================================================================================
// Storage

std::shared_ptr<TZQS_EphemerisStorage> TZQS_EphemerisStorage::CreateChild(
    const zqt_objects_intrf::IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_EphemerisStorage>(Parent, std::move(Db));
}

void TZQS_EphemerisStorage::InitFields() {
    TZQS_SvStorage::InitFields();
    FRecords.clear();
    FCache.assign(IndexCount, RStateCacheEntry{});
    FSelected = -1;
    FSelectionCurrent = false;
    FAllRecords = false;
}

std::shared_ptr<TZQS_Ephem> TZQS_EphemerisStorage::Cursor() {
    if (!FCursor) FCursor = TZQS_Ephem::CreateChild(Intf(), nullptr);
    return FCursor;
}

TZQS_EphemerisStorage::TZQS_ScObjectPtr TZQS_EphemerisStorage::GetItem() { return Cursor(); }

zqt_ephem_bs::IZQS_EphemPtr TZQS_EphemerisStorage::GetEphemItem() { return Cursor(); }

zqt_obs_intrf::IZQS_OrbitProviderPtr TZQS_EphemerisStorage::GetOrbitProvider() {
    // Shares the storage's ownership: a provider held elsewhere keeps the storage alive.
    return std::shared_ptr<IZQS_OrbitProvider>(shared_from_this(),
                                               static_cast<IZQS_OrbitProvider*>(this));
}

void TZQS_EphemerisStorage::OpenTable() {
    SetSQLTemplate(FAllRecords ? AllRecordsSQL : HealthySQL);
    const std::shared_ptr<TZQS_Ephem> item = Cursor();
    OpenSQL(SQLiteExt::FormatPt(GetSQLTemplate(), item->GetTableName(),
                                zqt_timefunc::AddTicks(GetBegTime(), -EphemerisWindowMargin),
                                zqt_timefunc::AddTicks(GetEndTime(), EphemerisWindowMargin)),
            zqt_variant::TVariantArray{});
}

void TZQS_EphemerisStorage::Clear() {
    TZQS_SvStorage::Clear();
    FRecords.clear();
    FCache.assign(IndexCount, RStateCacheEntry{});
    // The remembered row index would name a record that is gone.
    FSelected = -1;
    FSelectionCurrent = false;
}

std::int32_t TZQS_EphemerisStorage::AddIndex() {
    const std::shared_ptr<TZQS_Ephem> item = Cursor();
    const REphem& record = *item->RecordPtr();
    SetRowIndex(static_cast<std::int32_t>(FRecords.size()));
    SetCurrentTime(record.GPSTime);
    FRecords.push_back(record);
    // Row indexes stay valid (records are only appended), but a record that fits a
    // remembered request better may have arrived: the next request looks again.
    FSelectionCurrent = false;
    try {
        return TZQS_SvStorage::AddIndex();
    } catch (...) {
        FRecords.pop_back();  // a record that cannot be indexed is not kept
        throw;
    }
}

void TZQS_EphemerisStorage::AddEphemeris(const REphem& Record) {
    Cursor()->SetRecord(Record);
    IndexRow();
}

void TZQS_EphemerisStorage::ExecuteWrite() {
    if (!FCursor) return;
    for (const REphem& e : FRecords) {
        FCursor->SetRecord(e);
        FCursor->ExecuteWrite();
    }
}

void TZQS_EphemerisStorage::CloseWrite() {
    if (FCursor) FCursor->CloseWrite();
    TZQS_SvStorage::CloseWrite();
}

void TZQS_EphemerisStorage::RecordsOfSystem(TEphemArray& Records, std::uint8_t System) {
    Records.clear();
    for (const REphem& e : FRecords)
        if ((e.svprn >> 8) == System) Records.push_back(e);
}

const REphem* TZQS_EphemerisStorage::Record(std::int32_t Row) const {
    if (Row < 0 || static_cast<std::size_t>(Row) >= FRecords.size()) return nullptr;
    return &FRecords[static_cast<std::size_t>(Row)];
}

// =======================================================================================
// Selection

std::int32_t TZQS_EphemerisStorage::FindRecord(std::uint16_t Svprn, std::int64_t Time) {
    const unsigned sys = Svprn >> 8;
    if (sys >= std::size(SelectionLimits)) return -1;
    const RSelectionLimits& lim = SelectionLimits[sys];
    const auto ticks = [](std::int32_t Seconds) { return Seconds * TicksPerSecond; };

    std::int64_t shifted =
        zqt_timefunc::AddTicks(Time, std::int64_t{lim.Shift} * zqt_timefunc::TicksPerSecond);
    std::int32_t row = FindNearest(Svprn, shifted);
    if (row < 0 && shifted != Time) {
        row = FindNearest(Svprn, Time);
        shifted = Time;
    }
    const REphem* e = Record(row);
    if (!e) return -1;

    double d = Distance(Time, e->GPSTime);
    if (shifted != Time) {
        // Found ahead of the request: taken when near enough to the request itself,
        // otherwise the record nearest to the request competes with it.
        if (d <= ticks(lim.MaxShiftedDistance)) return row;
        const std::int32_t near = FindNearest(Svprn, Time);
        if (const REphem* n = Record(near)) {
            const double dn = Distance(Time, n->GPSTime);
            if (dn < d) {
                row = near;
                d = dn;
            }
        }
    }
    return d > ticks(lim.MaxAge) ? -1 : row;
}

std::int32_t TZQS_EphemerisStorage::FindRecordWithRetry(std::uint16_t Svprn, std::int64_t Time) {
    const std::int32_t row = FindRecord(Svprn, Time);
    if (row >= 0 || (Svprn >> 8) != sc::SC_GALILEO) return row;
    return FindRecord(static_cast<std::uint16_t>(Svprn | GalileoSecondMessage), Time);
}

bool TZQS_EphemerisStorage::SelectEphemeris(std::uint16_t Svprn, std::int64_t Time) {
    if (Svprn == FRequestKey && Time == FRequestTime && FSelected >= 0 && FSelectionCurrent)
        return true;
    FRequestKey = Svprn;
    FRequestTime = Time;
    FSelected = Svprn != 0 ? FindRecordWithRetry(Svprn, Time) : -1;
    FSelectionCurrent = true;
    return FSelected >= 0;
}

std::int32_t TZQS_EphemerisStorage::GlonassChannel(std::uint16_t Svprn, std::int64_t Time) {
    if ((Svprn >> 8) != sc::SC_GLONASS) return 0;
    const REphem* e = Record(FindRecord(Svprn, Time));
    return e ? e->freq_num : sc::GloChannelUnknown;
}

// =======================================================================================
// The selected record

bool TZQS_EphemerisStorage::IsHealthy() {
    const REphem* e = Selected();
    return e && e->health == 0;
}

std::int32_t TZQS_EphemerisStorage::CurrentGlonassChannel() {
    if (RequestSystem() != sc::SC_GLONASS) return 0;
    const REphem* e = Selected();
    return e ? e->freq_num : sc::GloChannelUnknown;
}

double TZQS_EphemerisStorage::CurrentTgd() {
    const REphem* e = Selected();
    return e ? e->tgd : 0.0;
}

double TZQS_EphemerisStorage::ClockCorrection(double Dt) {
    const REphem* e = Selected();
    if (!e) return std::numeric_limits<double>::quiet_NaN();
    double drift = 0.0;
    return TZQS_BRDCFunc::SatClockBias(*e, FRequestTime, Dt, drift);
}

double TZQS_EphemerisStorage::Frequency(std::uint8_t Band) {
    return sc::CarrierFrequency(RequestSystem(), Band, CurrentGlonassChannel());
}

double TZQS_EphemerisStorage::FrequencyOfSignal(std::uint8_t Signal) {
    return Frequency(sc::ObsTypeSlot(Signal));
}

bool TZQS_EphemerisStorage::SatState(double Dt, RSatState& State) {
    const REphem* e = Selected();
    if (!e) return false;
    if (FRequestKey >= FCache.size())
        return TZQS_BRDCFunc::SatPosition(*e, FRequestTime, Dt, State);
    RStateCacheEntry& c = FCache[FRequestKey];
    // A NaN difference fails the test and recomputes.
    if (c.Row == FSelected && c.Time == FRequestTime && std::fabs(c.dt - Dt) < 1e-8) {
        State = c.State;
        return c.Ok;
    }
    RSatState computed;
    c.Ok = TZQS_BRDCFunc::SatPosition(*e, FRequestTime, Dt, computed);
    c.State = computed;
    c.Time = FRequestTime;
    c.dt = Dt;
    c.Row = FSelected;
    State = computed;
    return c.Ok;
}

void TZQS_EphemerisStorage::SatStateOrZero(double Dt, RSatState& State) {
    if (!SatState(Dt, State)) State = RSatState{};
}

bool TZQS_EphemerisStorage::SatStateRotated(double Dt, const zqt_basestorage::RVec3& Position,
                                            RSatState& State) {
    if (!SatState(Dt, State)) return false;
    TZQS_BRDCFunc::EarthRotationCorrection(RequestSystem(), Position, State);
    return true;
}

bool TZQS_EphemerisStorage::SatStateClockCorrected(double Dt, RSatState& State) {
    const double clk = ClockCorrection(Dt);
    if (std::isnan(clk)) return false;
    return SatState(Dt - clk, State);
}

void TZQS_EphemerisStorage::SatStateAtTransmit(double Dt, RSatState& State) {
    if (!SatStateClockCorrected(Dt, State)) State = RSatState{};
}

void TZQS_EphemerisStorage::ClearChannelInfo(zqt_sat_obs_types::TChannelInfo& Info) {
    sc::ClearChannelInfo(Info);
}

// =======================================================================================

void InstallEphemerisStorage() {
    zqt_datastorage_bs::SetEphemerisStorageFactory(
        [](const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
           const SQLiteExt::IESQLiteDatabasePtr& Db) -> IZQS_EphemerisStoragePtr {
            return TZQS_EphemerisStorage::CreateChild(Parent, Db);
        });
}

}  // namespace zqt_ephemerisstorage
