#include "zqt_classes_dbs.h"

#include <cxxabi.h>

#include <climits>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "zqt_db.h"
#include "zqt_project.h"
#include "zqt_timefunc.h"

namespace zqt_classes_dbs {

using sysutils::Exception;
using sysutils::Format;

namespace {

// Columns of an ObjInfo row, in the order InsertObjInfo binds them.
constexpr const char* ObjInfoFields =
    "ObjType,ObjID,Name,BegTime,EndTime,Size,LinkObj1,LinkTyp1,LinkObj2,LinkTyp2,Mode,StyleID,"
    "ObjLabel,Visible,Enabled";

// The text of a GetFieldValue key for the error message; never raises.
std::string KeyText(const Variant& Key) {
    try {
        return zqt_variant::VarToStrZ(Key);
    } catch (const std::exception&) {
        return "?";
    }
}

std::int32_t CheckedObjID(std::int64_t Value, const char* What) {
    if (Value < 0 || Value > INT32_MAX)
        throw Exception(Format("%s: object id %d out of range", What, Value));
    return static_cast<std::int32_t>(Value);
}

}  // namespace

bool HasObjInfoRow(std::uint8_t ObjType) noexcept {
    return (ObjType >= 1 && ObjType <= 8) || (ObjType >= 11 && ObjType <= 15) ||
           (ObjType >= 18 && ObjType <= 20) || ObjType == 23;
}

// =======================================================================================
// TZQS_DatabasedObject

std::shared_ptr<TZQS_DatabasedObject> TZQS_DatabasedObject::CreateWithDatabase(
    IESQLiteDatabasePtr Db) {
    return CreateWithDatabaseOf<TZQS_DatabasedObject>(std::move(Db));
}

// =======================================================================================
// TZQS_Object: construction

std::shared_ptr<TZQS_Object> TZQS_Object::CreateChild(const IZQS_ObjectPtr& Parent,
                                                      IESQLiteDatabasePtr Db) {
    return CreateChildOf<TZQS_Object>(Parent, std::move(Db));
}

std::shared_ptr<TZQS_Object> TZQS_Object::CreateWithParent(const IZQS_ObjectPtr& Parent) {
    return CreateWithParentOf<TZQS_Object>(Parent);
}

std::shared_ptr<TZQS_Object> TZQS_Object::CreateNew(const IZQS_ObjectPtr& Parent,
                                                    IESQLiteDatabasePtr Db) {
    return CreateNewOf<TZQS_Object>(Parent, std::move(Db));
}

std::shared_ptr<TZQS_Object> TZQS_Object::CreateNamed(const std::string& FileName,
                                                      bool UseTemporary) {
    return CreateNamedOf<TZQS_Object>(FileName, UseTemporary);
}

IZQS_ObjectPtr TZQS_Object::Intf() {
    return std::static_pointer_cast<TZQS_Object>(shared_from_this());
}

std::string TZQS_Object::ClassName() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    std::string name = status == 0 && demangled ? std::string(demangled.get()) : mangled;
    // Drop the namespaces of the class itself (template arguments keep theirs).
    const std::size_t angle = name.find('<');
    const std::size_t colons = name.rfind("::", angle);
    if (colons != std::string::npos) name.erase(0, colons + 2);
    return name;
}

void TZQS_Object::InitFields() {
    TZQS_DatabasedObject::InitFields();
    FDictionary.clear();
}

void TZQS_Object::InitChild(const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db) {
    if (!Db && Parent) Db = Parent->GetDatabase();
    // A child needs a database to live on: its own, or its parent's.
    if (!Db)
        throw Exception(Parent ? "TZQS_Object.CreateChild: no database (the parent has none)"
                               : "TZQS_Object.CreateChild: no database and no parent");
    FVisible = true;
    FParent = Parent;
    const auto* parentObj = dynamic_cast<const TZQS_Object*>(Parent.get());
    if (parentObj) FInherited64 = parentObj->FInherited64;
    InitFields();
    FDatabase = std::move(Db);
    if (Parent) {
        if (parentObj) {
            FFileName = parentObj->FFileName;
            FSpareFlag = parentObj->FSpareFlag;
            FTemporaryDb = parentObj->FTemporaryDb;
        }
        SetOnProgress(Parent->GetOnProgress());
        SetOnMessage(Parent->GetOnMessage());
        SetLogger(Parent->GetLogger());
    }
}

void TZQS_Object::InitNamed(const std::string& FileName, bool UseTemporary) {
    InitFields();
    FFileName = FileName;
    if (UseTemporary)
        FTemporaryDb = true;
    else
        FDatabase = zqt_db::TPellamDatabase::Create(FileName);
}

// =======================================================================================
// TZQS_Object: identity and registry

std::int32_t TZQS_Object::GetParentID() const {
    if (const IZQS_ObjectPtr p = FParent.lock()) return p->GetObjID();
    return FParentID;
}

void TZQS_Object::SetParent(const IZQS_ObjectPtr& Parent) { FParent = Parent; }

void TZQS_Object::EnsureObjID() {
    if (FObjID == 0)
        FObjID = CheckedObjID(zqt_project::TZQS_Project::NewObjID(), "TZQS_Object.EnsureObjID");
}

void TZQS_Object::SetName(const std::string& Value) {
    if (Value == FName) return;
    FName = Value;
    UpdateObjInfo();
}

std::int32_t TZQS_Object::GetStyleID() const { return FStyleID != 0 ? FStyleID : DefaultStyleID(); }

std::string TZQS_Object::GetObjLabel() const {
    return FObjLabel.empty() ? DefaultObjLabel() : FObjLabel;
}

void TZQS_Object::InsertObjInfo() {
    if (!HasObjInfoRow(FObjType) || FObjID <= 0) return;
    IESQLiteDatabase& db = CheckedDatabase("InsertObjInfo");
    if (const IZQS_ObjectPtr p = FParent.lock()) {
        FLinkObj1 = p->GetObjID();
        FLinkTyp1 = p->GetObjType();
    }
    const IESQLitePreparedStatementPtr st = db.PrepareInsert("ObjInfo", ObjInfoFields, wmInsert);
    st->ExecuteParams(TVariantArray{
        Variant(static_cast<std::int32_t>(FObjType)), Variant(FObjID), Variant(GetName()),
        Variant(FBegTime), Variant(FEndTime), Variant(FSize), Variant(FLinkObj1),
        Variant(static_cast<std::int32_t>(FLinkTyp1)), Variant(FLinkObj2),
        Variant(static_cast<std::int32_t>(FLinkTyp2)), Variant(FMode), Variant(GetStyleID()),
        Variant(GetObjLabel()), Variant(std::int32_t{FVisible ? 1 : 0}),
        Variant(std::int32_t{FEnabled ? 1 : 0})});
}

void TZQS_Object::UpdateObjInfo() {
    if (!HasObjInfoRow(FObjType) || FObjID <= 0) return;
    IESQLiteDatabase& db = CheckedDatabase("UpdateObjInfo");
    // The link follows the parent object; without one the object's own link is kept
    // (an object loaded by id keeps the link it was read with).
    if (const IZQS_ObjectPtr p = FParent.lock()) {
        FLinkObj1 = p->GetObjID();
        FLinkTyp1 = p->GetObjType();
    }
    const IESQLitePreparedStatementPtr st =
        db.PrepareUpdate("ObjInfo", "name,BegTime,EndTime,LinkObj1,LinkTyp1",
                         "(ObjType = :ObjType) And (ObjID = :ObjID)");
    st->ExecuteParams(TVariantArray{Variant(GetName()), Variant(FBegTime), Variant(FEndTime),
                                    Variant(FLinkObj1),
                                    Variant(static_cast<std::int32_t>(FLinkTyp1)),
                                    Variant(static_cast<std::int32_t>(FObjType)), Variant(FObjID)});
}

bool TZQS_Object::ReloadName() {
    const TVariantArray row = CheckedDatabase("ReloadName")
                                  .SelectFirstRow(SQLiteExt::FormatPt(
                                      "SELECT name FROM ObjInfo WHERE (ObjID = %d)", FObjID));
    if (row.empty()) return false;
    FName = zqt_variant::VarToStrZ(row[0]);
    return true;
}

std::string TZQS_Object::ObjNameByID(IESQLiteDatabase& Db, std::int32_t ObjID) {
    return zqt_variant::VarToStrZ(
        Db.QueryValue(SQLiteExt::FormatPt("SELECT Name FROM ObjInfo WHERE ObjID = %d", ObjID)));
}

std::int32_t TZQS_Object::ParentIDByID(IESQLiteDatabase& Db, std::int32_t ObjID) {
    return static_cast<std::int32_t>(zqt_variant::VarToInt64Z(Db.QueryValue(
        SQLiteExt::FormatPt("SELECT LinkObj1 FROM ObjInfo WHERE ObjID = %d", ObjID))));
}

// =======================================================================================
// TZQS_Object: JSON

std::string TZQS_Object::JSONQuote(std::string_view Text) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string r;
    r.reserve(Text.size() + 2);
    r += '"';
    for (const char ch : Text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': r += "\\\""; break;
            case '\\': r += "\\\\"; break;
            case '\b': r += "\\b"; break;
            case '\f': r += "\\f"; break;
            case '\n': r += "\\n"; break;
            case '\r': r += "\\r"; break;
            case '\t': r += "\\t"; break;
            default:
                if (c < 0x20) {
                    r += "\\u00";
                    r += Hex[c >> 4];
                    r += Hex[c & 15];
                } else {
                    r += ch;
                }
        }
    }
    r += '"';
    return r;
}

std::vector<std::pair<std::string, std::string>> TZQS_Object::JSONMembers() const {
    return {{"ClassName", JSONQuote(ClassName())},
            {"ObjectName", JSONQuote(GetName())},
            {"BegTime", JSONQuote(zqt_timefunc::GPSTimeToStr(GetBegTime()))},
            {"EndTime", JSONQuote(zqt_timefunc::GPSTimeToStr(GetEndTime()))}};
}

std::string TZQS_Object::ToJSON() const {
    std::string r = "{";
    bool first = true;
    for (const auto& [key, value] : JSONMembers()) {
        if (!first) r += ',';
        first = false;
        r += JSONQuote(key);
        r += ':';
        r += value;
    }
    r += '}';
    return r;
}

// =======================================================================================
// TZQS_Object: reading

IESQLiteDatabase& TZQS_Object::CheckedDatabase(std::string_view Operation) const {
    if (!FDatabase) throw Exception(Format("TZQS_Object.%s: no database", Operation));
    return *FDatabase;
}

bool TZQS_Object::Eof() const { return !FSelect || FSelect->Eof(); }

void TZQS_Object::OpenTable() { OpenSQL("SELECT * FROM " + FTableName, TVariantArray{}); }

void TZQS_Object::SetSelect(IESQLiteSelectStatementPtr Statement) {
    FSelect = std::move(Statement);
    FRow.clear();
    FDictionary.clear();
    FFieldNames.clear();
    if (!FSelect) return;
    FFieldNames = FSelect->ColumnNames();
    for (std::size_t i = 0; i < FFieldNames.size(); ++i)
        FDictionary.emplace(sysutils::UpperCase(FFieldNames[i]), static_cast<int>(i));
}

void TZQS_Object::OpenSQL(const std::string& SQL, const TVariantArray& Values) {
    IESQLiteSelectStatementPtr st = CheckedDatabase("OpenSQL").PrepareSelect(SQL);
    if (!Values.empty()) st->BindParams(Values);
    SetSelect(std::move(st));
}

bool TZQS_Object::Next() {
    if (!FSelect || !FSelect->Next()) return false;
    FRow = FSelect->RowValues();
    return true;
}

Variant TZQS_Object::GetFieldValue(const Variant& Key) const {
    using namespace zqt_variant;
    const std::uint16_t t = Key.VarType() & 0xFFF;
    const bool byIndex =
        t == varSmallint || t == varInteger || t == varBoolean || (t >= 16 && t <= 21);
    try {
        if (byIndex) {
            const std::int64_t i = Key.AsInt64();
            if (i >= 0 && static_cast<std::uint64_t>(i) < FRow.size())
                return FRow[static_cast<std::size_t>(i)];
        } else {
            const auto it = FDictionary.find(sysutils::UpperCase(Key.AsString()));
            if (it != FDictionary.end() && static_cast<std::size_t>(it->second) < FRow.size())
                return FRow[static_cast<std::size_t>(it->second)];
        }
    } catch (const std::exception&) {
        // A key that does not convert is reported like a missing one.
    }
    throw Exception(Format("Field %s is absent in %s", KeyText(Key), ClassName()));
}

Variant TZQS_Object::GetColumn(int I) const {
    if (I < 0 || static_cast<std::size_t>(I) >= FRow.size())
        throw Exception(Format("Field %d is absent in %s", I, ClassName()));
    return FRow[static_cast<std::size_t>(I)];
}

// =======================================================================================
// TZQS_Object: writing

void TZQS_Object::SetFieldNames(std::initializer_list<std::string_view> Names) {
    FWriteFields.assign(Names.begin(), Names.end());
}

void TZQS_Object::SetFieldNames(std::span<const std::string> Names) {
    FWriteFields.assign(Names.begin(), Names.end());
}

void TZQS_Object::PrepareForWrite() {
    FWrite = CheckedDatabase("PrepareForWrite").PrepareInsert(FTableName, FWriteFields, FWriteMode);
}

const IESQLitePreparedStatementPtr& TZQS_Object::WriteStatement() {
    if (!FWrite) PrepareForWrite();
    return FWrite;
}

void TZQS_Object::TakeRowID() {
    if (!FObjIDFromRowID) return;
    // After INSERT OR IGNORE that skipped its row, last_insert_rowid still names an
    // earlier row: only a statement that changed a row gives this object its id.
    IESQLiteDatabase& db = CheckedDatabase("ExecuteWrite");
    if (db.Changes() > 0) FObjID = CheckedObjID(db.LastInsertRowID(), "TZQS_Object.ExecuteWrite");
}

void TZQS_Object::ExecuteWrite() {
    if (!FWrite)
        throw Exception("TZQS_Object.ExecuteWrite: no write statement (PrepareForWrite first)");
    FWrite->Execute();
    TakeRowID();
}

void TZQS_Object::ExecuteWriteParams(const TVariantArray& Values) {
    WriteStatement()->ExecuteParams(Values);
    TakeRowID();
}

void TZQS_Object::WriteFields(const std::string& Where, std::span<const std::string> Fields,
                              const TVariantArray& Values) {
    CheckedDatabase("WriteFields").PrepareUpdate(FTableName, Fields, Where)->ExecuteParams(Values);
}

void TZQS_Object::WriteText(const std::string& Where, const std::string& FieldsText,
                            const TVariantArray& Values) {
    const std::vector<std::string> fields = SQLiteExt::SplitFieldList(FieldsText);
    WriteFields(Where, fields, Values);
}

void TZQS_Object::WriteRow(const std::string& Where, const TVariantArray& Values) {
    WriteFields(Where, FWriteFields, Values);
}

void TZQS_Object::WriteValues(const std::string& Where, const TVariantArray& Values) {
    std::vector<std::string> fields;
    TVariantArray values;
    fields.reserve(FWriteFields.size());
    values.reserve(Values.size());
    for (std::size_t k = 0; k < Values.size(); ++k) {
        if (k < FWriteFields.size()) {
            if (Values[k].IsNull()) continue;
            fields.push_back(FWriteFields[k]);
        }
        values.push_back(Values[k]);
    }
    // Every field Null leaves no field: the update statement refuses that ("No fields for
    // update") rather than reporting a write that changed nothing.
    WriteFields(Where, fields, values);
}

void TZQS_Object::BeginTransaction() {
    if (FDatabase) FDatabase->BeginTransaction();
}

void TZQS_Object::Commit() {
    if (FDatabase) FDatabase->Commit();
}

void TZQS_Object::Rollback() {
    if (FDatabase) FDatabase->Rollback();
}

// =======================================================================================
// TZQS_ScObject, TZQS_SvObject

void TZQS_ScObject::InitFields() {
    TZQS_Object::InitFields();
    FWriteMode = wmInsertOrIgnore;
}

std::int64_t TZQS_ScObject::GetKey() const { return FSatCode == 0 ? 0 : GetKeyTime() + FSatCode; }

std::int64_t TZQS_SvObject::GetKey() const { return FSvprn == 0 ? 0 : GetKeyTime() + FSvprn; }

}  // namespace zqt_classes_dbs
