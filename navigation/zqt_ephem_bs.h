// One broadcast ephemeris as a persistent satellite object: the record, and the keys
// (time, satellite, system, storage key) derived from it.
#pragma once

#include <cstdint>
#include <memory>

#include "zqt_classes_dbs.h"
#include "zqt_ephem_tp.h"
#include "zqt_objects_intrf.h"

namespace zqt_ephem_bs {

using zqt_ephem_tp::REphem;

// The ephemeris object seen from the storages, the decoders and the readers.
class IZQS_Ephem : public virtual zqt_objects_intrf::IZQS_SvObject {
public:
    // A copy of the record.
    virtual REphem GetRecord() const = 0;
    // The record itself, to read or edit in place (the keys are not re-derived then).
    virtual REphem* RecordPtr() = 0;
    // Copies the record in and derives the keys from it.
    virtual void SetRecord(const REphem& Record) = 0;
};

using IZQS_EphemPtr = std::shared_ptr<IZQS_Ephem>;

// Key-time blocks of the storage key: the low 13 bits of the time are cleared, so records
// of one satellite and message kind less than 0.8192 s apart share a key.
inline constexpr std::int64_t EphemKeyTimeMask = ~std::int64_t{0x1FFF};

class TZQS_Ephem_bs : public zqt_classes_dbs::TZQS_SvObject, public virtual IZQS_Ephem {
public:
    REphem GetRecord() const override { return FRecord; }
    REphem* RecordPtr() override { return &FRecord; }
    void SetRecord(const REphem& Record) override;

    // The storage key: 0 without a satellite, and 0 for a Keplerian record without an
    // orbit (roota exactly 0; GLONASS and SBAS carry no roota); otherwise the key time
    // cut to its 8192-tick block, times 256, OR svprn x 128, OR the message kind.
    std::int64_t GetKey() const override;

    // Begin time := GPSTime, svprn and SatCode from the record; a GLONASS record's leap
    // seconds are raised to the leap-second table's value at its time.
    void DeriveKeys();

protected:
    REphem FRecord;
};

}  // namespace zqt_ephem_bs
