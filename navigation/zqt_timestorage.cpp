#include "zqt_timestorage.h"

#include "SQLiteExt.h"
#include "zqt_datastorage_bs.h"
#include "zqt_sat_obs_types.h"
#include "zqt_time_dbs.h"

namespace zqt_timestorage {

using zqt_time_dbs::TZQS_TimeParams;

namespace {

std::int64_t SaturatedAdd(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN;
    return r;
}

}  // namespace

std::shared_ptr<TZQS_TimeStorage> TZQS_TimeStorage::CreateChild(
    const zqt_objects_intrf::IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_TimeStorage>(Parent, std::move(Db));
}

std::shared_ptr<TZQS_TimeParams> TZQS_TimeStorage::Cursor() {
    if (!FCursor) FCursor = TZQS_TimeParams::CreateChild(Intf(), nullptr);
    return FCursor;
}

TZQS_TimeStorage::TZQS_ScObjectPtr TZQS_TimeStorage::GetItem() { return Cursor(); }

zqt_time_bs::IZQS_TimeParamsPtr TZQS_TimeStorage::GetRecord() { return Cursor(); }

void TZQS_TimeStorage::OpenTable() {
    const std::shared_ptr<TZQS_TimeParams> item = Cursor();
    OpenSQL(SQLiteExt::FormatPt(GetSQLTemplate(), item->GetTableName(),
                                SaturatedAdd(GetBegTime(), -TimeWindowMargin),
                                SaturatedAdd(GetEndTime(), TimeWindowMargin)),
            zqt_variant::TVariantArray{});
}

void TZQS_TimeStorage::Clear() {
    TZQS_ScStorage::Clear();
    FItems.clear();
}

std::int32_t TZQS_TimeStorage::AddIndex() {
    const std::shared_ptr<TZQS_TimeParams> item = Cursor();
    SetRowIndex(static_cast<std::int32_t>(FItems.size()));
    SetCurrentTime(item->Record().GPSTime);
    FItems.push_back(item->Record());
    try {
        return TZQS_ScStorage::AddIndex();
    } catch (...) {
        FItems.pop_back();  // a set that cannot be indexed is not kept
        throw;
    }
}

void TZQS_TimeStorage::ExecuteWrite() {
    if (!FCursor) return;
    for (const RTimeParams& s : FItems) {
        FCursor->SetData(s);
        FCursor->ExecuteWrite();
    }
}

void TZQS_TimeStorage::CloseWrite() {
    if (FCursor) FCursor->CloseWrite();
    TZQS_ScStorage::CloseWrite();
}

void TZQS_TimeStorage::GetItemsOfSystem(TTimeParamsArray& Items, std::uint8_t System) {
    Items.clear();
    for (const RTimeParams& s : FItems) {
        const std::uint8_t sys = zqt_sat_obs_types::IsSatSystem(s.Sys1) ? s.Sys1 : 0;
        if (sys == System) Items.push_back(s);
    }
}

const RTimeParams* TZQS_TimeStorage::Find(std::uint8_t System, std::int64_t Time) {
    const std::int32_t row = FindNearest(System, Time);
    if (row < 0 || static_cast<std::size_t>(row) >= FItems.size()) return nullptr;
    return &FItems[static_cast<std::size_t>(row)];
}

const RTimeParams* TZQS_TimeStorage::FindBySatId(std::uint16_t Svprn, std::int64_t Time) {
    return Find(static_cast<std::uint8_t>(Svprn >> 8), Time);
}

// =======================================================================================

void InstallTimeStorage() {
    zqt_datastorage_bs::SetTimeStorageFactory(
        [](const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
           const SQLiteExt::IESQLiteDatabasePtr& Db) -> IZQS_TimeStoragePtr {
            return TZQS_TimeStorage::CreateChild(Parent, Db);
        });
}

}  // namespace zqt_timestorage
