// Shared vocabulary of the program: the root exception ExceptionZQS and its first
// descendants, the enumerations of troposphere models, web-map types, free events and
// overridable header fields, the header-override record, the reader and recordset
// settings records, the free-event record with its text parsing, and the plain records
// of object identifiers and file facts.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "sysutils.h"

namespace zqt_types_bs {

// ---------------------------------------------------------------------------------------
// Exceptions

// Base of the program's own exceptions (file readers raise it directly).
ZQT_DECLARE_EXCEPTION(ExceptionZQS, sysutils::Exception, "ExceptionZQS");
// "Cancelled by user": raised at the next progress step once the cancel flag is set.
ZQT_DECLARE_EXCEPTION(ExcCancelledByUser, ExceptionZQS, "ExcCancelledByUser");
// "File %s already loaded".
ZQT_DECLARE_EXCEPTION(ExpZQSAlreadyLoaded, ExceptionZQS, "ExpZQSAlreadyLoaded");
// "Str2GPSTime error".
ZQT_DECLARE_EXCEPTION(ExpTimeConversion, ExceptionZQS, "ExpTimeConversion");

// ---------------------------------------------------------------------------------------
// Troposphere model kinds

enum eTropoModels : std::uint8_t {
    TM_Haldor = 0,
    TM_Zero = 1,
    TM_Simple = 2,
    TM_GCAT = 3,
    TM_MOPS = 4,
    TM_GoadandGoodman = 5,
    TM_NB = 6,
    TM_Saastamoinen = 7,
    TM_Neill = 8,
    TM_Bernese = 9,
    TM_CGGTTS20 = 10,
};
inline constexpr int TropoModelCount = 11;

// Display names, indexed by eTropoModels.
inline constexpr std::array<std::string_view, TropoModelCount> TropoModelNames{
    "Harbeckworks", "Zero",         "Simple", "GCAT",    "MOPS",    "GoadandGoodman",
    "NB",           "Saastamoinen", "Neill",  "Bernese", "CGGTTS20"};

// Display name of a model kind; "" for a value outside the table.
std::string_view TropoModelName(eTropoModels m) noexcept;

// ---------------------------------------------------------------------------------------
// Web-map types

enum eWebMapMapTypes : std::uint8_t { gmRoadMap = 0, gmSatellite = 1, gmTerrain = 2, gmHybrid = 3 };

inline constexpr std::array<std::string_view, 4> WebMapTypeNames{"roadmap", "satellite", "terrain",
                                                                 "hybrid"};
inline constexpr std::array<std::string_view, 4> WebMapTypeCodes{"m", "s", "t", "y"};

// ---------------------------------------------------------------------------------------
// Free events attached to an observation stream

enum EFreeEvents : std::uint8_t {
    FE_BEG = 0,
    FE_XA = 1,
    FE_XB = 2,
    FE_XC = 3,
    FE_ANT = 4,
    FE_ANH = 5,
    FE_ANO = 6,
    FE_DYM = 7,
    FE_SIT = 8,
    FE_CAN = 9,
    FE_SAV = 10,
    FE_DSC = 11,
    FE_ENT = 12,
    FE_EVT = 13,
    FE_GUI = 14,
    FE_VTN = 15,
    FE_RMS = 16,
    FE_END = 17,
};

// Event tags, indexed by EFreeEvents; the two bounds have none.
inline constexpr std::array<std::string_view, 18> FreeEventTags{
    "",     "_XA",  "_XB",  "_XC",  "_ANT", "_ANH", "_ANO", "_DYM", "_SIT",
    "_CAN", "_SAV", "_DSC", "_ENT", "_EVT", "_GUI", "_VTN", "_RMS", ""};

// One free event: its time, its kind and the tag and value texts it was given with.
struct RFreeEvent {
    // Raised by the antenna getters when the event is of another kind.
    ZQT_DECLARE_EXCEPTION(FreeEventException, ExceptionZQS, "FreeEventException");

    std::int64_t Time = 0;  // GPS ticks
    double dTime = 0.0;     // seconds from the reference time of the carrying stream
    EFreeEvents Kind = FE_BEG;
    std::string Tag;
    std::string Value;

    // Antenna height of an FE_ANH event (metres). IsSlant becomes False for a "V" (vertical)
    // and True for an "S" (slant) in the text, and is left as it is otherwise.
    double GetAntennaHeight(bool& IsSlant) const;
    // Antenna height (first part) and second value (Second) of an FE_ANO event
    // "height;offset".
    double GetAntennaOffset(double& Second, bool& IsSlant) const;
};

// Parses "TAG=value" into the event's tag, value and kind; a text without "=" gives the
// tag "_HHH" with the whole text as value. An unknown tag gives FE_BEG. The times are left
// as they are.
void StrToFreeEvent(RFreeEvent& event, std::string_view text);

// Antenna height text: "," is read as ".", a "V" marks a vertical height, "a+b" is the sum
// of the first two terms, an "S" marks a slant height. Raises EConvertError on a text
// that is not a number.
double AntennaHeightFromText(std::string_view text, bool& IsSlant);

// ---------------------------------------------------------------------------------------
// Header fields that the user may override

enum eFields : std::uint8_t {
    eNone = 0,
    eRunBy,
    eObserverName,
    eObserverAgency,
    eMarkerName,
    eMarkerNumber,
    eMarkerType,
    eCountryCode,
    eApproxX,
    eApproxY,
    eApproxZ,
    eReceiverNumber,
    eReceiverType,
    eFirmwareVersion,
    eAntenaNumber,
    eAntennaModel,
    eAntennaHeight,
    eAntennaDeltaE,
    eAntennaDeltaN,
    eAntennaDeltaH,
};
inline constexpr int FieldCount = 20;

// The set of eFields: bit n for the field of value n.
using TFieldSet = std::bitset<FieldCount>;

// Header values given on the command line that replace those of the data.
struct TZQT_OverloadedParams {
    std::string RunBy;
    std::string ObserverName;
    std::string ObserverAgency;
    std::string MarkerName;
    std::string MarkerNumber;
    std::string MarkerType;
    std::string CountryCode;
    double ApproxX = 0.0;
    double ApproxY = 0.0;
    double ApproxZ = 0.0;
    std::string ReceiverNumber;
    std::string ReceiverType;
    std::string FirmwareVersion;
    std::string AntennaNumber;
    std::string AntennaModel;
    double AntennaHeight = 0.0;
    double AntennaDeltaE = 0.0;
    double AntennaDeltaN = 0.0;
    double AntennaDeltaH = 0.0;
    // The fields that were given; only these replace header items.
    TFieldSet Fields;

    bool Has(eFields f) const { return Fields.test(f); }
};

// ---------------------------------------------------------------------------------------
// Reader settings: the options of one import. All members start at 0.

struct TRReaderSettings {
    std::int64_t StartTime = 0;     // GPS ticks; 0 none; negative counts from the first epoch
    std::int64_t FinalTime = 0;     // GPS ticks; 0 none; negative counts from the first epoch
    std::int64_t Interval = 0;      // GPS ticks; 0 none
    std::int64_t DayStart = 0;      // GPS ticks; time keeping of the RTCM reader starts here
    std::int64_t EndTime = 0;       // GPS ticks; end of the imported file
    std::int64_t RinexDayTime = 0;  // GPS ticks; day start of the RINEX reader
    bool SuppressDuplicates = false;
};

// ---------------------------------------------------------------------------------------
// Satellite set stand-in: seven 256-bit membership words (systems 1 to 7, bit n =
// satellite number n) and a 32-bit mask of the systems added. The observation vocabulary
// gives it its operations.

struct TSatSetBits {
    std::array<std::bitset<256>, 7> Sats{};
    std::uint32_t Mask = 0;

    bool operator==(const TSatSetBits&) const = default;
};

// ---------------------------------------------------------------------------------------
// Recordset settings: filter and model settings of a recordset read as observation
// provider. Copied by value; RecordsetSettingsDefault gives the usual values.

struct TRRecordsetSettings {
    std::uint8_t Engine = 0;         // engine kind of the standalone solution
    std::uint8_t SolutionType = 0;   // solution type of that solution
    std::int32_t ElevationMask = 0;  // whole degrees
    std::uint8_t SystemSet = 0;      // bit n = system code n
    TSatSetBits ExcludedSats;
    bool RelativisticDelay = false;
    eTropoModels TropoModel = TM_Haldor;
    double Pressure = 0.0;     // hPa
    double Temperature = 0.0;  // degrees Celsius
    double Humidity = 0.0;     // relative, %
    std::uint8_t AntennaModel = 0;
};

// Engine 0, solution type 8, elevation mask 12, systems $F6 (GPS, GLONASS, Galileo, QZSS,
// BeiDou, IRNSS), no excluded satellites, no relativistic delay, Neill troposphere at
// 980 hPa, 20 degrees, 50 %, antenna model 0.
void RecordsetSettingsDefault(TRRecordsetSettings& settings);
TRRecordsetSettings RecordsetSettingsDefault();

// ---------------------------------------------------------------------------------------
// Object identifiers and file facts

struct RObjID {
    std::int32_t ObjID = 0;
    void Clear() { ObjID = 0; }
};

struct RFtpHost {
    std::string HostName;
    std::int32_t Port = 0;
    std::string UserName;
};

struct RFtpFile {
    std::string Directory;
    std::string FileName;
    std::int64_t Size = 0;
    double Time = 0.0;  // TDateTime
};

struct RFtpFileInfo {
    RFtpHost Host;
    RFtpFile File;
};

// Facts of one file: one row of table Files.
struct RFileInfo {
    std::string FileName;       // the path as given
    std::string Name;           // file name without directory
    std::uint8_t Typ = 0;       // file type code
    std::uint32_t Version = 0;  // format version
    std::string URL;
    double Time = 0.0;  // modification time, TDateTime
    std::int64_t CRC = 0;
    std::uint8_t Location = 0;
    std::int32_t NetFileID = 0;
    std::uint8_t Compression = 0;
    std::int64_t Size = 0;
    std::int64_t CmpCRC = 0;
    RFtpFileInfo Ftp;
};

// Every string empty, every number and flag 0.
void FileInfoClear(RFileInfo& info);

}  // namespace zqt_types_bs

namespace zqt_classes_bs {
// A file that cannot be opened (the main program maps it to its own exit code).
ZQT_DECLARE_EXCEPTION(ExcZQSCantOpenFile, zqt_types_bs::ExceptionZQS, "ExcZQSCantOpenFile");
}  // namespace zqt_classes_bs

namespace zqt_sat_obs_types {
// The observation vocabulary's own exception ("Bad sv %s", missing tables), also raised by
// the data-access lock of the navigation store ("TZQS_DataAccess.EnterWrite too long
// waiting"). A class separate from zqt_types_bs::ExceptionZQS, although it prints the
// same name; declared here, below the observation model, so that the lock can raise it.
ZQT_DECLARE_EXCEPTION(ExceptionZQS, sysutils::Exception, "ExceptionZQS");
}  // namespace zqt_sat_obs_types
