// SQLite access: one connection class behind the reference-counted interface
// IESQLiteDatabase, prepared, insert, update and select statements, the registry of user
// SQL functions of a connection, and the formatting routine used to build SQL texts. The
// worker thread that writes behind a connection is in SQLiteWriteBehind.h.
//
// Every failure is an ESQLiteException (or a descendant) whose message is the operation's
// text followed by '.\rError [code]: <English text>.\r"<SQL>": <SQLite's message>'.
//
// Ownership: a statement holds its database (one shared reference); the database only
// knows its statements (non-owning), so that Close can finalise them. A database closes
// when its last reference goes (an open transaction is rolled back first).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "SQLiteWriteBehind.h"
#include "sysutils.h"
#include "zqt_objects_intrf.h"
#include "zqt_variant.h"

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_context;
struct sqlite3_value;

namespace SQLiteExt {

using zqt_variant::TBytes;
using zqt_variant::TVariantArray;
using zqt_variant::TVariantMatrix;
using zqt_variant::Variant;

// ---------------------------------------------------------------------------------------
// Exceptions

using sysutils::Exception;

ZQT_DECLARE_EXCEPTION(ESQLiteException, Exception, "ESQLiteException");
// Result code 19: a constraint (unique key, not null, ...) was violated.
ZQT_DECLARE_EXCEPTION(ESQLiteUniqueConstrain, ESQLiteException, "ESQLiteUniqueConstrain");
// Result code 9: the operation was interrupted (IESQLiteDatabase::Interrupt).
ZQT_DECLARE_EXCEPTION(ESQLiteInterrupted, ESQLiteException, "ESQLiteInterrupted");
// A name missing from a column dictionary (IESQLiteSelectStatement::Field).
ZQT_DECLARE_EXCEPTION(EListError, Exception, "EListError");

// Raises the error of the connection: Message alone when the connection reports no error
// (or there is no connection), otherwise Message with the code, its English text, the SQL
// text and SQLite's message; ESQLiteInterrupted for code 9, ESQLiteUniqueConstrain for
// code 19, ESQLiteException otherwise.
[[noreturn]] void RaiseError(sqlite3* Db, std::string_view Message, std::string_view SQL);

// ---------------------------------------------------------------------------------------
// Formatting of SQL texts

// The two-character escapes "\n", "\r" and "\t" of the template become CR LF, CR and TAB
// (in that order); then Format with "." as decimal separator.
std::string ExpandEscapes(std::string_view Template);
std::string FormatPtV(std::string_view Template, sysutils::TFormatArgs Args);
template <class... A>
std::string FormatPt(std::string_view Template, const A&... Args) {
    const std::array<sysutils::FormatArg, sizeof...(A)> a{sysutils::FormatArg(Args)...};
    return FormatPtV(Template, sysutils::TFormatArgs(a.data(), a.size()));
}

// ---------------------------------------------------------------------------------------
// Column types

// How a column is read back, decided by its declared SQL type.
enum TESQlite_ColType : std::uint8_t {
    dtNone = 0,
    dtInt = 1,
    dtFloat = 2,
    dtStr = 3,
    dtBlob = 4,
    dtNull = 5,  // no known declared type: the type of the value in the current row
    dtBoolean = 6,
    dtDateTime = 7,
    dtCurrency = 8,
    dtGPSTime = 9,
    dtXYZ = 10,
    dtLAT = 11,
    dtLON = 12,
    dtALT = 13,
    dtSatNum = 14,
    dtSatCode = 15,
    dtObs = 16,
};

// The declared-type dictionary (SMALLINT, INTEGER, BOOLEAN, NUMERIC, FLOAT, DOUBLE, REAL,
// DATETIME, BLOB, CURRENCY, GPSTIME, TEXT, RXYZ, RLAT, RLON, RALT, ISATNUM, ISATCODE, IOBS;
// letter case ignored). False for any other text.
bool DeclTypeToColType(std::string_view DeclType, TESQlite_ColType& Type);

// Insert modes of PrepareInsert.
enum : int { imInsert = 0, imInsertOrReplace = 1, imInsertOrIgnore = 2 };

// ---------------------------------------------------------------------------------------
// Interfaces

class IESQLiteDatabase;
class IESQLitePreparedStatement;
class IESQLiteSelectStatement;
class TESQLitePreparedStatement;

using IESQLiteDatabasePtr = std::shared_ptr<IESQLiteDatabase>;
using IESQLitePreparedStatementPtr = std::shared_ptr<IESQLitePreparedStatement>;
using IESQLiteSelectStatementPtr = std::shared_ptr<IESQLiteSelectStatement>;

// Per-row callback of ExecCallback: the values (nullptr for NULL) and the column names of
// one result row. Returning non-zero stops the execution, which then raises; an exception
// thrown by the callback stops it too and is passed on unchanged.
using TExecRowCallback = std::function<int(int ColumnCount, char** Values, char** ColumnNames)>;

// Callback of the SQL function DoCallBack: (code, text) -> integer result.
using TDatabaseCallback = std::function<int(int Code, const std::string& Text)>;

class IESQLitePreparedStatement {
public:
    virtual ~IESQLitePreparedStatement() = default;

    // BindParams(Values), then Execute.
    virtual bool ExecuteParams(const TVariantArray& Values) = 0;
    // One step; True when the statement ran to its end. Any other outcome (a row
    // included) raises "Error executing SQL statement". The statement is reset afterwards
    // in every case; bindings stay.
    virtual bool Execute() = 0;
    virtual Variant NullValue() const = 0;
    virtual std::int64_t LastInsertRowID() = 0;
    virtual IESQLiteDatabasePtr GetDatabase() const = 0;
    virtual int ParamCount() = 0;
    // Finalises the SQLite statement; the object stays and becomes unusable.
    virtual void Finalize() = 0;
    virtual const std::string& GetSQL() const = 0;

    // Typed setters. Indexes are 0-based. A name is looked up upper-cased first, then as
    // given (with its ":" prefix); a name found in neither way binds nothing.
    virtual void SetParamInt(int Index, std::int64_t Value) = 0;
    virtual void SetParamInt64(int Index, std::int64_t Value) = 0;
    virtual void SetParamBool(int Index, bool Value) = 0;
    virtual void SetParamFloat(int Index, double Value) = 0;
    virtual void SetParamText(int Index, std::string_view Value) = 0;
    virtual void SetParamNull(int Index) = 0;
    virtual void SetParamVariant(int Index, const Variant& Value) = 0;
    virtual void SetParamBlob(int Index, const TBytes& Value) = 0;
    virtual void SetParamBlob(int Index, const void* Data, std::size_t Size) = 0;
    virtual void SetParamBlobVariant(int Index, const Variant& Value) = 0;
    // The bytes from the stream's current position to its end.
    virtual void SetParamBlobStream(int Index, std::istream& Stream) = 0;

    virtual void SetParamIntByName(std::string_view Name, std::int64_t Value) = 0;
    virtual void SetParamInt64ByName(std::string_view Name, std::int64_t Value) = 0;
    virtual void SetParamBoolByName(std::string_view Name, bool Value) = 0;
    virtual void SetParamFloatByName(std::string_view Name, double Value) = 0;
    virtual void SetParamTextByName(std::string_view Name, std::string_view Value) = 0;
    virtual void SetParamNullByName(std::string_view Name) = 0;
    virtual void SetParamVariantByName(std::string_view Name, const Variant& Value) = 0;
    virtual void SetParamBlobByName(std::string_view Name, const TBytes& Value) = 0;
    virtual void SetParamBlobByName(std::string_view Name, const void* Data, std::size_t Size) = 0;
    virtual void SetParamBlobVariantByName(std::string_view Name, const Variant& Value) = 0;
    virtual void SetParamBlobStreamByName(std::string_view Name, std::istream& Stream) = 0;

    // Value k to parameter k; an empty array binds nothing.
    virtual void BindParams(const TVariantArray& Values) = 0;
    // Pair k by name; the shorter array decides the count.
    virtual void BindParamsByName(std::span<const std::string> Names,
                                  const TVariantArray& Values) = 0;
    virtual void Reset() = 0;
    virtual void ClearBindings() = 0;

protected:
    IESQLitePreparedStatement() = default;
};

class IESQLiteSelectStatement : public virtual IESQLitePreparedStatement {
public:
    // Upper-cased, de-duplicated name (A, A2, A3 ...).
    virtual const std::string& ColumnName(int Index) const = 0;
    // SQLite's declared type text; empty for an expression.
    virtual std::string ColumnDeclType(int Index) const = 0;
    // The column's type; for dtNull the SQLite type of the current row's value.
    virtual TESQlite_ColType ColumnType(int Index) const = 0;
    // Value of a column given by index (integer or Boolean key) or by name; a missing
    // name raises EListError "Dictionary key does not exist".
    virtual Variant Field(const Variant& Key) const = 0;
    // Value of the named column; Null when there is none.
    virtual Variant ValueByName(std::string_view Name) const = 0;
    // Value of column Index of the current row, read by the column's type; raises
    // "Table is at End of File" after the last row.
    virtual Variant Value(int Index) const = 0;
    virtual int ColumnCount() const = 0;
    virtual bool Bof() const = 0;
    virtual bool Eof() const = 0;
    virtual std::vector<std::int32_t> RowIntegers() const = 0;
    virtual TVariantArray RowValues() const = 0;
    virtual std::vector<std::string> ColumnNames() const = 0;
    virtual std::vector<TESQlite_ColType> ColumnTypes() const = 0;
    // Value of column Index read as the given type.
    virtual Variant ValueRaw(int Index, TESQlite_ColType Type) const = 0;
    // Copies the blob when its size equals Size exactly; True then.
    virtual bool ColumnToBuffer(int Index, void* Buffer, std::size_t Size) const = 0;
    // Writes the blob to the stream when it has at least one byte; True then.
    virtual bool ColumnToStream(int Index, std::ostream& Stream) const = 0;
    virtual bool HasColumn(std::string_view Name) const = 0;
    virtual bool IsNull(int Index) const = 0;
    // Steps to the next row: True on a row, False at the end; an error raises.
    virtual bool Next() = 0;
    // With values: reset and bind them; then Next.
    virtual bool Requery(const TVariantArray& Values) = 0;
};

class IESQLiteDatabase {
public:
    virtual ~IESQLiteDatabase() = default;

    // The worker that writes behind the connection's thread.
    virtual TESQLiteWriteBehind& WriteBehind() const = 0;

    // The SQLite connection (nullptr once closed).
    virtual sqlite3* Handle() const = 0;

    // Online copy of schema "main" into schema "main" of Target; the step's result code
    // (101 when everything was copied).
    virtual int Backup(IESQLiteDatabase& Target) = 0;
    virtual void Attach(const std::string& FileName, const std::string& Alias) = 0;
    virtual void Detach(const std::string& Alias) = 0;
    virtual void BeginTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Close() = 0;
    virtual void Rollback() = 0;
    // One statement; a remainder after the first is ignored. A returned row raises.
    virtual void ExecSQL(const std::string& SQL) = 0;
    // The pieces of Text between separators, each trimmed and run with the separator
    // appended; blank pieces are skipped. Notify gets the percentage after each piece.
    virtual void ExecScript(std::string_view Text,
                            const zqt_objects_intrf::TZQSProgressEvent& Notify = {},
                            std::string_view Separator = ";") = 0;
    // A whole multi-statement text.
    virtual void Exec(const std::string& SQL) = 0;
    virtual void ExecCallback(const std::string& SQL, const TExecRowCallback& Callback) = 0;

    virtual void RegisterStatement(TESQLitePreparedStatement* Statement) = 0;
    virtual void UnregisterStatement(TESQLitePreparedStatement* Statement) = 0;
    virtual void ResetStatements() = 0;
    // Every row: its value when the query has one column, else a Variant array of its
    // values.
    virtual TVariantArray SelectRows(const std::string& SQL) = 0;

    virtual std::int64_t LastInsertRowID() = 0;
    // QueryValue through the null-tolerant integer conversion (Null or blank gives 0).
    virtual std::int64_t QueryInt(const std::string& SQL) = 0;
    virtual int Changes() = 0;
    // The sql texts (each followed by ";") of the schema objects of one kind ("table",
    // "index", "trigger", "view"), optionally only of the named tables; sqlite_ objects
    // are left out.
    virtual std::vector<std::string> GetSchema(const std::string& Kind,
                                               std::span<const std::string> Tables = {}) = 0;

    virtual IESQLitePreparedStatementPtr Prepare(const std::string& SQL) = 0;
    virtual IESQLitePreparedStatementPtr PrepareInsert(const std::string& Table,
                                                       std::span<const std::string> Fields,
                                                       int Mode) = 0;
    virtual IESQLitePreparedStatementPtr PrepareInsert(const std::string& Table,
                                                       const std::string& Fields, int Mode) = 0;
    virtual IESQLiteSelectStatementPtr PrepareSelect(const std::string& SQL) = 0;
    virtual IESQLiteSelectStatementPtr PrepareSelectParams(const std::string& SQL,
                                                           const TVariantArray& Values) = 0;
    virtual IESQLitePreparedStatementPtr PrepareUpdate(const std::string& Table,
                                                       std::span<const std::string> Fields,
                                                       const std::string& Where) = 0;
    virtual IESQLitePreparedStatementPtr PrepareUpdate(const std::string& Table,
                                                       const std::string& Fields,
                                                       const std::string& Where) = 0;
    // Stores a Boolean that no operation of the connection reads: the connection's
    // behaviour stays the same whatever it is set to.
    virtual void SetDebugFlag(bool Value) = 0;
    virtual void Interrupt() = 0;

    // First column of the first row; Null when there is no row.
    virtual Variant QueryValue(const std::string& SQL) = 0;
    virtual TVariantMatrix SelectMatrix(const std::string& SQL) = 0;
    // The first row; empty when there is none.
    virtual TVariantArray SelectFirstRow(const std::string& SQL) = 0;
    virtual std::vector<std::int32_t> SelectIntColumn(const std::string& SQL) = 0;
    virtual std::vector<double> SelectFloatColumn(const std::string& SQL) = 0;
    virtual std::vector<double> SelectFirstRowFloats(const std::string& SQL) = 0;
    // Every value of every row, row by row, as text.
    virtual std::vector<std::string> SelectStrColumn(const std::string& SQL) = 0;
    virtual std::vector<std::int64_t> SelectInt64Column(const std::string& SQL) = 0;
    // Column names of the table (upper-cased, de-duplicated).
    virtual std::vector<std::string> GetTableFields(const std::string& Table) = 0;

    virtual const std::string& GetFileName() const = 0;
    virtual bool InTransaction() const = 0;
    virtual void SetInTransaction(bool Value) = 0;

    // Formatting forms: FormatPt of the template and arguments, then the plain operation.
    template <class... A>
    void ExecSQLFmt(std::string_view Template, const A&... Args) {
        ExecSQL(FormatPt(Template, Args...));
    }
    template <class... A>
    void ExecScriptFmt(std::string_view Template,
                       const zqt_objects_intrf::TZQSProgressEvent& Notify, const A&... Args) {
        ExecScript(FormatPt(Template, Args...), Notify, ";");
    }
    template <class... A>
    void ExecFmt(std::string_view Template, const A&... Args) {
        Exec(FormatPt(Template, Args...));
    }
    template <class... A>
    std::int64_t QueryIntFmt(std::string_view Template, const A&... Args) {
        return QueryInt(FormatPt(Template, Args...));
    }
    template <class... A>
    IESQLitePreparedStatementPtr PrepareFmt(std::string_view Template, const A&... Args) {
        return Prepare(FormatPt(Template, Args...));
    }
    template <class... A>
    IESQLiteSelectStatementPtr PrepareSelectFmt(std::string_view Template, const A&... Args) {
        return PrepareSelect(FormatPt(Template, Args...));
    }
    template <class... A>
    Variant QueryValueFmt(std::string_view Template, const A&... Args) {
        return QueryValue(FormatPt(Template, Args...));
    }
    template <class... A>
    TVariantMatrix SelectMatrixFmt(std::string_view Template, const A&... Args) {
        return SelectMatrix(FormatPt(Template, Args...));
    }
    template <class... A>
    TVariantArray SelectFirstRowFmt(std::string_view Template, const A&... Args) {
        return SelectFirstRow(FormatPt(Template, Args...));
    }
    template <class... A>
    std::vector<std::int32_t> SelectIntColumnFmt(std::string_view Template, const A&... Args) {
        return SelectIntColumn(FormatPt(Template, Args...));
    }
    template <class... A>
    std::vector<double> SelectFloatColumnFmt(std::string_view Template, const A&... Args) {
        return SelectFloatColumn(FormatPt(Template, Args...));
    }
    template <class... A>
    std::vector<double> SelectFirstRowFloatsFmt(std::string_view Template, const A&... Args) {
        return SelectFirstRowFloats(FormatPt(Template, Args...));
    }
    template <class... A>
    std::vector<std::string> SelectStrColumnFmt(std::string_view Template, const A&... Args) {
        return SelectStrColumn(FormatPt(Template, Args...));
    }
    template <class... A>
    std::vector<std::int64_t> SelectInt64ColumnFmt(std::string_view Template, const A&... Args) {
        return SelectInt64Column(FormatPt(Template, Args...));
    }

protected:
    IESQLiteDatabase() = default;
};

// Rolls back the open transaction after an error ended the work; a failing rollback is
// ignored, so that the error that ended the work is the one reported.
void RollbackQuietly(IESQLiteDatabase& Db) noexcept;

// ---------------------------------------------------------------------------------------
// Registry of user SQL functions of one connection

class TSQLiteFunctions {
public:
    // Body of a scalar function or of the step of an aggregate: the call context, the
    // argument count and the arguments.
    using TScalarMethod = std::function<void(sqlite3_context*, int, sqlite3_value**)>;
    // Final step of an aggregate.
    using TFinalMethod = std::function<void(sqlite3_context*)>;

    explicit TSQLiteFunctions(sqlite3* Db) : FDb(Db) {}
    TSQLiteFunctions(const TSQLiteFunctions&) = delete;
    TSQLiteFunctions& operator=(const TSQLiteFunctions&) = delete;

    // Registers Name with ArgCount arguments (-1: any number); refusal raises
    // "Cannot add scalar function <Name>". An exception of Method becomes the SQL error of
    // the call.
    void AddScalarFunction(const std::string& Name, int ArgCount, TScalarMethod Method);
    // Refusal raises "Cannot add aggregate function <Name>".
    void AddAggregateFunction(const std::string& Name, int ArgCount, TScalarMethod StepMethod,
                              TFinalMethod FinalMethod);

    // Value and result wrappers of the functions. A missing argument (index beyond the
    // count) or NULL reads as 0 or the empty text.
    static int ValueType(int Argc, sqlite3_value** Argv, int Index);
    static double ValueDouble(int Argc, sqlite3_value** Argv, int Index);
    static std::int64_t ValueInt64(int Argc, sqlite3_value** Argv, int Index);
    static std::string ValueText(int Argc, sqlite3_value** Argv, int Index);
    static void ResultDouble(sqlite3_context* Ctx, double Value);
    static void ResultInt64(sqlite3_context* Ctx, std::int64_t Value);
    static void ResultNull(sqlite3_context* Ctx);
    static void ResultText(sqlite3_context* Ctx, std::string_view Value);
    static void ResultBlob(sqlite3_context* Ctx, const void* Data, std::size_t Size);
    static void ResultError(sqlite3_context* Ctx, std::string_view Message);

    struct TFunctionRecord {
        TSQLiteFunctions* Owner = nullptr;
        TScalarMethod Scalar;
        TScalarMethod Step;
        TFinalMethod Final;
        std::uint8_t Kind = 0;  // 0 scalar, 1 aggregate
        std::string Name;       // upper-cased
    };

private:
    sqlite3* FDb;
    std::vector<std::unique_ptr<TFunctionRecord>> FRecords;
};

// ---------------------------------------------------------------------------------------
// The connection

class TESQLiteDatabase_nodebug : public IESQLiteDatabase,
                                 public std::enable_shared_from_this<TESQLiteDatabase_nodebug> {
protected:
    // Only the factories make connection objects: they construct, open, then run AfterOpen.
    struct TOpenKey {
    private:
        TOpenKey() = default;
        friend class TESQLiteDatabase_nodebug;
    };

public:
    explicit TESQLiteDatabase_nodebug(TOpenKey) {}
    ~TESQLiteDatabase_nodebug() override;
    TESQLiteDatabase_nodebug(const TESQLiteDatabase_nodebug&) = delete;
    TESQLiteDatabase_nodebug& operator=(const TESQLiteDatabase_nodebug&) = delete;

    // Opens FileName (an empty name: SQLite's private temporary database, removed when
    // closed; ":memory:": an in-memory one). Flags are stored only.
    static std::shared_ptr<TESQLiteDatabase_nodebug> Create(const std::string& FileName = "",
                                                            int Flags = 0);
    static std::string SQLiteVersion();

    // The owner's callback for the SQL function DoCallBack.
    void SetCallback(TDatabaseCallback Callback) { FCallback = std::move(Callback); }
    const TDatabaseCallback& GetCallback() const { return FCallback; }
    int GetFlags() const { return FFlags; }

    // IESQLiteDatabase
    sqlite3* Handle() const override { return FDb; }
    TESQLiteWriteBehind& WriteBehind() const override { return FWriteBehind; }
    int Backup(IESQLiteDatabase& Target) override;
    void Attach(const std::string& FileName, const std::string& Alias) override;
    void Detach(const std::string& Alias) override;
    void BeginTransaction() override;
    void Commit() override;
    void Close() override;
    void Rollback() override;
    void ExecSQL(const std::string& SQL) override;
    // (The defaults repeat those of the interface.)
    void ExecScript(std::string_view Text, const zqt_objects_intrf::TZQSProgressEvent& Notify = {},
                    std::string_view Separator = ";") override;
    void Exec(const std::string& SQL) override;
    void ExecCallback(const std::string& SQL, const TExecRowCallback& Callback) override;
    void RegisterStatement(TESQLitePreparedStatement* Statement) override;
    void UnregisterStatement(TESQLitePreparedStatement* Statement) override;
    void ResetStatements() override;
    TVariantArray SelectRows(const std::string& SQL) override;
    std::int64_t LastInsertRowID() override;
    std::int64_t QueryInt(const std::string& SQL) override;
    int Changes() override;
    std::vector<std::string> GetSchema(const std::string& Kind,
                                       std::span<const std::string> Tables = {}) override;
    IESQLitePreparedStatementPtr Prepare(const std::string& SQL) override;
    IESQLitePreparedStatementPtr PrepareInsert(const std::string& Table,
                                               std::span<const std::string> Fields,
                                               int Mode) override;
    IESQLitePreparedStatementPtr PrepareInsert(const std::string& Table, const std::string& Fields,
                                               int Mode) override;
    IESQLiteSelectStatementPtr PrepareSelect(const std::string& SQL) override;
    IESQLiteSelectStatementPtr PrepareSelectParams(const std::string& SQL,
                                                   const TVariantArray& Values) override;
    IESQLitePreparedStatementPtr PrepareUpdate(const std::string& Table,
                                               std::span<const std::string> Fields,
                                               const std::string& Where) override;
    IESQLitePreparedStatementPtr PrepareUpdate(const std::string& Table, const std::string& Fields,
                                               const std::string& Where) override;
    void SetDebugFlag(bool Value) override { FDebugFlag = Value; }
    void Interrupt() override;
    Variant QueryValue(const std::string& SQL) override;
    TVariantMatrix SelectMatrix(const std::string& SQL) override;
    TVariantArray SelectFirstRow(const std::string& SQL) override;
    std::vector<std::int32_t> SelectIntColumn(const std::string& SQL) override;
    std::vector<double> SelectFloatColumn(const std::string& SQL) override;
    std::vector<double> SelectFirstRowFloats(const std::string& SQL) override;
    std::vector<std::string> SelectStrColumn(const std::string& SQL) override;
    std::vector<std::int64_t> SelectInt64Column(const std::string& SQL) override;
    std::vector<std::string> GetTableFields(const std::string& Table) override;
    const std::string& GetFileName() const override { return FFileName; }
    bool InTransaction() const override { return FInTransaction; }
    void SetInTransaction(bool Value) override { FInTransaction = Value; }

protected:
    // Constructs T (a descendant), opens the file, then runs its AfterOpen.
    template <class T>
    static std::shared_ptr<T> OpenAs(const std::string& FileName, int Flags) {
        auto db = std::make_shared<T>(TOpenKey{});
        TESQLiteDatabase_nodebug& base = *db;
        base.DoOpen(FileName, Flags);
        base.AfterOpen();
        return db;
    }

    // Runs right after the file is opened; descendants register their SQL functions here.
    virtual void AfterOpen() {}
    TSQLiteFunctions& Functions() { return *FFunctions; }

private:
    void DoOpen(const std::string& FileName, int Flags);
    sqlite3* CheckedHandle() const;  // raises when closed
    void CloseNoThrow() noexcept;

    sqlite3* FDb = nullptr;
    bool FInTransaction = false;
    std::string FFileName;
    std::unique_ptr<TSQLiteFunctions> FFunctions;
    int FFlags = 0;
    TDatabaseCallback FCallback;
    // Registered statements, not owned: they register and unregister themselves.
    std::unordered_set<TESQLitePreparedStatement*> FStatements;
    bool FDebugFlag = false;  // set by SetDebugFlag, read by nothing
    // Declared last: its worker ends before anything else of the connection goes.
    mutable TESQLiteWriteBehind FWriteBehind;
};

// ---------------------------------------------------------------------------------------
// Statements

namespace detail {
// Case-insensitive (ASCII) hashing and comparison for name dictionaries, so that lookups
// by a name in any letter case need no upper-cased copy.
struct CaseInsensitiveHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept;
};
struct CaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};
struct ExactHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
        return std::hash<std::string_view>{}(s);
    }
};
}  // namespace detail

class TESQLitePreparedStatement : public virtual IESQLitePreparedStatement {
public:
    // Prepares SQL on Db and registers with it. Failures raise "Error executing SQL" or,
    // for a text without a statement, "Could not prepare SQL statement".
    TESQLitePreparedStatement(IESQLiteDatabasePtr Db, std::string SQL);
    ~TESQLitePreparedStatement() override;
    TESQLitePreparedStatement(const TESQLitePreparedStatement&) = delete;
    TESQLitePreparedStatement& operator=(const TESQLitePreparedStatement&) = delete;

    bool ExecuteParams(const TVariantArray& Values) override;
    bool Execute() override;
    Variant NullValue() const override { return Variant::Null(); }
    std::int64_t LastInsertRowID() override;
    IESQLiteDatabasePtr GetDatabase() const override { return FDatabase; }
    int ParamCount() override;
    void Finalize() override;
    const std::string& GetSQL() const override { return FSQL; }

    void SetParamInt(int Index, std::int64_t Value) override;
    void SetParamInt64(int Index, std::int64_t Value) override;
    void SetParamBool(int Index, bool Value) override;
    void SetParamFloat(int Index, double Value) override;
    void SetParamText(int Index, std::string_view Value) override;
    void SetParamNull(int Index) override;
    void SetParamVariant(int Index, const Variant& Value) override;
    void SetParamBlob(int Index, const TBytes& Value) override;
    void SetParamBlob(int Index, const void* Data, std::size_t Size) override;
    void SetParamBlobVariant(int Index, const Variant& Value) override;
    void SetParamBlobStream(int Index, std::istream& Stream) override;

    void SetParamIntByName(std::string_view Name, std::int64_t Value) override;
    void SetParamInt64ByName(std::string_view Name, std::int64_t Value) override;
    void SetParamBoolByName(std::string_view Name, bool Value) override;
    void SetParamFloatByName(std::string_view Name, double Value) override;
    void SetParamTextByName(std::string_view Name, std::string_view Value) override;
    void SetParamNullByName(std::string_view Name) override;
    void SetParamVariantByName(std::string_view Name, const Variant& Value) override;
    void SetParamBlobByName(std::string_view Name, const TBytes& Value) override;
    void SetParamBlobByName(std::string_view Name, const void* Data, std::size_t Size) override;
    void SetParamBlobVariantByName(std::string_view Name, const Variant& Value) override;
    void SetParamBlobStreamByName(std::string_view Name, std::istream& Stream) override;

    void BindParams(const TVariantArray& Values) override;
    void BindParamsByName(std::span<const std::string> Names, const TVariantArray& Values) override;
    void Reset() override;
    void ClearBindings() override;

    // Called by the database when it closes: the SQLite statement is finalised there and
    // forgotten here, so that it is never finalised twice.
    void ForgetStatement() noexcept { FStmt = nullptr; }
    sqlite3_stmt* StatementHandle() const noexcept { return FStmt; }

protected:
    // The statement, or a raise when it was finalised (or its database closed).
    sqlite3_stmt* Stmt() const;
    sqlite3* DbHandle() const noexcept { return FDbHandle; }
    // 0-based parameter index of a name, -1 when missing (cached per name).
    int ParamIndex(std::string_view Name);

private:
    IESQLiteDatabasePtr FDatabase;
    const TESQLiteWriteBehind* FWriteBehind = nullptr;  // the database's
    sqlite3* FDbHandle = nullptr;
    sqlite3_stmt* FStmt = nullptr;
    std::string FSQL;
    std::unordered_map<std::string, int, detail::ExactHash, std::equal_to<>> FParamIndex;
};

class TESQLiteInsertStatement : public TESQLitePreparedStatement {
public:
    // Mode's word + " INTO " + Table + " (A,B) VALUES(:A,:B)" (names trimmed, upper-cased).
    TESQLiteInsertStatement(IESQLiteDatabasePtr Db, const std::string& Table,
                            std::span<const std::string> Fields, int Mode);
    static std::string BuildSQL(const std::string& Table, std::span<const std::string> Fields,
                                int Mode);
    // "INSERT INTO " + Table + " (A,B) VALUES (?,?),(?,?)": Rows rows of positional
    // parameters, bound row after row by index.
    static std::string BuildRowsSQL(const std::string& Table, std::span<const std::string> Fields,
                                    std::size_t Rows);
};

class TESQLiteUpdateStatement : public TESQLitePreparedStatement {
public:
    // "UPDATE " + Table + " SET A = :A,B = :B" + " WHERE (" + Where + ")" when Where is set.
    TESQLiteUpdateStatement(IESQLiteDatabasePtr Db, const std::string& Table,
                            std::span<const std::string> Fields, const std::string& Where);
    static std::string BuildSQL(const std::string& Table, std::span<const std::string> Fields,
                                const std::string& Where);
};

class TESQLiteSelectStatement : public TESQLitePreparedStatement, public IESQLiteSelectStatement {
public:
    TESQLiteSelectStatement(IESQLiteDatabasePtr Db, std::string SQL);

    const std::string& ColumnName(int Index) const override;
    std::string ColumnDeclType(int Index) const override;
    TESQlite_ColType ColumnType(int Index) const override;
    Variant Field(const Variant& Key) const override;
    Variant ValueByName(std::string_view Name) const override;
    Variant Value(int Index) const override;
    int ColumnCount() const override { return FColumnCount; }
    bool Bof() const override { return FBof; }
    bool Eof() const override { return FEof; }
    std::vector<std::int32_t> RowIntegers() const override;
    TVariantArray RowValues() const override;
    std::vector<std::string> ColumnNames() const override { return FColumnNames; }
    std::vector<TESQlite_ColType> ColumnTypes() const override { return FColumnTypes; }
    Variant ValueRaw(int Index, TESQlite_ColType Type) const override;
    bool ColumnToBuffer(int Index, void* Buffer, std::size_t Size) const override;
    bool ColumnToStream(int Index, std::ostream& Stream) const override;
    bool HasColumn(std::string_view Name) const override;
    bool IsNull(int Index) const override;
    bool Next() override;
    bool Requery(const TVariantArray& Values) override;

private:
    void CheckIndex(int Index) const;
    Variant ReadValue(sqlite3_stmt* S, int Index, TESQlite_ColType Type) const;

    int FColumnCount = 0;
    std::unordered_map<std::string, int, detail::CaseInsensitiveHash, detail::CaseInsensitiveEqual>
        FColumnIndex;
    std::vector<std::string> FColumnNames;
    std::vector<TESQlite_ColType> FColumnTypes;
    bool FEof = false;
    bool FBof = true;
};

// Splits a comma-separated field list (items kept as given; the builders trim them).
std::vector<std::string> SplitFieldList(std::string_view Fields);

}  // namespace SQLiteExt
