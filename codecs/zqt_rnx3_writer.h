// The RINEX 3.xx and 4.00 observation writer: SYS / # / OBS TYPES, the GLONASS header
// lines, epoch lines beginning with ">", one record line per satellite, and the closing
// # OF SATELLITES and PRN / # OF OBS lines.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zqt_rnx_files.h"
#include "zqt_sat_obs_rcrd.h"

namespace zqt_rnx3_writer {

class TZQS_Rinex3Writer : public zqt_rnx_files::TZQS_RinexObservations {
public:
    // A writer of the recordset's observations (versions 3.00 to 4.00). No recordset
    // raises zqt_types_bs::ExceptionZQS.
    static std::shared_ptr<zqt_rnx_files::TZQS_RinexObservations> Create(
        const zqt_obs_intrf::IZQS_RecordSetPtr& Recordset);

    // The codes of a system in column order, as the header lists them (after prepare).
    const std::vector<std::string>& Codes(unsigned Sys) const;

protected:
    void Prepare() override;
    void WriteObsTypeLines() override;
    void WriteLateLines() override;
    void WriteGloSlotLines() override;
    void WriteGloBiasLines() override;
    void WriteEpochHeader() override;
    void AddSatRecord(std::uint16_t Key) override;
    std::string FormatEventEpochLine(const zqt_rnx_files::RRinexTime& T, double Seconds, int Flag,
                                     int Count) override;

private:
    // Column of each observation type per satellite (index svprn, then type 1..24); -1
    // when the satellite has no code of the type in the file.
    using TColumns = std::array<std::int16_t, 25>;

    std::unique_ptr<zqt_sat_obs_rcrd::TRnxObs> FCodeTable;
    std::array<std::vector<std::string>, 8> FCodes;  // per system, the header's codes
    std::vector<TColumns> FColumns;
    std::vector<std::vector<std::uint32_t>> FCounts;  // per svprn and column
    std::int32_t FEpochLines = 0;
    std::array<char, 16> FField{};
    std::string FLine;
};

}  // namespace zqt_rnx3_writer
