// The conversion's hot path for observations: an epoch of 40 satellites with three bands
// (pseudorange, phase, Doppler and strength on each) filled as the decoder fills it,
// packed into Data blobs and written to the Epochs and SatObs tables of a private
// temporary project database, 100,000 epochs in one import transaction.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "zqt_db.h"
#include "zqt_epoch_dbs.h"
#include "zqt_schema.h"

namespace {

constexpr std::int64_t kEpochs = 100'000;
constexpr int kSats = 40;
constexpr std::int64_t kFirst = 13'000'000'000'000;
constexpr std::int64_t kStep = 10'000;  // 1 s

// 20 GPS satellites on bands 1, 3, 5 and 20 Galileo satellites on bands 1, 4, 5.
void FillEpoch(zqt_obs_intrf::IZQS_Epoch& epoch, std::int64_t e) {
    epoch.SetTime(kFirst + e * kStep);
    epoch.SetNumSat(kSats);
    auto so = epoch.GetSatObs();
    for (int s = 0; s < kSats; ++s) {
        const unsigned sys = s < 20 ? 1 : 4;
        const std::uint16_t key = zqt_sat_obs_types::SatKey(sys, 1 + s % 20);
        so->SetCurSat(key, 127);
        so->SetCurAzEl({0.01 * s, 0.02 * s});
        const std::uint8_t bands[2][3] = {{1, 3, 5}, {1, 4, 5}};
        const double range = 20'000'000.0 + 100'000.0 * s + 700.0 * static_cast<double>(e % 1000);
        for (std::uint8_t b : bands[sys == 1 ? 0 : 1]) {
            so->SetCurRange(b, range + 1.5 * b);
            so->SetCurPhase(b, range + 0.25 * b);
            so->SetCurDoppler(b, -3000.0 + s + b);
            so->SetCurStrength(b, 40.0 + b);
        }
        so->Next();
    }
    epoch.GetNumSat();
}

std::shared_ptr<zqt_epoch_dbs::TZQS_Epoch> NewEpoch(SQLiteExt::IESQLiteDatabasePtr db) {
    auto epoch = zqt_epoch_dbs::TZQS_Epoch::Create(nullptr, std::move(db));
    epoch->SetDataSetID(1);
    return epoch;
}

SQLiteExt::IESQLiteDatabasePtr NewProject() {
    SQLiteExt::IESQLiteDatabasePtr db = zqt_db::TPellamDatabase::Create("");
    db->BeginTransaction();
    db->Exec(std::string(zqt_schema::ProjectSchemaScript()));
    db->Commit();
    return db;
}

// Filling and packing one epoch, no database.
void BM_FillAndPackEpoch(benchmark::State& state) {
    auto epoch = NewEpoch(NewProject());
    auto& so = epoch->SatObsTable();
    std::int64_t e = 0;
    for (auto _ : state) {
        FillEpoch(*epoch, e++);
        benchmark::DoNotOptimize(so.PackAll());
        epoch->PrepareSatObs();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FillAndPackEpoch);

// 100,000 epochs filled, packed and written; the figure per epoch is the time / 100,000.
void BM_Write100kEpochs(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto db = NewProject();
        auto epoch = NewEpoch(db);
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        db->BeginTransaction();
        for (std::int64_t e = 0; e < kEpochs; ++e) {
            FillEpoch(*epoch, e);
            epoch->ExecuteWrite();
            epoch->PrepareSatObs();
        }
        db->Commit();
        const std::chrono::duration<double, std::micro> took =
            std::chrono::steady_clock::now() - t0;
        state.counters["us_per_epoch"] = took.count() / static_cast<double>(kEpochs);
        state.PauseTiming();
        if (db->QueryInt("SELECT COUNT(*) FROM SatObs") != kEpochs * kSats)
            state.SkipWithError("rows missing");
        epoch.reset();
        db.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEpochs);
}
BENCHMARK(BM_Write100kEpochs)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
