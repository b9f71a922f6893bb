#include "zqt_satarray_dbs.h"

#include <limits>

namespace zqt_satarray_dbs {

using zqt_variant::TVariantArray;
using zqt_variant::Variant;

namespace {

// State of a written arc.
constexpr std::int32_t ArcClosed = 3;

}  // namespace

std::shared_ptr<TZQS_SatArray> TZQS_SatArray::Create(
    const zqt_objects_intrf::IZQS_ObjectPtr& DataSet) {
    return CreateWithParentOf<TZQS_SatArray>(DataSet);
}

void TZQS_SatArray::InitFields() {
    TZQS_Object::InitFields();
    FTableName = "SatArray";
    SetFieldNames({"DataSetID", "svprn", "SatCode", "Beg", "End", "El", "ObsTypes", "State"});
    FWriteMode = zqt_classes_dbs::wmInsertOrIgnore;
}

TZQS_SatArray::RArc* TZQS_SatArray::Arc(std::uint16_t Svprn, bool Create) {
    const unsigned sys = Svprn >> 8, num = Svprn & 0xFF;
    if (sys < 1 || sys > 7 || num < 1 || num > 255) return nullptr;
    std::unique_ptr<TArcs>& arcs = FArcs[sys];
    if (!arcs) {
        if (!Create) return nullptr;
        arcs = std::make_unique<TArcs>();
    }
    return &(*arcs)[num - 1];
}

void TZQS_SatArray::Write(std::uint16_t Svprn, const RArc& A) {
    const zqt_objects_intrf::IZQS_ObjectPtr parent = GetParent();
    ExecuteWriteParams(TVariantArray{
        Variant(parent ? parent->GetObjID() : std::int32_t{0}),
        Variant(static_cast<std::int32_t>(Svprn)), Variant(static_cast<std::int32_t>(Svprn >> 8)),
        Variant(A.Beg), Variant(A.End), Variant(static_cast<std::int32_t>(A.El)),
        Variant(static_cast<std::int64_t>(A.ObsTypes)), Variant(ArcClosed)});
}

void TZQS_SatArray::AddSatellite(std::uint16_t Svprn, std::int64_t Time, std::uint8_t Elevation,
                                 std::uint32_t ObsTypes) {
    RArc* a = Arc(Svprn, true);
    if (!a) return;
    const auto el = static_cast<std::int8_t>(Elevation < UnknownElevation ? Elevation : 0);
    if (a->Beg != 0) {
        if (Time < a->End) {
            // Out of order: the open arc does not reach back; the record stands alone.
            Write(Svprn, RArc{Time, Time, el, ObsTypes});
            return;
        }
        if (a->El == el && Time - a->End <= MaxStep) {
            a->End = Time;
            return;
        }
        WriteArc(Svprn);
    }
    a->Beg = Time;
    a->End = Time;
    a->El = el;
    a->ObsTypes |= ObsTypes;
}

void TZQS_SatArray::WriteArc(std::uint16_t Svprn) {
    RArc* a = Arc(Svprn, false);
    if (!a) return;
    Write(Svprn, *a);
    a->ObsTypes = 0;
}

void TZQS_SatArray::FinishWrite() {
    for (unsigned sys = 1; sys <= 7; ++sys) {
        if (!FArcs[sys]) continue;
        for (unsigned num = 1; num <= 255; ++num) {
            RArc& a = (*FArcs[sys])[num - 1];
            if (a.Beg == 0) continue;
            const auto svprn = static_cast<std::uint16_t>(sys << 8 | num);
            WriteArc(svprn);
            a = RArc{};
        }
    }
    TZQS_Object::FinishWrite();
}

}  // namespace zqt_satarray_dbs
