#include "zqt_ionostorage.h"

#include <cmath>

#include "SQLiteExt.h"
#include "zqt_datastorage_bs.h"
#include "zqt_geo.h"
#include "zqt_iono_dbs.h"
#include "zqt_sat_obs_types.h"

namespace zqt_ionostorage {

using zqt_iono_dbs::TZQS_Iono;

// =======================================================================================
// TZQS_IonoStorage

std::shared_ptr<TZQS_IonoStorage> TZQS_IonoStorage::CreateChild(
    const zqt_objects_intrf::IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_IonoStorage>(Parent, std::move(Db));
}

void TZQS_IonoStorage::StoreInRow(TZQS_Iono& Row, const RIono& Set) { Row.SetRecord(Set); }

zqt_iono_bs::IZQS_IonoPtr TZQS_IonoStorage::GetRecord() { return Cursor(); }

const RIono* TZQS_IonoStorage::Find(std::uint8_t System, std::int64_t Time) {
    std::int32_t row = FindNearest(System, Time);
    if (row < 0 && System != zqt_sat_obs_types::SC_GPS)
        row = FindNearest(zqt_sat_obs_types::SC_GPS, Time);
    if (row < 0 || static_cast<std::size_t>(row) >= FItems.size()) return nullptr;
    return &FItems[static_cast<std::size_t>(row)];
}

const RIono* TZQS_IonoStorage::FindBySatId(std::uint16_t Svprn, std::int64_t Time) {
    return Find(static_cast<std::uint8_t>(Svprn >> 8), Time);
}

void TZQS_IonoStorage::GetItemsOfSystem(TIonoArray& Items, std::uint8_t System) {
    Items.clear();
    for (const RIono& s : FItems)
        if (s.System == System) Items.push_back(s);
}

double TZQS_IonoStorage::GetIonoDelay(std::uint16_t Svprn, std::int64_t Time,
                                      const zqt_basestorage::RVec3& Position, double Elevation,
                                      double Azimuth) {
    (void)Svprn;  // the GPS set serves every system
    const RIono* s = Find(zqt_sat_obs_types::SC_GPS, Time);
    if (!s) return 0.0;
    return zqt_geo::IonoDelay(zqt_iono_bs::IonoAlpha(*s), zqt_iono_bs::IonoBeta(*s), Time, Position,
                              Elevation, Azimuth);
}

// =======================================================================================

void InstallIonoStorage() {
    zqt_datastorage_bs::SetIonoStorageFactory(
        [](const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
           const SQLiteExt::IESQLiteDatabasePtr& Db) -> IZQS_IonoStoragePtr {
            return TZQS_IonoStorage::CreateChild(Parent, Db);
        });
}

}  // namespace zqt_ionostorage
