#include "zqt_db.h"

#include <sqlite3.h>

#include <cmath>
#include <limits>

#include "zqt_basestorage.h"
#include "zqt_dirs.h"
#include "zqt_files.h"
#include "zqt_project.h"

namespace zqt_db {

using SQLiteExt::TSQLiteFunctions;

namespace {

struct THooks {
    TAntHeightBody AntHeight;
    TNewObjIDBody NewObjID;
    TObsCountBody ObsCount;
};

THooks& Hooks() {
    static THooks hooks;
    return hooks;
}

// State of BitOR / BitAND in SQLite's zero-filled aggregate memory.
struct TBitState {
    std::int64_t Value;
    std::int64_t Started;
};

// The ObsCount group memory: the record's size, then the record (8-byte aligned).
constexpr std::size_t kObsHeader = 8;

constexpr double kDegToRad = 0.017453292519943295;

double ArgD(int Argc, sqlite3_value** Argv, int i) {
    return TSQLiteFunctions::ValueDouble(Argc, Argv, i);
}
std::int64_t ArgI(int Argc, sqlite3_value** Argv, int i) {
    return TSQLiteFunctions::ValueInt64(Argc, Argv, i);
}

void BitStep(sqlite3_context* Ctx, int Argc, sqlite3_value** Argv, bool IsAnd) {
    auto* st = static_cast<TBitState*>(sqlite3_aggregate_context(Ctx, sizeof(TBitState)));
    if (!st) {
        sqlite3_result_error_nomem(Ctx);
        return;
    }
    if (!st->Started) {
        st->Started = 1;
        st->Value = IsAnd ? -1 : 0;
    }
    if (TSQLiteFunctions::ValueType(Argc, Argv, 0) != SQLITE_INTEGER) return;
    const std::int64_t v = ArgI(Argc, Argv, 0);
    if (IsAnd)
        st->Value &= v;
    else
        st->Value |= v;
}

void BitFinal(sqlite3_context* Ctx) {
    auto* st = static_cast<TBitState*>(sqlite3_aggregate_context(Ctx, 0));
    if (!st || !st->Started)
        TSQLiteFunctions::ResultNull(Ctx);
    else
        TSQLiteFunctions::ResultInt64(Ctx, st->Value);
}

}  // namespace

void SetAntHeightBody(TAntHeightBody Body) { Hooks().AntHeight = std::move(Body); }
void SetNewObjIDBody(TNewObjIDBody Body) { Hooks().NewObjID = std::move(Body); }
void SetObsCountBody(TObsCountBody Body) { Hooks().ObsCount = std::move(Body); }

std::shared_ptr<TPellamDatabase> TPellamDatabase::Create(const std::string& FileName, int Flags) {
    return OpenAs<TPellamDatabase>(FileName, Flags);
}

void TPellamDatabase::Geodetic(int Argc, sqlite3_value** Argv, double& Lat, double& Lon,
                               double& Alt) {
    const double x = ArgD(Argc, Argv, 0), y = ArgD(Argc, Argv, 1), z = ArgD(Argc, Argv, 2);
    // Lat, Lon and Alt of one row share the conversion of the same point.
    if (x != FLastX || y != FLastY || z != FLastZ) {
        zqt_basestorage::XYZToBLH(x, y, z, FLat, FLon, FAlt);
        FLastX = x;
        FLastY = y;
        FLastZ = z;
        ++FConversions;
    }
    Lat = FLat;
    Lon = FLon;
    Alt = FAlt;
}

void TPellamDatabase::RegisterFunctions() {
    TSQLiteFunctions& f = Functions();
    using R = TSQLiteFunctions;

    f.AddScalarFunction("AntHeight", 4, [](sqlite3_context* c, int n, sqlite3_value** v) {
        const TAntHeightBody& body = Hooks().AntHeight;
        if (!body) {
            R::ResultError(c, "AntHeight: no antenna-height reduction is installed");
            return;
        }
        const auto mode = static_cast<std::uint8_t>(ArgI(n, v, 3));
        R::ResultDouble(c,
                        body(ArgD(n, v, 0), ArgD(n, v, 1) / 1000.0, ArgD(n, v, 2) / 1000.0, mode));
    });

    f.AddScalarFunction("DoCallBack", 2, [this](sqlite3_context* c, int n, sqlite3_value** v) {
        const SQLiteExt::TDatabaseCallback& cb = GetCallback();
        if (!cb) {
            R::ResultInt64(c, 1);
            return;
        }
        R::ResultInt64(c, cb(static_cast<std::int32_t>(ArgI(n, v, 0)), R::ValueText(n, v, 1)));
    });

    f.AddScalarFunction("NewObjID", 0, [](sqlite3_context* c, int, sqlite3_value**) {
        const TNewObjIDBody& body = Hooks().NewObjID;
        if (!body) {
            R::ResultError(c, "NewObjID: no object-identifier counter is installed");
            return;
        }
        R::ResultInt64(c, body());
    });

    f.AddScalarFunction("SQRT", 1, [](sqlite3_context* c, int n, sqlite3_value** v) {
        const double x = ArgD(n, v, 0);
        // Zero, negatives and NaN have no stored root: NULL.
        if (x > 0.0)
            R::ResultDouble(c, std::sqrt(x));
        else
            R::ResultNull(c);
    });

    f.AddScalarFunction("SQR", 1, [](sqlite3_context* c, int n, sqlite3_value** v) {
        const double x = ArgD(n, v, 0);
        R::ResultDouble(c, x * x);
    });

    // IF(C, A, B): B when C is non-zero, otherwise A.
    f.AddScalarFunction("IF", 3, [](sqlite3_context* c, int n, sqlite3_value** v) {
        R::ResultText(c, R::ValueText(n, v, ArgI(n, v, 0) != 0 ? 2 : 1));
    });

    // The ObjType codes of the three vector kinds.
    f.AddScalarFunction("VectType", 2, [](sqlite3_context* c, int n, sqlite3_value** v) {
        std::int64_t r = 11;
        if (ArgI(n, v, 1) != 0)
            r = 13;
        else if (ArgI(n, v, 0) != 0)
            r = 12;
        R::ResultInt64(c, r);
    });

    // Remainder of the truncated division, with the sign of A; 0 for B = 0 and for B = -1
    // (the only divisor whose quotient can overflow).
    f.AddScalarFunction("mod", 2, [](sqlite3_context* c, int n, sqlite3_value** v) {
        const std::int64_t a = ArgI(n, v, 0), b = ArgI(n, v, 1);
        R::ResultInt64(c, (b == 0 || b == -1) ? 0 : a % b);
    });

    f.AddScalarFunction("Dist", -1, [](sqlite3_context* c, int n, sqlite3_value** v) {
        double r = 0.0;
        if (n == 4) {
            // Spherical distance of two points given as Lon1, Lat1, Lon2, Lat2 (degrees).
            const double lon1 = ArgD(n, v, 0) * kDegToRad, lat1 = ArgD(n, v, 1) * kDegToRad;
            const double lon2 = ArgD(n, v, 2) * kDegToRad, lat2 = ArgD(n, v, 3) * kDegToRad;
            const double dx = std::cos((lat1 + lat2) / 2.0) * (lon2 - lon1);
            const double dy = lat2 - lat1;
            r = 6378245.0 * std::sqrt(dx * dx + dy * dy);
        } else if (n == 6) {
            const double dx = ArgD(n, v, 3) - ArgD(n, v, 0);
            const double dy = ArgD(n, v, 4) - ArgD(n, v, 1);
            const double dz = ArgD(n, v, 5) - ArgD(n, v, 2);
            r = std::sqrt(dx * dx + dy * dy + dz * dz);
        }
        R::ResultDouble(c, r);
    });

    f.AddScalarFunction("Lat", 3, [this](sqlite3_context* c, int n, sqlite3_value** v) {
        double lat, lon, alt;
        Geodetic(n, v, lat, lon, alt);
        R::ResultDouble(c, lat);
    });
    f.AddScalarFunction("Lon", 3, [this](sqlite3_context* c, int n, sqlite3_value** v) {
        double lat, lon, alt;
        Geodetic(n, v, lat, lon, alt);
        R::ResultDouble(c, lon);
    });
    f.AddScalarFunction("Alt", 3, [this](sqlite3_context* c, int n, sqlite3_value** v) {
        double lat, lon, alt;
        Geodetic(n, v, lat, lon, alt);
        R::ResultDouble(c, alt);
    });

    f.AddAggregateFunction(
        "BitOR", 1, [](sqlite3_context* c, int n, sqlite3_value** v) { BitStep(c, n, v, false); },
        BitFinal);
    f.AddAggregateFunction(
        "BitAND", 1, [](sqlite3_context* c, int n, sqlite3_value** v) { BitStep(c, n, v, true); },
        BitFinal);

    f.AddAggregateFunction(
        "ObsCount", 2,
        [](sqlite3_context* c, int n, sqlite3_value** v) {
            const TObsCountBody& body = Hooks().ObsCount;
            if (!body.Add || body.RecordSize == 0 ||
                body.RecordSize >
                    static_cast<std::size_t>(std::numeric_limits<int>::max()) - kObsHeader) {
                R::ResultError(c, "ObsCount: no observation-statistics routine is installed");
                return;
            }
            auto* mem = static_cast<unsigned char*>(
                sqlite3_aggregate_context(c, static_cast<int>(kObsHeader + body.RecordSize)));
            if (!mem) {
                sqlite3_result_error_nomem(c);
                return;
            }
            std::uint64_t size;
            std::memcpy(&size, mem, sizeof size);
            if (size == 0) {
                size = body.RecordSize;
                std::memcpy(mem, &size, sizeof size);
            } else if (size != body.RecordSize) {
                R::ResultError(c, "ObsCount: the observation-statistics routine changed");
                return;
            }
            if (R::ValueType(n, v, 0) != SQLITE_INTEGER) return;
            body.Add(mem + kObsHeader, static_cast<std::uint16_t>(ArgI(n, v, 0)), ArgI(n, v, 1));
        },
        [](sqlite3_context* c) {
            auto* mem = static_cast<unsigned char*>(sqlite3_aggregate_context(c, 0));
            if (!mem) {
                R::ResultNull(c);
                return;
            }
            std::uint64_t size;
            std::memcpy(&size, mem, sizeof size);
            if (size == 0)
                R::ResultNull(c);
            else
                R::ResultBlob(c, mem + kObsHeader, static_cast<std::size_t>(size));
        });
}

// =======================================================================================
// The database catalogue

void TZQS_DbDesc::EnterRead() {
    const std::lock_guard<std::recursive_mutex> gate(FOuter);
    const std::lock_guard<std::recursive_mutex> inner(FInner);
    ++FReaders;
}

void TZQS_DbDesc::LeaveRead() {
    const std::lock_guard<std::recursive_mutex> inner(FInner);
    --FReaders;
}

std::int32_t TZQS_DbDesc::ReaderCount() const {
    const std::lock_guard<std::recursive_mutex> inner(FInner);
    return FReaders;
}

using zqt_dirs::TZQS_Dirs;

std::string TZQS_DbProject::GetFileName() const {
    return zqt_project::TZQS_Project::ProjectDatabaseName();
}
std::string TZQS_DbGNSSNet::GetFileName() const { return TZQS_Dirs::StationsDbName(); }
std::string TZQS_DbBias::GetFileName() const { return TZQS_Dirs::DataDir() + "bias.db3"; }
std::string TZQS_DbDefaults::GetFileName() const { return TZQS_Dirs::DataDir() + "defaults.db3"; }
std::string TZQS_DbZQS::GetFileName() const { return TZQS_Dirs::DataDir() + "ZQS.vpd"; }
std::string TZQS_DbFTP::GetFileName() const {
    const std::string user = TZQS_Dirs::UserDataDir() + "ftpdata.db";
    return zqt_files::PathExists(user) ? user : TZQS_Dirs::FtpDbName();
}
std::string TZQS_DbAntennas::GetFileName() const { return TZQS_Dirs::AntennasDbName(); }
std::string TZQS_DbCatalog::GetFileName() const { return TZQS_Dirs::CatalogDbName(); }

void SetupCatalog() {
    TZQS_DbProject::Instance();
    TZQS_DbFTP::Instance();
    TZQS_DbGNSSNet::Instance();
    TZQS_DbBias::Instance();
    TZQS_DbCatalog::Instance();
    TZQS_DbDefaults::Instance();
    TZQS_DbZQS::Instance();
    TZQS_DbLanguage::Instance();
    TZQS_DbAntennas::Instance();
}

std::shared_ptr<TZQS_DbAntennasRead> TZQS_DbAntennasRead::Create() {
    auto db = OpenAs<TZQS_DbAntennasRead>(TZQS_DbAntennas::Instance().GetFileName(), 0);
    db->ExecScript(
        "CREATE TEMP VIEW v_Aliases AS SELECT * FROM tab_Aliases; CREATE TEMP VIEW v_Antennas "
        "AS SELECT * FROM tab_Antennas; CREATE TEMP VIEW v_AzimuthPhaseCenterVariations AS "
        "SELECT * FROM tab_AzimuthPhaseCenterVariations;",
        {}, ";");
    // SQLite resolves a view's tables when the view is read, not when it is made: each view
    // is read once here, so that a database without one of the tables fails while it is
    // opened and not halfway through a load.
    for (const char* view : {"v_Aliases", "v_Antennas", "v_AzimuthPhaseCenterVariations"})
        db->ExecSQL(std::string("SELECT * FROM ") + view + " LIMIT 0;");
    return db;
}

}  // namespace zqt_db
