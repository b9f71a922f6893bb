// The ephemeris row object bound to table Ephemeris: it names the 75 columns, reads a
// selected row into its record and writes its record as one row (INSERT OR IGNORE, so a
// row whose time, satellite and message kind exist already is left as it is).
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "zqt_ephem_bs.h"

namespace zqt_ephem_dbs {

using zqt_ephem_bs::REphem;

inline constexpr std::size_t EphemerisColumnCount = 75;
// The columns of table Ephemeris in table order.
extern const std::array<std::string_view, EphemerisColumnCount> EphemerisColumns;

class TZQS_Ephem : public zqt_ephem_bs::TZQS_Ephem_bs {
public:
    // An ephemeris object that is a child of Parent on Db (the parent's database when Db
    // is empty).
    static std::shared_ptr<TZQS_Ephem> CreateChild(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                                                   SQLiteExt::IESQLiteDatabasePtr Db);

    // Table "Ephemeris" and its columns as the write-field list.
    void InitFields() override;
    // Steps the cursor; on a row, reads it into the record (see ReadRow) and takes the
    // begin time, svprn and SatCode from it. A NULL in a column that the record's system
    // needs raises ExcpEphemError naming the column, as does a value that does not fit
    // its field; tail columns that are NULL read as 0.
    bool Next() override;
    // Binds the record to the write statement (prepared first when needed) by column
    // name and executes it. Columns that the record's system does not use stay NULL.
    void ExecuteWrite() override;

private:
    void ReadRow();
};

}  // namespace zqt_ephem_dbs
