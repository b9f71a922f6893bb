// The antenna parameters of a recordset (model as received, catalogue model, serial
// number, heights, height type, offsets), the interface IZQS_Antenna through which they
// are read and set, and the accessors of the parameter record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zqt_basestorage.h"
#include "zqt_classes_dbs.h"
#include "zqt_objects_intrf.h"

namespace zqt_antenna_bs {

using zqt_basestorage::RVec3;

// The parameter record, named after the Recordsets columns that fill it.
struct RAntenna {
    std::string AntennaModel;     // the antenna type as received or entered
    std::string AntennaNGSModel;  // the catalogue antenna type (known to the antennas database)
    std::string AntennaNumber;    // serial number
    double AntennaHeight = 0.0;   // m
    double AntennaVerticalHeight = 0.0;  // m
    std::uint8_t AntennaHeightType = 0;  // reduction mode: 0 to marker, 1 slant, 2 vertical
    double AntennaDeltaH = 0.0;          // m
    double AntennaDeltaE = 0.0;
    double AntennaDeltaN = 0.0;
    RVec3 Offset;  // AntennaRX, AntennaRY, AntennaRZ, m
};

class IZQS_Antenna;
using IZQS_AntennaPtr = std::shared_ptr<IZQS_Antenna>;

class IZQS_Antenna : public virtual zqt_objects_intrf::IZQS_Object {
public:
    virtual bool IsHeightType0() const = 0;  // height type 0
    virtual double GetDeltaE() const = 0;
    virtual double GetDeltaH() const = 0;
    virtual double GetDeltaN() const = 0;
    virtual double GetHeight() const = 0;
    virtual std::string GetNumber() const = 0;
    virtual std::string GetModel() const = 0;
    virtual bool IsHeightType1() const = 0;  // height type 1
    virtual std::string GetNGSModel() const = 0;
    virtual RVec3 GetOffset() const = 0;
    virtual std::uint8_t GetHeightType() const = 0;
    virtual double GetVerticalHeight() const = 0;
    // True stores height type 0, False stores 1.
    virtual void SetHeightType0(bool Value) = 0;
    virtual void SetDeltaE(double Value) = 0;
    virtual void SetDeltaH(double Value) = 0;
    virtual void SetDeltaN(double Value) = 0;
    virtual void SetHeight(double Value) = 0;
    virtual void SetModel(const std::string& Value) = 0;
    virtual void SetNumber(const std::string& Value) = 0;
    // True stores height type 1, False stores 0.
    virtual void SetHeightType1(bool Value) = 0;
    virtual void SetNGSModel(const std::string& Value) = 0;
    virtual void SetOffset(const RVec3& Value) = 0;
    virtual void SetHeightType(std::uint8_t Value) = 0;
    virtual void SetVerticalHeight(double Value) = 0;
    // Copies the whole parameter record of Source, which must be a TZQS_Antenna
    // (anything else raises zqt_antenna_dbs::EInvalidCast).
    virtual void Assign(const IZQS_AntennaPtr& Source) = 0;
};

// ---------------------------------------------------------------------------------------
// TZQS_Antenna_bs: the parameter record and its accessors.

class TZQS_Antenna_bs : public zqt_classes_dbs::TZQS_Object, public virtual IZQS_Antenna {
public:
    // The inherited set-up, then the parameter record cleared.
    void InitFields() override;

    bool IsHeightType0() const override { return FParams.AntennaHeightType == 0; }
    double GetDeltaE() const override { return FParams.AntennaDeltaE; }
    double GetDeltaH() const override { return FParams.AntennaDeltaH; }
    double GetDeltaN() const override { return FParams.AntennaDeltaN; }
    double GetHeight() const override { return FParams.AntennaHeight; }
    std::string GetNumber() const override { return FParams.AntennaNumber; }
    std::string GetModel() const override { return FParams.AntennaModel; }
    bool IsHeightType1() const override { return FParams.AntennaHeightType == 1; }
    std::string GetNGSModel() const override { return FParams.AntennaNGSModel; }
    RVec3 GetOffset() const override { return FParams.Offset; }
    std::uint8_t GetHeightType() const override { return FParams.AntennaHeightType; }
    double GetVerticalHeight() const override { return FParams.AntennaVerticalHeight; }
    void SetHeightType0(bool Value) override { FParams.AntennaHeightType = Value ? 0 : 1; }
    void SetDeltaE(double Value) override { FParams.AntennaDeltaE = Value; }
    void SetDeltaH(double Value) override { FParams.AntennaDeltaH = Value; }
    void SetDeltaN(double Value) override { FParams.AntennaDeltaN = Value; }
    void SetHeight(double Value) override { FParams.AntennaHeight = Value; }
    void SetModel(const std::string& Value) override { FParams.AntennaModel = Value; }
    void SetNumber(const std::string& Value) override { FParams.AntennaNumber = Value; }
    void SetHeightType1(bool Value) override { FParams.AntennaHeightType = Value ? 1 : 0; }
    void SetNGSModel(const std::string& Value) override { FParams.AntennaNGSModel = Value; }
    void SetOffset(const RVec3& Value) override { FParams.Offset = Value; }
    void SetHeightType(std::uint8_t Value) override { FParams.AntennaHeightType = Value; }
    void SetVerticalHeight(double Value) override { FParams.AntennaVerticalHeight = Value; }

    // The whole parameter record.
    const RAntenna& GetParams() const noexcept { return FParams; }

protected:
    RAntenna FParams;
};

}  // namespace zqt_antenna_bs
