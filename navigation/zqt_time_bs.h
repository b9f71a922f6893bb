// One set of broadcast time-system parameters (the offset between two time systems, with
// the leap-second announcement of GPS-like systems or the GLONASS corrections), as a
// persistent object keyed by time and the pair of systems.
#pragma once

#include <cstdint>
#include <memory>

#include "zqt_classes_dbs.h"
#include "zqt_objects_intrf.h"

namespace zqt_time_bs {

// One parameter set. Time systems are the codes of zqt_timefunc::ETimeType: 1 to 7 the
// satellite systems, 8 UTC, ...
struct RTimeParams {
    std::int64_t GPSTime = 0;  // time of the set, GPS ticks
    std::uint8_t Sys1 = 0;     // source time system
    std::uint8_t Sys2 = 0;     // target time system
    double a0 = 0.0;           // offset (s)
    float a1 = 0.0f;           // drift (s/s)
    std::uint32_t tot = 0;     // reference time of week (s)
    std::uint16_t wnt = 0;     // reference week
    std::int8_t dtls = 0;      // current leap seconds
    std::uint16_t wnlsf = 0;   // week of the leap-second event
    std::int8_t dtlsf = 0;     // future leap seconds
    double tauSys = 0.0;       // GLONASS to system-time correction (s)
    float tauGps = 0.0f;       // GLONASS to GPS correction (s)
    float B1 = 0.0f;           // UT1 correction coefficient
    float B2 = 0.0f;           // UT1 correction rate
    std::uint8_t KP = 0;       // GLONASS leap-second notice
    std::uint8_t N4 = 0;       // four-year interval number
    // Day number: of the leap-second event (GPS-like sets) or the GLONASS day. One field
    // for both kinds of set, the one column `dn` stores.
    std::int16_t dn = 0;
};

// The parameters of a GPS-like set (offset, drift and leap-second announcement).
struct RTimeParamsGPS {
    double a0 = 0.0;
    float a1 = 0.0f;
    std::uint32_t tot = 0;
    std::uint16_t wnt = 0;
    std::int8_t dtls = 0;
    std::uint8_t dn = 0;
    std::uint16_t wnlsf = 0;
    std::int8_t dtlsf = 0;
};

// The parameters of a GLONASS set.
struct RTimeParamsGlo {
    double tauSys = 0.0;
    float tauGps = 0.0f;
    float B1 = 0.0f;
    float B2 = 0.0f;
    std::uint8_t KP = 0;
    std::uint8_t N4 = 0;
    std::int16_t dn = 0;
};

// The time-parameter object seen from the storage and the readers.
class IZQS_TimeParams : public virtual zqt_objects_intrf::IZQS_ScObject {
public:
    // The set itself, to read or edit in place (the keys are not re-derived then).
    virtual RTimeParams* GetData() = 0;
    // Copies a whole set in; its time and Sys1 become the object's key.
    virtual void SetData(const RTimeParams& Params) = 0;
    // A GPS-like set: cleared, then time, systems and the parameters. Unless Sys1 is
    // GLONASS or BeiDou, the reference week becomes the GPS week of the time.
    virtual void SetParams(std::int64_t Time, std::uint8_t Sys1, std::uint8_t Sys2,
                           const RTimeParamsGPS& Params) = 0;
    // A GLONASS set: cleared, then time, systems and the parameters.
    virtual void SetParamsShort(std::int64_t Time, std::uint8_t Sys1, std::uint8_t Sys2,
                                const RTimeParamsGlo& Params) = 0;
};

using IZQS_TimeParamsPtr = std::shared_ptr<IZQS_TimeParams>;

class TZQS_TimeParams_bs : public zqt_classes_dbs::TZQS_ScObject, public virtual IZQS_TimeParams {
public:
    RTimeParams* GetData() override { return &FRecord; }
    const RTimeParams& Record() const { return FRecord; }
    void SetData(const RTimeParams& Params) override;
    void SetParams(std::int64_t Time, std::uint8_t Sys1, std::uint8_t Sys2,
                   const RTimeParamsGPS& Params) override;
    void SetParamsShort(std::int64_t Time, std::uint8_t Sys1, std::uint8_t Sys2,
                        const RTimeParamsGlo& Params) override;

    // The key time is the set's time.
    std::int64_t GetKeyTime() const override { return FRecord.GPSTime; }
    void SetKeyTime(std::int64_t Value) override;
    // 0 unless both systems are set; otherwise the key time cut to the whole second, with
    // Sys1 x 10 + Sys2 in its sub-second ticks: one set per second and pair of systems.
    std::int64_t GetKey() const override;

protected:
    // Cleared set with time and systems, the begin time and SatCode (= Sys1).
    void StartSet(std::int64_t Time, std::uint8_t Sys1, std::uint8_t Sys2);

    RTimeParams FRecord;
};

}  // namespace zqt_time_bs
