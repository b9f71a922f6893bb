#include "zqt_datastorage.h"

#include "zqt_types_bs.h"

namespace zqt_datastorage {

IZQS_DataStoragePtr TZQS_DataStorage::CreateWithParent(const IZQS_ObjectPtr&) {
    throw zqt_types_bs::ExceptionZQS("The navigation store is not available in this build");
}

}  // namespace zqt_datastorage
