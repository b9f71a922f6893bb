#include "zqt_timestorage.h"

#include "SQLiteExt.h"
#include "zqt_datastorage_bs.h"
#include "zqt_sat_obs_types.h"
#include "zqt_time_dbs.h"

namespace zqt_timestorage {

using zqt_time_dbs::TZQS_TimeParams;

std::shared_ptr<TZQS_TimeStorage> TZQS_TimeStorage::CreateChild(
    const zqt_objects_intrf::IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_TimeStorage>(Parent, std::move(Db));
}

void TZQS_TimeStorage::StoreInRow(TZQS_TimeParams& Row, const RTimeParams& Set) {
    Row.SetData(Set);
}

zqt_time_bs::IZQS_TimeParamsPtr TZQS_TimeStorage::GetRecord() { return Cursor(); }

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
