#include "zqt_recordset_dbs.h"

namespace zqt_recordset_dbs {

IZQS_RecordSetPtr TZQS_Recordset::Create(const IESQLiteDatabasePtr&, std::int32_t RecordsetID,
                                         const zqt_types_bs::TRRecordsetSettings&, bool) {
    throw zqt_types_bs::ExceptionZQS(Format(
        "Reading recordset %d for output is not available in this build", RecordsetID));
}

void TZQS_Recordset::SplitRecordsetByTime(std::vector<zqt_types_bs::RObjID>&,
                                          const IESQLiteDatabasePtr&, std::int32_t RecordsetID,
                                          std::int32_t, std::int64_t) {
    throw zqt_types_bs::ExceptionZQS(Format(
        "Splitting recordset %d into pieces is not available in this build", RecordsetID));
}

}  // namespace zqt_recordset_dbs
