// Tracking arcs of the satellites of a data set (table SatArray): one row per satellite
// and stretch of time in which it was seen continuously at the same whole-degree
// elevation, with the observation types of the record that began the stretch. The
// satellite observations of an epoch feed the arcs while they are stored; an arc is
// written when it ends, and every open arc when writing ends.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "zqt_classes_dbs.h"
#include "zqt_obs_intrf.h"

namespace zqt_satarray_dbs {

class TZQS_SatArray : public zqt_classes_dbs::TZQS_Object,
                      public virtual zqt_obs_intrf::IZQS_SatArray {
public:
    // The largest step (ticks) between two records of one arc: 120 s.
    static constexpr std::int64_t MaxStep = 1'200'000;
    // The elevation byte of a satellite without geometry.
    static constexpr std::uint8_t UnknownElevation = 255;

    // The arcs of a data set, written on the data set's database.
    static std::shared_ptr<TZQS_SatArray> Create(const zqt_objects_intrf::IZQS_ObjectPtr& DataSet);

    // Table "SatArray": DataSetID, svprn, SatCode, Beg, End, El, ObsTypes, State. An arc
    // that begins where a written one of the satellite began is not written twice.
    void InitFields() override;

    // A record of a satellite at Time with Elevation (whole degrees as a signed byte;
    // 255, unknown, is taken as 0): it extends the satellite's open arc when it has the
    // same elevation and comes at most 120 s after the arc's end; otherwise the open arc
    // is written and a new one begins with it. A record older than the open arc's end
    // leaves that arc as it is and is written as an arc of its own.
    void AddSatellite(std::uint16_t Svprn, std::int64_t Time, std::uint8_t Elevation,
                      std::uint32_t ObsTypes) override;
    // Writes the satellite's open arc (State 3) and clears its observation types.
    void WriteArc(std::uint16_t Svprn);
    // Writes every open arc, then closes the write statement.
    void FinishWrite() override;

private:
    struct RArc {
        std::int64_t Beg = 0;  // 0: no arc
        std::int64_t End = 0;
        std::int8_t El = 0;
        std::uint32_t ObsTypes = 0;
    };
    using TArcs = std::array<RArc, 255>;  // by satellite number

    RArc* Arc(std::uint16_t Svprn, bool Create);
    void Write(std::uint16_t Svprn, const RArc& Arc);

    std::array<std::unique_ptr<TArcs>, 8> FArcs;  // by system code 1..7
};

}  // namespace zqt_satarray_dbs
