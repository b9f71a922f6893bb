// The ionosphere-set object bound to table Iono of the navigation database: it names the
// twelve columns, reads a selected row into its set and writes its set as one row
// (INSERT OR IGNORE: a row of the same time and system is left as it is).
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>

#include "sysutils.h"
#include "zqt_iono_bs.h"
#include "zqt_types_bs.h"
#include "zqt_variant.h"

namespace zqt_iono_dbs {

inline constexpr std::size_t IonoColumnCount = 12;
// The columns of table Iono in table order.
extern const std::array<std::string_view, IonoColumnCount> IonoColumns;

class TZQS_Iono : public zqt_iono_bs::TZQS_Iono_bs {
public:
    // An ionosphere-set object that is a child of Parent on Db (the parent's database when
    // Db is empty).
    static std::shared_ptr<TZQS_Iono> CreateChild(const zqt_objects_intrf::IZQS_ObjectPtr& Parent,
                                                  SQLiteExt::IESQLiteDatabasePtr Db);

    // Table "Iono" and its columns as the write-field list.
    void InitFields() override;
    // Steps the cursor; on a row, reads it into the set and takes the begin time and the
    // SatCode from it. A NULL in a key column, or a value that does not fit its field,
    // raises ExceptionZQS naming the column; a NULL coefficient reads as 0.
    bool Next() override;
    // Binds the set by column name to the write statement (prepared first when needed)
    // and executes it.
    void ExecuteWrite() override;
};

// Reading the columns of an object's current row into fixed-size fields, with the column
// named in every error. Shared by the navigation tables of small records.
class TRowFields {
public:
    TRowFields(const zqt_classes_dbs::TZQS_Object& Obj, std::string_view Table)
        : FObj(Obj), FTable(Table) {}

    // A value that must be there.
    zqt_variant::Variant Need(const char* Column) const;
    // A GPS time: a GPSTIME column arrives as Currency whose raw value is the tick count;
    // a plain integer is taken as ticks too.
    std::int64_t Ticks(const char* Column) const;
    template <class T>
    T Int(const char* Column) const {
        return Fit<T>(Column, Need(Column).AsInt64());
    }
    // NULL (or blank) reads as 0.
    template <class T>
    T IntZ(const char* Column) const {
        return Fit<T>(Column, zqt_variant::VarToInt64Z(Value(Column)));
    }
    double FloatZ(const char* Column) const { return zqt_variant::VarToFloatZ(Value(Column)); }

    template <class T>
    T Fit(const char* Column, std::int64_t V) const {
        bool fits;
        if constexpr (std::numeric_limits<T>::is_signed)
            fits = V >= static_cast<std::int64_t>(std::numeric_limits<T>::min()) &&
                   V <= static_cast<std::int64_t>(std::numeric_limits<T>::max());
        else
            fits = V >= 0 && static_cast<std::uint64_t>(V) <=
                                 static_cast<std::uint64_t>(std::numeric_limits<T>::max());
        if (!fits) OutOfRange(Column, V);
        return static_cast<T>(V);
    }

private:
    zqt_variant::Variant Value(const char* Column) const;
    [[noreturn]] void OutOfRange(const char* Column, std::int64_t V) const;

    const zqt_classes_dbs::TZQS_Object& FObj;
    std::string_view FTable;
};

}  // namespace zqt_iono_dbs
