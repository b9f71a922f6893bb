// The navigation store's holder: a persistent object over a time window that keeps one
// lazily created storage of each kind (ephemerides, ionosphere parameters, time-system
// parameters) and the troposphere model, and hands them out through its interfaces.
//
// The storages are classes of their own units; the store reaches them through the
// constructors registered below. A constructor that is not registered leaves its storage
// absent: the getters then return an empty pointer, loading and saving skip it, and
// adding an ephemeris raises (nothing is silently dropped). The troposphere model comes
// from the models' own factory (zqt_tropomodel).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "zqt_basestorage.h"
#include "zqt_classes_dbs.h"
#include "zqt_ephem_tp.h"
#include "zqt_ephemerisstorage.h"
#include "zqt_ionostorage.h"
#include "zqt_obs_intrf.h"
#include "zqt_timestorage.h"
#include "zqt_tropomodel.h"
#include "zqt_types_bs.h"

namespace zqt_datastorage_bs {

using SQLiteExt::IESQLiteDatabasePtr;
using zqt_basestorage::RVec3;
using zqt_ephem_tp::REphem;
using zqt_ephemerisstorage::IZQS_EphemerisStoragePtr;
using zqt_ionostorage::IZQS_IonoStoragePtr;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_obs_intrf::IZQS_OrbitProviderPtr;
using zqt_timestorage::IZQS_TimeStoragePtr;
using zqt_tropomodel::IZQS_TropoModelPtr;
using zqt_types_bs::eTropoModels;

// The navigation store as every consumer sees it. The observation model knows its narrow
// part (zqt_obs_intrf::IZQS_DataStorage: the orbit provider and Load).
class IZQS_DataStorage : public virtual zqt_obs_intrf::IZQS_DataStorage {
public:
    // The ephemeris storage, created on first use as a child of the store with the
    // store's window.
    virtual IZQS_EphemerisStoragePtr GetEphemerisStorage() = 0;
    // The ionosphere storage, created the same way.
    virtual IZQS_IonoStoragePtr GetIonoStorage() = 0;
    // The ionosphere storage; when it is created by this call, Parent and Db go to its
    // constructor instead of this store and the store's database.
    virtual IZQS_IonoStoragePtr GetIonoStorage2(const IZQS_ObjectPtr& Parent,
                                                const IESQLiteDatabasePtr& Db) = 0;
    // The same as GetOrbitProvider, under the second name the store's interface gives it.
    virtual IZQS_OrbitProviderPtr GetOrbitProvider2() = 0;  // NOLINT(bugprone-virtual-near-miss)
    // The time-parameter storage, created the same way.
    virtual IZQS_TimeStoragePtr GetTimeStorage() = 0;
    // GetTropoModel (of zqt_obs_intrf::IZQS_DataStorage): the model of the stored kind,
    // created on first use with the weather 20.0 degrees C, 980.0 hPa, 50.0 %.
    virtual eTropoModels GetTropoModelKind() const = 0;
    // Stores the kind; the next GetTropoModel builds a model of it.
    virtual void SetTropoModelKind(eTropoModels Kind) = 0;
    // GetIonoDelay (of zqt_obs_intrf::IZQS_DataStorage) is the ionosphere storage's; 0.0
    // without one.
    // Gets (creating) the three storages and clears each.
    virtual void ClearStorages() = 0;
    // Hands the record to the ephemeris storage, which keeps it when its key is new.
    virtual void AddEphemeris(const REphem& Record) = 0;
    // Writes the items of every existing storage to the database.
    virtual void Save() = 0;
};

using IZQS_DataStoragePtr = std::shared_ptr<IZQS_DataStorage>;

// The store as a source of navigation data, for consumers that need no object interface.
class IZQS_NavDataSource {
public:
    virtual ~IZQS_NavDataSource() = default;
    virtual IZQS_TropoModelPtr GetTropoModel() = 0;
    // Replaces the held model.
    virtual void SetTropoModel(IZQS_TropoModelPtr Model) = 0;
    virtual void AddEphemeris(const REphem& Record) = 0;
    virtual IZQS_OrbitProviderPtr GetOrbitProvider() = 0;
    virtual IZQS_OrbitProviderPtr GetOrbitProvider2() = 0;
    virtual IZQS_IonoStoragePtr GetIonoStorage2(const IZQS_ObjectPtr& Parent,
                                                const IESQLiteDatabasePtr& Db) = 0;
    virtual double GetIonoDelay(std::uint16_t Svprn, std::int64_t Time, const RVec3& Position,
                                double Elevation, double Azimuth) = 0;
    virtual IZQS_IonoStoragePtr GetIonoStorage() = 0;
    virtual std::int64_t GetBegTime() const = 0;
    virtual std::int64_t GetEndTime() const = 0;
    virtual void SetBegTime(std::int64_t Value) = 0;
    virtual void SetEndTime(std::int64_t Value) = 0;
    virtual bool Load() = 0;
    virtual void ClearStorages() = 0;
    virtual void Save() = 0;

protected:
    IZQS_NavDataSource() = default;
};

// ---------------------------------------------------------------------------------------
// Constructors of the storages and models, each installed by its unit's Install function,
// which zqt_components::InstallComponents calls at start-up. Process-wide. An empty
// function unregisters.

// A storage that is a child of Parent on Db (the parent's database when Db is empty).
using TEphemerisStorageFactory = std::function<IZQS_EphemerisStoragePtr(
    const IZQS_ObjectPtr& Parent, const IESQLiteDatabasePtr& Db)>;
using TIonoStorageFactory =
    std::function<IZQS_IonoStoragePtr(const IZQS_ObjectPtr& Parent, const IESQLiteDatabasePtr& Db)>;
using TTimeStorageFactory =
    std::function<IZQS_TimeStoragePtr(const IZQS_ObjectPtr& Parent, const IESQLiteDatabasePtr& Db)>;

void SetEphemerisStorageFactory(TEphemerisStorageFactory Factory);
void SetIonoStorageFactory(TIonoStorageFactory Factory);
void SetTimeStorageFactory(TTimeStorageFactory Factory);

// ---------------------------------------------------------------------------------------

class TZQS_DataStorage_bs : public zqt_classes_dbs::TZQS_Object,
                            public virtual IZQS_DataStorage,
                            public IZQS_NavDataSource {
public:
    // Troposphere-model kind 0, then the inherited set-up.
    void InitFields() override;

    // The inherited setter, then the same on each existing storage.
    void SetBegTime(std::int64_t Value) override;
    void SetEndTime(std::int64_t Value) override;
    std::int64_t GetBegTime() const override { return TZQS_Object::GetBegTime(); }
    std::int64_t GetEndTime() const override { return TZQS_Object::GetEndTime(); }
    // CloseWrite of each existing storage, then the inherited one.
    void CloseWrite() override;
    // The object's write operation: Save.
    void ExecuteWrite() override { Save(); }
    // The object's read operation: Load.
    bool Next() override { return Load(); }

    // IZQS_DataStorage and IZQS_NavDataSource
    IZQS_EphemerisStoragePtr GetEphemerisStorage() override;
    IZQS_IonoStoragePtr GetIonoStorage() override;
    IZQS_IonoStoragePtr GetIonoStorage2(const IZQS_ObjectPtr& Parent,
                                        const IESQLiteDatabasePtr& Db) override;
    // The ephemeris storage's orbit provider (creating the storage when needed).
    IZQS_OrbitProviderPtr GetOrbitProvider() override;
    IZQS_OrbitProviderPtr GetOrbitProvider2() override { return GetOrbitProvider(); }
    IZQS_TimeStoragePtr GetTimeStorage() override;
    IZQS_TropoModelPtr GetTropoModel() override;
    void SetTropoModel(IZQS_TropoModelPtr Model) override { FTropoModel = std::move(Model); }
    eTropoModels GetTropoModelKind() const override { return FTropoKind; }
    void SetTropoModelKind(eTropoModels Kind) override;
    double GetIonoDelay(std::uint16_t Svprn, std::int64_t Time, const RVec3& Position,
                        double Elevation, double Azimuth) override;
    void ClearStorages() override;
    // Raises when no ephemeris storage can be had.
    void AddEphemeris(const REphem& Record) override;
    // Each existing storage writes its items (its write operation).
    void Save() override;
    // Gets (creating) the three storages and lets each load its window. True.
    bool Load() override;

protected:
    IZQS_EphemerisStoragePtr FEphemerisStorage;
    IZQS_IonoStoragePtr FIonoStorage;
    IZQS_TimeStoragePtr FTimeStorage;
    IZQS_TropoModelPtr FTropoModel;
    eTropoModels FTropoKind = zqt_types_bs::TM_Haldor;

private:
    // Gives a new storage the store's window.
    void TakeWindow(zqt_objects_intrf::IZQS_Object& Storage) const;
};

}  // namespace zqt_datastorage_bs
