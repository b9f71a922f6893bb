// The base of every RINEX writer (settings, header overrides, output path and naming),
// the observation file writer frame, and the navigation file writer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zqt_classes_bs.h"
#include "zqt_datastorage.h"
#include "zqt_obs_intrf.h"
#include "zqt_rnx_writer_settings.h"
#include "zqt_types_bs.h"

namespace zqt_rnx_files {

using zqt_datastorage::IZQS_DataStoragePtr;
using zqt_obs_intrf::IZQS_RecordSetPtr;
using zqt_rnx_writer_settings::RRnxWriterSettings;
using zqt_types_bs::TZQT_OverloadedParams;

class TZQS_RinexFiles : public zqt_classes_bs::TZQS_TextFileWriter {
public:
    // The writer keeps its own copy of the settings.
    void SetSettings(const RRnxWriterSettings& Value) { FSettings = Value; }
    const RRnxWriterSettings& GetSettings() const noexcept { return FSettings; }
    // Header values given on the command line; the given fields replace those of the data.
    void SetOverloadedParams(const TZQT_OverloadedParams& Value) { FOverloaded = Value; }
    // Output directory and base name without extension.
    virtual void SetPath(const std::string& Value) { FOutputPath = Value; }
    const std::string& GetOutputPath() const noexcept { return FOutputPath; }
    // The time of first observation of the header, from which the file is named and dated.
    void SetFirstObsTime(std::int64_t Ticks) noexcept { FFirstObsTime = Ticks; }
    std::int64_t GetFirstObsTime() const noexcept { return FFirstObsTime; }
    // The full name of the file last written.
    const std::string& GetWrittenName() const noexcept { return FWrittenName; }

protected:
    RRnxWriterSettings FSettings;
    TZQT_OverloadedParams FOverloaded;
    std::string FOutputPath;
    std::string FWrittenName;
    std::int64_t FFirstObsTime = 0;
};

// Writes one RINEX observation file from a recordset (and, unless switched off, its
// navigation files).
class TZQS_RinexObservations : public TZQS_RinexFiles {
public:
    // The whole file; afterwards GetWrittenName holds its name.
    virtual void WriteFile() = 0;
};

// Writes RINEX navigation files from a navigation store.
class TZQS_RinexNavigation : public TZQS_RinexFiles {
public:
    // A writer of one mixed navigation file from the store; the header's time of first
    // observation is the store's begin time. This build holds no navigation writer: the
    // call raises zqt_types_bs::ExceptionZQS.
    static std::shared_ptr<TZQS_RinexNavigation> Create(const IZQS_DataStoragePtr& Store,
                                                        const RRnxWriterSettings& Settings);
    virtual void WriteFile() = 0;
};

}  // namespace zqt_rnx_files
