#include "zqt_epoch_dbs.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "zqt_satarray_dbs.h"
#include "zqt_timefunc.h"
#include "zqt_types_bs.h"

namespace zqt_epoch_dbs {

using SQLiteExt::ESQLiteUniqueConstrain;
using SQLiteExt::FormatPt;
using SQLiteExt::IESQLiteSelectStatementPtr;
using zqt_epoch_bs::RSatObsRecord;
using zqt_obs_intrf::IZQS_DataSet;
using zqt_obs_intrf::IZQS_RecordSet;
using zqt_variant::Variant;

namespace {

constexpr double DegToRad = std::numbers::pi / 180.0;

// Index of a column name in the list (names are upper-cased by the select), -1 when absent.
int ColumnIndex(const std::vector<std::string>& Names, std::string_view Name) {
    for (std::size_t i = 0; i < Names.size(); ++i)
        if (sysutils::SameText(Names[i], Name)) return static_cast<int>(i);
    return -1;
}

std::int64_t IntOf(const SQLiteExt::IESQLiteSelectStatement& S, int Col) {
    return Col < 0 ? 0 : zqt_variant::VarToInt64Z(S.Value(Col));
}

}  // namespace

// =======================================================================================
// ObsInfo rows

void SaveObsInfo(SQLiteExt::IESQLiteDatabase& Db, std::int32_t DataSetID,
                 const TObsInfoTable& Table) {
    if (Table.IsEmpty()) return;
    auto st = Db.Prepare(
        FormatPt("INSERT INTO ObsInfo VALUES(%d,:SV,:SLOT,:TYPES,:CHANNEL,:shift)", DataSetID));
    for (const zqt_sat_obs_types::RSatNum key : zqt_sat_obs_types::SatSetKeys(Table.Present())) {
        const zqt_sat_obs_types::RSatObsInfo& e = Table.Get(key);
        for (unsigned slot = 0; slot < zqt_sat_obs_types::SlotCount; ++slot) {
            if ((e.Bands & (1u << slot)) == 0) continue;
            st->SetParamInt(0, key);
            st->SetParamInt(1, slot);
            st->SetParamInt(2, e.Kinds[slot]);
            st->SetParamInt(3, e.Channel[slot]);
            st->SetParamFloat(4, e.Shift[slot]);
            st->Execute();
        }
    }
}

void LoadObsInfo(SQLiteExt::IESQLiteDatabase& Db, std::int32_t DataSetID, TObsInfoTable& Table) {
    Table.Clear();
    auto sel = Db.PrepareSelect(FormatPt(
        "SELECT sv,slot,types,ChannelID,shift FROM ObsInfo WHERE DatasetID = %d ORDER BY sv,slot",
        DataSetID));
    zqt_sat_obs_types::RSatObsInfo entry;
    std::int64_t current = -1;
    const auto store = [&] {
        if (current > 0) Table.Set(static_cast<zqt_sat_obs_types::RSatNum>(current), entry);
    };
    while (sel->Next()) {
        const std::int64_t sv = zqt_variant::VarToInt64Z(sel->Value(0));
        const std::int64_t slot = zqt_variant::VarToInt64Z(sel->Value(1));
        const unsigned sys = static_cast<unsigned>(sv >> 8);
        const unsigned num = static_cast<unsigned>(sv & 0xFF);
        if (sv < 0 || sv > 0xFFFF || sys < 1 || sys > 7 || num < 1 || num > 254 || slot < 0 ||
            slot >= zqt_sat_obs_types::SlotCount)
            continue;
        if (sv != current) {
            store();
            entry = zqt_sat_obs_types::RSatObsInfo{};
            current = sv;
        }
        const auto s = static_cast<std::size_t>(slot);
        entry.Bands |= static_cast<std::uint8_t>(1u << slot);
        entry.Kinds[s] = static_cast<std::uint8_t>(zqt_variant::VarToInt64Z(sel->Value(2)));
        entry.Channel[s] = static_cast<std::uint32_t>(zqt_variant::VarToInt64Z(sel->Value(3)));
        entry.Shift[s] = zqt_variant::VarToFloatZ(sel->Value(4));
    }
    store();
}

// =======================================================================================
// TZQS_SatObs

void TZQS_SatObs::InitFields() {
    TZQS_SatObs_bs::InitFields();
    FTableName = "SatObs";
    SetFieldNames({"EpochID", "svprn", "SatCode", "Elevation", "Azimuth", "ObsTypes", "Data"});
    FWriteMode = zqt_classes_dbs::wmInsert;
}

IZQS_EpochPtr TZQS_SatObs::GetEpoch() const {
    return std::dynamic_pointer_cast<zqt_obs_intrf::IZQS_Epoch>(GetParent());
}

IZQS_SatArrayPtr TZQS_SatObs::GetSatArray() {
    if (!FSatArray) {
        IZQS_EpochPtr epoch = GetEpoch();
        IZQS_DataSetPtr ds = epoch ? epoch->GetDataSet() : nullptr;
        if (ds) FSatArray = zqt_satarray_dbs::TZQS_SatArray::Create(ds);
    }
    return FSatArray;
}

zqt_obs_intrf::IZQS_DataStoragePtr TZQS_SatObs::NavDataSource() {
    IZQS_EpochPtr epoch = GetEpoch();
    return epoch ? epoch->GetNavData() : nullptr;
}

RVec3 TZQS_SatObs::ReceiverPosition() {
    IZQS_EpochPtr epoch = GetEpoch();
    return epoch ? epoch->GetCachedPosition() : RVec3{};
}

bool TZQS_SatObs::OwnerEpochTime(std::int64_t& Time) {
    IZQS_EpochPtr epoch = GetEpoch();
    if (!epoch) return false;
    Time = epoch->GetTime();
    return true;
}

std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> TZQS_SatObs::OwnerSignalMapping() {
    IZQS_EpochPtr epoch = GetEpoch();
    IZQS_DataSetPtr ds = epoch ? epoch->GetDataSet() : nullptr;
    return ds ? ds->GetSignalMapping() : nullptr;
}

void TZQS_SatObs::ExecuteWrite() { WriteRecords({}, true); }

namespace {

// The satellite rows of one epoch as plain values, ready for the inserts.
struct RSatObsRows {
    struct RRow {
        std::uint16_t Key = 0;
        std::int32_t Elevation = 0, Azimuth = 0;
        std::uint32_t ObsTypes = 0;
        std::size_t BlobAt = 0, BlobSize = 0;
    };
    std::int64_t EpochID = 0;
    std::vector<RRow> Rows;
    std::vector<std::uint8_t> Blobs;
};

// Inserts the rows in statements of 32, 16, ... 1 rows; Inserts[n] takes 2^n rows.
void InsertRows(const RSatObsRows& Batch,
                const std::array<SQLiteExt::IESQLitePreparedStatement*, 6>& Inserts) {
    const std::size_t total = Batch.Rows.size();
    for (std::size_t at = 0; at < total;) {
        std::size_t n = Inserts.size() - 1;
        while ((std::size_t{1} << n) > total - at) --n;
        const std::size_t rows = std::size_t{1} << n;
        SQLiteExt::IESQLitePreparedStatement& st = *Inserts[n];
        int p = 0;
        for (std::size_t r = at; r < at + rows; ++r) {
            const RSatObsRows::RRow& row = Batch.Rows[r];
            st.SetParamInt(p++, Batch.EpochID);
            st.SetParamInt(p++, row.Key);
            st.SetParamInt(p++, row.Key >> 8);
            st.SetParamInt(p++, row.Elevation);
            st.SetParamInt(p++, row.Azimuth);
            st.SetParamInt(p++, row.ObsTypes);
            st.SetParamBlob(p++, Batch.Blobs.data() + row.BlobAt, row.BlobSize);
        }
        st.Execute();
        at += rows;
    }
}

}  // namespace

TZQS_SatObs::TInserts TZQS_SatObs::InsertStatements() {
    TInserts inserts{};
    for (std::size_t n = 0; n < FInserts.size(); ++n) {
        if (!FInserts[n])
            FInserts[n] = CheckedDatabase("WriteRecords")
                              .Prepare(SQLiteExt::TESQLiteInsertStatement::BuildRowsSQL(
                                  FTableName, GetWriteFields(), std::size_t{1} << n));
        inserts[n] = FInserts[n].get();
    }
    return inserts;
}

std::int32_t TZQS_SatObs::WriteRecords(const std::vector<std::int64_t>& Skip, bool Behind) {
    const std::int32_t count = GetRecordCount();
    if (count <= 0) return 0;
    RSatObsRows batch;
    batch.EpochID = GetEpochID();
    for (std::int32_t i = 0; i < count; ++i) {
        const std::span<const std::uint8_t> blob = PackedBlob(i);
        if (blob.empty()) continue;
        const RSatObsRecord& rec = *GetRecord(i);
        if (std::binary_search(Skip.begin(), Skip.end(), static_cast<std::int64_t>(rec.Key)))
            continue;
        batch.Rows.push_back({rec.Key, zqt_epoch_bs::WholeDegrees(rec.Elevation),
                              zqt_epoch_bs::WholeDegrees(rec.Azimuth), rec.ObsTypes,
                              batch.Blobs.size(), blob.size()});
        batch.Blobs.insert(batch.Blobs.end(), blob.begin(), blob.end());
    }
    const std::size_t total = batch.Rows.size();
    if (total == 0) return 0;
    if (const IZQS_SatArrayPtr arr = GetSatArray()) {
        for (const RSatObsRows::RRow& row : batch.Rows) {
            const auto el8 = static_cast<std::int8_t>(std::clamp(row.Elevation, -128, 127));
            arr->AddSatellite(row.Key, GetEpochTime(), static_cast<std::uint8_t>(el8),
                              row.ObsTypes);
        }
    }
    // The statements are prepared here: the worker only binds and runs them.
    const TInserts inserts = InsertStatements();
    if (Behind) {
        // The rows go in while the next epoch is decoded and solved; the statements stay
        // with this object, whose every later use of the database waits for them.
        CheckedDatabase("WriteRecords").WriteBehind().Post([batch = std::move(batch), inserts] {
            InsertRows(batch, inserts);
        });
    } else {
        InsertRows(batch, inserts);
    }
    return static_cast<std::int32_t>(total);
}

void TZQS_SatObs::CloseWrite() {
    if (FSatArray) FSatArray->CloseWrite();
    FInserts = {};
    TZQS_SatObs_bs::CloseWrite();
}

void TZQS_SatObs::SetSelect(IESQLiteSelectStatementPtr Statement) {
    TZQS_Object::SetSelect(std::move(Statement));
    const auto& names = GetFieldNames();
    FColEpochID = ColumnIndex(names, "EPOCHID");
    FColSvprn = ColumnIndex(names, "SVPRN");
    FColElevation = ColumnIndex(names, "ELEVATION");
    FColAzimuth = ColumnIndex(names, "AZIMUTH");
    FColData = ColumnIndex(names, "DATA");
}

void TZQS_SatObs::RebindEpoch(std::uint32_t EpochID) {
    const auto& sel = SelectStatement();
    if (!sel) return;
    sel->Reset();
    sel->SetParamInt64ByName(":EpochID", EpochID);
}

void TZQS_SatObs::TakeRecordsetChannels() {
    if (FGloTaken) return;
    FGloTaken = true;
    IZQS_EpochPtr epoch = GetEpoch();
    if (!epoch) return;
    auto rs = std::dynamic_pointer_cast<IZQS_RecordSet>(epoch->GetParent());
    if (!rs) return;
    zqt_obs_intrf::TGloChannels ch;
    if (rs->GetGloChannels(ch)) SetGloChannels(ch);
}

void TZQS_SatObs::FillFromRow() {
    const auto& sel = *SelectStatement();
    const std::int64_t key = IntOf(sel, FColSvprn);
    if (!ValidKey(static_cast<std::uint16_t>(key)) || key > 0xFFFF) return;
    RSatObsRecord& rec = AppendAtCursor();
    rec.Key = static_cast<std::uint16_t>(key);
    rec.Elevation = static_cast<double>(IntOf(sel, FColElevation)) * DegToRad;
    rec.Azimuth = static_cast<double>(IntOf(sel, FColAzimuth)) * DegToRad;
    if (FColData >= 0) {
        const Variant data = sel.Value(FColData);
        // An empty blob reads as Null; it is accepted as a record without bands.
        if (data.IsNull() && !sel.IsNull(FColData))
            zqt_epoch_bs::UnpackBlob(rec, nullptr, 0);
        else
            zqt_epoch_bs::ReadDataColumn(rec, data);
    }
    if (!RegisterRecord(GetCursor())) {
        rec.Key = 0;
        return;
    }
    SetCursor(GetCursor() + 1);
}

bool TZQS_SatObs::NextRow() {
    const auto& sel = SelectStatement();
    if (!sel) return false;
    TakeRecordsetChannels();
    if (FSharedQuery) {
        if (sel->Bof() || sel->Eof()) return false;
        if (static_cast<std::uint32_t>(IntOf(*sel, FColEpochID)) != GetEpochID()) return false;
        FillFromRow();
        return sel->Next();
    }
    if (!sel->Next()) {
        SetCursor(GetCursor() - 1);
        return false;
    }
    FillFromRow();
    return true;
}

// =======================================================================================
// TZQS_Epoch

std::shared_ptr<TZQS_Epoch> TZQS_Epoch::Create(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                                               SQLiteExt::IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_Epoch>(Parent, std::move(Db));
}

void TZQS_Epoch::InitFields() {
    TZQS_Epoch_bs::InitFields();
    FTableName = "Epochs";
    SetFieldNames(
        {"DataSetID", "GPSTime", "Interval", "NumSat", "EpochFlag", "Enabled", "CrdType"});
    FObjIDFromRowID = true;
    FWriteMode = zqt_classes_dbs::wmInsert;
}

void TZQS_Epoch::InitChild(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                           SQLiteExt::IESQLiteDatabasePtr Db) {
    TZQS_Epoch_bs::InitChild(Parent, std::move(Db));
    if (auto rs = std::dynamic_pointer_cast<IZQS_RecordSet>(Parent))
        FNavData = rs->GetDataStorage();
    FEngineMode = true;
    FClockCorrection = false;
}

std::shared_ptr<TZQS_SatObs_bs> TZQS_Epoch::CreateSatObs() {
    auto so = CreateWithParentOf<TZQS_SatObs>(Intf());
    so->SetSharedQuery(FSharedQuery);
    return so;
}

TZQS_SatObs& TZQS_Epoch::SatObsTable() { return static_cast<TZQS_SatObs&>(SatObs()); }

void TZQS_Epoch::SetSharedQuery(bool Value) {
    FSharedQuery = Value;
    if (FSatObs) SatObsTable().SetSharedQuery(Value);
}

std::int32_t TZQS_Epoch::OwnerDataSetID() {
    zqt_objects_intrf::IZQS_ObjectPtr parent = GetParent();
    if (auto rs = std::dynamic_pointer_cast<IZQS_RecordSet>(parent)) return rs->GetDataSetID();
    if (parent) return parent->GetObjID();
    return static_cast<std::int32_t>(FDataSetID);
}

zqt_obs_intrf::IZQS_DataSetPtr TZQS_Epoch::GetDataSet() {
    zqt_objects_intrf::IZQS_ObjectPtr parent = GetParent();
    if (auto ds = std::dynamic_pointer_cast<IZQS_DataSet>(parent)) return ds;
    if (auto rs = std::dynamic_pointer_cast<IZQS_RecordSet>(parent)) return rs->OpenDataset();
    return nullptr;
}

void TZQS_Epoch::CorrectByReceiverClock() {
    double c = 0.0;
    if (auto crd = GetActiveCoordinates()) {
        if (auto ext = crd->GetExt()) c = ext->GetClock();
    }
    if (!std::isfinite(c)) return;
    TZQS_SatObs_bs& so = SatObs();
    const std::int32_t saved = so.GetCursor();
    for (std::int32_t i = 0; i < so.GetRecordCount(); ++i) {
        RSatObsRecord* rec = so.GetRecord(i);
        if (!rec || rec->Key == 0) continue;
        so.SetCursor(i);
        zqt_obs_intrf::RSatGeometry g;
        if (so.GetCurSatGeometry(g)) {
            // The ranges refer to the receiver's clock: move them to the nominal epoch.
            const double shift = -c - g.RangeRate * c / zqt_sat_obs_types::SpeedOfLight;
            rec->BaseRange += shift;
            for (auto& b : rec->Bands) {
                if (b.Kinds & zqt_obs_intrf::KindRange) b.Range += shift;
                if (b.Kinds & zqt_obs_intrf::KindPhase) b.Phase += shift;
            }
        } else {
            const std::uint16_t key = rec->Key;
            const double az = rec->Azimuth, el = rec->Elevation;
            *rec = RSatObsRecord{};
            rec->Key = key;
            rec->Azimuth = az;
            rec->Elevation = el;
        }
    }
    so.SetCursor(saved);
}

void TZQS_Epoch::WriteSolutionPosition(IZQS_StandaloneSolutionPtr& Solution, bool Engine) {
    if (!Solution) return;
    IZQS_CoordinatesPtr crd = Engine ? GetCoordinates2() : GetCoordinates();
    if (!crd || !crd->IsModified()) return;
    crd->SetSubObjID(FTime);
    FPosition = crd->GetXYZ();
    crd->ExecuteWrite();
}

void TZQS_Epoch::ExecuteWrite() {
    SQLiteExt::IESQLiteDatabase& db = CheckedDatabase("ExecuteWrite");
    // 1. Long imports commit in pieces.
    ++FEpochsWritten;
    if (FEpochsWritten % CommitEvery == 0 && db.InTransaction()) {
        db.Commit();
        db.BeginTransaction();
    }
    // 2. Nothing to save without packable satellites.
    if (!FSatObs) return;
    FNumSat = FSatObs->PackAll();
    if (FNumSat == 0) return;
    // 3. Interval since the last written epoch.
    if (GetBegTime() == 0) SetBegTime(FTime);
    FInterval = FHasWritten ? FTime - FLastWritten : 0;
    FLastWritten = FTime;
    FHasWritten = true;
    WriteRows(db, true);
}

std::int32_t TZQS_Epoch::ExecuteWriteLate() {
    SQLiteExt::IESQLiteDatabase& db = CheckedDatabase("ExecuteWriteLate");
    if (!FSatObs) return 0;
    TZQS_SatObs& so = SatObsTable();
    FNumSat = so.PackAll();
    if (FNumSat == 0) return 0;
    // The engine's clocks and drifts run forward in time: a late epoch is not solved. Its
    // satellites are described from the engine's last trusted position.
    if (FEngineMode && FEngine) FEngine->AssignGeometry();
    FDataSetID = static_cast<std::uint32_t>(OwnerDataSetID());
    const Variant stored = db.QueryValueFmt(
        "SELECT EpochID FROM Epochs WHERE (DataSetID = %d) AND (GPSTime = %d)", FDataSetID, FTime);
    if (!stored.IsNull()) {
        const auto id = static_cast<std::uint32_t>(zqt_variant::VarToInt64Z(stored));
        std::vector<std::int64_t> keys =
            db.SelectInt64Column(FormatPt("SELECT svprn FROM SatObs WHERE EpochID = %d", id));
        std::sort(keys.begin(), keys.end());
        so.SetEpochID(id);
        so.SetEpochTime(FTime);
        const std::int32_t added = so.WriteRecords(keys);
        if (added > 0)
            db.ExecSQLFmt("UPDATE Epochs SET NumSat = NumSat + %d WHERE EpochID = %d", added, id);
        return added;
    }
    // An epoch of its own between stored ones: its interval runs from the epoch before it,
    // and the epoch after it now follows it.
    const Variant prev = db.QueryValueFmt(
        "SELECT MAX(GPSTime) FROM Epochs WHERE (DataSetID = %d) AND (GPSTime < %d)", FDataSetID,
        FTime);
    const Variant next = db.QueryValueFmt(
        "SELECT MIN(GPSTime) FROM Epochs WHERE (DataSetID = %d) AND (GPSTime > %d)", FDataSetID,
        FTime);
    FInterval = prev.IsNull() ? 0 : FTime - zqt_variant::VarToInt64Z(prev);
    if (GetBegTime() == 0 || FTime < GetBegTime()) SetBegTime(FTime);
    WriteRows(db, false);
    if (!next.IsNull()) {
        const std::int64_t after = zqt_variant::VarToInt64Z(next);
        db.ExecSQLFmt("UPDATE Epochs SET Interval = %d WHERE (DataSetID = %d) AND (GPSTime = %d)",
                      after - FTime, FDataSetID, after);
    }
    return FNumSat;
}

void TZQS_Epoch::WriteRows(SQLiteExt::IESQLiteDatabase& db, bool Solve) {
    // 4. The engine's solution. An epoch whose solution fails, or that has no engine (a
    // reader without navigation data), is saved all the same.
    if (FEngineMode && FEngine && Solve) {
        try {
            FEngine->Solve();
        } catch (const zqt_types_bs::ExcCancelledByUser&) {
            throw;
        } catch (const std::exception& E) {
            if (++FEngineErrors <= 10)
                Log(sysutils::Format("Epoch %s: no position (%s)",
                                     zqt_timefunc::GPSTimeToStr(FTime), E.what()));
            if (IZQS_CoordinatesPtr crd = GetCoordinates2()) crd->Clear();
        }
    }
    // 5. The Epochs row.
    FDataSetID = static_cast<std::uint32_t>(OwnerDataSetID());
    const auto& st = WriteStatement();
    st->SetParamInt(0, FDataSetID);
    st->SetParamInt64(1, FTime);
    st->SetParamInt64(2, FInterval);
    st->SetParamInt(3, FNumSat);
    st->SetParamInt(4, FEpochFlag);
    st->SetParamBool(5, GetEnabled());
    st->SetParamInt(6, FCrdType);
    try {
        TZQS_Epoch_bs::ExecuteWrite();
    } catch (const ESQLiteUniqueConstrain&) {
        Log(sysutils::Format("Duplicate GPS time %d %19.4f", FDataSetID,
                             sysutils::FormatArg::Curr(FTime)));
        return;
    }
    // 6. The satellites belong to the new row.
    TZQS_SatObs& so = SatObsTable();
    so.SetEpochID(static_cast<std::uint32_t>(GetObjID()));
    so.SetEpochTime(FTime);
    // 7. Positions of the solutions.
    WriteSolutionPosition(FSolution, false);
    if (FEngineMode) {
        if (FClockCorrection && FEngineCompanion) {
            CorrectByReceiverClock();
            FEngineCompanion->Solve();
            FNumSat = so.PackAll();
        }
        WriteSolutionPosition(FSolution2, true);
    }
    // 8. Attitude.
    if (FRotationSet && FRotation.SaveFlag != 0) {
        if (!FRotationInsert)
            FRotationInsert = db.PrepareInsert("RotationMatrix", "EpochID,time,q00,q01,q02,q12",
                                               SQLiteExt::imInsert);
        FRotationInsert->SetParamInt(0, GetObjID());
        FRotationInsert->SetParamInt64(1, FRotation.Time);
        FRotationInsert->SetParamFloat(2, FRotation.q00);
        FRotationInsert->SetParamFloat(3, FRotation.q01);
        FRotationInsert->SetParamFloat(4, FRotation.q02);
        FRotationInsert->SetParamFloat(5, FRotation.q12);
        FRotationInsert->Execute();
        FRotationSet = false;
    }
    // 9. The satellites.
    so.ExecuteWrite();
}

void TZQS_Epoch::FinishWrite() {
    SetEndTime(FTime);
    if (FSatObs) {
        if (const auto& arr = SatObsTable().ExistingSatArray()) arr->FinishWrite();
    }
    for (IZQS_StandaloneSolutionPtr* s : {&FSolution, &FSolution2}) {
        if (!*s) continue;
        (*s)->SetBegTime(GetBegTime());
        (*s)->SetEndTime(GetEndTime());
        (*s)->ExecuteWrite();
    }
    if (FSatObs && FDatabase) SaveObsInfo(*FDatabase, OwnerDataSetID(), FSatObs->ObsInfoTable());
    CloseWrite();
}

void TZQS_Epoch::CloseWrite() {
    if (FSatObs) FSatObs->CloseWrite();
    FRotationInsert.reset();
    TZQS_Epoch_bs::CloseWrite();
}

void TZQS_Epoch::SetSelect(IESQLiteSelectStatementPtr Statement) {
    TZQS_Object::SetSelect(Statement);
    const auto& names = GetFieldNames();
    FColEpochID = ColumnIndex(names, "EPOCHID");
    FColDataSetID = ColumnIndex(names, "DATASETID");
    FColTime = ColumnIndex(names, "GPSTIME");
    FColInterval = ColumnIndex(names, "INTERVAL");
    FColNumSat = ColumnIndex(names, "NUMSAT");
    FColFlag = ColumnIndex(names, "EPOCHFLAG");
    FColEnabled = ColumnIndex(names, "ENABLED");
    FColCrdType = ColumnIndex(names, "CRDTYPE");
    FSharedStarted = false;

    TZQS_SatObs& so = SatObsTable();
    so.SetSharedQuery(FSharedQuery);
    if (FSharedQuery)
        so.SetSelect(Statement);
    else
        so.OpenSQL(TZQS_SatObs::OwnQuerySQL, {});
    if (FDatabase) LoadObsInfo(*FDatabase, OwnerDataSetID(), so.ObsInfoTable());
}

bool TZQS_Epoch::Next() {
    PrepareSatObs();
    const IESQLiteSelectStatementPtr& sel = SelectStatement();
    if (!sel) return false;
    if (FSharedQuery && FSharedStarted) {
        // The satellites of the previous epoch stopped on this epoch's first row.
        if (sel->Eof()) return false;
    } else {
        FSharedStarted = true;
        if (!sel->Next()) return false;
    }
    SetObjID(static_cast<std::int32_t>(IntOf(*sel, FColEpochID)));
    FDataSetID = static_cast<std::uint32_t>(IntOf(*sel, FColDataSetID));
    FTime = FColTime < 0 ? 0 : zqt_variant::VarToCurrZ(sel->Value(FColTime));
    FInterval = IntOf(*sel, FColInterval);
    FNumSat = static_cast<std::int32_t>(IntOf(*sel, FColNumSat));
    FEpochFlag = static_cast<std::uint8_t>(IntOf(*sel, FColFlag));
    SetEnabled(IntOf(*sel, FColEnabled) != 0);
    FCrdType = static_cast<std::uint8_t>(IntOf(*sel, FColCrdType));

    TZQS_SatObs& so = SatObsTable();
    so.SetEpochID(static_cast<std::uint32_t>(GetObjID()));
    so.Init(0);
    so.SetEpochTime(FTime);
    if (!FSharedQuery) so.RebindEpoch(static_cast<std::uint32_t>(GetObjID()));
    while (so.NextRow()) {
    }
    GetNumSat();
    so.ResetCursor();
    FCrdID = -1;
    return true;
}

RRotation TZQS_Epoch::GetRotationRecord() {
    if (!FRotationFromDb) return FRotation;
    SQLiteExt::IESQLiteDatabase& db = CheckedDatabase("GetRotationRecord");
    if (!FRotationSelect)
        FRotationSelect = db.PrepareSelect(
            "SELECT time,q00,q01,q02,q12 FROM RotationMatrix WHERE EpochID = :EpochID");
    FRotationSelect->Reset();
    FRotationSelect->SetParamInt64ByName(":EpochID", GetObjID());
    RRotation r;
    if (FRotationSelect->Next()) {
        r.Time = zqt_variant::VarToInt64Z(FRotationSelect->Value(0));
        r.q00 = static_cast<float>(zqt_variant::VarToFloatZ(FRotationSelect->Value(1)));
        r.q01 = static_cast<float>(zqt_variant::VarToFloatZ(FRotationSelect->Value(2)));
        r.q02 = static_cast<float>(zqt_variant::VarToFloatZ(FRotationSelect->Value(3)));
        r.q12 = static_cast<float>(zqt_variant::VarToFloatZ(FRotationSelect->Value(4)));
    }
    FRotationSelect->Reset();
    FRotation = r;
    return r;
}

RVec3 TZQS_Epoch::GetPosition() {
    if (FCrdID >= 1) return FPosition;
    SQLiteExt::IESQLiteDatabase& db = CheckedDatabase("GetPosition");
    if (FSolutionID < 0) {
        FSolutionID = static_cast<std::int32_t>(db.QueryInt(
            FormatPt("SELECT DefaultSolutionID FROM Datasets WHERE DataSetID = %d", FDataSetID)));
    }
    FPosition = RVec3{};
    if (FSolutionID == 0) return FPosition;
    if (!FPositionSelect)
        FPositionSelect = db.PrepareSelect(FormatPt(
            "SELECT X,Y,Z,Crdid FROM Coordinates  WHERE (ObjID = %d) AND (SubObjID = :SubObjID)",
            FSolutionID));
    FPositionSelect->Reset();
    FPositionSelect->SetParamInt64ByName(":SubObjID", FTime);
    if (FPositionSelect->Next()) {
        FPosition.X = zqt_variant::VarToFloatZ(FPositionSelect->Value(0));
        FPosition.Y = zqt_variant::VarToFloatZ(FPositionSelect->Value(1));
        FPosition.Z = zqt_variant::VarToFloatZ(FPositionSelect->Value(2));
        FCrdID = zqt_variant::VarToInt64Z(FPositionSelect->Value(3));
    }
    FPositionSelect->Reset();
    return FPosition;
}

double TZQS_Epoch::GetClock() {
    if (FCrdID < 1) GetPosition();
    if (FCrdID < 1) return 0.0;
    SQLiteExt::IESQLiteDatabase& db = CheckedDatabase("GetClock");
    if (!FClockSelect)
        FClockSelect = db.PrepareSelect("SELECT clock FROM CoordinatesExt WHERE (CrdID = :CrdID);");
    FClockSelect->Reset();
    FClockSelect->SetParamInt64ByName(":CrdID", FCrdID);
    double clock = 0.0;
    if (FClockSelect->Next()) clock = zqt_variant::VarToFloatZ(FClockSelect->Value(0));
    FClockSelect->Reset();
    return clock;
}

void TZQS_Epoch::ResetPositionCache() {
    FClockSelect.reset();
    FCrdID = -1;
}

}  // namespace zqt_epoch_dbs
