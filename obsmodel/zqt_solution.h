// The results of a position computation bound to the project tables: a solution row
// (Solutions) with its positions (Coordinates, one row per epoch of a standalone
// solution), the residuals of the observations it used (Residuals) and its estimated
// ambiguities (ambiguity). An epoch owns two standalone solutions; a recordset makes one
// for its own position results.
#pragma once

#include <cstdint>
#include <memory>

#include "zqt_classes_dbs.h"
#include "zqt_obs_intrf.h"

namespace zqt_solution {

using zqt_objects_intrf::IZQS_ObjectPtr;
using zqt_obs_intrf::IZQS_AmbiguityPtr;
using zqt_obs_intrf::IZQS_CoordinatesPtr;
using zqt_obs_intrf::IZQS_ResidualsPtr;
using zqt_obs_intrf::RAmbiguity;
using zqt_obs_intrf::RResidual;

inline constexpr std::uint8_t SolutionObjType = 19;
inline constexpr std::uint8_t StandaloneSolutionObjType = 20;
inline constexpr std::uint8_t ResidualsObjType = 21;

// ---------------------------------------------------------------------------------------
// TZQS_Solution

class TZQS_Solution : public zqt_classes_dbs::TZQS_Object,
                      public virtual zqt_obs_intrf::IZQS_Solution {
public:
    // Table "Solutions": SolutionID, ParentID, SettingsID, SolutionType, Engine,
    // EpochCount, GPSTimeBeg, GPSTimeEnd, ProcTime; ObjType 19, visible, enabled. A
    // solution written again replaces its row.
    void InitFields() override;
    // Reads row SolutionID; without one the ObjID becomes 0 and the result is false.
    bool Load(std::int32_t SolutionID);
    // The row (SettingsID 0), then the ObjInfo row with Size = EpochCount and
    // Mode = SolutionType.
    void ExecuteWrite() override;

    std::int32_t GetEpochCount() const override { return FEpochCount; }
    void SetEpochCount(std::int32_t Value) override { FEpochCount = Value; }
    IZQS_AmbiguityPtr GetAmbiguity() override;
    IZQS_ResidualsPtr GetResiduals() override;
    double GetProcTime() const override { return FProcTime; }
    void SetProcTime(double Value) override { FProcTime = Value; }
    std::uint8_t GetEngine() const override { return static_cast<std::uint8_t>(FEngine); }
    void SetEngine(std::uint8_t Value) override { FEngine = Value; }
    std::uint8_t GetSolutionType() const override { return FSolutionType; }
    void SetSolutionType(std::uint8_t Value) override { FSolutionType = Value; }

protected:
    std::vector<std::pair<std::string, std::string>> JSONMembers() const override;

    std::uint8_t FSolutionType = 0;
    std::int32_t FEngine = 0;
    std::int32_t FEpochCount = 0;
    double FProcTime = 0.0;
    IZQS_ResidualsPtr FResiduals;
    IZQS_AmbiguityPtr FAmbiguity;
    SQLiteExt::IESQLiteSelectStatementPtr FLoadSelect;
};

// ---------------------------------------------------------------------------------------
// TZQS_StandaloneSolution

class TZQS_StandaloneSolution : public TZQS_Solution,
                                public virtual zqt_obs_intrf::IZQS_StandaloneSolution {
public:
    // A new solution (new ObjID) of Parent on the parent's database.
    static std::shared_ptr<TZQS_StandaloneSolution> Create(const IZQS_ObjectPtr& Parent,
                                                           std::uint8_t Engine,
                                                           std::uint8_t SolutionType);

    // ObjType 20.
    void InitFields() override;
    // EpochCount := the rows its coordinates wrote, then the solution's row.
    void ExecuteWrite() override;
    IZQS_CoordinatesPtr GetCoordinates() override;

private:
    IZQS_CoordinatesPtr FCoordinates;
};

// ---------------------------------------------------------------------------------------
// TZQS_Residuals and TZQS_Ambiguity: one record at a time, written as a row of the
// parent solution.

class TZQS_Residuals : public zqt_classes_dbs::TZQS_Object,
                       public virtual zqt_obs_intrf::IZQS_Residuals {
public:
    // Table "Residuals"; ObjType 21, neither visible nor enabled.
    void InitFields() override;
    void ExecuteWrite() override;
    void SetGPSTime(std::int64_t Value) override { FRecord.GPSTime = Value; }
    void SetResidual(double Value) override { FRecord.Residual = Value; }
    void SetSv(std::uint16_t Value) override { FRecord.Sv = Value; }
    void SetSvRef(std::uint16_t Value) override { FRecord.SvRef = Value; }
    void SetTyp(std::int32_t Value) override { FRecord.Typ = Value; }
    void SetFreq(std::int32_t Value) override { FRecord.Freq = Value; }
    std::int64_t GetGPSTime() const override { return FRecord.GPSTime; }
    double GetResidual() const override { return FRecord.Residual; }
    std::uint16_t GetSv() const override { return FRecord.Sv; }
    std::uint16_t GetSvRef() const override { return FRecord.SvRef; }
    std::int32_t GetTyp() const override { return FRecord.Typ; }
    std::int32_t GetFreq() const override { return FRecord.Freq; }
    RResidual GetRecord() const override { return FRecord; }
    void SetRecord(const RResidual& Value) override { FRecord = Value; }

private:
    RResidual FRecord;
};

class TZQS_Ambiguity : public zqt_classes_dbs::TZQS_Object,
                       public virtual zqt_obs_intrf::IZQS_Ambiguity {
public:
    // Table "ambiguity"; ObjType 21, neither visible nor enabled.
    void InitFields() override;
    void ExecuteWrite() override;
    void SetGPSTime(std::int64_t Value) override { FRecord.GPSTime = Value; }
    void SetSv(std::uint16_t Value) override { FRecord.Sv = Value; }
    void SetTyp(std::int32_t Value) override { FRecord.Typ = Value; }
    void SetFreq(std::int32_t Value) override { FRecord.Freq = Value; }
    void SetValue(double Value) override { FRecord.Value = Value; }
    void SetDescription(const std::string& Value) override { FRecord.Description = Value; }
    std::int64_t GetGPSTime() const override { return FRecord.GPSTime; }
    double GetValue() const override { return FRecord.Value; }
    std::uint16_t GetSv() const override { return FRecord.Sv; }
    std::int32_t GetTyp() const override { return FRecord.Typ; }
    std::int32_t GetFreq() const override { return FRecord.Freq; }
    std::string GetDescription() const override { return FRecord.Description; }
    RAmbiguity GetRecord() const override { return FRecord; }
    void SetRecord(const RAmbiguity& Value) override { FRecord = Value; }

private:
    RAmbiguity FRecord;
};

}  // namespace zqt_solution
