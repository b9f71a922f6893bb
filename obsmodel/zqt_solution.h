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
    RAmbiguity GetRecord() const override { return FRecord; }
    void SetRecord(const RAmbiguity& Value) override { FRecord = Value; }

private:
    RAmbiguity FRecord;
};

}  // namespace zqt_solution
