#include "zqt_observer_bs.h"

namespace zqt_observer_bs {

void TZQS_Observer_bs::InitFields() {
    TZQS_Object::InitFields();
    FObjType = ObserverObjType;
    FVisible = false;
    FEnabled = false;
}

void TZQS_Observer_bs::SetObserverAgency(const std::string& Value) {
    FObserverAgency = sysutils::Trim(Value);
}

void TZQS_Observer_bs::SetObserverName(const std::string& Value) {
    FObserverName = sysutils::Trim(Value);
}

void TZQS_Observer_bs::ClearValues() {
    FObserverName.clear();
    FObserverAgency.clear();
}

}  // namespace zqt_observer_bs
