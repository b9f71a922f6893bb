// Throughput of the database layer on the conversion's hot path: one million satellite
// rows written through a prepared insert statement in one transaction, and read back
// through a select statement, in the kind of private temporary database a conversion
// works in.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "SQLiteExt.h"
#include "zqt_db.h"

namespace {

constexpr std::int64_t kRows = 1'000'000;
constexpr std::int64_t kEpochTicks = 10'000;  // 1 s
constexpr std::int64_t kFirstTicks = 13'000'000'000'000;

const char* const kTable =
    "CREATE TABLE SatObs (EpochID INTEGER, GPSTime GPSTIME, svprn ISATNUM, ObsTypes INTEGER,"
    " Azimuth FLOAT, Data BLOB)";

std::shared_ptr<zqt_db::TPellamDatabase> NewDatabase() {
    auto db = zqt_db::TPellamDatabase::Create("");
    db->ExecSQL(kTable);
    return db;
}

// Writes the rows as the data classes do: parameters bound by name, one execute per row.
void InsertRows(SQLiteExt::IESQLiteDatabase& Db, std::int64_t Rows) {
    std::uint8_t blob[48];
    for (std::size_t i = 0; i < sizeof blob; ++i) blob[i] = static_cast<std::uint8_t>(i);
    auto ins = Db.PrepareInsert("SatObs", "EpochID,GPSTime,svprn,ObsTypes,Azimuth,Data", 0);
    Db.BeginTransaction();
    for (std::int64_t r = 0; r < Rows; ++r) {
        const std::int64_t epoch = r / 20;
        ins->SetParamIntByName(":EPOCHID", epoch);
        ins->SetParamIntByName(":GPSTIME", kFirstTicks + epoch * kEpochTicks);
        ins->SetParamIntByName(":SVPRN", 0x100 + (r % 20) + 1);
        ins->SetParamIntByName(":OBSTYPES", 0x3F);
        ins->SetParamFloatByName(":AZIMUTH", 1.25 + static_cast<double>(r % 360));
        blob[0] = static_cast<std::uint8_t>(r);
        ins->SetParamBlobByName(":DATA", blob, sizeof blob);
        ins->Execute();
    }
    Db.Commit();
}

void BM_InsertRows(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto db = NewDatabase();
        state.ResumeTiming();
        InsertRows(*db, kRows);
        state.PauseTiming();
        if (db->QueryInt("SELECT count(*) FROM SatObs") != kRows)
            state.SkipWithError("row count differs");
        db.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_SelectRows(benchmark::State& state) {
    auto db = NewDatabase();
    InsertRows(*db, kRows);
    for (auto _ : state) {
        auto sel = db->PrepareSelect(
            "SELECT EpochID,GPSTime,svprn,ObsTypes,Azimuth,Data FROM SatObs ORDER BY rowid");
        std::int64_t rows = 0, sum = 0;
        std::uint8_t blob[48];
        while (sel->Next()) {
            // Typed reads, as the epoch and satellite classes make them.
            sum += sel->Value(0).AsInt64();
            sum += sel->Value(1).AsCurrency();
            sum += sel->Value(2).AsInt64();
            sum += sel->Value(3).AsInt64();
            sum += static_cast<std::int64_t>(sel->Value(4).AsDouble());
            if (sel->ColumnToBuffer(5, blob, sizeof blob)) sum += blob[0];
            ++rows;
        }
        benchmark::DoNotOptimize(sum);
        if (rows != kRows) state.SkipWithError("row count differs");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_SelectRowValues(benchmark::State& state) {
    auto db = NewDatabase();
    InsertRows(*db, kRows);
    for (auto _ : state) {
        auto sel = db->PrepareSelect("SELECT * FROM SatObs");
        std::int64_t rows = 0;
        while (sel->Next()) {
            auto row = sel->RowValues();  // the copy a persistent object keeps of its row
            benchmark::DoNotOptimize(row);
            ++rows;
        }
        if (rows != kRows) state.SkipWithError("row count differs");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

}  // namespace

BENCHMARK(BM_InsertRows)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SelectRows)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SelectRowValues)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
