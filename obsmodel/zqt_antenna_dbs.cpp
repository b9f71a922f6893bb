#include "zqt_antenna_dbs.h"

#include <cmath>

#include "zqt_db.h"

namespace zqt_antenna_dbs {

std::shared_ptr<TZQS_Antenna> TZQS_Antenna::Create() {
    return TZQS_BaseObject::CreateOf<TZQS_Antenna>();
}

std::shared_ptr<TZQS_Antenna> TZQS_Antenna::CreateWithParent(
    const zqt_objects_intrf::IZQS_ObjectPtr& Parent) {
    return CreateWithParentOf<TZQS_Antenna>(Parent);
}

void TZQS_Antenna::Assign(const IZQS_AntennaPtr& Source) {
    const auto* src = dynamic_cast<const TZQS_Antenna*>(Source.get());
    if (!src) throw EInvalidCast("Invalid class typecast");
    FParams = src->FParams;
}

double TZQS_Antenna::ReduceAntennaHeight(double H, double R, double O, std::uint8_t Mode) {
    switch (Mode) {
        case 1:
            // A NaN operand fails the comparison and keeps the measured height.
            if (R * R < H * H) return std::sqrt(H * H - R * R) - O;
            return H;
        case 2: return H - O;
        default: return H;
    }
}

void InstallAntHeight() { zqt_db::SetAntHeightBody(&TZQS_Antenna::ReduceAntennaHeight); }

}  // namespace zqt_antenna_dbs
