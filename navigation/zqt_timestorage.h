// The time-parameter storage of a navigation store: the offsets between time systems
// broadcast within a time window, indexed per source system by time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zqt_basestorage.h"
#include "zqt_time_bs.h"
#include "zqt_timefunc.h"
#include "zqt_paramstorage.h"

namespace zqt_time_dbs {
class TZQS_TimeParams;
}

namespace zqt_timestorage {

using zqt_time_bs::RTimeParams;
using TTimeParamsArray = std::vector<RTimeParams>;

class IZQS_TimeStorage : public virtual zqt_objects_intrf::IZQS_BaseStorage {
public:
    // A copy of every set, in the order of addition.
    virtual TTimeParamsArray GetItems() = 0;
    // The row cursor through which sets are added (SetData or SetParams, then IndexRow);
    // created when missing.
    virtual zqt_time_bs::IZQS_TimeParamsPtr GetRecord() = 0;
    // Copies of the sets whose source system (Sys1, taken as 0 unless it is a satellite
    // system 1..7) is System, in the order of addition.
    virtual void GetItemsOfSystem(TTimeParamsArray& Items, std::uint8_t System) = 0;
    // Find with the system byte of the satellite key.
    virtual const RTimeParams* FindBySatId(std::uint16_t Svprn, std::int64_t Time) = 0;
    // The set of that source system nearest to the time; nullptr when the system has
    // none. The pointer stays valid until the storage changes (a set is added, or it is
    // cleared or reloaded).
    virtual const RTimeParams* Find(std::uint8_t System, std::int64_t Time) = 0;
};

using IZQS_TimeStoragePtr = std::shared_ptr<IZQS_TimeStorage>;

// Sets of the window read from the database reach this far beyond it on each side: one
// week, in ticks.
inline constexpr std::int64_t TimeWindowMargin = zqt_timefunc::TicksPerWeek;

class TZQS_TimeStorage : public zqt_paramstorage::TZQS_ParamStorage<zqt_time_dbs::TZQS_TimeParams,
                                                                    RTimeParams, TimeWindowMargin>,
                         public virtual IZQS_TimeStorage {
public:
    // A storage that is a child of Parent on Db (the parent's database when Db is empty).
    static std::shared_ptr<TZQS_TimeStorage> CreateChild(
        const zqt_objects_intrf::IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db);

    // IZQS_TimeStorage
    TTimeParamsArray GetItems() override { return FItems; }
    zqt_time_bs::IZQS_TimeParamsPtr GetRecord() override;
    void GetItemsOfSystem(TTimeParamsArray& Items, std::uint8_t System) override;
    const RTimeParams* FindBySatId(std::uint16_t Svprn, std::int64_t Time) override;
    const RTimeParams* Find(std::uint8_t System, std::int64_t Time) override;

protected:
    void StoreInRow(zqt_time_dbs::TZQS_TimeParams& Row, const RTimeParams& Set) override;
};

// Installs TZQS_TimeStorage as the navigation store's time-parameter storage; calling
// it again installs it anew.
void InstallTimeStorage();

}  // namespace zqt_timestorage
