// Interfaces of the observation model: the satellite observations of an epoch and the
// epoch itself, the data set and the recordset, the plain records they hand out (the site
// occupation among them), and the narrow interfaces of the objects they talk to that
// other units build (file receivers, receivers, observers, satellite arrays, standalone
// solutions and their coordinates, the estimation engine, the navigation store with its
// orbit provider and troposphere model).
//
// The classes of later subsystems (the navigation store, the troposphere models) and a
// few classes of this one plug in through the hooks at the end of this header. A hook may
// be absent where the work can be done without it: an epoch or a recordset without a
// navigation-store factory has no navigation data (and no satellite geometry), a
// recordset without a troposphere-model factory models no troposphere delay, a data set
// without a file-receiver loader reaches only the file receiver that made it, a file
// receiver without an observation-file loader reaches only the file that made it, an
// occupation at a new point without a site creator gets no site.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "zqt_basestorage.h"
#include "zqt_file_bs.h"
#include "zqt_objects_intrf.h"
#include "zqt_sat_obs_rcrd.h"
#include "zqt_sat_obs_types.h"
#include "zqt_types_bs.h"
#include "zqt_variant.h"

namespace zqt_antenna_rcrd {
struct RFileHeaderFull;
}
namespace zqt_antenna_bs {
class IZQS_Antenna;
}
namespace zqt_geo {
struct RObsStatistics;
}

namespace zqt_site {
class IZQS_Site;
}

namespace zqt_obs_intrf {

using zqt_basestorage::RAzEl;
using zqt_basestorage::RVec3;
using zqt_objects_intrf::IZQS_Object;
using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_sat_obs_types::TObsInfoTable;
using zqt_sat_obs_types::TSatSet;

// ---------------------------------------------------------------------------------------
// Records

inline constexpr int BandCount = 6;  // bands 1..6

// Bits of the kinds byte of a band: bit k for kind k.
inline constexpr std::uint8_t KindRange = 2;      // pseudorange (kind 1)
inline constexpr std::uint8_t KindPhase = 4;      // carrier phase (kind 2)
inline constexpr std::uint8_t KindDoppler = 8;    // Doppler (kind 3)
inline constexpr std::uint8_t KindStrength = 16;  // signal strength (kind 4)

// The observations of one band of a satellite.
struct RSatObsBand {
    double Range = 0.0;         // pseudorange, m
    double Phase = 0.0;         // carrier phase, m (cycles x wavelength)
    double Doppler = 0.0;       // Hz
    std::uint8_t Strength = 0;  // 0..255
    std::uint8_t Lock = 0;      // lock indicator 0..15
    std::uint8_t Kinds = 0;     // KindRange | KindPhase | KindDoppler | KindStrength
};

// The observations of one satellite in one epoch.
struct RSatObsRecord {
    std::uint16_t Key = 0;       // svprn; 0 = record unused
    double Azimuth = 0.0;        // radians
    double Elevation = 0.0;      // radians
    double BaseRange = 0.0;      // m; 0 = not set
    double RefRate = 0.0;        // rate from which Dopplers are derived; NaN after initialisation
    std::uint8_t BandMask = 0;   // bit b set when band b holds an observation
    std::uint32_t ObsTypes = 0;  // observation-type bitset, bits 1..24
    std::array<RSatObsBand, BandCount> Bands{};  // Bands[b - 1] is band b

    RSatObsBand& Band(unsigned b) { return Bands[b - 1]; }
    const RSatObsBand& Band(unsigned b) const { return Bands[b - 1]; }
};

// GLONASS frequency channel per satellite number 1..254 (entry n - 1); 127 = unknown.
using TGloChannels = std::array<std::int8_t, 254>;
// The GLONASS code-phase biases (m) that were applied to the phases of a data set to align
// them with its ranges, for the signals C1C, C1P, C2C and C2P (slots 1 to 4); 0 where none
// was applied.
using TGloPhaseBiases = std::array<double, 4>;

// The epoch's own values as one block.
struct REpochRecord {
    std::uint32_t DataSetID = 0;
    std::int64_t Time = 0;      // GPS ticks
    std::int64_t Interval = 0;  // ticks since the previous epoch
    std::int32_t NumSat = 0;
    std::uint8_t EpochFlag = 0;
    bool Enabled = false;
    std::uint8_t CrdType = 0;
};

// Attitude of the antenna at an epoch (table RotationMatrix).
struct RRotation {
    std::int64_t Time = 0;  // GPS ticks
    float q00 = 0.0f;
    float q01 = 0.0f;
    float q02 = 0.0f;
    float q12 = 0.0f;
    std::uint8_t SaveFlag = 0;  // non-zero: the epoch writes the row
};

// A satellite state computed from a broadcast ephemeris: sixteen 8-byte slots.
struct RSatState {
    RVec3 Pos;                 // position (m, Earth-fixed)
    RVec3 Vel;                 // velocity (m/s, Earth-fixed)
    double Relativity = 0.0;   // relativistic clock term (s); 0 for GLONASS
    double Reserved = 0.0;     // not written
    double ClockBias = 0.0;    // satellite clock offset (s)
    double ClockDrift = 0.0;   // satellite clock drift (s/s)
    double Tgd = 0.0;          // group delay of the record (s)
    std::int32_t FreqNum = 0;  // GLONASS frequency channel; 0 for the Keplerian systems
    std::int64_t Time = 0;     // requested time (ticks)
    double dt = 0.0;           // offset from the requested time (s)
    std::int64_t EphTime = 0;  // GPS time of the record (ticks)
    std::int32_t Iode = 0;     // issue of data of the record
};

// Geometry of a satellite seen from a receiver at the epoch time.
struct RSatGeometry {
    bool Valid = false;
    // 0 computed; 1 no ephemeris; 2 ephemeris not usable; 3 no base range; 4 position failed
    std::uint8_t Status = 0;
    std::int32_t GloChannel = 0;  // GLONASS frequency channel, 0 for other systems
    double TransmitOffset = 0.0;  // s, signal travel time and satellite clock
    RSatState State;              // satellite at transmission
    double Range = 0.0;           // geometric range, m
    double RangeRate = 0.0;       // m/s along the line of sight
    RAzEl AzEl;                   // from the receiver, radians
};

// ---------------------------------------------------------------------------------------
// Narrow interfaces of objects built by later subsystems

// The orbit provider of the navigation store: select an ephemeris, then ask it.
class IZQS_OrbitProvider {
public:
    virtual ~IZQS_OrbitProvider() = default;
    virtual bool SelectEphemeris(std::uint16_t Svprn, std::int64_t Time) = 0;
    // A record is selected and healthy.
    virtual bool IsHealthy() = 0;
    // Selected record's GLONASS channel (127 none); 0 for other systems.
    virtual std::int32_t CurrentGlonassChannel() = 0;
    // Satellite clock offset (s) at the requested time + Dt; NaN without a selection.
    virtual double ClockCorrection(double Dt) = 0;
    // State at the requested time + Dt, corrected for the Earth's rotation at Position.
    virtual bool SatStateRotated(double Dt, const RVec3& Position, RSatState& State) = 0;
    // GLONASS channel of a satellite at a time (127 none); the selection is not touched.
    virtual std::int32_t GlonassChannel(std::uint16_t Svprn, std::int64_t Time) = 0;
};
using IZQS_OrbitProviderPtr = std::shared_ptr<IZQS_OrbitProvider>;

// A troposphere model (navigation models): the slant tropospheric delay (m) of a signal
// arriving at an elevation (radians) at a site, from the site's height and latitude, the
// time and the weather. Temperatures are degrees Celsius at the interface, pressures hPa,
// humidities %, heights m, latitudes degrees.
class IZQS_TropoModel {
public:
    virtual ~IZQS_TropoModel() = default;
    // Every input the model needs is set.
    virtual bool IsReady() const = 0;
    // The slant delay, m; NaN below the model's lowest elevation.
    virtual double GetDelay(double Elevation) = 0;
    virtual void UpdateReady() = 0;
    // Raises zqt_types_bs::ExceptionZQS naming the first input missing.
    virtual void Validate() = 0;
    virtual double GetZenithDryDelay() = 0;
    virtual double GetZenithWetDelay() = 0;
    virtual double GetDryMapping(double Elevation) = 0;
    virtual double GetWetMapping(double Elevation) = 0;
    // Water-vapour pressure of the weather, in thousands of hPa.
    virtual double GetVapourPressure() = 0;
    virtual zqt_types_bs::eTropoModels GetKind() const = 0;
    // The display name of the kind.
    virtual std::string GetName() const = 0;
    virtual std::string ToString() const = 0;
    virtual void SetWeather(double Temperature, double Pressure, double Humidity) = 0;
    // The weather with the standard temperature at the model's height.
    virtual void SetStdWeather(double Pressure, double Humidity) = 0;
    // Heights of the temperature, pressure and humidity readings.
    virtual void SetWeatherHeights(double HT, double HP, double HRH) = 0;
    virtual void SetHeight(double Height) = 0;
    virtual void SetLatitude(double Latitude) = 0;
    // An Earth-centred position (m), turned into latitude, longitude and height.
    virtual void SetPositionXYZ(const RVec3& Position) = 0;
    virtual void SetPosition(double Latitude, double Longitude, double Height) = 0;
    // SetPositionXYZ, then the standard temperature at the height with the current
    // pressure and humidity.
    virtual void SetPositionXYZStdWeather(const RVec3& Position) = 0;
    virtual void SetGPSTime(std::int64_t Time) = 0;
};
using IZQS_TropoModelPtr = std::shared_ptr<IZQS_TropoModel>;

// The navigation store: a persistent object over a time window.
class IZQS_DataStorage : public virtual IZQS_Object {
public:
    virtual IZQS_OrbitProviderPtr GetOrbitProvider() = 0;
    // Loads the window from the navigation database.
    virtual bool Load() = 0;
    // The troposphere model of the store, created on first use.
    virtual IZQS_TropoModelPtr GetTropoModel() = 0;
    // The broadcast ionosphere delay (m, first GPS frequency) of a satellite at a time,
    // seen from Position (Earth-centred, m) at Elevation and Azimuth (radians); 0.0
    // without ionosphere parameters.
    virtual double GetIonoDelay(std::uint16_t Svprn, std::int64_t Time, const RVec3& Position,
                                double Elevation, double Azimuth) = 0;
};
using IZQS_DataStoragePtr = std::shared_ptr<IZQS_DataStorage>;

// Clock and quality figures of a position (table CoordinatesExt). Every setter marks
// the figures modified; a write happens only then.
class IZQS_CoordinatesExt : public virtual IZQS_Object {
public:
    virtual double GetClock() const = 0;
    virtual double GetGDOP() const = 0;
    virtual double GetHDOP() const = 0;
    virtual double GetPDOP() const = 0;
    virtual double GetRMS() const = 0;
    virtual std::uint32_t GetSatsUsed() const = 0;
    virtual double GetTDOP() const = 0;
    virtual void SetGDOP(double Value) = 0;
    virtual void SetHDOP(double Value) = 0;
    virtual void SetPDOP(double Value) = 0;
    virtual void SetRMS(double Value) = 0;
    virtual void SetSatsUsed(std::uint32_t Value) = 0;
    virtual void SetTDOP(double Value) = 0;
    virtual void SetClock(double Value) = 0;
    // Every figure 0, not modified.
    virtual void Clear() = 0;
};
using IZQS_CoordinatesExtPtr = std::shared_ptr<IZQS_CoordinatesExt>;

// Earth-centred velocity of a position (m/s) with its standard deviation (table Velocity).
class IZQS_Velocity : public virtual IZQS_Object {
public:
    virtual RVec3 GetXYZ() const = 0;
    virtual double GetX() const = 0;
    virtual double GetY() const = 0;
    virtual double GetZ() const = 0;
    virtual double GetS() const = 0;
    virtual void SetXYZ(const RVec3& Value) = 0;
    virtual void SetX(double Value) = 0;
    virtual void SetY(double Value) = 0;
    virtual void SetZ(double Value) = 0;
    virtual void SetS(double Value) = 0;
    // Every value 0, not modified.
    virtual void Clear() = 0;
};
using IZQS_VelocityPtr = std::shared_ptr<IZQS_Velocity>;

// Variances and covariances of a position, m^2: SX, SY, SZ, CXY, CXZ, CYZ.
using TCovariance = std::array<double, 6>;

// A position of an object (table Coordinates): X, Y, Z with their latitude, longitude and
// height (degrees, m, WGS-84), variances and a point type, and its extension and velocity
// companions. Every setter marks it modified; a write happens only then, and clears it.
class IZQS_Coordinates : public virtual IZQS_Object {
public:
    virtual RVec3 GetXYZ() const = 0;
    // Latitude, longitude (degrees) and height (m).
    virtual zqt_basestorage::RGeo GetBLH() const = 0;
    virtual double GetX() const = 0;
    virtual double GetY() const = 0;
    virtual double GetZ() const = 0;
    virtual double GetLat() const = 0;
    virtual double GetLon() const = 0;
    virtual double GetAlt() const = 0;
    virtual double GetSX() const = 0;
    virtual double GetSY() const = 0;
    virtual double GetSZ() const = 0;
    virtual std::uint8_t GetPointType() const = 0;
    virtual std::uint32_t GetPointType32() const = 0;
    // Created on first use.
    virtual IZQS_CoordinatesExtPtr GetExt() = 0;
    virtual IZQS_VelocityPtr GetVelocity() = 0;
    // Set by every setter; a write happens only when set.
    virtual bool IsModified() const = 0;
    virtual void Clear() = 0;
    virtual TCovariance GetCovariance() const = 0;
    virtual void SetCovariance(const TCovariance& Value) = 0;
    // Stores X, Y, Z and computes latitude, longitude and height from them.
    virtual void SetXYZ(const RVec3& Value) = 0;
    // Stores latitude, longitude and height only.
    virtual void SetBLH(const zqt_basestorage::RGeo& Value) = 0;
    virtual void SetPointType(std::uint8_t Value) = 0;
    virtual void SetPointType32(std::uint32_t Value) = 0;
    virtual std::int32_t GetLinkedObjID() const = 0;
    virtual std::int64_t GetSubObjID() const = 0;
    // Rows written by this object so far.
    virtual std::int32_t GetWriteCount() const = 0;
    // sqrt(SX + SY + SZ).
    virtual double GetSigma3D() const = 0;
    virtual void SetLinkedObjID(std::int32_t Value) = 0;
    virtual void SetSubObjID(std::int64_t Value) = 0;
};
using IZQS_CoordinatesPtr = std::shared_ptr<IZQS_Coordinates>;

// One residual of an observation used by a solution (table Residuals).
struct RResidual {
    std::int32_t Typ = 0;     // kind of observation
    std::uint16_t Sv = 0;     // svprn
    std::uint16_t SvRef = 0;  // svprn of the reference satellite of a difference
    std::int32_t Freq = 0;    // band
    std::int64_t GPSTime = 0;
    double Residual = 0.0;  // m
};

// The residuals of a solution: one record at a time, set field by field or whole and
// written per row.
class IZQS_Residuals : public virtual IZQS_Object {
public:
    virtual void SetGPSTime(std::int64_t Value) = 0;
    virtual void SetResidual(double Value) = 0;
    virtual void SetSv(std::uint16_t Value) = 0;
    virtual void SetSvRef(std::uint16_t Value) = 0;
    virtual void SetTyp(std::int32_t Value) = 0;
    virtual void SetFreq(std::int32_t Value) = 0;
    virtual std::int64_t GetGPSTime() const = 0;
    virtual double GetResidual() const = 0;
    virtual std::uint16_t GetSv() const = 0;
    virtual std::uint16_t GetSvRef() const = 0;
    virtual std::int32_t GetTyp() const = 0;
    virtual std::int32_t GetFreq() const = 0;
    virtual RResidual GetRecord() const = 0;
    virtual void SetRecord(const RResidual& Value) = 0;
};
using IZQS_ResidualsPtr = std::shared_ptr<IZQS_Residuals>;

// One estimated carrier-phase ambiguity of a solution (table ambiguity).
struct RAmbiguity {
    std::int32_t Typ = 0;
    std::int32_t Freq = 0;
    std::uint16_t Sv = 0;
    std::int64_t GPSTime = 0;
    double Value = 0.0;
    std::string Description;
};

// The ambiguities of a solution: one record at a time, set field by field (or whole) and
// written per row.
class IZQS_Ambiguity : public virtual IZQS_Object {
public:
    virtual void SetGPSTime(std::int64_t Value) = 0;
    virtual void SetSv(std::uint16_t Value) = 0;
    virtual void SetTyp(std::int32_t Value) = 0;
    virtual void SetFreq(std::int32_t Value) = 0;
    virtual void SetValue(double Value) = 0;
    virtual void SetDescription(const std::string& Value) = 0;
    virtual std::int64_t GetGPSTime() const = 0;
    virtual double GetValue() const = 0;
    virtual std::uint16_t GetSv() const = 0;
    virtual std::int32_t GetTyp() const = 0;
    virtual std::int32_t GetFreq() const = 0;
    virtual std::string GetDescription() const = 0;
    virtual RAmbiguity GetRecord() const = 0;
    virtual void SetRecord(const RAmbiguity& Value) = 0;
};
using IZQS_AmbiguityPtr = std::shared_ptr<IZQS_Ambiguity>;

// The result of a position computation (table Solutions): its kind, the engine that made
// it, the epochs it covers and its time of processing.
class IZQS_Solution : public virtual IZQS_Object {
public:
    virtual std::int32_t GetEpochCount() const = 0;
    virtual void SetEpochCount(std::int32_t Value) = 0;
    // Created on first use, children of the solution.
    virtual IZQS_AmbiguityPtr GetAmbiguity() = 0;
    virtual IZQS_ResidualsPtr GetResiduals() = 0;
    // A date-time value.
    virtual double GetProcTime() const = 0;
    virtual void SetProcTime(double Value) = 0;
    virtual std::uint8_t GetEngine() const = 0;
    virtual void SetEngine(std::uint8_t Value) = 0;
    virtual std::uint8_t GetSolutionType() const = 0;
    virtual void SetSolutionType(std::uint8_t Value) = 0;
};
using IZQS_SolutionPtr = std::shared_ptr<IZQS_Solution>;

// A single-epoch solution: its positions, one Coordinates row per epoch.
class IZQS_StandaloneSolution : public virtual IZQS_Solution {
public:
    // Created on first use, a child of the solution.
    virtual IZQS_CoordinatesPtr GetCoordinates() = 0;
};
using IZQS_StandaloneSolutionPtr = std::shared_ptr<IZQS_StandaloneSolution>;

// Tracking arcs of the satellites of a data set.
class IZQS_SatArray : public virtual IZQS_Object {
public:
    virtual void AddSatellite(std::uint16_t Svprn, std::int64_t Time, std::uint8_t Elevation,
                              std::uint32_t ObsTypes) = 0;
};
using IZQS_SatArrayPtr = std::shared_ptr<IZQS_SatArray>;

// The standalone least-squares engine of a stream (zqt_model).
class IZQS_Engine {
public:
    virtual ~IZQS_Engine() = default;
    virtual std::int32_t GetFlag() const = 0;
    virtual void SetFlag(std::int32_t Value) = 0;
    // Solves the epoch; true on success.
    virtual bool Solve() = 0;
    virtual IZQS_DataStoragePtr GetDataStorage() const = 0;
    // Geometric range (m) of a satellite at a time; false when no state is known.
    virtual bool SatRange(std::uint16_t Svprn, std::int64_t Time, double& Range) = 0;
    // The station's known position (Earth-centred, m; zeros for none): satellites of an
    // epoch that is not solved take their azimuth and elevation from it.
    virtual void SetStationPosition(const RVec3& Position) = 0;
    // Azimuth and elevation of the epoch's satellites from the last trusted position,
    // without solving (an epoch that comes late); false when there is none.
    virtual bool AssignGeometry() = 0;
};
using IZQS_EnginePtr = std::shared_ptr<IZQS_Engine>;

// ---------------------------------------------------------------------------------------
// Site occupations, receivers, observers and the file receiver as a data set sees them

// Motion modes of an occupation and of a recordset (column MotionMode): static or
// kinematic. An occupation of mode 3 or 4 comes with a site of its own and gives a static
// output recordset.
inline constexpr std::uint8_t MotionStatic = 0;
inline constexpr std::uint8_t MotionKinematic = 1;
inline constexpr bool MotionWithOwnSite(std::uint8_t Mode) noexcept {
    return Mode == 3 || Mode == 4;
}

// One site occupation: a time span of a receiver at a marker with its antenna set-up,
// built by file receivers from free events and by the RINEX observation reader from its
// header, and handed to the data sets (CheckRecord, AddRecord).
struct TZQS_Occupation {
    // Item flags: the items given since the occupation was last cleared.
    static constexpr std::uint32_t FlagAntennaName = 16;
    static constexpr std::uint32_t FlagAntennaHeight = 32;
    static constexpr std::uint32_t FlagAntennaOffset = 64;
    static constexpr std::uint32_t FlagMotion = 128;  // a motion period is open
    static constexpr std::uint32_t FlagSite = 0x100;  // a site occupation is open
    static constexpr std::uint32_t FlagDescription = 0x800;
    static constexpr std::uint32_t FlagIdentifier = 0x4000;
    static constexpr std::uint32_t FlagVehicle = 0x8000;

    std::int64_t BegTime = 0;  // GPS ticks; 0 = no occupation open
    std::int64_t EndTime = 0;  // GPS ticks
    std::string SiteName;
    std::int32_t OccupationNumber = 1;
    std::string AntennaName;
    std::string AntennaSerial;
    double AntennaHeight = 0.0;              // m
    std::uint8_t HeightReference = 0;        // how the height was measured
    double AntennaOffset = 0.0;              // m; the antenna's vertical offset (delta H)
    double EastOffset = 0.0;                 // m
    double NorthOffset = 0.0;                // m
    std::uint8_t MotionMode = MotionStatic;  // see MotionStatic
    zqt_file_bs::TGUID Identifier;
    std::int32_t VehicleNumber = 0;
    std::string Description;
    RVec3 Position;  // Earth-centred, m
    std::int32_t StaticCount = 0;
    std::int32_t KinematicCount = 0;
    std::uint32_t Flags = 0;
};

// A physical receiver. The setters were added after the getters and have neutral
// bodies, so that stand-ins serving only the getters stay valid; the receiver class
// overrides every one (it stores the texts trimmed).
class IZQS_Receiver : public virtual IZQS_Object {
public:
    virtual std::string GetBoard() const = 0;
    virtual std::string GetFirmwareVersion() const = 0;
    virtual std::uint8_t GetBaseType() const = 0;
    virtual std::string GetReceiverNumber() const = 0;
    virtual std::string GetReceiverType() const = 0;
    virtual std::string GetSerialNumber() const = 0;

    virtual void SetBoard(const std::string& Value) { (void)Value; }
    virtual void SetFirmwareVersion(const std::string& Value) { (void)Value; }
    virtual void SetReceiverNumber(const std::string& Value) { (void)Value; }
    virtual void SetReceiverType(const std::string& Value) { (void)Value; }
    virtual void SetSerialNumber(const std::string& Value) { (void)Value; }
    // Stores the base type; a receiver whose row exists updates the row's BaseType.
    virtual void SetBaseType(std::uint8_t Value) { (void)Value; }
};
using IZQS_ReceiverPtr = std::shared_ptr<IZQS_Receiver>;

// Observer and agency of a file (setters with neutral bodies, as for the receiver).
class IZQS_Observer : public virtual IZQS_Object {
public:
    virtual std::string GetObserverAgency() const = 0;
    virtual std::string GetObserverName() const = 0;

    virtual void SetObserverAgency(const std::string& Value) { (void)Value; }
    virtual void SetObserverName(const std::string& Value) { (void)Value; }
};
using IZQS_ObserverPtr = std::shared_ptr<IZQS_Observer>;

// The imported observation file (zqt_file_obs).
class IZQS_OBSFile;
using IZQS_OBSFilePtr = std::shared_ptr<IZQS_OBSFile>;

// What a data set asks of the file receiver it belongs to: one receiver as met in one
// file. The file-receiver class implements it.
class IZQS_FileReceiverLink : public virtual IZQS_Object {
public:
    // The number of data sets (one per antenna of the receiver).
    virtual std::int32_t GetAntCount() = 0;
    virtual IZQS_OBSFilePtr GetObsFile() = 0;
    // The observer; may be empty.
    virtual IZQS_ObserverPtr GetObserver() = 0;
    virtual IZQS_ReceiverPtr GetReceiver() = 0;
    // 2 or 3: a reference station; with an RTCM file 1 as well.
    virtual std::uint8_t GetBaseType() = 0;
    virtual std::uint32_t GetFirmwareVersion() = 0;
};
using IZQS_FileReceiverLinkPtr = std::shared_ptr<IZQS_FileReceiverLink>;

class IZQS_DataSet;
using IZQS_DataSetPtr = std::shared_ptr<IZQS_DataSet>;

// One receiver as met in one file, as the readers fill it: its data sets (one per
// antenna number), receiver, observer, reference positions and the free events of the
// stream. The file-receiver class (zqt_receiver_dbs) implements it.
class IZQS_FileReceiver : public virtual IZQS_FileReceiverLink {
public:
    // The object itself.
    virtual IZQS_ObjectPtr GetInstance() = 0;
    // The data set of an antenna number (0 for the first antenna), created when missing.
    // A number outside 0..255 raises.
    virtual IZQS_DataSetPtr GetDataSet(std::int32_t Index) = 0;
    virtual std::string GetMessages() const = 0;
    virtual void SetMessages(const std::string& Value) = 0;
    // What produced the file: 5 an RTCM stream, 2 a RINEX observation file.
    virtual std::uint8_t GetSourceType() const = 0;
    virtual void SetSourceType(std::uint8_t Value) = 0;
    // The reference position (point kind 1) and the second coordinates object (kind 2);
    // created on request when Create is set, else empty until then.
    virtual IZQS_CoordinatesPtr GetPosition(bool Create) = 0;
    virtual IZQS_CoordinatesPtr GetCoordinates(bool Create) = 0;
    // Builds a free event from Text at DayStart (GPS ticks) + Seconds, writes its Events
    // row and applies it to the current site occupation. Nothing happens for an empty
    // text or when Suppress (the reader's control flag) is not 0; Event.Kind is FE_BEG
    // then, and for a text whose tag is unknown.
    virtual void AddEventText(zqt_types_bs::RFreeEvent& Event, std::int64_t DayStart,
                              double Seconds, std::uint8_t Suppress, std::string_view Text) = 0;
    // Writes one Events row of the file receiver.
    virtual void AddEvent(const zqt_types_bs::RFreeEvent& Event) = 0;
    virtual void SetBaseType(std::uint8_t Value) = 0;
    virtual void SetFirmwareVersion(std::uint32_t Value) = 0;
    // Links data set 0 to the site at the reference position (made when there is none).
    virtual void LinkSite() = 0;
};
using IZQS_FileReceiverPtr = std::shared_ptr<IZQS_FileReceiver>;

// ---------------------------------------------------------------------------------------
// Data sets and recordsets
//
// Members added to these two interfaces after the first ones have neutral bodies (no
// object, 0, nothing done), so that stand-ins that serve only part of them stay valid;
// the data-set and recordset classes override every one.

class IZQS_RecordSet;
using IZQS_RecordSetPtr = std::shared_ptr<IZQS_RecordSet>;
class IZQS_Epoch;
using IZQS_EpochPtr = std::shared_ptr<IZQS_Epoch>;

// The stream of epochs of one receiver antenna within one input file.
class IZQS_DataSet : public virtual IZQS_Object {
public:
    // The data set's signal mapping (owned by the data set).
    virtual std::shared_ptr<zqt_sat_obs_rcrd::TZQS_SignalMapping> GetSignalMapping() = 0;

    // The epoch through which the decoders write, created on first use.
    virtual IZQS_EpochPtr GetEpoch() { return nullptr; }
    virtual IZQS_OBSFilePtr GetObsFile() { return nullptr; }
    virtual IZQS_ObserverPtr GetObserver() { return nullptr; }
    virtual IZQS_FileReceiverLinkPtr GetFileReceiver() { return nullptr; }
    // 0 for the first antenna of a receiver, 1 for the second ...
    virtual std::uint8_t GetAntennaNumber() const { return 0; }
    virtual void SetAntennaNumber(std::uint8_t Value) { (void)Value; }
    // The data set's own recordset (RecordsetType 6), created on first use.
    virtual IZQS_RecordSetPtr GetRecordset() { return nullptr; }
    // The receiver and observer items of a RINEX header.
    virtual void GetHeaderInfo(zqt_antenna_rcrd::RFileHeaderFull& Header) { (void)Header; }
    // The data set's observation information (table ObsInfo).
    virtual void GetObsInfo(TObsInfoTable& Table) { Table.Clear(); }
    // An occupation record that opens a piece of its own (see the data-set class).
    virtual void CheckRecord(const TZQS_Occupation& Record) { (void)Record; }
    // The occupation open when the input ends.
    virtual void AddRecord(const TZQS_Occupation& Record) { (void)Record; }
    // The GLONASS code-phase biases applied to the data set's phases, stored with it.
    virtual void SetGloPhaseBiases(const TGloPhaseBiases& Biases) { (void)Biases; }
};
using IZQS_DataSetPtr = std::shared_ptr<IZQS_DataSet>;

// The position and velocity of an epoch in a data set's default solution.
struct REpochCoordinates {
    RVec3 Position;      // Earth-centred, m; X 0 without a row
    float Sigma = 0.0f;  // sqrt(SX^2 + SY^2 + SZ^2)
    RVec3 Velocity;      // m/s; 0 without a velocity row
    float VelocitySigma = 0.0f;
    std::uint8_t PointType = 0;  // above 5 reported as 1
};

// Bands selected per satellite system and kind for the band-selection entries of an
// observation provider: Bands[s - 1][k - 1] lists the bands (1..6) of system s chosen for
// kind k (1 code, 2 phase, 3 Doppler, 4 strength) in order of preference, 0 after the last.
struct RBandSelection {
    std::array<std::array<std::array<std::uint8_t, BandCount>, 4>, 7> Bands{};
};

// A recordset read as a source of observations: the epochs of its window, epoch by epoch
// and satellite by satellite, the observation values, frequencies and wavelengths of the
// current satellite, and the counts, statistics and satellite sets a RINEX header needs.
// The RINEX writers read it through IZQS_RecordSet, which extends it.
//
// Bands are 1..6, kinds 1 (pseudorange) to 4 (strength), signals the observation types
// 1..24. Members after GetDataStorage have neutral bodies (nothing there, 0, NaN for a
// value), so that stand-ins serving part of them stay valid; the recordset overrides
// every one.
class IZQS_ObsProvider : public virtual IZQS_Object {
public:
    virtual IZQS_DataStoragePtr GetDataStorage() = 0;

    // Nominal observation interval, ticks.
    virtual std::int32_t GetInterval() const { return 0; }
    virtual void SetInterval(std::int32_t Value) { (void)Value; }
    // 0 static, 1 moving.
    virtual std::uint8_t GetMotionMode() const { return 0; }
    virtual void SetMotionMode(std::uint8_t Value) { (void)Value; }
    // The station's approximate position (Earth-centred, m): the reference position, or
    // the current epoch's position for a moving receiver.
    virtual RVec3 GetStationPos() { return RVec3{}; }

    // ---- the epoch cursor ----------------------------------------------------------------
    // Steps to the next epoch of the window (ascending GPS time); False after the last.
    // The epoch (GetEpoch of the recordset) and its satellite observations then hold it.
    virtual bool NextEpoch() { return false; }
    // Runs the epoch query again from its start, in the current order.
    virtual void Reopen() {}
    // Flips the epoch order (ascending / descending GPS time) and runs the query again.
    virtual void ToggleOrder() {}
    // Time of the current epoch, GPS ticks.
    virtual std::int64_t GetCurTime() { return 0; }
    // Number of epochs of the window that hold at least one wanted satellite.
    virtual std::int32_t GetEpochCount() { return 0; }
    // Antenna position of the current epoch (Earth-centred, m): the reference position
    // plus the antenna offset vector for a static receiver, the epoch's own position for
    // a moving one.
    virtual RVec3 GetAntennaPos() { return RVec3{}; }

    // ---- the satellite cursor of the current epoch ----------------------------------------
    // Steps to the next satellite of the current epoch (ascending svprn); False after the
    // last, when the current satellite key becomes 0. The satellite observations of the
    // epoch follow the cursor.
    virtual bool NextSat() { return false; }
    // Puts the satellite cursor before the first satellite of the current epoch.
    virtual void ResetSatCursor() {}
    // ResetSatCursor, then NextSat.
    virtual bool FirstSat() { return false; }
    // svprn of the current satellite; 0 before the first and after the last.
    virtual std::uint16_t GetCurSatKey() { return 0; }
    // The same value (second entry).
    virtual std::uint16_t GetCurSat() { return 0; }
    // Makes the satellite of the current epoch current, when it is not already.
    virtual void SelectSat(std::uint16_t Svprn) { (void)Svprn; }
    // System code of the current satellite.
    virtual std::uint8_t GetCurSystem() { return 0; }
    // Cursor of the epoch's satellite observations; number of their records.
    virtual std::int32_t GetSatCursor() { return -1; }
    virtual std::int32_t GetSatRecordCount() { return 0; }
    // Satellites of the current epoch.
    virtual TSatSet GetEpochSatSet() { return TSatSet{}; }

    // ---- values of the current satellite -------------------------------------------------
    // Carrier frequency of a band, Hz; 0 or less when it is not known (a GLONASS
    // satellite whose channel neither the data set nor the navigation data know).
    virtual double GetFrequency(std::uint8_t Band) {
        (void)Band;
        return 0.0;
    }
    // Carrier wavelength of a band, m; 0.0 when the frequency is not known.
    virtual double GetWavelength(std::uint8_t Band) {
        (void)Band;
        return 0.0;
    }
    // Frequency and wavelength of the band of an observation type.
    virtual double GetSignalFrequency(std::uint8_t Signal) {
        (void)Signal;
        return 0.0;
    }
    virtual double GetSignalWavelength(std::uint8_t Signal) {
        (void)Signal;
        return 0.0;
    }
    // GLONASS channel of the current satellite at the epoch time from the navigation data
    // (127 when unknown); 0 for the other systems.
    virtual std::int32_t GetGloChannel() { return 0; }
    // The selected ephemeris of the current satellite is there and healthy.
    virtual bool IsHealthy() { return false; }
    // Bands of the current satellite (bit b = band b).
    virtual std::uint8_t GetCurBandMask() { return 0; }
    // Kind 1 the pseudorange and kind 2 the carrier phase (m), both corrected for the
    // antenna's phase centre; kind 3 the Doppler as a range rate (m/s, minus the Doppler
    // times the wavelength; NaN when the wavelength is unknown); kind 4 the signal
    // strength. NaN when the band lacks the value; 0.0 for other kinds.
    virtual double GetObservation(std::uint8_t Band, std::uint8_t Kind) {
        (void)Band;
        (void)Kind;
        return std::numeric_limits<double>::quiet_NaN();
    }
    // The band block of the current satellite with its three values replaced by
    // GetObservation kinds 1, 2 and 3.
    virtual void GetCurObsValues(RSatObsBand& Block, std::uint8_t Band) {
        (void)Band;
        Block = RSatObsBand{};
        Block.Range = Block.Phase = Block.Doppler = std::numeric_limits<double>::quiet_NaN();
    }
    // Signal strength of a band in dB-Hz (the stored value x 0.25); NaN when absent.
    virtual double GetCurStrength(std::uint8_t Band) {
        (void)Band;
        return std::numeric_limits<double>::quiet_NaN();
    }

    // ---- band selection ---------------------------------------------------------------------
    virtual RBandSelection GetBandSelection() { return RBandSelection{}; }
    virtual void SetBandSelection(const RBandSelection& Value) { (void)Value; }
    // Number of bands selected for a kind in the current satellite's system.
    virtual std::int32_t GetSelectedBandCount(std::uint8_t Kind) {
        (void)Kind;
        return 0;
    }
    // Frequency and wavelength of the Index-th (1-based) band selected for a kind in the
    // current satellite's system; 0.0 when there is none.
    virtual double GetSelectedFrequency(std::uint8_t Kind, std::int32_t Index) {
        (void)Kind;
        (void)Index;
        return 0.0;
    }
    virtual double GetSelectedWavelength(std::uint8_t Kind, std::int32_t Index) {
        (void)Kind;
        (void)Index;
        return 0.0;
    }

    // ---- the window as a whole -------------------------------------------------------------
    // Satellites of the window after the recordset's own filter, their systems and counts.
    virtual TSatSet GetSatSet() { return TSatSet{}; }
    virtual std::uint8_t GetSystemMask() { return 0; }
    virtual std::int32_t GetSystemCount() { return 0; }
    virtual std::int32_t GetSatCount() { return 0; }
    // Observation statistics of the window (counts, health and ephemeris sets).
    virtual void GetObsStatistics(zqt_geo::RObsStatistics& Stat) { (void)Stat; }
    // Per system code 1..7 (Types[s - 1]) the observation types that every satellite of
    // the system tracked in the window above Elevation (whole degrees) holds.
    virtual void GetCommonObsTypes(std::array<std::uint32_t, 7>& Types, std::int32_t Elevation) {
        (void)Elevation;
        Types.fill(0);
    }
    // The window holds attitude (RotationMatrix) rows.
    virtual bool HasRotation() { return false; }

    // ---- settings and models ---------------------------------------------------------------
    // The filter and model settings the recordset was opened with. The filters (systems,
    // satellites, elevation mask) take effect when the recordset is opened.
    virtual zqt_types_bs::TRRecordsetSettings GetSettings() const {
        return zqt_types_bs::TRRecordsetSettings{};
    }
    virtual void SetSettings(const zqt_types_bs::TRRecordsetSettings& Value) { (void)Value; }
    // Kind of troposphere model of the settings.
    virtual zqt_types_bs::eTropoModels GetTropoKind() const { return zqt_types_bs::TM_Haldor; }
    virtual void SetTropoKind(zqt_types_bs::eTropoModels Value) { (void)Value; }
    // The recordset's own position (its Coordinates row), Earth-centred, m.
    virtual RVec3 GetOwnPosition() const { return RVec3{}; }
    virtual void SetOwnPosition(const RVec3& Value) { (void)Value; }

    // ---- arithmetic of the current satellite -----------------------------------------------
    // Metres, seconds and radians; f1 is the first GPS carrier. NaN where a value is
    // missing. The geometry (ComputeGeometry) is the satellite's state at the epoch time
    // seen from a position; it is reset by every NextSat.
    static constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    // GetObservation of the band and kind of an observation type (1..24).
    virtual double GetObservationOfType(std::uint8_t Type) {
        (void)Type;
        return NaN;
    }
    // GetObservation of the Index-th band selected for Kind.
    virtual double GetSelectedObservation(std::int32_t Index, std::uint8_t Kind) {
        (void)Index;
        (void)Kind;
        return NaN;
    }
    // Code and phase of the Index-th selected band, corrected for the antenna.
    virtual double GetCorrectedCode(std::int32_t Index) {
        (void)Index;
        return NaN;
    }
    virtual double GetCorrectedPhase(std::int32_t Index) {
        (void)Index;
        return NaN;
    }
    // Range rate from the Doppler: minus the Doppler times the wavelength; of a band, of the
    // Index-th band selected for Doppler, and ionosphere-free of two bands.
    virtual double GetRangeRate(std::uint8_t Band) {
        (void)Band;
        return NaN;
    }
    virtual double GetSelectedRangeRate(std::int32_t Index) {
        (void)Index;
        return NaN;
    }
    virtual double GetIonoFreeRangeRate(std::uint8_t Band1, std::uint8_t Band2) {
        (void)Band1;
        (void)Band2;
        return NaN;
    }
    // The value as stored (kinds 1 to 4), without corrections; 0.0 for other kinds.
    virtual double GetRawValue(std::uint8_t Band, std::uint8_t Kind) {
        (void)Band;
        (void)Kind;
        return NaN;
    }
    // Observed minus computed: of a band and kind, and ionosphere-free of two bands.
    virtual double ComputeResidual(std::uint8_t Band, std::uint8_t Kind) {
        (void)Band;
        (void)Kind;
        return NaN;
    }
    virtual double ComputeIonoFreeResidual(std::uint8_t Band1, std::uint8_t Band2,
                                           std::uint8_t Kind) {
        (void)Band1;
        (void)Band2;
        (void)Kind;
        return NaN;
    }
    // The antenna phase-centre correction of a band.
    virtual double GetAntennaCorrection(std::uint8_t Band) {
        (void)Band;
        return 0.0;
    }
    // Ionosphere-free code and phase of two bands with the satellite clock restored.
    virtual double GetIonoFreeCode(std::uint8_t Band1, std::uint8_t Band2) {
        (void)Band1;
        (void)Band2;
        return NaN;
    }
    virtual double GetIonoFreePhase(std::uint8_t Band1, std::uint8_t Band2) {
        (void)Band1;
        (void)Band2;
        return NaN;
    }
    // Lock was lost on the band.
    virtual bool GetLossOfLock(std::uint8_t Band) {
        (void)Band;
        return false;
    }
    // The troposphere model, created first when there is none (nullptr without a model
    // factory); its slant delay at the satellite's elevation; its wet and dry mapping
    // values there.
    virtual IZQS_TropoModelPtr GetTropoModel() { return nullptr; }
    virtual double GetTropoDelay() { return NaN; }
    virtual void GetTropoMappings(double& Wet, double& Dry) { Wet = Dry = NaN; }
    // The troposphere delay's horizontal gradients: the models here have none, both 0.
    virtual void GetTropoGradients(double& North, double& East) { North = East = 0.0; }
    // Ionosphere delays: of a band with the sign of a kind (+1 code, Doppler and strength,
    // -1 phase, 0 for kind 0); of a band; on f1 from the broadcast model; on f1 from two
    // bands' observations of a kind; the slant factor at the satellite's elevation; on f1
    // from the store's second ionosphere source.
    virtual double GetIonoDelayOfKind(std::uint8_t Band, std::uint8_t Kind) {
        (void)Band;
        (void)Kind;
        return NaN;
    }
    virtual double GetIonoDelayOfBand(std::uint8_t Band) {
        (void)Band;
        return NaN;
    }
    virtual double GetIonoDelay() { return NaN; }
    virtual double GetIonoDelayFromBands(std::uint8_t Band1, std::uint8_t Band2,
                                         std::uint8_t Kind) {
        (void)Band1;
        (void)Band2;
        (void)Kind;
        return NaN;
    }
    virtual double GetIonoSlantFactor() { return NaN; }
    virtual double GetIonoDelay2() { return NaN; }
    // The satellite's state at the epoch time seen from Position; false when it cannot be
    // computed. ComputeAntennaGeometry does it from the epoch's antenna position.
    // The provider computes satellite geometry (ComputeGeometry and what follows from it).
    virtual bool CanComputeGeometry() { return false; }
    virtual bool ComputeGeometry(const RVec3& Position) {
        (void)Position;
        return false;
    }
    virtual bool ComputeAntennaGeometry() { return false; }
    // The velocity of the satellite along the line of sight from the station position, or
    // from Position; NaN without a geometry.
    virtual double GetLineOfSightVelocity() { return NaN; }
    virtual double GetLineOfSightVelocityAt(const RVec3& Position) {
        (void)Position;
        return NaN;
    }
    // The geometric range (0 without a geometry), and the range with the satellite clock
    // and the relativistic terms: rho - c (dts + dtr) + S.
    virtual double GetRho() { return 0.0; }
    virtual double GetRhoCorrected() { return NaN; }
    virtual bool GetSatState(RSatState& State) {
        State = RSatState{};
        return false;
    }
    // c x tgd, and scaled to a band by (f1 / f)^2.
    virtual double GetTgdRange() { return NaN; }
    virtual double GetTgdRangeOfBand(std::uint8_t Band) {
        (void)Band;
        return NaN;
    }
    // The orbits and clocks come from precise products rather than the broadcast
    // ephemerides.
    virtual bool HasPreciseOrbits() { return false; }
    // Unit vector from the station position to the satellite (zeros without a geometry).
    virtual RVec3 GetLineOfSight() { return RVec3{}; }
    // Elevation of the satellite in degrees; azimuth and elevation from the geometry when
    // there is one, else as stored with the satellite.
    virtual double GetElevationDeg() { return NaN; }
    virtual RAzEl GetAzEl() { return RAzEl{}; }
    // The epoch's standalone solution (created on first use) and a position result stored
    // as its coordinates at the epoch time.
    virtual IZQS_StandaloneSolutionPtr GetStandaloneSolution() { return nullptr; }
    virtual void StorePosition(const RVec3& Position) { (void)Position; }
    // The reference position (and the troposphere model's position).
    virtual void SetReferencePosition(const RVec3& Position) { (void)Position; }
    // The current epoch's position and receiver clock (m).
    virtual RVec3 GetEpochPosition() { return RVec3{}; }
    virtual double GetReceiverClock() { return 0.0; }
    // c x dtr, c x dts and the relativistic path delay S of the geometry.
    virtual double GetDtrRange() { return NaN; }
    virtual double GetDtsRange() { return NaN; }
    virtual double GetShapiro() { return 0.0; }
    // The current epoch's position and velocity in the data set's default solution.
    virtual bool GetEpochCoordinates(REpochCoordinates& Value) {
        Value = REpochCoordinates{};
        return false;
    }
};
using IZQS_ObsProviderPtr = std::shared_ptr<IZQS_ObsProvider>;

// A named time window over one data set with the station description of the window.
// The facts of a data set as its table row and registry hold them.
struct RDataSetInfo {
    std::int32_t DataSetID = 0;
    std::int32_t FRcvrID = 0;  // its file receiver
    std::uint8_t AntennaNumber = 0;
    std::int32_t DefaultSolutionID = 0;
    std::uint8_t Mode = 0;  // verdict of the last occupation record
    std::string Name;
    std::int64_t BegTime = 0;  // GPS ticks
    std::int64_t EndTime = 0;
};

class IZQS_RecordSet : public virtual IZQS_ObsProvider {
public:
    virtual IZQS_DataSetPtr OpenDataset() = 0;
    // The working data-set id of the recordset.
    virtual std::int32_t GetDataSetID() = 0;
    // The GLONASS channels of the data set; false when they are not known.
    virtual bool GetGloChannels(TGloChannels& Channels) = 0;
    // The GLONASS code-phase biases applied to the data set's phases (none: all 0).
    virtual TGloPhaseBiases GetGloPhaseBiases() { return {}; }

    // The recordset's antenna (model, serial number, heights, offsets).
    virtual std::shared_ptr<zqt_antenna_bs::IZQS_Antenna> GetAntenna() { return nullptr; }
    // The items of a RINEX header that the data set and the recordset know.
    virtual void GetFileHeader(zqt_antenna_rcrd::RFileHeaderFull& Header) { (void)Header; }
    virtual IZQS_EpochPtr GetEpoch() { return nullptr; }
    // Replaces the epoch cursor.
    virtual void SetEpoch(const IZQS_EpochPtr& Epoch) { (void)Epoch; }
    // The data set's observation information (table ObsInfo).
    virtual void GetObsInfo(TObsInfoTable& Table) { Table.Clear(); }
    virtual std::string GetComment() const { return std::string(); }
    virtual void SetComment(const std::string& Value) { (void)Value; }
    virtual std::string GetMarkerName() const { return std::string(); }
    virtual void SetMarkerName(const std::string& Value) { (void)Value; }
    virtual std::int32_t GetMarkerNumber() const { return 0; }
    virtual void SetMarkerNumber(std::int32_t Value) { (void)Value; }
    // 6 a data set's own, 7 output, 8 static and 9 kinematic occupation, 255 retired.
    virtual std::uint8_t GetRecordsetType() const { return 0; }
    virtual void SetRecordsetType(std::uint8_t Value) { (void)Value; }

    // The recordset's own position as a coordinates object (its Coordinates row).
    virtual IZQS_CoordinatesPtr GetCoordinates() { return nullptr; }
    // The site the recordset is linked to; empty without one.
    virtual std::shared_ptr<zqt_site::IZQS_Site> GetSite() { return nullptr; }
    // The data set's file receiver, and that file receiver's receiver.
    virtual IZQS_FileReceiverLinkPtr GetFileReceiver() { return nullptr; }
    virtual IZQS_ReceiverPtr GetReceiver() { return nullptr; }
    // The country code of RINEX long names.
    virtual std::string GetCountryCode() const { return std::string(); }
    // The value given, unchanged (an entry kept for callers that pass values through).
    virtual double PassValue(double Value) { return Value; }
    // The current epoch's rotation record.
    virtual RRotation GetRotationRecord() { return RRotation{}; }
    // The observations are corrected for the antenna's attitude.
    virtual bool HasAttitudeCorrection() { return false; }
    // The antenna position of the current epoch computed afresh (see GetAntennaPos).
    virtual RVec3 CalcAntennaPos() { return RVec3{}; }
    // The object itself.
    virtual IZQS_ObjectPtr GetInstance() { return nullptr; }
    // Whether the epoch coordinates (GetEpochCoordinates) carry the velocity.
    virtual bool GetVelocitySwitch() const { return false; }
    virtual void SetVelocitySwitch(bool Value) { (void)Value; }
    // The facts of the recordset's data set, read once.
    virtual RDataSetInfo GetDatasetInfo() { return RDataSetInfo{}; }
};

// ---------------------------------------------------------------------------------------
// IZQS_SatObs: the observations of every satellite of one epoch, with a cursor.
//
// Bands are 1..6, kinds 1 (pseudorange) to 4 (strength); a signal is an observation type
// (OBSTYPE, 1..24) that names a band and a kind. "Cur" methods work on the record at the
// cursor and do nothing (or read as absent) when the cursor is outside the records. An
// absent value reads as NaN. Next() steps the cursor (decoders, recordset).

class IZQS_SatObs : public virtual IZQS_Object {
public:
    virtual RSatObsBand GetCurBand(std::uint8_t Band) const = 0;
    virtual double GetCurSignalValue(std::uint8_t Signal) const = 0;
    virtual double GetCurValue(std::uint8_t Band, std::uint8_t Kind) const = 0;
    // Direct access to a band block; nullptr without a current record or for a bad band.
    virtual RSatObsBand* GetCurBandRef(std::uint8_t Band) = 0;
    virtual std::int32_t GetCursor() const = 0;
    virtual std::uint16_t GetCurSatKey() const = 0;
    virtual std::uint8_t GetCurSatCode() const = 0;
    virtual std::int32_t GetRecordCount() const = 0;
    virtual double GetCurBaseRange() const = 0;
    virtual double GetCurRange(std::uint8_t Band) const = 0;
    virtual double GetCurDoppler(std::uint8_t Band) const = 0;
    virtual double GetCurPhase(std::uint8_t Band) const = 0;
    virtual double GetCurSignalStrength(std::uint8_t Band) const = 0;
    virtual bool LossOfLock(std::uint8_t Band) = 0;
    virtual std::uint8_t GetCurLock(std::uint8_t Band) const = 0;
    virtual std::int32_t GetSystemCount(std::uint8_t System) const = 0;
    virtual void UpdateLockTime(std::uint8_t Band, bool Restart) = 0;
    virtual void SetCurRange(std::uint8_t Band, double Value) = 0;
    virtual void SetCurDoppler(std::uint8_t Band, double Value) = 0;
    virtual void SetCurPhase(std::uint8_t Band, double Value) = 0;
    virtual void SetCurStrength(std::uint8_t Band, double Value) = 0;
    virtual void SetCursor(std::int32_t Index) = 0;
    virtual RSatObsRecord* GetCurRecord() = 0;
    // Cursor := the key's record; -1 (and false) when the key is absent.
    virtual bool SelectSat(std::uint16_t Key) = 0;
    virtual RSatObsRecord* GetRecord(std::int32_t Index) = 0;
    virtual RSatObsRecord* FindRecord(std::uint16_t Key) = 0;
    virtual void Init(std::int32_t Count) = 0;
    virtual void AddRecords(std::int32_t N) = 0;
    virtual bool ResetRecords() = 0;
    virtual bool ClearBands() = 0;
    virtual bool SetCurSat(std::uint16_t Key, std::int32_t GloChannel) = 0;
    virtual void SetBaseRange(std::int32_t Index, double Value) = 0;
    virtual void SetCurBaseRange(double Value) = 0;
    virtual void SetRefRate(std::int32_t Index, double Value) = 0;
    virtual void SetSignalValue(std::int32_t Index, std::uint8_t Signal, double Value) = 0;
    virtual void SetObs(std::int32_t Index, std::uint8_t Band, std::uint8_t Kind, double Value,
                        std::uint32_t Channel) = 0;
    virtual void SetCurSignalValue(std::uint8_t Signal, double Value) = 0;
    virtual void SetCurObs(std::uint8_t Band, std::uint8_t Kind, double Value,
                           std::uint32_t Channel) = 0;
    virtual void SetCurBand(std::uint8_t Band, const RSatObsBand& Block) = 0;
    // A RINEX 2 field: Code is its RNXOBS code, Version the RINEX 2 version ordinal 1..4,
    // CAFlag the "C1 without P1" flag of the file.
    virtual void SetCurObsByCode(std::uint8_t Code, std::uint8_t Version,
                                 const zqt_variant::Variant& Value,
                                 const zqt_variant::Variant& Strength,
                                 const zqt_variant::Variant& LLI, bool CAFlag) = 0;
    virtual void SetCurObsValue(std::uint8_t Band, std::uint8_t Kind,
                                const zqt_variant::Variant& Value,
                                const zqt_variant::Variant& Strength,
                                const zqt_variant::Variant& LLI, std::uint32_t Channel) = 0;
    virtual void SwapCurSignals(std::uint8_t A, std::uint8_t B) = 0;
    virtual void SetRangeDelta(std::int32_t Index, std::uint8_t Band, double Delta) = 0;
    virtual void SetPhaseDelta(std::int32_t Index, std::uint8_t Band, double Delta) = 0;
    virtual void SetPhaseCycles(std::int32_t Index, std::uint8_t Band, double Cycles) = 0;
    virtual void SetPhaseMeters(std::int32_t Index, std::uint8_t Band, double Meters) = 0;
    virtual void SetCurPhaseCycles(std::uint8_t Band, double Cycles) = 0;
    virtual void SetCurPhaseMeters(std::uint8_t Band, double Meters) = 0;
    virtual void SetDopplerFromRate(std::int32_t Index, std::uint8_t Band, double Rate) = 0;
    virtual void SetAzimuth(std::int32_t Index, double Degrees) = 0;
    virtual void SetCurAzimuth(double Degrees) = 0;
    virtual void SetElevation(std::int32_t Index, std::int32_t Degrees) = 0;
    virtual void SetCurElevation(std::int32_t Degrees) = 0;
    virtual RAzEl GetCurAzEl() const = 0;
    virtual void SetCurAzEl(const RAzEl& AzEl) = 0;
    virtual void AddToRange(std::int32_t Index, std::uint8_t Band, double Delta) = 0;
    virtual std::int32_t GetCount() = 0;
    virtual TSatSet GetSatSet() const = 0;
    virtual TGloChannels GetGloChannels() const = 0;
    virtual void SetGloChannels(const TGloChannels& Channels) = 0;
    // Next (cursor += 1 unless at or past the count; true while cursor < count) is the
    // Next of IZQS_ObjectRead.
    virtual void ResetCursor() = 0;
    virtual void SortRecords() = 0;
    virtual bool First() = 0;
    virtual bool GetSatGeometry(std::int32_t Index, const RVec3& Receiver, RSatGeometry& State) = 0;
    virtual bool GetCurSatGeometry(RSatGeometry& State) = 0;
    virtual double GetWavelength(std::int32_t Index, std::uint8_t Band) = 0;
    virtual double GetCurWavelength(std::uint8_t Band) = 0;
    virtual double GetFrequency(std::int32_t Index, std::uint8_t Band) = 0;
    virtual double GetCurFrequency(std::uint8_t Band) = 0;
    virtual std::int32_t GetGloChannel(std::int32_t Index) = 0;
    virtual std::int32_t GetCurGloChannel() = 0;
    virtual std::int32_t GetCurElevationDeg() const = 0;
    virtual bool HasObs(std::int32_t Index, std::uint8_t Band, std::uint8_t Kind) const = 0;
    virtual bool HasCurObs(std::uint8_t Band, std::uint8_t Kind) const = 0;
    virtual bool HasCurSignal(std::uint8_t Signal) const = 0;
    virtual std::uint32_t GetCurObsTypes() const = 0;
    virtual std::uint32_t GetObsTypes(std::int32_t Index) const = 0;
    virtual std::uint8_t GetCurBandMask() const = 0;
    virtual std::uint8_t GetBandMask(std::int32_t Index) const = 0;
    virtual void Assign(const IZQS_SatObs& Other) = 0;
    virtual std::string GetSatListText() const = 0;
    virtual IZQS_SatArrayPtr GetSatArray() = 0;
    virtual IZQS_EpochPtr GetEpoch() const = 0;
    virtual std::string ToString() const = 0;
    virtual TObsInfoTable GetObsInfo() const = 0;
};
using IZQS_SatObsPtr = std::shared_ptr<IZQS_SatObs>;

// ---------------------------------------------------------------------------------------
// IZQS_Epoch: one observation epoch. Times are GPS ticks. Next steps to the next stored
// epoch; ExecuteWrite saves the epoch with its satellites; FinishWrite ends a write run.

class IZQS_Epoch : public virtual IZQS_Object {
public:
    virtual std::int64_t GetTime() const = 0;
    virtual void SetTime(std::int64_t Time) = 0;
    virtual bool GetClockCorrection() const = 0;
    virtual void SetClockCorrection(bool Value) = 0;
    virtual void SetNumSat(std::int32_t N) = 0;
    virtual void AddSats(std::int32_t N) = 0;
    virtual void SetRotation(const RRotation& Rotation) = 0;
    virtual RRotation GetRotationRecord() = 0;
    virtual void PrepareSatObs() = 0;
    virtual IZQS_SatObsPtr GetSatObs() = 0;
    virtual REpochRecord GetEpochRecord() const = 0;
    virtual IZQS_EnginePtr GetEngine() const = 0;
    virtual void SetEngine(IZQS_EnginePtr Engine) = 0;
    virtual IZQS_StandaloneSolutionPtr GetSolution() = 0;
    virtual IZQS_StandaloneSolutionPtr GetSolution2() = 0;
    virtual IZQS_StandaloneSolutionPtr GetActiveSolution() = 0;
    virtual IZQS_CoordinatesPtr GetCoordinates() = 0;
    virtual IZQS_CoordinatesPtr GetCoordinates2() = 0;
    virtual bool RunEngine() = 0;
    virtual IZQS_CoordinatesPtr GetActiveCoordinates() = 0;
    virtual RVec3 GetPosition() = 0;
    virtual RVec3 GetCachedPosition() const = 0;
    virtual double GetClock() = 0;
    virtual void ResetPositionCache() = 0;
    // Moves the epoch to the nearest multiple of Interval (ticks; halves go down) with the
    // ranges and phases of its satellites moved by the engine's range changes. False, and
    // the epoch as it was, without an engine or when the engine cannot give the change of
    // every satellite.
    virtual bool AlignToInterval(std::int64_t Interval) = 0;
    virtual void SetEpochRecord(const REpochRecord& Record) = 0;
    // Saves an epoch whose time is not after the last epoch saved (observations that came
    // late): its satellites join the stored epoch of the same time, where the satellites
    // that epoch holds already stay as stored, or, when none of that time is stored, the
    // epoch is inserted between the stored ones. Returns the satellites saved.
    virtual std::int32_t ExecuteWriteLate() = 0;
    virtual void Assign(IZQS_Epoch& Other) = 0;
    virtual std::int32_t GetNumSat() = 0;
    virtual IZQS_DataSetPtr GetDataSet() = 0;
    virtual IZQS_DataStoragePtr GetNavData() = 0;
};

// ---------------------------------------------------------------------------------------
// Factory hooks of the navigation classes (a later subsystem). Process-wide; install them
// once at start-up.

// TZQT_Factory: a navigation store for an owner (its window is set by the caller).
using TNavDataFactory = std::function<IZQS_DataStoragePtr(const IZQS_ObjectPtr& Owner)>;
// The troposphere model class of a kind.
using TTropoModelFactory = std::function<IZQS_TropoModelPtr(zqt_types_bs::eTropoModels Kind)>;

void SetNavDataFactory(TNavDataFactory Factory);
void SetTropoModelFactory(TTropoModelFactory Factory);
const TNavDataFactory& NavDataFactory();
const TTropoModelFactory& TropoModelFactory();

// TZQS_FileReceiver.CreateLoad: the file receiver of row FRcvrID of Db; empty when there
// is no such row. Without a loader a data set reaches only the file receiver that
// created it.
using TFileReceiverLoader = std::function<IZQS_FileReceiverLinkPtr(
    const zqt_objects_intrf::IESQLiteDatabasePtr& Db, std::int32_t FRcvrID)>;
// TZQS_Site.CreateSite: a new site Name at Position (Earth-centred, m) on Db, with its
// Sites, ObjInfo and Coordinates rows; returns the SiteID. Without a creator no site is
// made (SiteID stays 0).
using TSiteCreator = std::function<std::int32_t(const zqt_objects_intrf::IESQLiteDatabasePtr& Db,
                                                const std::string& Name, std::uint8_t SnapedObjType,
                                                const RVec3& Position, std::uint32_t SnapID)>;

// The observation file of row FileID of Db (zqt_file_obs); empty when there is none.
// Without a loader a file receiver reaches only the file that created it.
using TObsFileLoader = std::function<IZQS_OBSFilePtr(
    const zqt_objects_intrf::IESQLiteDatabasePtr& Db, std::int32_t FileID)>;

namespace detail {
inline TFileReceiverLoader& FileReceiverLoaderSlot() {
    static TFileReceiverLoader f;
    return f;
}
inline TSiteCreator& SiteCreatorSlot() {
    static TSiteCreator f;
    return f;
}
inline TObsFileLoader& ObsFileLoaderSlot() {
    static TObsFileLoader f;
    return f;
}
}  // namespace detail

inline void SetFileReceiverLoader(TFileReceiverLoader Loader) {
    detail::FileReceiverLoaderSlot() = std::move(Loader);
}
inline void SetSiteCreator(TSiteCreator Creator) { detail::SiteCreatorSlot() = std::move(Creator); }
inline const TFileReceiverLoader& FileReceiverLoader() { return detail::FileReceiverLoaderSlot(); }
inline const TSiteCreator& SiteCreator() { return detail::SiteCreatorSlot(); }
inline void SetObsFileLoader(TObsFileLoader Loader) {
    detail::ObsFileLoaderSlot() = std::move(Loader);
}
inline const TObsFileLoader& ObsFileLoader() { return detail::ObsFileLoaderSlot(); }

}  // namespace zqt_obs_intrf
