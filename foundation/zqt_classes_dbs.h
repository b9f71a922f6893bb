// Base classes of every persistent data object: an object is one row of its own table in
// a project database plus one row of the object registry ObjInfo. It owns a cursor (select
// statement) whose rows it copies into its current row values, and a write statement
// prepared once and executed per row. TZQS_ScObject and TZQS_SvObject add a key per
// satellite system or per satellite, used by the time-keyed storages.
//
// Construction follows one pattern: constructors are trivial, and the static factories
// (CreateChildOf, CreateWithParentOf, CreateNewOf, CreateNamedOf) construct the object and
// then run its virtual set-up (InitChild / InitNamed, which run InitFields). A descendant
// with extra construction steps overrides InitChild and calls the inherited one first.
//
// Ownership runs from parents to children: a child refers to its parent through a weak
// pointer, never owning it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "SQLiteExt.h"
#include "sysutils.h"
#include "zqt_classes_bs.h"
#include "zqt_objects_intrf.h"
#include "zqt_variant.h"

namespace zqt_classes_dbs {

using SQLiteExt::IESQLiteDatabase;
using SQLiteExt::IESQLiteDatabasePtr;
using SQLiteExt::IESQLitePreparedStatementPtr;
using SQLiteExt::IESQLiteSelectStatementPtr;
using zqt_objects_intrf::IZQS_Object;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_objects_intrf::IZQS_ScObject;
using zqt_objects_intrf::IZQS_SvObject;
using zqt_objects_intrf::TZQSLogList;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;

// Write modes of a persistent object (the insert word of its write statement).
enum : int { wmInsert = 0, wmInsertOrReplace = 1, wmInsertOrIgnore = 2 };

// True for the object kinds that keep a row in ObjInfo: 1 to 8, 11 to 15, 18 to 20, 23.
bool HasObjInfoRow(std::uint8_t ObjType) noexcept;

// ---------------------------------------------------------------------------------------
// TZQS_DatabasedObject: a base object that holds a database.

class TZQS_DatabasedObject : public zqt_classes_bs::TZQS_BaseObject {
public:
    TZQS_DatabasedObject() = default;
    ~TZQS_DatabasedObject() override = default;

    // Constructs T, keeps Db, then runs InitFields.
    template <class T>
    static std::shared_ptr<T> CreateWithDatabaseOf(IESQLiteDatabasePtr Db) {
        auto obj = std::make_shared<T>();
        TZQS_DatabasedObject& base = *obj;
        base.FDatabase = std::move(Db);
        base.InitFields();
        return obj;
    }
    static std::shared_ptr<TZQS_DatabasedObject> CreateWithDatabase(IESQLiteDatabasePtr Db);

    virtual IESQLiteDatabasePtr GetDatabase() const { return FDatabase; }
    virtual void SetDatabase(IESQLiteDatabasePtr Value) { FDatabase = std::move(Value); }

protected:
    IESQLiteDatabasePtr FDatabase;
};

// ---------------------------------------------------------------------------------------
// TZQS_Object: one row of a table plus its ObjInfo row.

class TZQS_Object : public TZQS_DatabasedObject, public virtual IZQS_Object {
public:
    TZQS_Object() = default;
    ~TZQS_Object() override = default;

    // ---- factories ------------------------------------------------------------------
    // A child of Parent working on Db, or on the parent's database when Db is empty.
    // Raises when the object would end up without a database.
    template <class T>
    static std::shared_ptr<T> CreateChildOf(const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db) {
        auto obj = std::make_shared<T>();
        static_cast<TZQS_Object&>(*obj).InitChild(Parent, std::move(Db));
        return obj;
    }
    // A child of Parent that works on the parent's database.
    template <class T>
    static std::shared_ptr<T> CreateWithParentOf(const IZQS_ObjectPtr& Parent) {
        return CreateChildOf<T>(Parent, nullptr);
    }
    // CreateChildOf after taking a new ObjID from the project's counter.
    template <class T>
    static std::shared_ptr<T> CreateNewOf(const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db) {
        auto obj = std::make_shared<T>();
        TZQS_Object& o = *obj;
        o.EnsureObjID();
        o.InitChild(Parent, std::move(Db));
        return obj;
    }
    // An object on its own suite database FileName, or (UseTemporary) without a database
    // and with the temporary-database flag set.
    template <class T>
    static std::shared_ptr<T> CreateNamedOf(const std::string& FileName, bool UseTemporary) {
        auto obj = std::make_shared<T>();
        static_cast<TZQS_Object&>(*obj).InitNamed(FileName, UseTemporary);
        return obj;
    }
    static std::shared_ptr<TZQS_Object> CreateChild(const IZQS_ObjectPtr& Parent,
                                                    IESQLiteDatabasePtr Db);
    static std::shared_ptr<TZQS_Object> CreateWithParent(const IZQS_ObjectPtr& Parent);
    static std::shared_ptr<TZQS_Object> CreateNew(const IZQS_ObjectPtr& Parent,
                                                  IESQLiteDatabasePtr Db);
    static std::shared_ptr<TZQS_Object> CreateNamed(const std::string& FileName, bool UseTemporary);

    // The object's own interface (it must live in a shared_ptr, as every factory makes it).
    IZQS_ObjectPtr Intf();
    // The class name without namespaces ("TZQS_Object"), shown in messages and JSON.
    virtual std::string ClassName() const;

    // ---- set-up hooks run by the factories ------------------------------------------
    // Table name, write-field list and defaults: descendants call the inherited one first.
    void InitFields() override;
    virtual void InitChild(const IZQS_ObjectPtr& Parent, IESQLiteDatabasePtr Db);
    virtual void InitNamed(const std::string& FileName, bool UseTemporary);

    // ---- IZQS_BaseObject members that the interfaces repeat --------------------------
    void Log(const std::string& Text) override { TZQS_BaseObject::Log(Text); }
    void SetLogger(TZQSLogList Value) override { TZQS_BaseObject::SetLogger(std::move(Value)); }
    TZQSLogList GetLogger() const override { return FLogger; }
    const std::string& GetLogName() const override { return FLogName; }
    void SetLogName(std::string Value) override { FLogName = std::move(Value); }
    IESQLiteDatabasePtr GetDatabase() const override { return FDatabase; }
    void SetDatabase(IESQLiteDatabasePtr Value) override { FDatabase = std::move(Value); }

    // ---- IZQS_ObjectRead ------------------------------------------------------------
    std::int32_t GetObjID() const override { return FObjID; }
    std::int32_t GetParentID() const override;
    bool Eof() const override;
    std::uint8_t GetObjType() const override { return FObjType; }
    std::string GetName() const override { return FName; }
    std::string ToJSON() const override;
    void SetName(const std::string& Value) override;
    void SetObjType(std::uint8_t Value) override { FObjType = Value; }
    std::int64_t GetBegTime() const override { return FBegTime; }
    std::int64_t GetEndTime() const override { return FEndTime; }
    void SetBegTime(std::int64_t Value) override { FBegTime = Value; }
    void SetEndTime(std::int64_t Value) override { FEndTime = Value; }
    std::int64_t BegTime() const override { return GetBegTime(); }
    std::int64_t EndTime() const override { return GetEndTime(); }
    std::int64_t GetSize() const override { return FSize; }
    void SetSize(std::int64_t Value) override { FSize = Value; }
    std::int64_t GetTag() const override { return FTag; }
    void SetTag(std::int64_t Value) override { FTag = Value; }
    bool Next() override;
    void SetObjID(std::int32_t Value) override { FObjID = Value; }
    void SetParentID(std::int32_t Value) override { FParentID = Value; }

    // ---- IZQS_Object ----------------------------------------------------------------
    bool GetEnabled() const override { return FEnabled; }
    void SetEnabled(bool Value) override { FEnabled = Value; }
    void FinishWrite() override { CloseWrite(); }
    std::string GetDisplayName() const override { return GetName(); }
    IZQS_ObjectPtr GetParent() const override { return FParent.lock(); }
    // Executes the write statement (descendants bind their columns first, then call this
    // one). With the ObjID-from-rowid flag the ObjID becomes the new row's id, but only
    // when a row was really inserted.
    void ExecuteWrite() override;
    void CloseSelect() override { FSelect.reset(); }
    void CloseWrite() override { FWrite.reset(); }
    void UploadToProject() override {}
    void BeginTransaction() override;
    void Commit() override;
    void Rollback() override;
    void WriteText(const std::string& Where, const std::string& FieldsText,
                   const TVariantArray& Values) override;
    void WriteFields(const std::string& Where, std::span<const std::string> Fields,
                     const TVariantArray& Values) override;
    void WriteRow(const std::string& Where, const TVariantArray& Values) override;

    // ---- registry ---------------------------------------------------------------------
    // Writes the object's ObjInfo row (kinds with a registry row and ObjID > 0 only).
    virtual void InsertObjInfo();
    // Updates name, times and parent link of the ObjInfo row (same conditions).
    virtual void UpdateObjInfo();
    virtual std::int32_t DefaultStyleID() const { return 0; }
    virtual std::string DefaultObjLabel() const { return std::string(); }

    // ---- reading ----------------------------------------------------------------------
    // Copies of the cursor's column names and of the current row.
    virtual std::vector<std::string> GetFieldNames() const { return FFieldNames; }
    virtual TVariantArray GetRowValues() const { return FRow; }
    // "SELECT * FROM <table>".
    virtual void OpenTable();
    // Installs a cursor and loads its column names into the dictionary.
    virtual void SetSelect(IESQLiteSelectStatementPtr Statement);
    // Prepares SQL, binds Values (when any) and installs it as the cursor.
    virtual void OpenSQL(const std::string& SQL, const TVariantArray& Values);
    template <class... A>
    void OpenFmt(std::string_view Template, const A&... Args) {
        OpenSQL(SQLiteExt::FormatPt(Template, Args...), TVariantArray{});
    }
    template <class... A>
    void OpenParams(const std::string& SQL, const A&... Values) {
        OpenSQL(SQL, zqt_variant::VarArrayOfValues(Values...));
    }
    // OpenParams then Next: True when a row is there.
    template <class... A>
    bool OpenParamsFirst(const std::string& SQL, const A&... Values) {
        OpenParams(SQL, Values...);
        return Next();
    }
    bool OpenSQLFirst(const std::string& SQL, const TVariantArray& Values) {
        OpenSQL(SQL, Values);
        return Next();
    }
    // A value of the current row by column index (integer or Boolean key) or by column
    // name (any letter case). Raises "Field %s is absent in %s".
    Variant GetFieldValue(const Variant& Key) const;
    // Value I of the current row; raises "Field %d is absent in %s" beyond the row.
    Variant GetColumn(int I) const;

    // ---- writing ----------------------------------------------------------------------
    // Prepares the write statement: the write mode's INSERT into the table, with the
    // write-field list. Raises without a database.
    virtual void PrepareForWrite();
    // Like WriteFields, but a Null value leaves its write field out; values beyond the
    // write-field list are kept for the parameters of Where. Every field Null raises
    // "TESQLiteUpdateStatement.Create: No fields for update".
    virtual void WriteValues(const std::string& Where, const TVariantArray& Values);
    // Binds Values by position to the write statement (prepared first when needed) and
    // executes it; the rowid rule of ExecuteWrite applies.
    virtual void ExecuteWriteParams(const TVariantArray& Values);
    void SetFieldNames(std::initializer_list<std::string_view> Names);
    void SetFieldNames(std::span<const std::string> Names);
    const std::vector<std::string>& GetWriteFields() const { return FWriteFields; }

    // ---- plain accessors --------------------------------------------------------------
    std::int64_t GetMode() const { return FMode; }
    void SetMode(std::int64_t Value) { FMode = Value; }
    std::int32_t GetStyleID() const;
    void SetStyleID(std::int32_t Value) { FStyleID = Value; }
    std::string GetObjLabel() const;
    void SetObjLabel(std::string Value) { FObjLabel = std::move(Value); }
    bool GetVisible() const { return FVisible; }
    void SetVisible(bool Value) { FVisible = Value; }
    int GetWriteMode() const { return FWriteMode; }
    void SetWriteMode(int Value) { FWriteMode = Value; }
    const std::string& GetTableName() const { return FTableName; }
    const std::string& GetFileName() const { return FFileName; }
    bool GetTemporaryDb() const { return FTemporaryDb; }
    std::int32_t GetLinkObj1() const { return FLinkObj1; }
    std::uint8_t GetLinkTyp1() const { return FLinkTyp1; }
    std::int32_t GetLinkObj2() const { return FLinkObj2; }
    std::uint8_t GetLinkTyp2() const { return FLinkTyp2; }
    void SetLink1(std::int32_t Obj, std::uint8_t Typ) {
        FLinkObj1 = Obj;
        FLinkTyp1 = Typ;
    }
    void SetLink2(std::int32_t Obj, std::uint8_t Typ) {
        FLinkObj2 = Obj;
        FLinkTyp2 = Typ;
    }
    // Stores the parent (not owned: the parent must outlive its use through the child).
    void SetParent(const IZQS_ObjectPtr& Parent);
    // Takes the next ObjID from the project's counter when the object has none.
    void EnsureObjID();
    // Reads the object's name from ObjInfo; False (name kept) when there is no such row.
    bool ReloadName();

    // Name and parent id of an object by its ObjID: "" and 0 when unknown.
    static std::string ObjNameByID(IESQLiteDatabase& Db, std::int32_t ObjID);
    static std::int32_t ParentIDByID(IESQLiteDatabase& Db, std::int32_t ObjID);

protected:
    // The database, or a raise "<Class>.<Operation>: no database".
    IESQLiteDatabase& CheckedDatabase(std::string_view Operation) const;
    // The write statement, prepared first when there is none.
    const IESQLitePreparedStatementPtr& WriteStatement();
    const IESQLiteSelectStatementPtr& SelectStatement() const { return FSelect; }
    // Applies the rowid rule after the write statement ran.
    void TakeRowID();
    // Members of the JSON object of ToJSON: (key, JSON value) pairs; descendants append.
    virtual std::vector<std::pair<std::string, std::string>> JSONMembers() const;
    // A JSON string literal of Text.
    static std::string JSONQuote(std::string_view Text);

    std::string FFileName;
    std::int32_t FObjID = 0;
    std::uint8_t FObjType = 0;
    std::string FName;
    std::int64_t FBegTime = 0;
    std::int64_t FEndTime = 0;
    std::int64_t FSize = 0;
    std::int32_t FLinkObj1 = 0;
    std::uint8_t FLinkTyp1 = 0;
    std::int32_t FLinkObj2 = 0;
    std::uint8_t FLinkTyp2 = 0;
    std::int64_t FMode = 0;
    std::int32_t FStyleID = 0;
    std::string FObjLabel;
    bool FVisible = true;
    bool FEnabled = true;
    // Descendants whose ObjID is the rowid of their table set this flag.
    bool FObjIDFromRowID = false;
    std::weak_ptr<IZQS_Object> FParent;
    std::int32_t FParentID = 0;
    IESQLitePreparedStatementPtr FWrite;
    IESQLiteSelectStatementPtr FSelect;
    std::string FTableName;
    std::vector<std::string> FFieldNames;
    TVariantArray FRow;
    // Upper-cased column name of the cursor -> column index.
    std::unordered_map<std::string, int> FDictionary;
    std::vector<std::string> FWriteFields;
    bool FSpareFlag = false;
    bool FTemporaryDb = false;
    int FWriteMode = wmInsert;
    std::int64_t FTag = 0;
    // A value handed from parent to child; no code of the converter interprets it.
    std::int64_t FInherited64 = 0;
};

// ---------------------------------------------------------------------------------------
// TZQS_ScObject: keyed by time and satellite system; writes with INSERT OR IGNORE.

class TZQS_ScObject : public TZQS_Object, public virtual IZQS_ScObject {
public:
    void InitFields() override;

    std::uint8_t GetSatCode() const override { return FSatCode; }
    void SetSatCode(std::uint8_t Value) { FSatCode = Value; }
    std::int64_t GetKeyTime() const override { return GetBegTime(); }
    void SetKeyTime(std::int64_t Value) override { SetBegTime(Value); }
    // Key time + system code; 0 when the system code is 0.
    std::int64_t GetKey() const override;

protected:
    std::uint8_t FSatCode = 0;
};

// ---------------------------------------------------------------------------------------
// TZQS_SvObject: keyed by time and satellite.

class TZQS_SvObject : public TZQS_ScObject, public virtual IZQS_SvObject {
public:
    std::uint16_t GetSvprn() const override { return FSvprn; }
    void SetSvprn(std::uint16_t Value) { FSvprn = Value; }
    // Key time + svprn; 0 when svprn is 0.
    std::int64_t GetKey() const override;

protected:
    std::uint16_t FSvprn = 0;
};

// ---------------------------------------------------------------------------------------
// TZQS_ObsContainer: base of the recordset classes; holds its current item.

class TZQS_ObsContainer : public TZQS_Object {
public:
    IZQS_ObjectPtr GetItem() const { return FItem; }
    void SetItem(IZQS_ObjectPtr Value) { FItem = std::move(Value); }

protected:
    IZQS_ObjectPtr FItem;
};

}  // namespace zqt_classes_dbs
