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

    // A raw record of the receiver converted into the record (zqt_ephem_tp), then the keys
    // derived. A conversion that raises leaves the object cleared: its key is 0, so it is
    // never stored.
    // GPS and QZSS (System).
    virtual void SetFromRawRecordB(std::int64_t Time, std::uint8_t System,
                                   const zqt_ephem_tp::RVLBKeplerEphem& Raw) = 0;
    // GLONASS, with the fewest leap seconds and the satellite-type letter.
    virtual void Check(std::int64_t Time, const zqt_ephem_tp::RVLBGlonassEphem& Raw,
                       std::uint8_t MinLeapSeconds, char SatType) = 0;
    virtual void SetFromRawRecordC(std::int64_t Time, const zqt_ephem_tp::RVLBKeplerEphem& Raw) = 0;
    virtual void SetFromRawRecordD(std::int64_t Time, const zqt_ephem_tp::RVLBKeplerEphem& Raw) = 0;
    virtual void SetFromRawRecordE(std::int64_t Time, const zqt_ephem_tp::RVLBSbasEphem& Raw) = 0;
    virtual void SetFromRawRecordA(std::int64_t Time, const zqt_ephem_tp::RVLBKeplerEphem& Raw) = 0;
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
    // GPS/QZSS, GLONASS, Galileo, BeiDou, SBAS and IRNSS raw records.
    void SetFromRawRecordB(std::int64_t Time, std::uint8_t System,
                           const zqt_ephem_tp::RVLBKeplerEphem& Raw) override;
    void Check(std::int64_t Time, const zqt_ephem_tp::RVLBGlonassEphem& Raw,
               std::uint8_t MinLeapSeconds, char SatType) override;
    void SetFromRawRecordC(std::int64_t Time, const zqt_ephem_tp::RVLBKeplerEphem& Raw) override;
    void SetFromRawRecordD(std::int64_t Time, const zqt_ephem_tp::RVLBKeplerEphem& Raw) override;
    void SetFromRawRecordE(std::int64_t Time, const zqt_ephem_tp::RVLBSbasEphem& Raw) override;
    void SetFromRawRecordA(std::int64_t Time, const zqt_ephem_tp::RVLBKeplerEphem& Raw) override;

    // The storage key: 0 without a satellite, and 0 for a Keplerian record without an
    // orbit (roota exactly 0; GLONASS and SBAS carry no roota); otherwise the key time
    // cut to its 8192-tick block, times 256, OR svprn x 128, OR the message kind.
    std::int64_t GetKey() const override;

    // Begin time := GPSTime, svprn and SatCode from the record; a GLONASS record's leap
    // seconds are raised to the leap-second table's value at its time.
    void DeriveKeys();

protected:
    // Runs a conversion on the record; the keys follow the record also when it raises.
    template <typename F>
    void Convert(F&& Conversion);

    REphem FRecord;
};

}  // namespace zqt_ephem_bs
