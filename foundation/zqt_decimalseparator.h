// A process-wide, nestable switch of the decimal separator of the default format
// settings: numbers in every file the program reads or writes use "." whatever the
// user's locale.
#pragma once

namespace zqt_decimalseparator {

class TZQT_DecSep {
public:
    // Switches the separator; the outermost call saves the one it replaces.
    static void SetSeparator(char separator);
    // Undoes one SetSeparator; the outermost restores the saved separator. Without an
    // open switch it does nothing.
    static void RestoreSeparator();
};

// Holds the separator switched for its lifetime, so that every way out restores it.
class TZQT_DecSepScope {
public:
    explicit TZQT_DecSepScope(char separator = '.') { TZQT_DecSep::SetSeparator(separator); }
    ~TZQT_DecSepScope() { TZQT_DecSep::RestoreSeparator(); }
    TZQT_DecSepScope(const TZQT_DecSepScope&) = delete;
    TZQT_DecSepScope& operator=(const TZQT_DecSepScope&) = delete;
};

}  // namespace zqt_decimalseparator
