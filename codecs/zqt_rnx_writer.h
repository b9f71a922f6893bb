// The RINEX 2.xx observation writer (versions 2.00 to 2.12): the choice of the
// two-character observation codes, # / TYPES OF OBSERV, WAVELENGTH FACT L1/2, epoch lines
// with their satellite lists, five-field observation records, and the closing
// # OF SATELLITES and PRN / # OF OBS lines.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zqt_rnx_files.h"

namespace zqt_rnx_writer {

class TZQS_RinexWriter : public zqt_rnx_files::TZQS_RinexObservations {
public:
    // A writer of the recordset's observations (versions 2.00 to 2.12). No recordset
    // raises zqt_types_bs::ExceptionZQS.
    static std::shared_ptr<zqt_rnx_files::TZQS_RinexObservations> Create(
        const zqt_obs_intrf::IZQS_RecordSetPtr& Recordset);

    // The RNXOBS codes of the file in column order (after prepare).
    const std::vector<std::uint8_t>& Codes() const noexcept { return FCodeList; }

protected:
    void Prepare() override;
    void WriteObsTypeLines() override;
    void WriteLateLines() override;
    void WriteWavelengthLines() override;
    void WriteEpochHeader() override;
    void AddSatRecord(std::uint16_t Key) override;
    std::string FormatEventEpochLine(const zqt_rnx_files::RRinexTime& T, double Seconds, int Flag,
                                     int Count) override;

private:
    static constexpr std::size_t RnxCodeCount = 43;
    using TCodeColumns = std::array<std::array<std::uint8_t, RnxCodeCount>, 8>;

    std::vector<std::uint8_t> FCodeList;
    // Per system and code, the observation type of the column, and the type it replaced
    // (used for a satellite that lacks the first); 0 = none.
    TCodeColumns FColumn{};
    TCodeColumns FColumn2{};
    std::vector<std::vector<std::uint32_t>> FCounts;  // per svprn and column
    std::int32_t FEpochLines = 0;
    std::array<char, 16> FField{};
    std::string FLine;
};

}  // namespace zqt_rnx_writer
