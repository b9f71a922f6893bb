// TZQS_Antenna: the antenna parameters of a recordset behind IZQS_Antenna, and the
// antenna-height reduction that the SQL function AntHeight computes.
#pragma once

#include <cstdint>
#include <memory>

#include "sysutils.h"
#include "zqt_antenna_bs.h"
#include "zqt_objects_intrf.h"

namespace zqt_antenna_dbs {

using zqt_antenna_bs::IZQS_Antenna;
using zqt_antenna_bs::IZQS_AntennaPtr;

// A checked cast that found an object of another class.
ZQT_DECLARE_EXCEPTION(EInvalidCast, sysutils::Exception, "EInvalidCast");

class TZQS_Antenna : public zqt_antenna_bs::TZQS_Antenna_bs {
public:
    // An antenna object without parent and database (parameters only).
    static std::shared_ptr<TZQS_Antenna> Create();
    // A child of Parent working on the parent's database (the recordset's antenna).
    static std::shared_ptr<TZQS_Antenna> CreateWithParent(
        const zqt_objects_intrf::IZQS_ObjectPtr& Parent);

    // Copies the whole parameter record of Source; Source must be a TZQS_Antenna, any
    // other object (or none) raises EInvalidCast "Invalid class typecast".
    void Assign(const IZQS_AntennaPtr& Source) override;

    // Antenna height reduced by mode: 0 the measured height H; 1 (slant height) the
    // vertical sqrt(H² - R²) - O when R² < H², else H; 2 (vertical height to the
    // measuring point) H - O; any other mode H. R is the antenna radius, O the offset
    // from the measuring point to the reference point; metres.
    static double ReduceAntennaHeight(double H, double R, double O, std::uint8_t Mode);
};

// Installs ReduceAntennaHeight as the body of the SQL function AntHeight; calling it again
// does no harm.
void InstallAntHeight();

}  // namespace zqt_antenna_dbs
