#include "SQLiteExt.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <istream>
#include <ostream>

#include "SQLiteErrorText.h"

namespace SQLiteExt {

using zqt_variant::VarToFloatZ;
using zqt_variant::VarToInt64Z;
using zqt_variant::VarToStrZ;

namespace {

char AsciiUpper(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string UpperAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = AsciiUpper(c);
    return r;
}

// Drops characters <= ' ' at both ends.
std::string_view TrimBlank(std::string_view s) noexcept {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

// The quote character around the text, inner quote characters doubled.
std::string Quoted(std::string_view s, char quote) {
    std::string r;
    r.reserve(s.size() + 2);
    r.push_back(quote);
    for (char c : s) {
        if (c == quote) r.push_back(quote);
        r.push_back(c);
    }
    r.push_back(quote);
    return r;
}

// An identifier in double quotes; a text as an SQL string literal in single quotes.
std::string QuoteIdentifier(std::string_view s) { return Quoted(s, '"'); }
std::string QuoteLiteral(std::string_view s) { return Quoted(s, '\''); }

// Finalises a statement of a single call on every way out.
struct TStmtGuard {
    sqlite3_stmt* S = nullptr;
    ~TStmtGuard() {
        if (S) sqlite3_finalize(S);
    }
};

// SQLite's 1-based parameter index; out-of-range indexes map to 0, which SQLite refuses.
int SqlParamIndex(int Index) noexcept { return (Index < 0 || Index == INT_MAX) ? 0 : Index + 1; }

[[noreturn]] void ColumnIndexError(int Index, int Count) {
    throw ESQLiteException("Column index " + std::to_string(Index) + " out of range (" +
                           std::to_string(Count) + " columns)");
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Errors and formatting

void RaiseError(sqlite3* Db, std::string_view Message, std::string_view SQL) {
    const int code = Db ? sqlite3_errcode(Db) : 0;
    if (code == 0) throw ESQLiteException(std::string(Message));
    const char* native = sqlite3_errmsg(Db);
    std::string msg;
    msg.reserve(Message.size() + SQL.size() + 96);
    msg.append(Message);
    msg.append(".\rError [").append(std::to_string(code)).append("]: ");
    msg.append(SQLiteErrorText(code));
    msg.append(".\r\"").append(SQL).append("\": ");
    msg.append(native ? native : "");
    switch (code) {
        case SQLITE_INTERRUPT: throw ESQLiteInterrupted(std::move(msg));
        case SQLITE_CONSTRAINT: throw ESQLiteUniqueConstrain(std::move(msg));
        default: throw ESQLiteException(std::move(msg));
    }
}

std::string ExpandEscapes(std::string_view Template) {
    std::string r;
    r.reserve(Template.size() + 8);
    for (std::size_t i = 0; i < Template.size(); ++i) {
        const char c = Template[i];
        if (c == '\\' && i + 1 < Template.size()) {
            const char n = Template[i + 1];
            if (n == 'n') {
                r.append("\r\n");
                ++i;
                continue;
            }
            if (n == 'r') {
                r.push_back('\r');
                ++i;
                continue;
            }
            if (n == 't') {
                r.push_back('\t');
                ++i;
                continue;
            }
        }
        r.push_back(c);
    }
    return r;
}

std::string FormatPtV(std::string_view Template, sysutils::TFormatArgs Args) {
    if (Template.find('\\') == std::string_view::npos)
        return sysutils::FormatV(Template, Args, sysutils::PointFormatSettings());
    return sysutils::FormatV(ExpandEscapes(Template), Args, sysutils::PointFormatSettings());
}

// ---------------------------------------------------------------------------------------
// Declared types

bool DeclTypeToColType(std::string_view DeclType, TESQlite_ColType& Type) {
    struct TEntry {
        std::string_view Name;
        TESQlite_ColType Type;
    };
    static constexpr TEntry kTypes[] = {
        {"SMALLINT", dtInt},      {"INTEGER", dtInt},       {"BOOLEAN", dtBoolean},
        {"NUMERIC", dtFloat},     {"FLOAT", dtFloat},       {"DOUBLE", dtFloat},
        {"REAL", dtFloat},        {"DATETIME", dtDateTime}, {"BLOB", dtBlob},
        {"CURRENCY", dtCurrency}, {"GPSTIME", dtGPSTime},   {"TEXT", dtStr},
        {"RXYZ", dtXYZ},          {"RLAT", dtLAT},          {"RLON", dtLON},
        {"RALT", dtALT},          {"ISATNUM", dtSatNum},    {"ISATCODE", dtSatCode},
        {"IOBS", dtObs},
    };
    const detail::CaseInsensitiveEqual eq;
    for (const TEntry& e : kTypes) {
        if (eq(e.Name, DeclType)) {
            Type = e.Type;
            return true;
        }
    }
    return false;
}

namespace detail {

std::size_t CaseInsensitiveHash::operator()(std::string_view s) const noexcept {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (char c : s) {
        h ^= static_cast<unsigned char>(AsciiUpper(c));
        h *= 1099511628211ull;
    }
    return static_cast<std::size_t>(h);
}

bool CaseInsensitiveEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

}  // namespace detail

std::vector<std::string> SplitFieldList(std::string_view Fields) {
    std::vector<std::string> r;
    std::size_t start = 0;
    while (true) {
        const std::size_t p = Fields.find(',', start);
        if (p == std::string_view::npos) {
            r.emplace_back(Fields.substr(start));
            break;
        }
        r.emplace_back(Fields.substr(start, p - start));
        start = p + 1;
    }
    return r;
}

// ---------------------------------------------------------------------------------------
// Function registry

namespace {

template <class F, class... A>
void CallGuarded(sqlite3_context* Ctx, const F& Method, A... Args) noexcept {
    try {
        if (Method)
            Method(Ctx, Args...);
        else
            sqlite3_result_null(Ctx);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(Ctx);
    } catch (const std::exception& e) {
        sqlite3_result_error(Ctx, e.what(), -1);
    } catch (...) {
        sqlite3_result_error(Ctx, "Unknown error in SQL function", -1);
    }
}

void ScalarDispatch(sqlite3_context* Ctx, int Argc, sqlite3_value** Argv) {
    auto* rec = static_cast<TSQLiteFunctions::TFunctionRecord*>(sqlite3_user_data(Ctx));
    CallGuarded(Ctx, rec->Scalar, Argc, Argv);
}

void StepDispatch(sqlite3_context* Ctx, int Argc, sqlite3_value** Argv) {
    auto* rec = static_cast<TSQLiteFunctions::TFunctionRecord*>(sqlite3_user_data(Ctx));
    CallGuarded(Ctx, rec->Step, Argc, Argv);
}

void FinalDispatch(sqlite3_context* Ctx) {
    auto* rec = static_cast<TSQLiteFunctions::TFunctionRecord*>(sqlite3_user_data(Ctx));
    CallGuarded(Ctx, rec->Final);
}

}  // namespace

void TSQLiteFunctions::AddScalarFunction(const std::string& Name, int ArgCount,
                                         TScalarMethod Method) {
    auto rec = std::make_unique<TFunctionRecord>();
    rec->Owner = this;
    rec->Scalar = std::move(Method);
    rec->Kind = 0;
    rec->Name = UpperAscii(Name);
    FRecords.reserve(FRecords.size() + 1);
    const int rc = sqlite3_create_function(FDb, Name.c_str(), ArgCount, SQLITE_ANY, rec.get(),
                                           ScalarDispatch, nullptr, nullptr);
    if (rc != SQLITE_OK) RaiseError(FDb, "Cannot add scalar function " + Name, "");
    FRecords.push_back(std::move(rec));
}

void TSQLiteFunctions::AddAggregateFunction(const std::string& Name, int ArgCount,
                                            TScalarMethod StepMethod, TFinalMethod FinalMethod) {
    auto rec = std::make_unique<TFunctionRecord>();
    rec->Owner = this;
    rec->Step = std::move(StepMethod);
    rec->Final = std::move(FinalMethod);
    rec->Kind = 1;
    rec->Name = UpperAscii(Name);
    FRecords.reserve(FRecords.size() + 1);
    const int rc = sqlite3_create_function(FDb, Name.c_str(), ArgCount, SQLITE_ANY, rec.get(),
                                           nullptr, StepDispatch, FinalDispatch);
    if (rc != SQLITE_OK) RaiseError(FDb, "Cannot add aggregate function " + Name, "");
    FRecords.push_back(std::move(rec));
}

int TSQLiteFunctions::ValueType(int Argc, sqlite3_value** Argv, int Index) {
    if (Index < 0 || Index >= Argc) return SQLITE_NULL;
    return sqlite3_value_type(Argv[Index]);
}

double TSQLiteFunctions::ValueDouble(int Argc, sqlite3_value** Argv, int Index) {
    if (Index < 0 || Index >= Argc) return 0.0;
    return sqlite3_value_double(Argv[Index]);
}

std::int64_t TSQLiteFunctions::ValueInt64(int Argc, sqlite3_value** Argv, int Index) {
    if (Index < 0 || Index >= Argc) return 0;
    return sqlite3_value_int64(Argv[Index]);
}

std::string TSQLiteFunctions::ValueText(int Argc, sqlite3_value** Argv, int Index) {
    if (Index < 0 || Index >= Argc) return std::string();
    const unsigned char* t = sqlite3_value_text(Argv[Index]);
    if (!t) return std::string();
    return std::string(reinterpret_cast<const char*>(t),
                       static_cast<std::size_t>(sqlite3_value_bytes(Argv[Index])));
}

void TSQLiteFunctions::ResultDouble(sqlite3_context* Ctx, double Value) {
    sqlite3_result_double(Ctx, Value);
}

void TSQLiteFunctions::ResultInt64(sqlite3_context* Ctx, std::int64_t Value) {
    sqlite3_result_int64(Ctx, Value);
}

void TSQLiteFunctions::ResultNull(sqlite3_context* Ctx) { sqlite3_result_null(Ctx); }

void TSQLiteFunctions::ResultText(sqlite3_context* Ctx, std::string_view Value) {
    sqlite3_result_text64(Ctx, Value.empty() ? "" : Value.data(), Value.size(), SQLITE_TRANSIENT,
                          SQLITE_UTF8);
}

void TSQLiteFunctions::ResultBlob(sqlite3_context* Ctx, const void* Data, std::size_t Size) {
    static const char kEmpty = 0;
    sqlite3_result_blob64(Ctx, Size ? Data : &kEmpty, Size, SQLITE_TRANSIENT);
}

void TSQLiteFunctions::ResultError(sqlite3_context* Ctx, std::string_view Message) {
    sqlite3_result_error(Ctx, Message.data(), static_cast<int>(Message.size()));
}

// ---------------------------------------------------------------------------------------
// Connection

std::shared_ptr<TESQLiteDatabase_nodebug> TESQLiteDatabase_nodebug::Create(
    const std::string& FileName, int Flags) {
    return OpenAs<TESQLiteDatabase_nodebug>(FileName, Flags);
}

std::string TESQLiteDatabase_nodebug::SQLiteVersion() { return sqlite3_libversion(); }

// =======================================================================================
// The connection

TESQLiteDatabase_nodebug::~TESQLiteDatabase_nodebug() { CloseNoThrow(); }

void TESQLiteDatabase_nodebug::DoOpen(const std::string& FileName, int Flags) {
    FFileName = FileName;
    FFlags = Flags;
    sqlite3* db = nullptr;
    // A connection is used by one thread at a time (the program is single-threaded; the
    // navigation store guards its own with the data-access lock), so SQLite's mutex per
    // connection is left out: it costs a few per cent of every conversion.
    const int rc =
        sqlite3_open_v2(FileName.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        if (!db)
            throw ESQLiteException("Failed to open database \"" + FileName + "\" : unknown error");
        std::string native = sqlite3_errmsg(db);
        sqlite3_close_v2(db);
        throw ESQLiteException("Failed to open database \"" + FileName + "\" : " + native);
    }
    FDb = db;
    // Later SQL writes string literals in double quotes.
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_DQS_DML, 1, static_cast<int*>(nullptr));
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_DQS_DDL, 1, static_cast<int*>(nullptr));
    FFunctions = std::make_unique<TSQLiteFunctions>(FDb);
}

sqlite3* TESQLiteDatabase_nodebug::CheckedHandle() const {
    FWriteBehind.Sync();
    if (!FDb) throw ESQLiteException("Database \"" + FFileName + "\" is closed");
    return FDb;
}

int TESQLiteDatabase_nodebug::Backup(IESQLiteDatabase& Target) {
    sqlite3* src = CheckedHandle();
    Target.WriteBehind().Sync();
    sqlite3* dst = Target.Handle();
    if (!dst) throw ESQLiteException("Could not initialize backup: target database is closed");
    sqlite3_backup* b = sqlite3_backup_init(dst, "main", src, "main");
    if (!b) RaiseError(dst, "Could not initialize backup", "");
    const int rc = sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    return rc;
}

void TESQLiteDatabase_nodebug::Attach(const std::string& FileName, const std::string& Alias) {
    // The file name goes in as a string literal, inner quotes doubled, so any character of a
    // path is safe and an error names the file.
    ExecSQL("ATTACH " + QuoteLiteral(FileName) + " AS " + QuoteIdentifier(Alias));
}

void TESQLiteDatabase_nodebug::Detach(const std::string& Alias) {
    ExecSQL("DETACH " + QuoteIdentifier(Alias));
}

void TESQLiteDatabase_nodebug::BeginTransaction() {
    if (FInTransaction) throw ESQLiteException("Transaction already open");
    try {
        ExecSQL("BEGIN TRANSACTION");
    } catch (const ESQLiteException& e) {
        if (e.Message().find("cannot start a transaction within a transaction") ==
            std::string::npos)
            throw;
    }
    FInTransaction = true;
}

void TESQLiteDatabase_nodebug::Commit() {
    // A failed job behind raises here, while the transaction is still known to be open,
    // so that the caller's rollback ends it.
    FWriteBehind.Sync();
    const bool open = FInTransaction;
    FInTransaction = false;
    if (open) ExecSQL("COMMIT");
}

void TESQLiteDatabase_nodebug::Rollback() {
    // The failure of a job behind stays for the next use: the rollback itself must not be
    // stopped by it.
    FWriteBehind.SyncNoThrow();
    const bool open = FInTransaction;
    FInTransaction = false;
    // SQLite ends the transaction itself after some errors (a full disk, no memory): then
    // there is nothing left to roll back.
    if (!open || !FDb || sqlite3_get_autocommit(FDb) != 0) return;
    if (sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK)
        RaiseError(FDb, "Error executing SQL", "ROLLBACK");
}

void RollbackQuietly(IESQLiteDatabase& Db) noexcept {
    try {
        Db.Rollback();
    } catch (...) {
        // The error that ended the work is the one to report.
    }
}

void TESQLiteDatabase_nodebug::Close() { CloseNoThrow(); }

void TESQLiteDatabase_nodebug::CloseNoThrow() noexcept {
    FWriteBehind.SyncNoThrow();
    // Finalise the statements still registered and make them forget their handles, so
    // that their own destruction later finalises nothing.
    for (TESQLitePreparedStatement* s : FStatements) {
        if (sqlite3_stmt* h = s->StatementHandle()) {
            sqlite3_reset(h);
            sqlite3_finalize(h);
        }
        s->ForgetStatement();
    }
    FStatements.clear();
    if (FInTransaction && FDb) {
        try {
            Rollback();
        } catch (...) {
            // Closing the connection discards the transaction anyway.
        }
    }
    FInTransaction = false;
    if (FDb) {
        sqlite3_close_v2(FDb);
        FDb = nullptr;
    }
    // The function records outlive the connection that calls them.
    FFunctions.reset();
}

void TESQLiteDatabase_nodebug::ExecSQL(const std::string& SQL) {
    sqlite3* db = CheckedHandle();
    TStmtGuard g;
    const int rc = sqlite3_prepare_v2(db, SQL.c_str(), -1, &g.S, nullptr);
    if (rc != SQLITE_OK) RaiseError(db, "Error executing SQL", SQL);
    if (!g.S) RaiseError(db, "Could not prepare SQL statement", SQL);
    if (sqlite3_step(g.S) != SQLITE_DONE) {
        sqlite3_reset(g.S);
        RaiseError(db, "Error executing SQL statement", SQL);
    }
}

void TESQLiteDatabase_nodebug::ExecScript(std::string_view Text,
                                          const zqt_objects_intrf::TZQSProgressEvent& Notify,
                                          std::string_view Separator) {
    CheckedHandle();
    std::vector<std::string_view> pieces;
    if (Separator.empty()) {
        pieces.push_back(Text);
    } else {
        std::size_t start = 0;
        while (true) {
            const std::size_t p = Text.find(Separator, start);
            if (p == std::string_view::npos) {
                pieces.push_back(Text.substr(start));
                break;
            }
            pieces.push_back(Text.substr(start, p - start));
            start = p + Separator.size();
        }
    }
    const std::size_t n = pieces.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view t = TrimBlank(pieces[i]);
        if (!t.empty()) {
            std::string sql(t);
            sql.append(Separator);
            ExecSQL(sql);
        }
        if (Notify) {
            bool cancel = false;
            Notify(this, std::string(), 0.0, static_cast<std::int32_t>(i * 100 / n), cancel);
        }
    }
}

void TESQLiteDatabase_nodebug::Exec(const std::string& SQL) {
    sqlite3* db = CheckedHandle();
    char* err = nullptr;
    const int rc = sqlite3_exec(db, SQL.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) RaiseError(db, "Error executing SQL statement", SQL);
}

void TESQLiteDatabase_nodebug::ExecCallback(const std::string& SQL,
                                            const TExecRowCallback& Callback) {
    sqlite3* db = CheckedHandle();
    struct TState {
        const TExecRowCallback* Callback;
        std::exception_ptr Error;
    } state{&Callback, nullptr};
    auto trampoline = [](void* p, int n, char** values, char** names) -> int {
        auto* st = static_cast<TState*>(p);
        if (!*st->Callback) return 0;
        try {
            return (*st->Callback)(n, values, names);
        } catch (...) {
            // SQLite's C frames must not be unwound: stop it and raise afterwards.
            st->Error = std::current_exception();
            return 1;
        }
    };
    char* err = nullptr;
    const int rc = sqlite3_exec(db, SQL.c_str(), trampoline, &state, &err);
    sqlite3_free(err);
    if (state.Error) std::rethrow_exception(state.Error);
    if (rc != SQLITE_OK) RaiseError(db, "Error executing SQL statement", SQL);
}

void TESQLiteDatabase_nodebug::RegisterStatement(TESQLitePreparedStatement* Statement) {
    if (Statement) FStatements.insert(Statement);
}

void TESQLiteDatabase_nodebug::UnregisterStatement(TESQLitePreparedStatement* Statement) {
    FStatements.erase(Statement);
}

void TESQLiteDatabase_nodebug::ResetStatements() {
    FWriteBehind.SyncNoThrow();
    for (TESQLitePreparedStatement* s : FStatements)
        if (sqlite3_stmt* h = s->StatementHandle()) sqlite3_reset(h);
}

TVariantArray TESQLiteDatabase_nodebug::SelectRows(const std::string& SQL) {
    auto st = PrepareSelect(SQL);
    const bool oneColumn = st->ColumnCount() == 1;
    TVariantArray r;
    while (st->Next()) r.push_back(oneColumn ? st->Value(0) : Variant::Array(st->RowValues()));
    return r;
}

std::int64_t TESQLiteDatabase_nodebug::LastInsertRowID() {
    return sqlite3_last_insert_rowid(CheckedHandle());
}

std::int64_t TESQLiteDatabase_nodebug::QueryInt(const std::string& SQL) {
    return VarToInt64Z(QueryValue(SQL));
}

int TESQLiteDatabase_nodebug::Changes() { return sqlite3_changes(CheckedHandle()); }

std::vector<std::string> TESQLiteDatabase_nodebug::GetSchema(const std::string& Kind,
                                                             std::span<const std::string> Tables) {
    // Kind and table names are bound values, never pasted into the text.
    std::string sql = "SELECT sql,name FROM sqlite_master WHERE type = ?1 and ";
    if (!Tables.empty()) {
        sql += "tbl_name COLLATE NOCASE in (";
        for (std::size_t k = 0; k < Tables.size(); ++k) {
            if (k) sql += ',';
            sql += '?';
            sql += std::to_string(k + 2);
        }
        sql += ") and ";
    }
    sql += "sql IS NOT NULL";
    auto st = PrepareSelect(sql);
    st->SetParamText(0, Kind);
    for (std::size_t k = 0; k < Tables.size(); ++k)
        st->SetParamText(static_cast<int>(k + 1), Tables[k]);
    std::vector<std::string> result;
    result.reserve(64);
    while (st->Next()) {
        const std::string name = VarToStrZ(st->Value(1));
        if (name.rfind("sqlite", 0) == 0) continue;
        result.push_back(VarToStrZ(st->Value(0)) + ";");
    }
    return result;
}

IESQLitePreparedStatementPtr TESQLiteDatabase_nodebug::Prepare(const std::string& SQL) {
    return std::make_shared<TESQLitePreparedStatement>(shared_from_this(), SQL);
}

IESQLitePreparedStatementPtr TESQLiteDatabase_nodebug::PrepareInsert(
    const std::string& Table, std::span<const std::string> Fields, int Mode) {
    return std::make_shared<TESQLiteInsertStatement>(shared_from_this(), Table, Fields, Mode);
}

IESQLitePreparedStatementPtr TESQLiteDatabase_nodebug::PrepareInsert(const std::string& Table,
                                                                     const std::string& Fields,
                                                                     int Mode) {
    const std::vector<std::string> f = SplitFieldList(Fields);
    return PrepareInsert(Table, std::span<const std::string>(f), Mode);
}

IESQLiteSelectStatementPtr TESQLiteDatabase_nodebug::PrepareSelect(const std::string& SQL) {
    return std::make_shared<TESQLiteSelectStatement>(shared_from_this(), SQL);
}

IESQLiteSelectStatementPtr TESQLiteDatabase_nodebug::PrepareSelectParams(
    const std::string& SQL, const TVariantArray& Values) {
    auto st = PrepareSelect(SQL);
    st->BindParams(Values);
    return st;
}

IESQLitePreparedStatementPtr TESQLiteDatabase_nodebug::PrepareUpdate(
    const std::string& Table, std::span<const std::string> Fields, const std::string& Where) {
    return std::make_shared<TESQLiteUpdateStatement>(shared_from_this(), Table, Fields, Where);
}

IESQLitePreparedStatementPtr TESQLiteDatabase_nodebug::PrepareUpdate(const std::string& Table,
                                                                     const std::string& Fields,
                                                                     const std::string& Where) {
    const std::vector<std::string> f = SplitFieldList(Fields);
    return PrepareUpdate(Table, std::span<const std::string>(f), Where);
}

void TESQLiteDatabase_nodebug::Interrupt() {
    if (FDb) sqlite3_interrupt(FDb);
}

Variant TESQLiteDatabase_nodebug::QueryValue(const std::string& SQL) {
    auto st = PrepareSelect(SQL);
    if (st->Next()) return st->Value(0);
    return Variant::Null();
}

TVariantMatrix TESQLiteDatabase_nodebug::SelectMatrix(const std::string& SQL) {
    auto st = PrepareSelect(SQL);
    TVariantMatrix r;
    while (st->Next()) r.push_back(st->RowValues());
    return r;
}

TVariantArray TESQLiteDatabase_nodebug::SelectFirstRow(const std::string& SQL) {
    auto st = PrepareSelect(SQL);
    if (st->Next()) return st->RowValues();
    return {};
}

std::vector<std::int32_t> TESQLiteDatabase_nodebug::SelectIntColumn(const std::string& SQL) {
    auto st = PrepareSelect(SQL);
    std::vector<std::int32_t> r;
    while (st->Next()) {
        const std::int64_t v = VarToInt64Z(st->Value(0));
        if (v < INT32_MIN || v > INT32_MAX)
            throw ESQLiteException("SelectIntColumn: value " + std::to_string(v) +
                                   " is out of the 32-bit range");
        r.push_back(static_cast<std::int32_t>(v));
    }
    return r;
}

std::vector<double> TESQLiteDatabase_nodebug::SelectFloatColumn(const std::string& SQL) {
    auto st = PrepareSelect(SQL);
    std::vector<double> r;
    while (st->Next()) r.push_back(VarToFloatZ(st->Value(0)));
    return r;
}

std::vector<double> TESQLiteDatabase_nodebug::SelectFirstRowFloats(const std::string& SQL) {
    auto st = PrepareSelect(SQL);
    std::vector<double> r;
    if (st->Next()) {
        r.reserve(static_cast<std::size_t>(st->ColumnCount()));
        for (int i = 0; i < st->ColumnCount(); ++i) r.push_back(VarToFloatZ(st->Value(i)));
    }
    return r;
}

std::vector<std::string> TESQLiteDatabase_nodebug::SelectStrColumn(const std::string& SQL) {
    auto st = PrepareSelect(SQL);
    std::vector<std::string> r;
    while (st->Next())
        for (int i = 0; i < st->ColumnCount(); ++i) r.push_back(VarToStrZ(st->Value(i)));
    return r;
}

std::vector<std::int64_t> TESQLiteDatabase_nodebug::SelectInt64Column(const std::string& SQL) {
    auto st = PrepareSelect(SQL);
    std::vector<std::int64_t> r;
    while (st->Next()) r.push_back(VarToInt64Z(st->Value(0)));
    return r;
}

std::vector<std::string> TESQLiteDatabase_nodebug::GetTableFields(const std::string& Table) {
    return PrepareSelect("SELECT * FROM " + Table + " LIMIT 1")->ColumnNames();
}

// ---------------------------------------------------------------------------------------
// Prepared statement

TESQLitePreparedStatement::TESQLitePreparedStatement(IESQLiteDatabasePtr Db, std::string SQL)
    : FDatabase(std::move(Db)), FSQL(std::move(SQL)) {
    if (!FDatabase) throw ESQLiteException("No database for the SQL statement");
    FWriteBehind = &FDatabase->WriteBehind();
    FWriteBehind->Sync();
    FDbHandle = FDatabase->Handle();
    if (!FDbHandle)
        throw ESQLiteException("Database \"" + FDatabase->GetFileName() + "\" is closed");
    const int rc = sqlite3_prepare_v2(FDbHandle, FSQL.c_str(), -1, &FStmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(FStmt);
        FStmt = nullptr;
        RaiseError(FDbHandle, "Error executing SQL", FSQL);
    }
    if (!FStmt) RaiseError(FDbHandle, "Could not prepare SQL statement", FSQL);
    try {
        FDatabase->RegisterStatement(this);
    } catch (...) {
        sqlite3_finalize(FStmt);
        FStmt = nullptr;
        throw;
    }
}

TESQLitePreparedStatement::~TESQLitePreparedStatement() {
    FWriteBehind->SyncNoThrow();
    FDatabase->UnregisterStatement(this);
    if (FStmt) sqlite3_finalize(FStmt);
}

sqlite3_stmt* TESQLitePreparedStatement::Stmt() const {
    FWriteBehind->Sync();
    if (!FStmt)
        throw ESQLiteException("SQL statement is finalized (or its database closed): \"" + FSQL +
                               "\"");
    return FStmt;
}

bool TESQLitePreparedStatement::ExecuteParams(const TVariantArray& Values) {
    BindParams(Values);
    return Execute();
}

bool TESQLitePreparedStatement::Execute() {
    sqlite3_stmt* s = Stmt();
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc == SQLITE_DONE) return true;
    RaiseError(FDbHandle, "Error executing SQL statement", FSQL);
}

std::int64_t TESQLitePreparedStatement::LastInsertRowID() { return FDatabase->LastInsertRowID(); }

int TESQLitePreparedStatement::ParamCount() { return sqlite3_bind_parameter_count(Stmt()); }

void TESQLitePreparedStatement::Finalize() {
    FWriteBehind->SyncNoThrow();
    if (FStmt) {
        sqlite3_finalize(FStmt);
        FStmt = nullptr;
    }
}

void TESQLitePreparedStatement::SetParamInt(int Index, std::int64_t Value) {
    if (sqlite3_bind_int64(Stmt(), SqlParamIndex(Index), Value) != SQLITE_OK)
        RaiseError(FDbHandle,
                   "SetParamInt: Error binding parameter " + std::to_string(Index) + "/" +
                       std::to_string(Value),
                   FSQL);
}

void TESQLitePreparedStatement::SetParamInt64(int Index, std::int64_t Value) {
    SetParamInt(Index, Value);
}

void TESQLitePreparedStatement::SetParamBool(int Index, bool Value) {
    SetParamInt(Index, Value ? 1 : 0);
}

void TESQLitePreparedStatement::SetParamFloat(int Index, double Value) {
    if (sqlite3_bind_double(Stmt(), SqlParamIndex(Index), Value) != SQLITE_OK)
        RaiseError(FDbHandle,
                   sysutils::FormatS(sysutils::PointFormatSettings(),
                                     "SetParamFloat: Error binding parameter %d/%f", Index, Value),
                   FSQL);
}

void TESQLitePreparedStatement::SetParamText(int Index, std::string_view Value) {
    // A non-null pointer even for an empty text: SQLite binds NULL for a null pointer.
    if (sqlite3_bind_text64(Stmt(), SqlParamIndex(Index), Value.empty() ? "" : Value.data(),
                            Value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK)
        RaiseError(FDbHandle,
                   "SetParamInt: Error binding parameter " + std::to_string(Index) + "/" +
                       std::string(Value),
                   FSQL);
}

void TESQLitePreparedStatement::SetParamNull(int Index) {
    if (sqlite3_bind_null(Stmt(), SqlParamIndex(Index)) != SQLITE_OK)
        RaiseError(FDbHandle, "SetParamInt: Error binding parameter " + std::to_string(Index),
                   FSQL);
}

void TESQLitePreparedStatement::SetParamVariant(int Index, const Variant& Value) {
    using namespace zqt_variant;
    switch (Value.VarType()) {
        case varEmpty:
        case varNull: SetParamNull(Index); return;
        case varSmallint:
        case varInteger:
        case varShortInt:
        case varByte:
        case varWord:
        case varLongWord:
        case varInt64:
        case varUInt64: SetParamInt(Index, Value.AsInt64()); return;
        case varSingle:
        case varDouble:
        case varDate: SetParamFloat(Index, Value.AsDouble()); return;
        case varCurrency:
            // The raw representation (value x 10,000): GPS ticks are stored unchanged.
            SetParamInt(Index, Value.AsCurrency());
            return;
        case varBoolean: SetParamBool(Index, Value.AsBoolean()); return;
        case varUString: SetParamText(Index, Value.AsString()); return;
        default:
            if (Value.VarType() & varArray) SetParamBlobVariant(Index, Value);
            return;
    }
}

void TESQLitePreparedStatement::SetParamBlob(int Index, const void* Data, std::size_t Size) {
    static const char kEmpty = 0;
    // An empty blob stays an empty blob (a null pointer would bind NULL).
    if (sqlite3_bind_blob64(Stmt(), SqlParamIndex(Index), (Size && Data) ? Data : &kEmpty,
                            (Size && Data) ? Size : 0, SQLITE_TRANSIENT) != SQLITE_OK)
        RaiseError(FDbHandle, "SetParamBlob: Error binding parameter " + std::to_string(Index),
                   FSQL);
}

void TESQLitePreparedStatement::SetParamBlob(int Index, const TBytes& Value) {
    SetParamBlob(Index, Value.data(), Value.size());
}

void TESQLitePreparedStatement::SetParamBlobVariant(int Index, const Variant& Value) {
    if (Value.VarType() != zqt_variant::varByteArray)
        throw ESQLiteException("SetParamBlob: Variant is not byte array");
    SetParamBlob(Index, Value.AsBytes());
}

void TESQLitePreparedStatement::SetParamBlobStream(int Index, std::istream& Stream) {
    TBytes buf;
    char chunk[65536];
    while (Stream.read(chunk, sizeof chunk) || Stream.gcount() > 0) {
        buf.insert(buf.end(), reinterpret_cast<const std::uint8_t*>(chunk),
                   reinterpret_cast<const std::uint8_t*>(chunk) + Stream.gcount());
        if (Stream.eof()) break;
    }
    if (Stream.bad()) throw sysutils::EInOutError("SetParamBlob: error reading the stream");
    SetParamBlob(Index, buf.data(), buf.size());
}

int TESQLitePreparedStatement::ParamIndex(std::string_view Name) {
    if (auto it = FParamIndex.find(Name); it != FParamIndex.end()) return it->second;
    sqlite3_stmt* s = Stmt();
    const std::string upper = UpperAscii(Name);
    int k = sqlite3_bind_parameter_index(s, upper.c_str());
    if (k == 0 && upper != Name) k = sqlite3_bind_parameter_index(s, std::string(Name).c_str());
    FParamIndex.emplace(std::string(Name), k - 1);
    return k - 1;
}

void TESQLitePreparedStatement::SetParamIntByName(std::string_view Name, std::int64_t Value) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamInt(i, Value);
}

void TESQLitePreparedStatement::SetParamInt64ByName(std::string_view Name, std::int64_t Value) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamInt64(i, Value);
}

void TESQLitePreparedStatement::SetParamBoolByName(std::string_view Name, bool Value) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamBool(i, Value);
}

void TESQLitePreparedStatement::SetParamFloatByName(std::string_view Name, double Value) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamFloat(i, Value);
}

void TESQLitePreparedStatement::SetParamTextByName(std::string_view Name, std::string_view Value) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamText(i, Value);
}

void TESQLitePreparedStatement::SetParamNullByName(std::string_view Name) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamNull(i);
}

void TESQLitePreparedStatement::SetParamVariantByName(std::string_view Name, const Variant& Value) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamVariant(i, Value);
}

void TESQLitePreparedStatement::SetParamBlobByName(std::string_view Name, const TBytes& Value) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamBlob(i, Value);
}

void TESQLitePreparedStatement::SetParamBlobByName(std::string_view Name, const void* Data,
                                                   std::size_t Size) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamBlob(i, Data, Size);
}

void TESQLitePreparedStatement::SetParamBlobVariantByName(std::string_view Name,
                                                          const Variant& Value) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamBlobVariant(i, Value);
}

void TESQLitePreparedStatement::SetParamBlobStreamByName(std::string_view Name,
                                                         std::istream& Stream) {
    if (const int i = ParamIndex(Name); i >= 0) SetParamBlobStream(i, Stream);
}

void TESQLitePreparedStatement::BindParams(const TVariantArray& Values) {
    for (std::size_t k = 0; k < Values.size(); ++k) SetParamVariant(static_cast<int>(k), Values[k]);
}

void TESQLitePreparedStatement::BindParamsByName(std::span<const std::string> Names,
                                                 const TVariantArray& Values) {
    const std::size_t n = std::min(Names.size(), Values.size());
    for (std::size_t k = 0; k < n; ++k) SetParamVariantByName(Names[k], Values[k]);
}

void TESQLitePreparedStatement::Reset() { sqlite3_reset(Stmt()); }

void TESQLitePreparedStatement::ClearBindings() { sqlite3_clear_bindings(Stmt()); }

// ---------------------------------------------------------------------------------------
// Insert and update statements

std::string TESQLiteInsertStatement::BuildSQL(const std::string& Table,
                                              std::span<const std::string> Fields, int Mode) {
    static constexpr std::string_view kModes[] = {"INSERT", "INSERT OR REPLACE",
                                                  "INSERT OR IGNORE"};
    if (Mode < 0 || Mode > 2)
        throw ESQLiteException("TESQLiteInsertStatement.Create: Invalid insert mode " +
                               std::to_string(Mode));
    std::string names, params;
    for (const std::string& f : Fields) {
        const std::string n = UpperAscii(TrimBlank(f));
        if (!names.empty()) {
            names += ',';
            params += ',';
        }
        names += n;
        params += ':';
        params += n;
    }
    std::string sql(kModes[Mode]);
    sql += " INTO ";
    sql += Table;
    sql += " (";
    sql += names;
    sql += ") VALUES(";
    sql += params;
    sql += ')';
    return sql;
}

std::string TESQLiteInsertStatement::BuildRowsSQL(const std::string& Table,
                                                  std::span<const std::string> Fields,
                                                  std::size_t Rows) {
    std::string names, row = "(";
    for (const std::string& f : Fields) {
        if (!names.empty()) {
            names += ',';
            row += ',';
        }
        names += UpperAscii(TrimBlank(f));
        row += '?';
    }
    row += ')';
    std::string sql = "INSERT INTO " + Table + " (" + names + ") VALUES ";
    for (std::size_t r = 0; r < Rows; ++r) sql += (r ? "," : "") + row;
    return sql;
}

TESQLiteInsertStatement::TESQLiteInsertStatement(IESQLiteDatabasePtr Db, const std::string& Table,
                                                 std::span<const std::string> Fields, int Mode)
    : TESQLitePreparedStatement(std::move(Db), BuildSQL(Table, Fields, Mode)) {}

std::string TESQLiteUpdateStatement::BuildSQL(const std::string& Table,
                                              std::span<const std::string> Fields,
                                              const std::string& Where) {
    if (Fields.empty())
        throw ESQLiteException("TESQLiteUpdateStatement.Create: No fields for update");
    std::string sql = "UPDATE " + Table + " SET ";
    bool first = true;
    for (const std::string& f : Fields) {
        const std::string n = UpperAscii(TrimBlank(f));
        if (!first) sql += ',';
        first = false;
        sql += n;
        sql += " = :";
        sql += n;
    }
    if (!Where.empty()) sql += " WHERE (" + Where + ")";
    return sql;
}

TESQLiteUpdateStatement::TESQLiteUpdateStatement(IESQLiteDatabasePtr Db, const std::string& Table,
                                                 std::span<const std::string> Fields,
                                                 const std::string& Where)
    : TESQLitePreparedStatement(std::move(Db), BuildSQL(Table, Fields, Where)) {}

// ---------------------------------------------------------------------------------------
// Select statement

TESQLiteSelectStatement::TESQLiteSelectStatement(IESQLiteDatabasePtr Db, std::string SQL)
    : TESQLitePreparedStatement(std::move(Db), std::move(SQL)) {
    sqlite3_stmt* s = Stmt();
    FColumnCount = sqlite3_column_count(s);
    const auto n = static_cast<std::size_t>(FColumnCount);
    FColumnNames.reserve(n);
    FColumnTypes.reserve(n);
    FColumnIndex.reserve(n);
    for (int i = 0; i < FColumnCount; ++i) {
        const char* raw = sqlite3_column_name(s, i);
        std::string name = UpperAscii(raw ? raw : "");
        if (FColumnIndex.contains(name)) {
            // A second column of the same name becomes NAME2, then NAME3, ...
            for (int k = 2;; ++k) {
                std::string candidate = name + std::to_string(k);
                if (!FColumnIndex.contains(candidate)) {
                    name = std::move(candidate);
                    break;
                }
            }
        }
        FColumnIndex.emplace(name, i);
        FColumnNames.push_back(std::move(name));
        // Without a known declared type the column is typed by each row's value.
        TESQlite_ColType t = dtNull;
        if (const char* decl = sqlite3_column_decltype(s, i)) {
            if (!DeclTypeToColType(decl, t)) t = dtNull;
        }
        FColumnTypes.push_back(t);
    }
    FEof = false;
    FBof = true;
}

void TESQLiteSelectStatement::CheckIndex(int Index) const {
    if (Index < 0 || Index >= FColumnCount) ColumnIndexError(Index, FColumnCount);
}

const std::string& TESQLiteSelectStatement::ColumnName(int Index) const {
    CheckIndex(Index);
    return FColumnNames[static_cast<std::size_t>(Index)];
}

std::string TESQLiteSelectStatement::ColumnDeclType(int Index) const {
    CheckIndex(Index);
    const char* decl = sqlite3_column_decltype(Stmt(), Index);
    return decl ? std::string(decl) : std::string();
}

TESQlite_ColType TESQLiteSelectStatement::ColumnType(int Index) const {
    CheckIndex(Index);
    const TESQlite_ColType t = FColumnTypes[static_cast<std::size_t>(Index)];
    if (t != dtNull || FBof || FEof) return t;
    return static_cast<TESQlite_ColType>(sqlite3_column_type(Stmt(), Index));
}

Variant TESQLiteSelectStatement::ReadValue(sqlite3_stmt* S, int Index,
                                           TESQlite_ColType Type) const {
    if (FBof) return Variant::Null();  // no row fetched yet
    const int st = sqlite3_column_type(S, Index);
    if (st == SQLITE_NULL) return Variant::Null();
    if (Type == dtNull) Type = static_cast<TESQlite_ColType>(st);
    switch (Type) {
        case dtInt:
        case dtSatNum:
        case dtSatCode:
        case dtObs: return Variant(static_cast<std::int64_t>(sqlite3_column_int64(S, Index)));
        case dtFloat:
        case dtXYZ:
        case dtLAT:
        case dtLON:
        case dtALT: return Variant(sqlite3_column_double(S, Index));
        case dtStr: {
            const unsigned char* t = sqlite3_column_text(S, Index);
            const int n = sqlite3_column_bytes(S, Index);
            if (!t) return Variant(std::string());
            return Variant(
                std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(n)));
        }
        case dtBlob: {
            const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(S, Index));
            const int n = sqlite3_column_bytes(S, Index);
            if (!p || n <= 0) return Variant::Null();
            return Variant(TBytes(p, p + n));
        }
        case dtBoolean: return Variant(sqlite3_column_int64(S, Index) != 0);
        case dtDateTime: return Variant::Date(sqlite3_column_double(S, Index));
        case dtCurrency:
        case dtGPSTime:
            // The stored integer is the Currency's raw value: GPS ticks round-trip unchanged.
            return Variant::Currency(sqlite3_column_int64(S, Index));
        default: return Variant::Null();
    }
}

Variant TESQLiteSelectStatement::Value(int Index) const {
    if (FEof) throw ESQLiteException("Table is at End of File");
    CheckIndex(Index);
    return ReadValue(Stmt(), Index, FColumnTypes[static_cast<std::size_t>(Index)]);
}

Variant TESQLiteSelectStatement::ValueRaw(int Index, TESQlite_ColType Type) const {
    if (FEof) throw ESQLiteException("Table is at End of File");
    CheckIndex(Index);
    return ReadValue(Stmt(), Index, Type);
}

Variant TESQLiteSelectStatement::Field(const Variant& Key) const {
    using namespace zqt_variant;
    const unsigned vt = Key.VarType() & 0xFFFu;
    if (vt == varSmallint || vt == varInteger || vt == varBoolean || (vt >= 16 && vt <= 21)) {
        const std::int64_t k = Key.AsInt64();
        if (k < 0 || k >= FColumnCount)
            ColumnIndexError(k < INT_MIN ? INT_MIN : (k > INT_MAX ? INT_MAX : static_cast<int>(k)),
                             FColumnCount);
        return Value(static_cast<int>(k));
    }
    const std::string name = Key.AsString();
    const auto it = FColumnIndex.find(std::string_view(name));
    if (it == FColumnIndex.end()) throw EListError("Dictionary key does not exist");
    return Value(it->second);
}

Variant TESQLiteSelectStatement::ValueByName(std::string_view Name) const {
    const auto it = FColumnIndex.find(Name);
    if (it == FColumnIndex.end()) return Variant::Null();
    return Value(it->second);
}

bool TESQLiteSelectStatement::HasColumn(std::string_view Name) const {
    return FColumnIndex.find(Name) != FColumnIndex.end();
}

bool TESQLiteSelectStatement::IsNull(int Index) const {
    CheckIndex(Index);
    if (FBof || FEof) return true;
    return sqlite3_column_type(Stmt(), Index) == SQLITE_NULL;
}

std::vector<std::int32_t> TESQLiteSelectStatement::RowIntegers() const {
    if (FEof) throw ESQLiteException("Table is at End of File");
    sqlite3_stmt* s = Stmt();
    std::vector<std::int32_t> r(static_cast<std::size_t>(FColumnCount), 0);
    if (FBof) return r;
    for (int i = 0; i < FColumnCount; ++i)
        r[static_cast<std::size_t>(i)] = sqlite3_column_int(s, i);
    return r;
}

TVariantArray TESQLiteSelectStatement::RowValues() const {
    if (FEof) throw ESQLiteException("Table is at End of File");
    sqlite3_stmt* s = Stmt();
    TVariantArray r;
    r.reserve(static_cast<std::size_t>(FColumnCount));
    for (int i = 0; i < FColumnCount; ++i)
        r.push_back(ReadValue(s, i, FColumnTypes[static_cast<std::size_t>(i)]));
    return r;
}

bool TESQLiteSelectStatement::ColumnToBuffer(int Index, void* Buffer, std::size_t Size) const {
    CheckIndex(Index);
    if (FBof || FEof) return false;
    sqlite3_stmt* s = Stmt();
    const void* p = sqlite3_column_blob(s, Index);
    const int n = sqlite3_column_bytes(s, Index);
    if (n < 0 || static_cast<std::size_t>(n) != Size) return false;
    if (n > 0 && p && Buffer) std::memcpy(Buffer, p, Size);
    return true;
}

bool TESQLiteSelectStatement::ColumnToStream(int Index, std::ostream& Stream) const {
    CheckIndex(Index);
    if (FBof || FEof) return false;
    sqlite3_stmt* s = Stmt();
    const void* p = sqlite3_column_blob(s, Index);
    const int n = sqlite3_column_bytes(s, Index);
    if (!p || n < 1) return false;
    Stream.write(static_cast<const char*>(p), n);
    if (!Stream) throw sysutils::EInOutError("ColumnToStream: error writing the stream");
    return true;
}

bool TESQLiteSelectStatement::Next() {
    sqlite3_stmt* s = Stmt();
    FEof = true;
    FBof = false;
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
        FEof = false;
        return true;
    }
    if (rc == SQLITE_DONE) return false;
    // Busy, I/O, corruption, interrupt ...: an error, not the end of the data.
    sqlite3_reset(s);
    RaiseError(DbHandle(), "Error executing SQL statement", GetSQL());
}

bool TESQLiteSelectStatement::Requery(const TVariantArray& Values) {
    if (!Values.empty()) {
        Reset();
        BindParams(Values);
    }
    return Next();
}

}  // namespace SQLiteExt
