// The observer bound to table Observer (ObserverID, ObserverName, ObserverAgency). One
// row exists per pair of name and agency: writing an observer whose pair is stored
// already takes that row's identifier instead of adding a row.
#pragma once

#include <cstdint>
#include <memory>

#include "SQLiteExt.h"
#include "zqt_observer_bs.h"

namespace zqt_observer_dbs {

using SQLiteExt::IESQLiteDatabasePtr;
using zqt_objects_intrf::IZQS_ObjectPtr;

class TZQS_Observer : public zqt_observer_bs::TZQS_Observer_bs {
public:
    // A new observer (new ObjID) as child of Parent, on the parent's database or on Db.
    static std::shared_ptr<TZQS_Observer> CreateNew(const IZQS_ObjectPtr& Parent,
                                                    IESQLiteDatabasePtr Db = nullptr);
    // The observer of row ID of Db; empty when there is no such row.
    static std::shared_ptr<TZQS_Observer> CreateLoad(const IESQLiteDatabasePtr& Db,
                                                     std::int32_t ID);

    // Table "Observer": ObserverID, ObserverName, ObserverAgency.
    void InitFields() override;
    // Loads the row of the object's ObjID (the texts are cleared first when the ObjID is
    // 0); True when a row came.
    bool Next() override;
    // Neither name nor agency: ObjID 0 and nothing written. Otherwise the row of the same
    // name and agency is shared (its ObserverID becomes the ObjID), or a new row is
    // inserted with the ObjInfo row named after the observer.
    void ExecuteWrite() override;
};

}  // namespace zqt_observer_dbs
