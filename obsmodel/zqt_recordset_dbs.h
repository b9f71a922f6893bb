// The recordset bound to table Recordsets: loading a row (with its antenna and its ObjInfo
// name), writing a row with its ObjInfo row, the recordset opened by the main program for
// a RINEX output file, its data set, and the items of a RINEX header it knows.
//
// Opened for reading, the recordset is the observation provider of the RINEX writers: one
// joined query over Epochs and SatObs selects the epochs of its data set inside its window
// with the wanted systems, satellites and elevations; the recordset steps an epoch object
// through it (epoch and satellites from the same prepared statement) and hands out the
// values, frequencies and wavelengths of the current satellite.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SQLiteExt.h"
#include "zqt_geo.h"
#include "zqt_obs_intrf.h"
#include "zqt_recordset_bs.h"
#include "zqt_site.h"
#include "zqt_types_bs.h"

namespace zqt_recordset_dbs {

using SQLiteExt::IESQLiteDatabasePtr;
using zqt_antenna_bs::IZQS_AntennaPtr;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_obs_intrf::IZQS_DataSetPtr;
using zqt_obs_intrf::IZQS_DataStoragePtr;
using zqt_obs_intrf::IZQS_EpochPtr;
using zqt_obs_intrf::IZQS_OrbitProviderPtr;
using zqt_obs_intrf::IZQS_RecordSetPtr;
using zqt_obs_intrf::IZQS_SatObsPtr;
using zqt_obs_intrf::RBandSelection;
using zqt_obs_intrf::RSatGeometry;
using zqt_obs_intrf::RSatObsBand;
using zqt_obs_intrf::RVec3;
using zqt_obs_intrf::TGloChannels;
using zqt_obs_intrf::TZQS_Occupation;
using zqt_sat_obs_types::TObsInfoTable;
using zqt_sat_obs_types::TSatSet;

class TZQS_Recordset : public zqt_recordset_bs::TZQS_Recordset_bs {
public:
    // The 26 columns of a Recordsets row, in table order.
    static constexpr std::size_t ColumnCount = 26;
    static const std::array<const char*, ColumnCount>& Columns();

    // ---- construction ---------------------------------------------------------------------
    // Loads recordset RecordsetID of Db for reading with the given filter and model
    // settings (Unfiltered: every epoch of the data set), builds its queries, counts its
    // epochs and satellites, creates the navigation store of its window (when a
    // navigation-store factory is installed) and reads its reference position. A missing
    // row raises zqt_sat_obs_types::ExceptionZQS "Recordset can not be read %d".
    static IZQS_RecordSetPtr Create(const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                    const zqt_types_bs::TRRecordsetSettings& Settings,
                                    bool Unfiltered);
    // The same, giving the class.
    static std::shared_ptr<TZQS_Recordset> Open(const IESQLiteDatabasePtr& Db,
                                                std::int32_t RecordsetID,
                                                const zqt_types_bs::TRRecordsetSettings& Settings,
                                                bool Unfiltered);
    // A new, empty recordset as child of Parent (a data set) on the parent's database.
    static std::shared_ptr<TZQS_Recordset> CreateWithParent(const IZQS_ObjectPtr& Parent);
    // A recordset for an occupation record of DataSet (see TZQS_Recordset_bs); CreateNew
    // takes a new ObjID first.
    static std::shared_ptr<TZQS_Recordset> CreateForOccupation(const IZQS_ObjectPtr& Parent,
                                                               IESQLiteDatabasePtr Db,
                                                               const IZQS_DataSetPtr& DataSet,
                                                               const TZQS_Occupation& Record);
    static std::shared_ptr<TZQS_Recordset> CreateNewForOccupation(const IZQS_ObjectPtr& Parent,
                                                                  IESQLiteDatabasePtr Db,
                                                                  const IZQS_DataSetPtr& DataSet,
                                                                  const TZQS_Occupation& Record);

    // Table "Recordsets", the 26 columns, ObjType 7; not visible, enabled.
    void InitFields() override;
    // Steps the select: a row fills the fields and the antenna (and reloads the antenna
    // calibration of the catalogue model); then, row or not, ObjType and Name are taken
    // from the ObjInfo row of the current ObjID when there is one. True on a row.
    bool Next() override;
    // Inserts the row (a new ObjID when it has none; Name := MarkerName when that is set)
    // and its ObjInfo row.
    void ExecuteWrite() override;

    // ---- IZQS_RecordSet ---------------------------------------------------------------------
    // The parent when it is a data set; else the data set of the working id, loaded once
    // and kept. Raises "Can't open dataset" when it cannot be loaded.
    IZQS_DataSetPtr OpenDataset() override;
    // The working data-set id; when 0, the parent's ObjID or the row's DatasetID.
    std::int32_t GetDataSetID() override;
    // The data set's GLONASS channels, read once.
    bool GetGloChannels(TGloChannels& Channels) override;
    zqt_obs_intrf::TGloPhaseBiases GetGloPhaseBiases() override;
    // The navigation store of the window; empty while the recordset has none.
    IZQS_DataStoragePtr GetDataStorage() override { return FDataStorage; }
    // The epoch cursor: created on first use as a child of the recordset and opened on the
    // main query (epoch and satellite rows from one statement).
    IZQS_EpochPtr GetEpoch() override;
    // Replaces the epoch cursor (a data set hands its writing epoch to its recordset).
    void SetEpoch(const IZQS_EpochPtr& Epoch) override;
    void GetObsInfo(TObsInfoTable& Table) override;
    // The reference position, or the current epoch's position for a moving receiver.
    RVec3 GetStationPos() override;
    // The data set's items, then the antenna, window, marker and position items.
    void GetFileHeader(zqt_antenna_rcrd::RFileHeaderFull& Header) override;

    // ---- IZQS_ObsProvider: epochs -------------------------------------------------------------
    bool NextEpoch() override;
    // Unfiltered: the data set's epochs in the current order; filtered: the filtered main
    // query in the current order (the filters stay).
    void Reopen() override;
    void ToggleOrder() override;
    std::int64_t GetCurTime() override { return FCurTime; }
    std::int32_t GetEpochCount() override { return FEpochCount; }
    RVec3 GetAntennaPos() override { return FAntennaPos; }

    // ---- IZQS_ObsProvider: satellites ---------------------------------------------------------
    bool NextSat() override;
    void ResetSatCursor() override;
    bool FirstSat() override;
    std::uint16_t GetCurSatKey() override { return FCurSat; }
    std::uint16_t GetCurSat() override { return FCurSat; }
    void SelectSat(std::uint16_t Svprn) override;
    std::uint8_t GetCurSystem() override { return FCurSystem; }
    std::int32_t GetSatCursor() override;
    std::int32_t GetSatRecordCount() override;
    TSatSet GetEpochSatSet() override;

    // ---- IZQS_ObsProvider: values of the current satellite ------------------------------------
    // GLONASS: the data set's channel of the slot, else the navigation data's; 127 on both
    // gives a frequency of -1.0 (unknown). Other systems: the nominal carrier.
    double GetFrequency(std::uint8_t Band) override;
    // Speed of light / GetFrequency; 0.0 for a frequency of 0 or less (unknown).
    double GetWavelength(std::uint8_t Band) override;
    double GetSignalFrequency(std::uint8_t Signal) override;
    double GetSignalWavelength(std::uint8_t Signal) override;
    std::int32_t GetGloChannel() override;
    bool IsHealthy() override;
    std::uint8_t GetCurBandMask() override;
    double GetObservation(std::uint8_t Band, std::uint8_t Kind) override;
    void GetCurObsValues(RSatObsBand& Block, std::uint8_t Band) override;
    double GetCurStrength(std::uint8_t Band) override;

    // ---- IZQS_ObsProvider: band selection -----------------------------------------------------
    RBandSelection GetBandSelection() override { return FBandSelection; }
    void SetBandSelection(const RBandSelection& Value) override { FBandSelection = Value; }
    std::int32_t GetSelectedBandCount(std::uint8_t Kind) override;
    double GetSelectedFrequency(std::uint8_t Kind, std::int32_t Index) override;
    double GetSelectedWavelength(std::uint8_t Kind, std::int32_t Index) override;

    // ---- IZQS_ObsProvider: the window ---------------------------------------------------------
    TSatSet GetSatSet() override { return FSatSet; }
    std::uint8_t GetSystemMask() override { return FSystemMask; }
    std::int32_t GetSystemCount() override { return FSystemCount; }
    std::int32_t GetSatCount() override { return FSatCount; }
    void GetObsStatistics(zqt_geo::RObsStatistics& Stat) override;
    void GetCommonObsTypes(std::array<std::uint32_t, 7>& Types, std::int32_t Elevation) override;
    bool HasRotation() override;

    // ---- IZQS_ObsProvider: settings and models ------------------------------------------------
    zqt_types_bs::TRRecordsetSettings GetSettings() const override { return FSettings; }
    void SetSettings(const zqt_types_bs::TRRecordsetSettings& Value) override { FSettings = Value; }
    zqt_types_bs::eTropoModels GetTropoKind() const override { return FSettings.TropoModel; }
    // A kind that changes (or a recordset without a model) gets a model of its own.
    void SetTropoKind(zqt_types_bs::eTropoModels Value) override;
    RVec3 GetOwnPosition() const override { return FOwnPos; }
    // Without a linked site the own position is the reference position too.
    void SetOwnPosition(const RVec3& Value) override;

    // ---- IZQS_ObsProvider: arithmetic of the current satellite --------------------------------
    double GetObservationOfType(std::uint8_t Type) override;
    double GetSelectedObservation(std::int32_t Index, std::uint8_t Kind) override;
    double GetCorrectedCode(std::int32_t Index) override {
        return GetSelectedObservation(Index, 1);
    }
    double GetCorrectedPhase(std::int32_t Index) override {
        return GetSelectedObservation(Index, 2);
    }
    double GetRangeRate(std::uint8_t Band) override { return GetObservation(Band, 3); }
    double GetSelectedRangeRate(std::int32_t Index) override {
        return GetSelectedObservation(Index, 3);
    }
    double GetIonoFreeRangeRate(std::uint8_t Band1, std::uint8_t Band2) override;
    double GetRawValue(std::uint8_t Band, std::uint8_t Kind) override;
    double ComputeResidual(std::uint8_t Band, std::uint8_t Kind) override;
    double ComputeIonoFreeResidual(std::uint8_t Band1, std::uint8_t Band2,
                                   std::uint8_t Kind) override;
    double GetAntennaCorrection(std::uint8_t Band) override { return AntennaCorrection(Band); }
    double GetIonoFreeCode(std::uint8_t Band1, std::uint8_t Band2) override {
        return IonoFreeWithClock(Band1, Band2, 1);
    }
    double GetIonoFreePhase(std::uint8_t Band1, std::uint8_t Band2) override {
        return IonoFreeWithClock(Band1, Band2, 2);
    }
    bool GetLossOfLock(std::uint8_t Band) override;
    zqt_obs_intrf::IZQS_TropoModelPtr GetTropoModel() override;
    double GetTropoDelay() override;
    void GetTropoMappings(double& Wet, double& Dry) override;
    void GetTropoGradients(double& North, double& East) override { North = East = 0.0; }
    double GetIonoDelayOfKind(std::uint8_t Band, std::uint8_t Kind) override;
    double GetIonoDelayOfBand(std::uint8_t Band) override;
    double GetIonoDelay() override;
    double GetIonoDelayFromBands(std::uint8_t Band1, std::uint8_t Band2,
                                 std::uint8_t Kind) override;
    double GetIonoSlantFactor() override;
    // The store keeps one ionosphere source: the same delay as GetIonoDelay.
    double GetIonoDelay2() override { return GetIonoDelay(); }
    bool CanComputeGeometry() override { return true; }
    // With the relativistic-delay switch, S is the Shapiro delay of the path; else 0.
    bool ComputeGeometry(const RVec3& Position) override;
    bool ComputeAntennaGeometry() override { return ComputeGeometry(FAntennaPos); }
    double GetLineOfSightVelocity() override { return GetLineOfSightVelocityAt(GetStationPos()); }
    double GetLineOfSightVelocityAt(const RVec3& Position) override;
    double GetRho() override { return FGeometryValid ? FGeometry.Range : 0.0; }
    double GetRhoCorrected() override;
    bool GetSatState(zqt_obs_intrf::RSatState& State) override;
    double GetTgdRange() override;
    double GetTgdRangeOfBand(std::uint8_t Band) override;
    // Broadcast ephemerides only.
    bool HasPreciseOrbits() override { return false; }
    RVec3 GetLineOfSight() override;
    double GetElevationDeg() override;
    zqt_obs_intrf::RAzEl GetAzEl() override;
    zqt_obs_intrf::IZQS_StandaloneSolutionPtr GetStandaloneSolution() override;
    void StorePosition(const RVec3& Position) override;
    void SetReferencePosition(const RVec3& Position) override;
    RVec3 GetEpochPosition() override { return FEpoch ? FEpoch->GetPosition() : RVec3{}; }
    double GetReceiverClock() override;
    double GetDtrRange() override;
    double GetDtsRange() override;
    double GetShapiro() override { return FGeometryValid ? FShapiro : 0.0; }
    // Read once per epoch.
    bool GetEpochCoordinates(zqt_obs_intrf::REpochCoordinates& Value) override;
    // GetEpochCoordinates reads the velocity too.
    bool GetVelocitySwitch() const override { return FVelocitySwitch; }
    void SetVelocitySwitch(bool Value) override { FVelocitySwitch = Value; }

    // ---- IZQS_RecordSet: the objects around the recordset ----------------------------------
    // Created on first use and loaded from the recordset's Coordinates row (X 0 without one).
    zqt_obs_intrf::IZQS_CoordinatesPtr GetCoordinates() override;
    // Loaded on first use when SiteID is 1 or more; empty without a site or its row.
    std::shared_ptr<zqt_site::IZQS_Site> GetSite() override;
    zqt_obs_intrf::IZQS_FileReceiverLinkPtr GetFileReceiver() override;
    zqt_obs_intrf::IZQS_ReceiverPtr GetReceiver() override;
    // "RUS".
    std::string GetCountryCode() const override { return "RUS"; }
    // The epoch cursor's rotation record (none before the first epoch).
    zqt_obs_intrf::RRotation GetRotationRecord() override;
    // The attitude is kept, never applied.
    bool HasAttitudeCorrection() override { return false; }
    // Static: the reference position plus the antenna offset vector; moving: the current
    // epoch's own position (zeros before the first epoch).
    RVec3 CalcAntennaPos() override;
    IZQS_ObjectPtr GetInstance() override { return Intf(); }
    // Read through the data set's loader on first use, then kept.
    zqt_obs_intrf::RDataSetInfo GetDatasetInfo() override;

    // ---- own state ------------------------------------------------------------------------
    bool GetUnfiltered() const { return FUnfiltered; }
    // The three query texts (count, satellite list, epochs with their satellites).
    const std::string& GetCountSQL() const { return FCountSQL; }
    const std::string& GetSatListSQL() const { return FSatListSQL; }
    const std::string& GetMainSQL() const { return FMainSQL; }
    // The site's position when a site is linked, else the recordset's own position.
    const RVec3& GetReferencePos() const { return FReferencePos; }
    void SetReferencePos(const RVec3& Value) { FReferencePos = Value; }

    // ---- class operations on a project database -------------------------------------------
    // Replaces recordset RecordsetID by consecutive pieces of PieceLength ticks (whatever
    // the interval), each a new type-7 recordset with its ObjInfo row (named after the old
    // one with "_001", "_002", ...) and copies of its Coordinates rows; the old Recordsets
    // row is deleted, its ObjInfo row stays. StartTime < 1: pieces aligned to multiples of
    // the piece length (one hour: the clock hours), each spanning the first to the last
    // epoch inside it; otherwise pieces of exactly one length from StartTime. A piece
    // without an epoch is not made. Everything is checked first and done in one
    // transaction (a savepoint inside an open one): a failure leaves the recordset as it
    // was. PieceLength 0 does nothing; a negative one raises Exception "Bad interval %d";
    // an explicit start at or after the end raises zqt_sat_obs_types::ExceptionZQS.
    static void SplitRecordsetByTime(std::vector<zqt_types_bs::RObjID>& Pieces,
                                     const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                     std::int32_t PieceLength, std::int64_t StartTime);
    // Copies every own recordset (type 6) with its ObjInfo and Coordinates rows into a new
    // type-7 recordset, then UpdateIntervals and FillPositions; all or nothing.
    static void CopyOwnRecordsets(const IESQLiteDatabasePtr& Db);
    // Sets each recordset's interval to the most frequent epoch interval inside its window;
    // a recordset without epochs keeps its interval.
    static void UpdateIntervals(const IESQLiteDatabasePtr& Db);
    // Gives recordsets without a Coordinates row one: the file receiver's static position,
    // else the average of the data set's default solution.
    static void FillPositions(const IESQLiteDatabasePtr& Db);
    // The weighted mean (weights 1/SX) of the data set's default-solution positions inside
    // the recordset's window (rms above 0 and below 30 m, height -1000..15000 m), reduced
    // from the antenna to the marker, written as the recordset's position with its
    // antenna offset vector; nothing happens without such a solution. The last argument
    // is not used.
    static void AverageStaticPosition(const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                      double Unused);

protected:
    // Reads the own position (the recordset's Coordinates row, zeros without) and the
    // reference position: the linked site's Coordinates row when SiteID >= 1 and the site
    // has one, else the own position.
    void LoadReferencePos();
    // The count, satellite-list and main query texts of the settings.
    void BuildQueries();
    // The main query with an explicit epoch order (Reopen, ToggleOrder).
    std::string OrderedMainSQL() const;
    // EpochCount, and SatSet, SatCount, SystemMask, SystemCount from the satellite list.
    void CountWindow();
    // The navigation store of the window through the installed factory, loaded.
    void CreateDataStorage();
    // A new epoch cursor opened on SQL.
    void OpenEpochCursor(const std::string& SQL);
    // The epoch's satellite observations; nullptr without an epoch.
    zqt_obs_intrf::IZQS_SatObs* SatObs();
    // Clears the current satellite and the geometry of the previous one.
    void ClearCurrentSat();
    // Makes Svprn the current satellite and selects its ephemeris for the epoch time.
    void MakeCurrent(std::uint16_t Svprn);
    // Phase-centre correction (m) of a band of the current satellite; 0.0 without an
    // antenna calibration, an antenna position or a satellite geometry.
    double AntennaCorrection(std::uint8_t Band);
    // The Index-th (1-based) band selected for Kind in the current system; 0 for none.
    std::uint8_t SelectedBand(std::uint8_t Kind, std::int32_t Index);
    // GLONASS channel of the current satellite: the data set's, else the navigation
    // data's; 127 when neither knows it.
    std::int32_t CurGloChannel();
    // A troposphere model of the settings' kind at the reference position (nullptr without
    // a model factory).
    void CreateTropoModel();
    // The geometry of the current satellite from the station position, computed when it
    // has not been yet.
    bool EnsureGeometry();
    // (f1 / f)^2 of a band of the current satellite; NaN when the frequency is unknown.
    double BandFactor(std::uint8_t Band);
    // The ionosphere-free combination of two bands' raw code (kind 1) or phase (kind 2),
    // with the satellite clock restored.
    double IonoFreeWithClock(std::uint8_t Band1, std::uint8_t Band2, std::uint8_t Kind);

    zqt_types_bs::TRRecordsetSettings FSettings = zqt_types_bs::RecordsetSettingsDefault();
    bool FUnfiltered = false;
    // The main query joins SatObs: epoch and satellite rows come from one statement.
    bool FJoinSatObs = true;
    RVec3 FReferencePos;
    RVec3 FOwnPos;
    IZQS_DataStoragePtr FDataStorage;
    IZQS_OrbitProviderPtr FOrbitProvider;
    IZQS_EpochPtr FEpoch;
    IZQS_SatObsPtr FSatObs;
    std::string FCountSQL;
    std::string FSatListSQL;
    std::string FMainSQL;
    std::int32_t FEpochCount = 0;
    TSatSet FSatSet{};
    std::int32_t FSatCount = 0;
    std::uint8_t FSystemMask = 0;
    std::int32_t FSystemCount = 0;
    // 0 ascending, 1 descending epoch order of Reopen.
    std::uint8_t FSortDescending = 0;
    std::int64_t FCurTime = 0;
    std::uint16_t FCurSat = 0;
    std::uint8_t FCurSystem = 0;
    RVec3 FAntennaPos;
    bool FGeometryDone = false;
    bool FGeometryValid = false;
    RSatGeometry FGeometry;
    double FShapiro = 0.0;
    zqt_obs_intrf::IZQS_TropoModelPtr FTropoModel;
    zqt_obs_intrf::IZQS_StandaloneSolutionPtr FSolution;
    bool FVelocitySwitch = false;
    zqt_obs_intrf::IZQS_CoordinatesPtr FCoordinates;
    std::shared_ptr<zqt_site::IZQS_Site> FSite;
    std::unique_ptr<zqt_obs_intrf::RDataSetInfo> FDataSetInfo;
    // The epoch's row of the default solution, read once per epoch.
    std::int32_t FDefaultSolutionID = -1;
    std::int64_t FEpochCrdTime = -1;
    bool FEpochCrdFound = false;
    zqt_obs_intrf::REpochCoordinates FEpochCrd;
    RBandSelection FBandSelection;
    // The data set opened by OpenDataset without a parent. It does not hold this
    // recordset, so keeping it here makes no cycle.
    IZQS_DataSetPtr FOpenedDataSet;
    TGloChannels FGloChannels{};
    bool FGloLoaded = false;
};

}  // namespace zqt_recordset_dbs
