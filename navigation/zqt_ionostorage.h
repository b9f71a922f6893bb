// The ionosphere storage of a navigation store: the broadcast ionosphere coefficient sets
// of a time window, per satellite system, with the set that applies at a time and the
// broadcast delay it gives; and the ionospheric slant factor.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zqt_basestorage.h"
#include "zqt_geo.h"
#include "zqt_iono_bs.h"
#include "zqt_paramstorage.h"

namespace zqt_iono_dbs {
class TZQS_Iono;
}

namespace zqt_ionostorage {

using zqt_iono_bs::RIono;
using TIonoArray = std::vector<RIono>;

class IZQS_IonoStorage : public virtual zqt_objects_intrf::IZQS_BaseStorage {
public:
    // Broadcast ionosphere delay (m, first GPS frequency) for a satellite at a time, seen
    // from the receiver position (Earth-centred, m) at the given elevation and azimuth
    // (radians), from the GPS set nearest to the time whatever the satellite's system;
    // 0.0 when there is no GPS set.
    virtual double GetIonoDelay(std::uint16_t Svprn, std::int64_t Time,
                                const zqt_basestorage::RVec3& Position, double Elevation,
                                double Azimuth) = 0;

    // A copy of every set, in the order of addition.
    virtual TIonoArray GetItems() = 0;
    // The row cursor through which sets are added (SetParams, then IndexRow); created
    // when missing.
    virtual zqt_iono_bs::IZQS_IonoPtr GetRecord() = 0;
    // Find with the system byte of the satellite key.
    virtual const RIono* FindBySatId(std::uint16_t Svprn, std::int64_t Time) = 0;
    // The set of the system nearest to the time; when the system has none, the GPS set
    // nearest to it; nullptr when neither exists. The pointer stays valid until the
    // storage changes (a set is added, or it is cleared or reloaded).
    virtual const RIono* Find(std::uint8_t System, std::int64_t Time) = 0;
    // Copies of the sets of one system, in the order of addition.
    virtual void GetItemsOfSystem(TIonoArray& Items, std::uint8_t System) = 0;
};

using IZQS_IonoStoragePtr = std::shared_ptr<IZQS_IonoStorage>;

// The ionospheric slant factor (zqt_geo, with the broadcast delay).
using zqt_geo::IonoSlantFactor;

// Sets of the window read from the database reach this far beyond it on each side:
// ten days, in ticks.
inline constexpr std::int64_t IonoWindowMargin = 8'640'000'000;

class TZQS_IonoStorage
    : public zqt_paramstorage::TZQS_ParamStorage<zqt_iono_dbs::TZQS_Iono, RIono, IonoWindowMargin>,
      public virtual IZQS_IonoStorage {
public:
    // A storage that is a child of Parent on Db (the parent's database when Db is empty).
    static std::shared_ptr<TZQS_IonoStorage> CreateChild(
        const zqt_objects_intrf::IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db);

    // IZQS_IonoStorage
    double GetIonoDelay(std::uint16_t Svprn, std::int64_t Time,
                        const zqt_basestorage::RVec3& Position, double Elevation,
                        double Azimuth) override;
    TIonoArray GetItems() override { return FItems; }
    zqt_iono_bs::IZQS_IonoPtr GetRecord() override;
    const RIono* FindBySatId(std::uint16_t Svprn, std::int64_t Time) override;
    const RIono* Find(std::uint8_t System, std::int64_t Time) override;
    void GetItemsOfSystem(TIonoArray& Items, std::uint8_t System) override;

protected:
    void StoreInRow(zqt_iono_dbs::TZQS_Iono& Row, const RIono& Set) override;
};

// Installs TZQS_IonoStorage as the navigation store's ionosphere storage; calling it again
// installs it anew.
void InstallIonoStorage();

}  // namespace zqt_ionostorage
