// The time-keyed storages: the window query, first-row-per-key loading, the nearest-row
// search with its hint (checked against a brute-force search), refused keys, and times at
// the ends of the 64-bit range.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "zqt_basestorage.h"
#include "zqt_classes_dbs.h"
#include "zqt_db.h"

namespace {

using zqt_basestorage::TTimeIndex;
using zqt_basestorage::TZQS_ScStorage;
using zqt_basestorage::TZQS_SvStorage;
using zqt_classes_dbs::TZQS_Object;
using zqt_classes_dbs::TZQS_ScObject;
using zqt_classes_dbs::TZQS_SvObject;
using zqt_variant::TVariantArray;

constexpr std::int64_t Day = 864'000'000;
constexpr std::int64_t T0 = 2300 * 7 * Day;  // some week of 2024

// A row of table Obs: time, satellite, system and one value. The cursor remembers the
// last SQL text it was opened with.
template <class Base>
class TObsItem : public Base {
public:
    void InitFields() override {
        Base::InitFields();
        this->FTableName = "Obs";
    }
    void OpenSQL(const std::string& SQL, const TVariantArray& Values) override {
        LastSQL = SQL;
        Base::OpenSQL(SQL, Values);
    }
    bool Next() override {
        if (!Base::Next()) return false;
        this->SetBegTime(zqt_variant::VarToCurrZ(this->GetFieldValue("GPSTime")));
        this->FSatCode =
            static_cast<std::uint8_t>(zqt_variant::VarToInt64Z(this->GetFieldValue("SatCode")));
        if constexpr (std::is_base_of_v<TZQS_SvObject, Base>)
            this->FSvprn =
                static_cast<std::uint16_t>(zqt_variant::VarToInt64Z(this->GetFieldValue("svprn")));
        Value = zqt_variant::VarToFloatZ(this->GetFieldValue("Value"));
        return true;
    }
    std::string LastSQL;
    double Value = 0.0;
};

// A storage whose records are the rows' values.
template <class StorageBase, class ItemBase>
class TValueStorage : public StorageBase {
public:
    using Item = TObsItem<ItemBase>;
    typename StorageBase::TZQS_ScObjectPtr GetItem() override {
        if (!FItem) FItem = TZQS_Object::CreateChildOf<Item>(this->Intf(), nullptr);
        return FItem;
    }
    void Clear() override {
        StorageBase::Clear();
        Values.clear();
    }
    Item& Cursor() {
        GetItem();
        return *FItem;
    }
    std::vector<double> Values;

protected:
    std::int32_t AddIndex() override {
        this->SetRowIndex(static_cast<std::int32_t>(Values.size()));
        Values.push_back(FItem->Value);
        return StorageBase::AddIndex();
    }

private:
    std::shared_ptr<Item> FItem;
};

using TSvValues = TValueStorage<TZQS_SvStorage, TZQS_SvObject>;
using TScValues = TValueStorage<TZQS_ScStorage, TZQS_ScObject>;

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        Db = zqt_db::TPellamDatabase::Create(":memory:");
        Db->Exec(
            "CREATE TABLE Obs (GPSTime GPSTIME NOT NULL, svprn INTEGER, SatCode INTEGER, "
            "Value REAL)");
    }
    void Row(std::int64_t t, int svprn, double value) {
        Db->ExecSQL(SQLiteExt::FormatPt("INSERT INTO Obs VALUES (%d, %d, %d, %s)", t, svprn,
                                        svprn >> 8, std::to_string(value)));
    }
    template <class S>
    std::shared_ptr<S> Storage(std::int64_t beg, std::int64_t end) {
        auto s = TZQS_Object::CreateChildOf<S>(nullptr, Db);
        s->SetBegTime(beg);
        s->SetEndTime(end);
        return s;
    }
    SQLiteExt::IESQLiteDatabasePtr Db;
};

// Nearest row by brute force. The nearest time wins, a tie of times to the later one;
// among rows of that time, the index holds them in insertion order, so the search meets
// the last of them coming from before and the first of them coming from after.
std::int32_t BruteNearest(const std::vector<std::pair<std::int64_t, std::int32_t>>& rows,
                          std::int64_t t) {
    if (rows.empty()) return -1;
    auto dist = [t](std::int64_t time) { return time > t ? time - t : t - time; };
    std::int64_t bestTime = rows.front().first;
    for (const auto& [time, row] : rows) {
        const std::int64_t d = dist(time), bd = dist(bestTime);
        if (d < bd || (d == bd && time > bestTime)) bestTime = time;
    }
    std::int32_t result = -1;
    for (const auto& [time, row] : rows) {
        if (time != bestTime) continue;
        result = row;
        if (bestTime > t) break;  // the first of them
    }
    return result;
}

}  // namespace

TEST_F(StorageTest, WindowQueryLoadsRowsWithinFourHoursOfTheWindow) {
    const std::int64_t margin = 144'000'000;
    Row(T0 - margin - 1, 0x0101, 1.0);  // just outside
    Row(T0 - margin, 0x0101, 2.0);      // edge, inside
    Row(T0 + Day / 2, 0x0101, 3.0);
    Row(T0 + Day + margin, 0x0102, 4.0);  // edge, inside
    Row(T0 + Day + margin + 1, 0x0102, 5.0);
    const auto s = Storage<TSvValues>(T0, T0 + Day);
    EXPECT_TRUE(s->Next());
    EXPECT_EQ(
        s->Cursor().LastSQL,
        SQLiteExt::FormatPt("SELECT * FROM Obs WHERE GPSTime BETWEEN %d AND %d ORDER BY GPSTime",
                            T0 - margin, T0 + Day + margin));
    EXPECT_EQ(s->Values, (std::vector<double>{2.0, 3.0, 4.0}));
    EXPECT_TRUE(s->Cursor().Eof());  // the cursor is closed after the load

    // A second load starts afresh.
    Row(T0 + 2, 0x0103, 6.0);
    s->Next();
    EXPECT_EQ(s->Values, (std::vector<double>{2.0, 6.0, 3.0, 4.0}));
    EXPECT_EQ(s->KeyCount(), 4u);
}

TEST_F(StorageTest, FirstRowOfAKeyWinsAndKeyZeroIsSkipped) {
    Row(T0, 0x0105, 1.0);
    Row(T0, 0x0105, 2.0);  // same satellite, same time: same key
    Row(T0, 0x0106, 3.0);  // same time, other satellite
    Row(T0 + 10, 0, 4.0);  // no satellite: key 0
    const auto s = Storage<TSvValues>(T0, T0);
    s->Next();
    EXPECT_EQ(s->Values, (std::vector<double>{1.0, 3.0}));
    EXPECT_EQ(s->FindNearest(0x0105, T0), 0);
    EXPECT_EQ(s->FindNearest(0, T0), -1);
}

TEST_F(StorageTest, FindNearestAnswersTheDocumentedCases) {
    const std::uint16_t sv = 0x0207;
    Row(T0 + 1000, sv, 0.0);
    Row(T0 + 2000, sv, 1.0);
    Row(T0 + 4000, sv, 2.0);
    const auto s = Storage<TSvValues>(T0, T0);
    s->Next();
    struct Case {
        std::uint16_t svprn;
        std::int64_t t;
        std::int32_t row;
    };
    const Case cases[] = {
        {sv, T0, 0},         // before the first row
        {sv, T0 + 1000, 0},  // exactly on a row
        {sv, T0 + 1499, 0},
        {sv, T0 + 1500, 1},  // midway: the later row
        {sv, T0 + 3000, 2},  // midway again
        {sv, T0 + 2999, 1},
        {sv, T0 + 4000, 2},
        {sv, T0 + 9 * Day, 2},    // after the last row
        {sv, T0 + 1001, 0},       // back in time after a jump forward
        {0x0208, T0 + 1000, -1},  // a satellite without rows
        {2049, T0, -1},           // beyond the index range
        {0xFFFF, T0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(s->FindNearest(c.svprn, c.t), c.row) << c.svprn << " at +" << c.t - T0;
}

TEST(TimeIndex, BinarySearchFindsTheLastEntryAtOrBeforeTheTime) {
    TTimeIndex index;
    for (const std::int64_t t : {20, 10, 30, 20}) zqt_basestorage::TimeIndexInsert(index, t, 0);
    // {0, -1} 10 20 20 30 {max, -1}: a time before every row gives the low sentinel, never
    // a position outside the index.
    const std::pair<std::int64_t, std::size_t> cases[] = {
        {INT64_MIN, 0}, {-5, 0}, {0, 0},  {9, 0},    {10, 1},        {15, 1},
        {20, 3},        {29, 3}, {30, 4}, {1000, 4}, {INT64_MAX, 4},
    };
    for (const auto& [t, at] : cases) EXPECT_EQ(zqt_basestorage::BinarySearch(index, t), at) << t;
}

TEST(TimeIndex, NearestWithHintAgreesWithBruteForce) {
    std::mt19937_64 rng(14);
    for (int round = 0; round < 20; ++round) {
        TTimeIndex index;
        std::vector<std::pair<std::int64_t, std::int32_t>> rows;
        const int n = 1 + static_cast<int>(rng() % 60);
        for (int r = 0; r < n; ++r) {
            // Coarse times make equal times frequent.
            const std::int64_t t = T0 + static_cast<std::int64_t>(rng() % 40) * 500;
            zqt_basestorage::TimeIndexInsert(index, t, r);
            rows.emplace_back(t, r);
        }
        ASSERT_EQ(index.size(), rows.size() + 2);
        for (std::size_t k = 2; k + 1 < index.size(); ++k)
            ASSERT_LE(index[k - 1].Time, index[k].Time);
        std::size_t hint = 0;
        for (int q = 0; q < 200; ++q) {
            // Mostly a forward sweep, sometimes a jump anywhere.
            const std::int64_t t = T0 - 1000 + static_cast<std::int64_t>(rng() % 23000);
            EXPECT_EQ(zqt_basestorage::FindNearest(index, t, hint), BruteNearest(rows, t))
                << "round " << round << " t=+" << t - T0;
        }
    }
}

TEST(TimeIndex, TimesAtTheEndsOfTheRangeNeitherOverflowNorLeaveTheSentinels) {
    TTimeIndex index;
    zqt_basestorage::TimeIndexInsert(index, 500, 0);
    zqt_basestorage::TimeIndexInsert(index, -7, 1);  // before 1980
    zqt_basestorage::TimeIndexInsert(index, INT64_MAX - 1, 2);
    zqt_basestorage::TimeIndexInsert(index, INT64_MIN, 3);
    ASSERT_EQ(index.size(), 6u);
    EXPECT_EQ(index.front().Row, -1);
    EXPECT_EQ(index.back().Row, -1);
    EXPECT_EQ(index.back().Time, INT64_MAX);
    std::vector<std::int32_t> order;
    for (std::size_t k = 1; k + 1 < index.size(); ++k) order.push_back(index[k].Row);
    EXPECT_EQ(order, (std::vector<std::int32_t>{3, 1, 0, 2}));
    struct Case {
        std::int64_t t;
        std::int32_t row;
    };
    const Case cases[] = {{INT64_MIN, 3},     {-8, 1},           {0, 1}, {400, 0}, {INT64_MAX, 2},
                          {INT64_MAX - 1, 2}, {INT64_MIN + 1, 3}};
    std::size_t hint = 0;
    for (const Case& c : cases)
        EXPECT_EQ(zqt_basestorage::FindNearest(index, c.t, hint), c.row) << c.t;
    hint = 999;  // a stale hint is only a starting point
    EXPECT_EQ(zqt_basestorage::FindNearest(index, 400, hint), 0);
    TTimeIndex empty;
    EXPECT_EQ(zqt_basestorage::FindNearest(empty, 400, hint), -1);
}

TEST_F(StorageTest, SystemStorageRefusesSatCodeAboveTenAndKeepsNothingOfThatRow) {
    Row(T0, 0x0101, 1.0);
    Row(T0 + 10, 0x0A01, 2.0);  // system 10: the last index
    const auto s = Storage<TScValues>(T0, T0);
    s->Next();
    EXPECT_EQ(s->Values, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(s->FindNearest(10, T0), 1);
    EXPECT_EQ(s->FindNearest(11, T0), -1);

    Row(T0 + 20, 0x0B01, 3.0);  // system 11
    try {
        s->Next();
        FAIL() << "SatCode 11 was accepted";
    } catch (const sysutils::Exception& e) {
        EXPECT_STREQ(e.what(), "Bat SatCode: 11/7/10");
    }
    EXPECT_EQ(s->Values.size(), s->KeyCount());  // the refused row left no record behind
    EXPECT_TRUE(s->Cursor().Eof());              // and the cursor was closed
}

TEST_F(StorageTest, SatelliteStorageRefusesSvprnBeyondItsIndexes) {
    Row(T0, 2049, 1.0);
    const auto s = Storage<TSvValues>(T0, T0);
    EXPECT_THROW(s->Next(), sysutils::Exception);
    EXPECT_TRUE(s->Values.empty());
    EXPECT_EQ(s->KeyCount(), 0u);
}
