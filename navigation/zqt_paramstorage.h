// Storage of broadcast parameter sets (ionosphere coefficients, time-system offsets): the
// sets are kept in memory in the order of addition and indexed by time under their system.
// A set stays valid long after its reference time, so the window query is widened by a
// margin on each side.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "SQLiteExt.h"
#include "zqt_basestorage.h"
#include "zqt_timefunc.h"
#include "zqt_variant.h"

namespace zqt_paramstorage {

// TRow: the table-bound row object of one set (CreateChild, Record(), ExecuteWrite,
// CloseWrite, GetTableName); TRecord: the set itself, with its GPSTime.
template <class TRow, class TRecord, std::int64_t Margin>
class TZQS_ParamStorage : public zqt_basestorage::TZQS_ScStorage {
public:
    // The window query over the storage's window widened by Margin on each side.
    void OpenTable() override {
        const std::shared_ptr<TRow> item = Cursor();
        OpenSQL(SQLiteExt::FormatPt(GetSQLTemplate(), item->GetTableName(),
                                    zqt_timefunc::AddTicks(GetBegTime(), -Margin),
                                    zqt_timefunc::AddTicks(GetEndTime(), Margin)),
                zqt_variant::TVariantArray{});
    }
    // Empties the time indexes and the list of sets.
    void Clear() override {
        TZQS_ScStorage::Clear();
        FItems.clear();
    }
    // Writes every set, in the order of addition, through the cursor (when the cursor
    // exists; rows already in the table are kept).
    void ExecuteWrite() override {
        if (!FCursor) return;
        for (const TRecord& s : FItems) {
            StoreInRow(*FCursor, s);
            FCursor->ExecuteWrite();
        }
    }
    // The cursor's write statement is closed too.
    void CloseWrite() override {
        if (FCursor) FCursor->CloseWrite();
        TZQS_ScStorage::CloseWrite();
    }
    // The cursor, created on first need as a child of the storage on its database.
    TZQS_ScObjectPtr GetItem() override { return Cursor(); }

protected:
    // Appends a copy of the cursor's set and indexes it under its system; a set that
    // cannot be indexed is not kept.
    std::int32_t AddIndex() override {
        const std::shared_ptr<TRow> item = Cursor();
        SetRowIndex(static_cast<std::int32_t>(FItems.size()));
        SetCurrentTime(item->Record().GPSTime);
        FItems.push_back(item->Record());
        try {
            return TZQS_ScStorage::AddIndex();
        } catch (...) {
            FItems.pop_back();
            throw;
        }
    }
    // Puts a set into the row object before it is written.
    virtual void StoreInRow(TRow& Row, const TRecord& Set) = 0;

    std::shared_ptr<TRow> Cursor() {
        if (!FCursor) FCursor = TRow::CreateChild(Intf(), nullptr);
        return FCursor;
    }

    std::vector<TRecord> FItems;
    std::shared_ptr<TRow> FCursor;
};

}  // namespace zqt_paramstorage
