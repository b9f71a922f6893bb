#include "zqt_antenna_bs.h"

namespace zqt_antenna_bs {

void TZQS_Antenna_bs::InitFields() {
    TZQS_Object::InitFields();
    FParams = RAntenna{};
}

}  // namespace zqt_antenna_bs
