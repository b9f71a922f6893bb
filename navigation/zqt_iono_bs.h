// One broadcast ionosphere coefficient set (the four amplitude and four period
// coefficients of the Klobuchar model) of one satellite system, as a persistent object
// keyed by time and system.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "zqt_classes_dbs.h"
#include "zqt_objects_intrf.h"

namespace zqt_iono_bs {

// One coefficient set.
struct RIono {
    std::int64_t GPSTime = 0;  // time of the set, GPS ticks
    std::uint8_t System = 0;   // satellite-system code
    std::uint32_t tot = 0;     // time of week of the set (s)
    std::uint16_t wn = 0;      // week number
    float alpha0 = 0.0f;       // amplitude coefficients
    float alpha1 = 0.0f;
    float alpha2 = 0.0f;
    float alpha3 = 0.0f;
    float beta0 = 0.0f;  // period coefficients
    float beta1 = 0.0f;
    float beta2 = 0.0f;
    float beta3 = 0.0f;
};

// The part of a set that follows the system code: what a navigation message or file
// header gives.
struct RIonoParams {
    std::uint32_t tot = 0;
    std::uint16_t wn = 0;
    std::array<std::uint8_t, 2> Reserved{};
    float alpha0 = 0.0f;
    float alpha1 = 0.0f;
    float alpha2 = 0.0f;
    float alpha3 = 0.0f;
    float beta0 = 0.0f;
    float beta1 = 0.0f;
    float beta2 = 0.0f;
    float beta3 = 0.0f;
};

// The coefficients of a set as the broadcast model takes them.
std::array<float, 4> IonoAlpha(const RIono& Set) noexcept;
std::array<float, 4> IonoBeta(const RIono& Set) noexcept;

// The ionosphere-set object seen from the storage and the readers.
class IZQS_Iono : public virtual zqt_objects_intrf::IZQS_ScObject {
public:
    // The set itself, to read or edit in place (the keys are not re-derived then).
    virtual RIono* GetData() = 0;
    // Time and system become the object's key (begin time, SatCode) and the set's; the
    // coefficient block is copied in.
    virtual void SetParams(std::int64_t Time, std::uint8_t System, const RIonoParams& Params) = 0;
};

using IZQS_IonoPtr = std::shared_ptr<IZQS_Iono>;

class TZQS_Iono_bs : public zqt_classes_dbs::TZQS_ScObject, public virtual IZQS_Iono {
public:
    RIono* GetData() override { return &FRecord; }
    const RIono& Record() const { return FRecord; }
    void SetParams(std::int64_t Time, std::uint8_t System, const RIonoParams& Params) override;
    // Copies a whole set in; its time and system become the object's key.
    void SetRecord(const RIono& Set);

    // The key time is the set's time: it goes to the begin time and the set, with the GPS
    // week of the time in `wn` and the rounded second of that week in `tot`.
    void SetKeyTime(std::int64_t Value) override;

protected:
    RIono FRecord;
};

}  // namespace zqt_iono_bs
