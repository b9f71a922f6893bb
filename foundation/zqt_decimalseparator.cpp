#include "zqt_decimalseparator.h"

#include <cstdint>
#include <mutex>

#include "sysutils.h"

namespace zqt_decimalseparator {

namespace {

struct DecSepState {
    std::recursive_mutex Lock;
    std::int32_t Count = 0;
    char Saved = '.';

    // At process end a switch still open is closed, so the separator of before is back.
    ~DecSepState() {
        if (Count != 0) {
            Count = 1;
            Restore();
        }
    }

    void Restore() {
        if (Count == 1) sysutils::DefaultFormatSettings().DecimalSeparator = Saved;
        if (Count != 0) --Count;
    }
};

DecSepState& State() {
    static DecSepState state;
    return state;
}

}  // namespace

void TZQT_DecSep::SetSeparator(char separator) {
    DecSepState& s = State();
    const std::lock_guard<std::recursive_mutex> guard(s.Lock);
    char& current = sysutils::DefaultFormatSettings().DecimalSeparator;
    if (s.Count == 0) s.Saved = current;
    if (current != separator) current = separator;
    ++s.Count;
}

void TZQT_DecSep::RestoreSeparator() {
    DecSepState& s = State();
    const std::lock_guard<std::recursive_mutex> guard(s.Lock);
    s.Restore();
}

}  // namespace zqt_decimalseparator
