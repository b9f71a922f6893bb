// The connection class of every database of the suite: an SQLite connection with the
// user SQL functions that the schema's views and triggers and the data classes call; and
// the database catalogue: one descriptor per database file of the suite, the connection
// classes whose file name comes from a descriptor, and the read connections that count
// themselves as readers of their file while they live.
//
// Three functions have bodies that belong to later subsystems (antenna-height reduction,
// object identifiers of the project, observation statistics); those subsystems install
// them here at start-up. Until a body is installed, a call of its function fails with an
// SQL error that names the missing routine (nothing is silently computed as 0 or NULL).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "SQLiteExt.h"

namespace zqt_db {

// ---------------------------------------------------------------------------------------
// Bodies of SQL functions installed by later subsystems. They are process-wide and meant
// to be installed once at start-up, before databases are used; an empty function removes
// a body.

// AntHeight(H, A, B, Mode): the antenna-height reduction, called with (H, A / 1000,
// B / 1000, Mode).
using TAntHeightBody = std::function<double(double H, double R, double O, std::uint8_t Mode)>;
void SetAntHeightBody(TAntHeightBody Body);

// NewObjID(): the next object identifier of the project's counter.
using TNewObjIDBody = std::function<std::int64_t()>;
void SetNewObjIDBody(TNewObjIDBody Body);

// ObsCount(svprn, ObsTypes): per group a zero-filled record of RecordSize bytes; Add is
// called for every row whose svprn is an integer. The aggregate's result is a blob copy
// of the record (NULL when the group has no row), decoded by ObsCountToRecord.
struct TObsCountBody {
    std::size_t RecordSize = 0;
    std::function<void(void* Record, std::uint16_t Svprn, std::int64_t ObsTypes)> Add;
};
void SetObsCountBody(TObsCountBody Body);

// Installs the ObsCount body for a plain record type R (trivially copyable, all-zero bytes
// a valid empty record) and its counting routine Add(R&, svprn, ObsTypes).
template <class R, class F>
void SetObsCountRecord(F Add) {
    static_assert(std::is_trivially_copyable_v<R>, "the record travels as bytes");
    static_assert(alignof(R) <= 8, "the record lives in 8-byte aligned SQLite memory");
    TObsCountBody body;
    body.RecordSize = sizeof(R);
    body.Add = [add = std::move(Add)](void* Record, std::uint16_t Svprn, std::int64_t Types) {
        add(*static_cast<R*>(Record), Svprn, Types);
    };
    SetObsCountBody(std::move(body));
}

// Copies the record that ObsCount returned; False (Record untouched) for NULL or a value
// that is not a blob of exactly sizeof(R) bytes.
template <class R>
bool ObsCountToRecord(const zqt_variant::Variant& Value, R& Record) {
    static_assert(std::is_trivially_copyable_v<R>, "the record travels as bytes");
    if (!Value.IsBytes()) return false;
    const zqt_variant::TBytes& b = Value.AsBytes();
    if (b.size() != sizeof(R)) return false;
    std::memcpy(&Record, b.data(), sizeof(R));
    return true;
}

// ---------------------------------------------------------------------------------------
// TPellamDatabase

class TPellamDatabase : public SQLiteExt::TESQLiteDatabase_nodebug {
public:
    explicit TPellamDatabase(TOpenKey Key) : TESQLiteDatabase_nodebug(Key) {}

    // Opens FileName (empty: SQLite's private temporary database) and registers the SQL
    // functions on the connection.
    static std::shared_ptr<TPellamDatabase> Create(const std::string& FileName = "", int Flags = 0);

    // How many times Lat, Lon and Alt converted a point (a repeated point is served from
    // the cache of the last one).
    std::int64_t GeodeticConversions() const { return FConversions; }

protected:
    void AfterOpen() override { RegisterFunctions(); }
    // Registers AntHeight, DoCallBack, NewObjID, SQRT, SQR, IF, VectType, mod, Dist, Lat,
    // Lon, Alt and the aggregates BitOR, BitAND, ObsCount.
    void RegisterFunctions();

private:
    // Latitude, longitude, height of the point given by the arguments, through the cache.
    void Geodetic(int Argc, sqlite3_value** Argv, double& Lat, double& Lon, double& Alt);

    double FLastX = 0.0, FLastY = 0.0, FLastZ = 0.0;
    double FLat = 0.0, FLon = 0.0, FAlt = 0.0;
    std::int64_t FConversions = 0;
};

// ---------------------------------------------------------------------------------------
// The database catalogue

// A database file of the suite. Its outer section is the writer's gate: a writer that holds
// it keeps new readers from entering, while readers leave through the inner section alone.
// No code of this program writes through the gate; the reader count is the number of live
// read connections of the file.
class TZQS_DbDesc {
public:
    TZQS_DbDesc() = default;
    virtual ~TZQS_DbDesc() = default;
    TZQS_DbDesc(const TZQS_DbDesc&) = delete;
    TZQS_DbDesc& operator=(const TZQS_DbDesc&) = delete;

    // The file this descriptor stands for ("" : SQLite's private temporary database).
    virtual std::string GetFileName() const = 0;
    // Counts one more reader, after passing the writer's gate.
    void EnterRead();
    void LeaveRead();
    std::int32_t ReaderCount() const;
    std::recursive_mutex& WriterGate() noexcept { return FOuter; }

private:
    mutable std::recursive_mutex FInner;
    std::recursive_mutex FOuter;
    std::int32_t FReaders = 0;
};

// A descriptor class with its process-wide singleton, made on first use.
template <class T>
class TZQS_DbDescOf : public TZQS_DbDesc {
public:
    static T& Instance() {
        static T instance;
        return instance;
    }
};

// The working project database: the name its creation was given.
class TZQS_DbProject final : public TZQS_DbDescOf<TZQS_DbProject> {
public:
    std::string GetFileName() const override;
};
// The station network: "stations.db3" in the data folder.
class TZQS_DbGNSSNet final : public TZQS_DbDescOf<TZQS_DbGNSSNet> {
public:
    std::string GetFileName() const override;
};
// "bias.db3" in the data folder.
class TZQS_DbBias final : public TZQS_DbDescOf<TZQS_DbBias> {
public:
    std::string GetFileName() const override;
};
// "defaults.db3" in the data folder.
class TZQS_DbDefaults final : public TZQS_DbDescOf<TZQS_DbDefaults> {
public:
    std::string GetFileName() const override;
};
// The suite settings: "ZQS.vpd" in the data folder.
class TZQS_DbZQS final : public TZQS_DbDescOf<TZQS_DbZQS> {
public:
    std::string GetFileName() const override;
};
// The language database: SQLite's private temporary database.
class TZQS_DbLanguage final : public TZQS_DbDescOf<TZQS_DbLanguage> {
public:
    std::string GetFileName() const override { return std::string(); }
};
// FTP data: "ftpdata.db" in the user data folder when that file exists, else
// "ftpdata.db3" in the data folder.
class TZQS_DbFTP final : public TZQS_DbDescOf<TZQS_DbFTP> {
public:
    std::string GetFileName() const override;
};
// The antennas database (configurable).
class TZQS_DbAntennas final : public TZQS_DbDescOf<TZQS_DbAntennas> {
public:
    std::string GetFileName() const override;
};
// "catalog.db3" in the user data folder.
class TZQS_DbCatalog final : public TZQS_DbDescOf<TZQS_DbCatalog> {
public:
    std::string GetFileName() const override;
};

// Makes the nine descriptors (Project, FTP, GNSSNet, Bias, Catalog, Defaults, ZQS,
// Language, Antennas); each is also made on its first use.
void SetupCatalog();

// A connection to the file of descriptor T, with the SQL functions of TPellamDatabase.
template <class T>
class TZQS_Db_base : public TPellamDatabase {
public:
    explicit TZQS_Db_base(TOpenKey Key) : TPellamDatabase(Key) {}
    static std::shared_ptr<TZQS_Db_base> Create() {
        return OpenAs<TZQS_Db_base>(T::Instance().GetFileName(), 0);
    }
};

namespace detail {
// One reader of descriptor T's file for as long as it lives.
template <class T>
class TReaderOf {
protected:
    TReaderOf() { T::Instance().EnterRead(); }
    ~TReaderOf() { T::Instance().LeaveRead(); }
    TReaderOf(const TReaderOf&) = delete;
    TReaderOf& operator=(const TReaderOf&) = delete;
};
}  // namespace detail

// A read connection: it counts as a reader of its file from before the file is opened
// until after it is closed (the reader base is made first and destroyed last).
template <class T>
class TZQS_DbRead : private detail::TReaderOf<T>, public TZQS_Db_base<T> {
public:
    using TOpenKey = typename TZQS_Db_base<T>::TOpenKey;
    explicit TZQS_DbRead(TOpenKey Key) : TZQS_Db_base<T>(Key) {}
    static std::shared_ptr<TZQS_DbRead> Create() {
        return TZQS_Db_base<T>::template OpenAs<TZQS_DbRead>(T::Instance().GetFileName(), 0);
    }
};

class TZQS_ProjectDatabase_base : public TZQS_Db_base<TZQS_DbProject> {
public:
    using TZQS_Db_base::TZQS_Db_base;
    static std::shared_ptr<TZQS_ProjectDatabase_base> Create() {
        return OpenAs<TZQS_ProjectDatabase_base>(TZQS_DbProject::Instance().GetFileName(), 0);
    }
};

using TZQS_DbProjectRead = TZQS_DbRead<TZQS_DbProject>;
using TZQS_DbFTPRead = TZQS_DbRead<TZQS_DbFTP>;
using TZQS_DbGNSSNetRead = TZQS_DbRead<TZQS_DbGNSSNet>;
using TZQS_DbBiasRead = TZQS_DbRead<TZQS_DbBias>;
using TZQS_DbCatalogRead = TZQS_DbRead<TZQS_DbCatalog>;
using TZQS_DbDefaultsRead = TZQS_DbRead<TZQS_DbDefaults>;
using TZQS_DbZQSRead = TZQS_DbRead<TZQS_DbZQS>;
using TZQS_DbLanguageRead = TZQS_DbRead<TZQS_DbLanguage>;

// A read connection to the antennas database with the temporary views v_Aliases,
// v_Antennas and v_AzimuthPhaseCenterVariations over its tables. A database that lacks
// one of the tables fails here, with the SQLite error that names it.
class TZQS_DbAntennasRead : public TZQS_DbRead<TZQS_DbAntennas> {
public:
    using TZQS_DbRead::TZQS_DbRead;
    static std::shared_ptr<TZQS_DbAntennasRead> Create();
};

}  // namespace zqt_db
