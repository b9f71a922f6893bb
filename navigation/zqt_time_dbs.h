// The time-parameter object bound to table TimeParams of the navigation database: it names
// the sixteen written columns, reads a selected row into its set and writes its set as
// one row (INSERT OR IGNORE: a row of the same time and systems is left as it is).
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "zqt_time_bs.h"

namespace zqt_time_dbs {

inline constexpr std::size_t TimeParamsColumnCount = 16;
// The written columns of table TimeParams; column N4 is not written and keeps its
// default 0.
extern const std::array<std::string_view, TimeParamsColumnCount> TimeParamsColumns;

class TZQS_TimeParams : public zqt_time_bs::TZQS_TimeParams_bs {
public:
    // A time-parameter object that is a child of Parent on Db (the parent's database when
    // Db is empty).
    static std::shared_ptr<TZQS_TimeParams> CreateChild(
        const zqt_objects_intrf::IZQS_ObjectPtr& Parent, SQLiteExt::IESQLiteDatabasePtr Db);

    // Table "TimeParams" and the sixteen written columns as the write-field list.
    void InitFields() override;
    // Steps the cursor; on a row, reads it into the set (NULL values read as 0) and takes
    // the begin time and SatCode (= Sys1) from it. A NULL time or system, or a value that
    // does not fit its field, raises ExceptionZQS naming the column.
    bool Next() override;
    // Binds the set by column name to the write statement (prepared first when needed)
    // and executes it.
    void ExecuteWrite() override;
};

}  // namespace zqt_time_dbs
