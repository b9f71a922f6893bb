// The observations of one epoch: TZQS_SatObs_bs keeps one fixed record per satellite
// (key, azimuth, elevation, base pseudorange, six band blocks) behind a cursor, checks
// every value that decoders store, keeps the per-satellite phase-packing and lock
// bookkeeping from epoch to epoch, and packs each record into the compact Data blob of a
// SatObs row. TZQS_Epoch_bs holds the epoch's own values (time, interval, flags) and its
// lazily created companions.
//
// Data blob (little-endian, at most 123 bytes):
//   0  f64  base range (m)
//   8  u8   band mask (bit b = band b follows)
//   9  per band b = 1..6 in the mask:
//        u8 kinds (2 range, 4 phase, 8 Doppler, 16 strength), u8 lock indicator,
//        [f64 range] [i32 (phase - base - offset) x 1e5] [f32 Doppler] [u8 strength]
// The pseudorange is kept whole, as the stream gave it: no rounding, and no limit on its
// distance from the satellite's first one.
// The phase offset is a whole number of wavelengths per satellite and band, chosen by the
// packer and not stored: a phase read back may differ by whole wavelengths.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "zqt_classes_dbs.h"
#include "zqt_obs_intrf.h"
#include "zqt_sat_obs_rcrd.h"
#include "zqt_sat_obs_types.h"

namespace zqt_epoch_bs {

using zqt_obs_intrf::IZQS_CoordinatesPtr;
using zqt_obs_intrf::IZQS_DataSetPtr;
using zqt_obs_intrf::IZQS_DataStoragePtr;
using zqt_obs_intrf::IZQS_EnginePtr;
using zqt_obs_intrf::IZQS_Epoch;
using zqt_obs_intrf::IZQS_EpochPtr;
using zqt_obs_intrf::IZQS_SatArrayPtr;
using zqt_obs_intrf::IZQS_SatObs;
using zqt_obs_intrf::IZQS_SatObsPtr;
using zqt_obs_intrf::IZQS_StandaloneSolutionPtr;
using zqt_obs_intrf::RAzEl;
using zqt_obs_intrf::REpochRecord;
using zqt_obs_intrf::RRotation;
using zqt_obs_intrf::RSatGeometry;
using zqt_obs_intrf::RSatObsBand;
using zqt_obs_intrf::RSatObsRecord;
using zqt_obs_intrf::RVec3;
using zqt_obs_intrf::TGloChannels;
using zqt_sat_obs_rcrd::TZQS_SignalMapping;
using zqt_sat_obs_types::TObsInfoTable;
using zqt_sat_obs_types::TSatSet;

// ---------------------------------------------------------------------------------------
// Blob and record helpers

inline constexpr std::size_t MaxBlobSize = 123;
using TBlob = std::array<std::uint8_t, MaxBlobSize>;

// UnpackBlob's result for a blob whose band mask announces more bytes than it holds.
inline constexpr std::size_t BlobTruncated = std::numeric_limits<std::size_t>::max();

// Bit of the observation-type bitset for band 1..6 and kind 1..4: 3(b-1)+k for the kinds
// 1 to 3, 18+b for strength; 0 for anything else.
constexpr std::uint32_t ObsTypeBit(unsigned Band, unsigned Kind) noexcept {
    if (Band < 1 || Band > 6) return 0;
    if (Kind >= 1 && Kind <= 3) return 3 * (Band - 1) + Kind;
    if (Kind == 4) return 18 + Band;
    return 0;
}

// Radians to whole degrees, rounded half to even; 0 for NaN or infinity (the value of a
// record without geometry), clamped to +-32767.
std::int32_t WholeDegrees(double Radians) noexcept;

// Zeroes a record and sets its reference rate to NaN (record initialisation).
void InitRecord(RSatObsRecord& Rec) noexcept;

// Unpacks a blob into a record (its base, mask, bands and bitset are replaced). Returns the
// bytes used: 0 for a blob shorter than 9 bytes, BlobTruncated when the mask announces
// more than the blob holds (nothing is read past its end).
std::size_t UnpackBlob(RSatObsRecord& Rec, const std::uint8_t* Data, std::size_t Length);

// Unpacks the Data column: it must be a byte array ("Variant is not byte array") whose
// bytes are used up exactly ("Bad Blob size"); both raise zqt_types_bs::ExceptionZQS.
void ReadDataColumn(RSatObsRecord& Rec, const zqt_variant::Variant& Data);

// The time (s, negative) from the epoch back to the signal's transmission by the satellite
// selected in the orbit provider: the travel time of the base range (m) and the satellite
// clock at the transmission, taken twice.
double TransmitOffset(zqt_obs_intrf::IZQS_OrbitProvider& Orbit, double BaseRange);

// ---------------------------------------------------------------------------------------
// TZQS_SatObs_bs

class TZQS_SatObs_bs : public zqt_classes_dbs::TZQS_Object, public virtual IZQS_SatObs {
public:
    // GPS, GLONASS, Galileo, QZSS, BeiDou, IRNSS (SBAS off).
    static constexpr std::uint32_t DefaultEnabledSystems = 0xF6;

    TZQS_SatObs_bs();
    ~TZQS_SatObs_bs() override;

    // A free-standing object (no database, no epoch).
    static std::shared_ptr<TZQS_SatObs_bs> Create();

    void InitFields() override;

    // ---- IZQS_SatObs ------------------------------------------------------------------
    RSatObsBand GetCurBand(std::uint8_t Band) const override;
    double GetCurSignalValue(std::uint8_t Signal) const override;
    double GetCurValue(std::uint8_t Band, std::uint8_t Kind) const override;
    RSatObsBand* GetCurBandRef(std::uint8_t Band) override;
    std::int32_t GetCursor() const override { return FCursor; }
    std::uint16_t GetCurSatKey() const override;
    std::uint8_t GetCurSatCode() const override;
    std::int32_t GetRecordCount() const override { return FCount; }
    double GetCurBaseRange() const override;
    double GetCurRange(std::uint8_t Band) const override { return GetCurValue(Band, 1); }
    double GetCurDoppler(std::uint8_t Band) const override { return GetCurValue(Band, 3); }
    double GetCurPhase(std::uint8_t Band) const override { return GetCurValue(Band, 2); }
    double GetCurSignalStrength(std::uint8_t Band) const override { return GetCurValue(Band, 4); }
    bool LossOfLock(std::uint8_t Band) override;
    std::uint8_t GetCurLock(std::uint8_t Band) const override;
    std::int32_t GetSystemCount(std::uint8_t System) const override;
    void UpdateLockTime(std::uint8_t Band, bool Restart) override;
    void SetCurRange(std::uint8_t Band, double Value) override {
        SetObs(FCursor, Band, 1, Value, 0);
    }
    void SetCurDoppler(std::uint8_t Band, double Value) override {
        SetObs(FCursor, Band, 3, Value, 0);
    }
    void SetCurPhase(std::uint8_t Band, double Value) override {
        SetObs(FCursor, Band, 2, Value, 0);
    }
    void SetCurStrength(std::uint8_t Band, double Value) override {
        SetObs(FCursor, Band, 4, Value, 0);
    }
    void SetCursor(std::int32_t Index) override { FCursor = Index; }
    RSatObsRecord* GetCurRecord() override { return GetRecord(FCursor); }
    bool SelectSat(std::uint16_t Key) override;
    RSatObsRecord* GetRecord(std::int32_t Index) override;
    RSatObsRecord* FindRecord(std::uint16_t Key) override;
    void Init(std::int32_t Count) override;
    void AddRecords(std::int32_t N) override;
    bool ResetRecords() override;
    bool ClearBands() override;
    bool SetCurSat(std::uint16_t Key, std::int32_t GloChannel) override;
    void SetBaseRange(std::int32_t Index, double Value) override;
    void SetCurBaseRange(double Value) override { SetBaseRange(FCursor, Value); }
    void SetRefRate(std::int32_t Index, double Value) override;
    void SetSignalValue(std::int32_t Index, std::uint8_t Signal, double Value) override;
    void SetObs(std::int32_t Index, std::uint8_t Band, std::uint8_t Kind, double Value,
                std::uint32_t Channel) override;
    void SetCurSignalValue(std::uint8_t Signal, double Value) override {
        SetSignalValue(FCursor, Signal, Value);
    }
    void SetCurObs(std::uint8_t Band, std::uint8_t Kind, double Value,
                   std::uint32_t Channel) override {
        SetObs(FCursor, Band, Kind, Value, Channel);
    }
    void SetCurBand(std::uint8_t Band, const RSatObsBand& Block) override;
    void SetCurObsByCode(std::uint8_t Code, std::uint8_t Version, const zqt_variant::Variant& Value,
                         const zqt_variant::Variant& Strength, const zqt_variant::Variant& LLI,
                         bool CAFlag) override;
    void SetCurObsValue(std::uint8_t Band, std::uint8_t Kind, const zqt_variant::Variant& Value,
                        const zqt_variant::Variant& Strength, const zqt_variant::Variant& LLI,
                        std::uint32_t Channel) override;
    void SwapCurSignals(std::uint8_t A, std::uint8_t B) override;
    void SetRangeDelta(std::int32_t Index, std::uint8_t Band, double Delta) override;
    void SetPhaseDelta(std::int32_t Index, std::uint8_t Band, double Delta) override;
    void SetPhaseCycles(std::int32_t Index, std::uint8_t Band, double Cycles) override;
    void SetPhaseMeters(std::int32_t Index, std::uint8_t Band, double Meters) override;
    void SetCurPhaseCycles(std::uint8_t Band, double Cycles) override {
        SetPhaseCycles(FCursor, Band, Cycles);
    }
    void SetCurPhaseMeters(std::uint8_t Band, double Meters) override {
        SetPhaseMeters(FCursor, Band, Meters);
    }
    void SetDopplerFromRate(std::int32_t Index, std::uint8_t Band, double Rate) override;
    void SetAzimuth(std::int32_t Index, double Degrees) override;
    void SetCurAzimuth(double Degrees) override { SetAzimuth(FCursor, Degrees); }
    void SetElevation(std::int32_t Index, std::int32_t Degrees) override;
    void SetCurElevation(std::int32_t Degrees) override { SetElevation(FCursor, Degrees); }
    RAzEl GetCurAzEl() const override;
    void SetCurAzEl(const RAzEl& AzEl) override;
    void AddToRange(std::int32_t Index, std::uint8_t Band, double Delta) override;
    std::int32_t GetCount() override;
    TSatSet GetSatSet() const override { return FSats; }
    TGloChannels GetGloChannels() const override { return FGloChannels; }
    void SetGloChannels(const TGloChannels& Channels) override { FGloChannels = Channels; }
    // The cursor step: cursor += 1 unless at or past the count; true while cursor < count.
    bool Next() override;
    void ResetCursor() override { FCursor = -1; }
    void SortRecords() override;
    bool First() override;
    bool GetSatGeometry(std::int32_t Index, const RVec3& Receiver, RSatGeometry& State) override;
    bool GetCurSatGeometry(RSatGeometry& State) override;
    double GetWavelength(std::int32_t Index, std::uint8_t Band) override;
    double GetCurWavelength(std::uint8_t Band) override { return GetWavelength(FCursor, Band); }
    double GetFrequency(std::int32_t Index, std::uint8_t Band) override;
    double GetCurFrequency(std::uint8_t Band) override { return GetFrequency(FCursor, Band); }
    std::int32_t GetGloChannel(std::int32_t Index) override;
    std::int32_t GetCurGloChannel() override { return GetGloChannel(FCursor); }
    std::int32_t GetCurElevationDeg() const override;
    bool HasObs(std::int32_t Index, std::uint8_t Band, std::uint8_t Kind) const override;
    bool HasCurObs(std::uint8_t Band, std::uint8_t Kind) const override {
        return HasObs(FCursor, Band, Kind);
    }
    bool HasCurSignal(std::uint8_t Signal) const override;
    std::uint32_t GetCurObsTypes() const override { return GetObsTypes(FCursor); }
    std::uint32_t GetObsTypes(std::int32_t Index) const override;
    std::uint8_t GetCurBandMask() const override { return GetBandMask(FCursor); }
    std::uint8_t GetBandMask(std::int32_t Index) const override;
    void Assign(const IZQS_SatObs& Other) override;
    std::string GetSatListText() const override;
    IZQS_SatArrayPtr GetSatArray() override { return nullptr; }
    IZQS_EpochPtr GetEpoch() const override { return nullptr; }
    std::string ToString() const override { return GetSatListText(); }
    TObsInfoTable GetObsInfo() const override { return FObsInfo; }

    // ---- packing ----------------------------------------------------------------------
    // Packs record Index into Out; returns the bytes written, 0 when the record packs to
    // nothing (no base range, or no band with a pseudorange or phase). A phase that cannot
    // be expressed (no wavelength for a new offset, not a number) is dropped from the
    // record, so that its kinds, bitset and band mask tell what the blob holds.
    std::size_t PackBlob(std::int32_t Index, TBlob& Out);
    // Packs every record into the object's blob buffers; returns how many records packed
    // to something.
    std::int32_t PackAll();
    // The packed bytes of record Index (empty for a record that packed to nothing or an
    // index outside the records).
    std::span<const std::uint8_t> PackedBlob(std::int32_t Index) const;

    // ---- state of the object ----------------------------------------------------------
    std::int64_t GetEpochTime() const { return FEpochTime; }
    void SetEpochTime(std::int64_t Value) { FEpochTime = Value; }
    std::uint32_t GetEpochID() const { return FEpochID; }
    void SetEpochID(std::uint32_t Value) { FEpochID = Value; }
    std::uint32_t GetEnabledSystems() const { return FEnabledSystems; }
    void SetEnabledSystems(std::uint32_t Mask) { FEnabledSystems = Mask; }
    bool GetInOrder() const { return FInOrder; }
    const std::shared_ptr<TZQS_SignalMapping>& GetSignalMapping() const { return FMapping; }
    void SetSignalMapping(std::shared_ptr<TZQS_SignalMapping> Mapping) {
        FMapping = std::move(Mapping);
    }
    TObsInfoTable& ObsInfoTable() { return FObsInfo; }
    // Record index of a key, -1 when absent.
    std::int32_t IndexOfKey(std::uint16_t Key) const;

protected:
    // Sources of the owning epoch; none for a free-standing object.
    virtual IZQS_DataStoragePtr NavDataSource() { return nullptr; }
    virtual RVec3 ReceiverPosition() { return RVec3{}; }
    virtual bool OwnerEpochTime(std::int64_t& Time) {
        (void)Time;
        return false;
    }
    virtual std::shared_ptr<TZQS_SignalMapping> OwnerSignalMapping() { return nullptr; }

    // Appends a record at the cursor (the array grows by one when the cursor has reached
    // the count) and returns it initialised.
    RSatObsRecord& AppendAtCursor();
    // Enters the record at Index into the key map, the satellite sets and the counts;
    // false for a key that is no satellite or is already present.
    bool RegisterRecord(std::int32_t Index);
    void ClearKeyIndex();
    void RebuildKeyIndex();
    static bool ValidKey(std::uint16_t Key) noexcept;
    bool ValidIndex(std::int32_t Index) const noexcept { return Index >= 0 && Index < FCount; }
    const RSatObsRecord* CurRecord() const {
        return ValidIndex(FCursor) ? &FRecords[static_cast<std::size_t>(FCursor)] : nullptr;
    }

private:
    // A phase in metres, Meters(shift, wavelength), from the slot's phase shift (noted in
    // the observation info); nothing without a wavelength.
    template <class Value>
    void SetPhaseShifted(std::int32_t Index, std::uint8_t Band, Value Meters);
    // Per-satellite tables indexed by svprn (0..2048) and band (1..6, index b - 1); they
    // live as long as the object and carry over from epoch to epoch.
    struct TSatTables {
        static constexpr std::size_t KeyCount = 2049;
        std::array<std::uint16_t, KeyCount> KeyMap;  // record index, 0xFFFF none
        std::array<std::array<double, 6>, KeyCount> Wavelength;
        std::array<std::array<double, 6>, KeyCount> PhaseOffset;
        std::array<std::array<std::int64_t, 6>, KeyCount> LockStart;
        std::array<std::array<std::int64_t, 6>, KeyCount> PrevLockTime;
        std::array<std::array<std::uint8_t, 6>, KeyCount> PrevLock;
    };

    void CheckIndex(std::int32_t Index) const;
    void GrowTo(std::int32_t Count);
    // Raw presence changes of one observation (no checks, no mapping).
    static void SetPresent(RSatObsRecord& Rec, unsigned Band, unsigned Kind);
    static void ClearPresent(RSatObsRecord& Rec, unsigned Band, unsigned Kind);
    static bool ReadRaw(const RSatObsRecord& Rec, unsigned Band, unsigned Kind, double& Value);
    static void WriteRaw(RSatObsRecord& Rec, unsigned Band, unsigned Kind, double Value);
    void AttachMapping();

    std::vector<RSatObsRecord> FRecords;
    std::int32_t FCount = 0;
    std::int32_t FCursor = -1;
    std::unique_ptr<TSatTables> FTables;
    TSatSet FSats;
    std::array<std::uint8_t, 8> FSysCount{};
    std::uint32_t FEnabledSystems = DefaultEnabledSystems;
    bool FInOrder = true;
    TGloChannels FGloChannels;
    std::int64_t FEpochTime = 0;
    std::uint32_t FEpochID = 0;
    TObsInfoTable FObsInfo;
    std::shared_ptr<TZQS_SignalMapping> FMapping;
    std::vector<TBlob> FPacked;
    std::vector<std::uint8_t> FPackedLength;  // 0 = nothing packed
};

// ---------------------------------------------------------------------------------------
// TZQS_Epoch_bs

class TZQS_Epoch_bs : public zqt_classes_dbs::TZQS_Object, public virtual IZQS_Epoch {
public:
    static constexpr std::uint8_t EpochObjType = 10;
    static constexpr std::uint8_t SolutionKind = 3;
    static constexpr std::uint8_t EngineSolutionKind = 4;

    TZQS_Epoch_bs() = default;
    ~TZQS_Epoch_bs() override = default;

    void InitFields() override;

    // The program-wide default for running the estimation engine (false in this program).
    static bool EngineDefault() { return false; }

    // ---- IZQS_Epoch -------------------------------------------------------------------
    std::int64_t GetTime() const override { return FTime; }
    void SetTime(std::int64_t Time) override;
    bool GetClockCorrection() const override { return FClockCorrection; }
    void SetClockCorrection(bool Value) override { FClockCorrection = Value; }
    void SetNumSat(std::int32_t N) override;
    void AddSats(std::int32_t N) override;
    void SetRotation(const RRotation& Rotation) override;
    RRotation GetRotationRecord() override { return FRotation; }
    void PrepareSatObs() override;
    IZQS_SatObsPtr GetSatObs() override;
    REpochRecord GetEpochRecord() const override;
    IZQS_EnginePtr GetEngine() const override { return FEngine; }
    void SetEngine(IZQS_EnginePtr Engine) override;
    IZQS_StandaloneSolutionPtr GetSolution() override;
    IZQS_StandaloneSolutionPtr GetSolution2() override;
    IZQS_StandaloneSolutionPtr GetActiveSolution() override;
    IZQS_CoordinatesPtr GetCoordinates() override;
    IZQS_CoordinatesPtr GetCoordinates2() override;
    bool RunEngine() override;
    IZQS_CoordinatesPtr GetActiveCoordinates() override;
    RVec3 GetPosition() override { return FPosition; }
    RVec3 GetCachedPosition() const override { return FPosition; }
    double GetClock() override { return 0.0; }
    void ResetPositionCache() override {}
    bool AlignToInterval(std::int64_t Interval) override;
    void SetEpochRecord(const REpochRecord& Record) override;
    // Without a table the late epoch is saved as any other (ExecuteWrite).
    std::int32_t ExecuteWriteLate() override;
    void Assign(IZQS_Epoch& Other) override;
    std::int32_t GetNumSat() override;
    IZQS_DataSetPtr GetDataSet() override;
    IZQS_DataStoragePtr GetNavData() override;

    // ---- plain accessors --------------------------------------------------------------
    std::int64_t GetInterval() const { return FInterval; }
    std::int64_t GetPreviousTime() const { return FPrevTime; }
    std::uint8_t GetEpochFlag() const { return FEpochFlag; }
    void SetEpochFlag(std::uint8_t Value) { FEpochFlag = Value; }
    std::uint8_t GetCrdType() const { return FCrdType; }
    void SetCrdType(std::uint8_t Value) { FCrdType = Value; }
    std::uint32_t GetDataSetID() const { return FDataSetID; }
    void SetDataSetID(std::uint32_t Value) { FDataSetID = Value; }
    bool GetEngineMode() const { return FEngineMode; }
    void SetEngineMode(bool Value) { FEngineMode = Value; }
    bool GetRotationSet() const { return FRotationSet; }
    // The satellite observations created so far (no creation).
    const std::shared_ptr<TZQS_SatObs_bs>& SatObsObject() const { return FSatObs; }

protected:
    // Creates the satellite observations on first use; descendants bind them to a table.
    virtual std::shared_ptr<TZQS_SatObs_bs> CreateSatObs();
    // The satellite observations, created when needed.
    TZQS_SatObs_bs& SatObs();
    IZQS_StandaloneSolutionPtr SolutionOfKind(std::uint8_t Kind, IZQS_StandaloneSolutionPtr& Slot);

    std::uint32_t FDataSetID = 0;
    std::int64_t FTime = 0;
    std::int64_t FInterval = 0;
    std::int32_t FNumSat = 0;
    std::uint8_t FEpochFlag = 0;
    std::uint8_t FCrdType = 0;
    std::int64_t FPrevTime = 0;
    std::shared_ptr<TZQS_SatObs_bs> FSatObs;
    bool FEngineMode = true;
    RRotation FRotation;
    bool FRotationSet = false;
    IZQS_CoordinatesPtr FCoordinates;
    IZQS_CoordinatesPtr FCoordinates2;
    IZQS_DataStoragePtr FNavData;
    bool FClockCorrection = false;
    IZQS_EnginePtr FEngine;
    IZQS_EnginePtr FEngineCompanion;
    IZQS_StandaloneSolutionPtr FSolution;
    IZQS_StandaloneSolutionPtr FSolution2;
    RVec3 FPosition;
};

}  // namespace zqt_epoch_bs
