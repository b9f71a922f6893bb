#include "zqt_observer_dbs.h"

#include "zqt_dataset_dbs.h"

namespace zqt_observer_dbs {

using zqt_variant::TVariantArray;
using zqt_variant::Variant;
using zqt_variant::VarToInt64Z;
using zqt_variant::VarToStrZ;

std::shared_ptr<TZQS_Observer> TZQS_Observer::CreateNew(const IZQS_ObjectPtr& Parent,
                                                        IESQLiteDatabasePtr Db) {
    return CreateNewOf<TZQS_Observer>(Parent, std::move(Db));
}

std::shared_ptr<TZQS_Observer> TZQS_Observer::CreateLoad(const IESQLiteDatabasePtr& Db,
                                                         std::int32_t ID) {
    bool loaded = false;
    auto obj = zqt_dataset_dbs::CreateLoadOf<TZQS_Observer>(Db, ID, &loaded);
    return loaded ? obj : nullptr;
}

void TZQS_Observer::InitFields() {
    TZQS_Observer_bs::InitFields();
    FTableName = "Observer";
    SetFieldNames({"ObserverID", "ObserverName", "ObserverAgency"});
}

bool TZQS_Observer::Next() {
    if (FObjID == 0) ClearValues();
    OpenParams("SELECT * FROM " + FTableName + " WHERE ObserverID = :ObserverID", FObjID);
    const bool row = TZQS_Object::Next();
    if (row) {
        FObserverName = VarToStrZ(GetFieldValue(Variant("ObserverName")));
        FObserverAgency = VarToStrZ(GetFieldValue(Variant("ObserverAgency")));
    }
    CloseSelect();
    return row;
}

void TZQS_Observer::ExecuteWrite() {
    SQLiteExt::IESQLiteDatabase& db = CheckedDatabase("ExecuteWrite");
    if (FObserverName.empty() && FObserverAgency.empty()) {
        FObjID = 0;
        return;
    }
    // The texts are bound, never pasted into the SQL: a quote in a name, or a name that
    // reads like a column name, compares as the text it is.
    const auto st = db.PrepareSelect(
        "SELECT * FROM " + FTableName +
        " WHERE (ObserverName = :ObserverName) AND (ObserverAgency = :ObserverAgency)");
    st->SetParamTextByName(":ObserverName", FObserverName);
    st->SetParamTextByName(":ObserverAgency", FObserverAgency);
    const std::int64_t id = st->Next() ? VarToInt64Z(st->Value(0)) : 0;
    st->Reset();
    if (id >= 1) {
        FObjID = static_cast<std::int32_t>(id);
        return;
    }
    EnsureObjID();
    ExecuteWriteParams(
        TVariantArray{Variant(FObjID), Variant(FObserverName), Variant(FObserverAgency)});
    CloseWrite();
    FName = FObserverName;
    InsertObjInfo();
}

}  // namespace zqt_observer_dbs
