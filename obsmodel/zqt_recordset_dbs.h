// Recordsets: named time windows over one data set with the station description of the
// window, the objects the RINEX writers are handed; and the class operations that split
// recordsets into time pieces.
#pragma once

#include <cstdint>
#include <vector>

#include "SQLiteExt.h"
#include "zqt_obs_intrf.h"
#include "zqt_types_bs.h"

namespace zqt_recordset_dbs {

using SQLiteExt::IESQLiteDatabasePtr;
using zqt_obs_intrf::IZQS_RecordSetPtr;

class TZQS_Recordset {
public:
    // Loads recordset RecordsetID of the database as observation provider with the given
    // filter and model settings. This build holds no observation provider: the call raises
    // zqt_types_bs::ExceptionZQS.
    static IZQS_RecordSetPtr Create(const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                    const zqt_types_bs::TRRecordsetSettings& Settings,
                                    bool Unfiltered);
    // Replaces a recordset by consecutive pieces of PieceLength ticks (StartTime < 1: aligned
    // to multiples of the step from the GPS time origin); Pieces receives the new
    // recordsets in time order. Not available in this build: raises
    // zqt_types_bs::ExceptionZQS.
    static void SplitRecordsetByTime(std::vector<zqt_types_bs::RObjID>& Pieces,
                                     const IESQLiteDatabasePtr& Db, std::int32_t RecordsetID,
                                     std::int32_t PieceLength, std::int64_t StartTime);
};

}  // namespace zqt_recordset_dbs
