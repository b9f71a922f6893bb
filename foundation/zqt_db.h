// The connection class of every database of the suite: an SQLite connection with the
// user SQL functions that the schema's views and triggers and the data classes call.
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

}  // namespace zqt_db
