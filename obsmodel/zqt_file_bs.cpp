#include "zqt_file_bs.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "zqt_classes_bs.h"

namespace zqt_file_bs {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

void PutHex(std::string& s, std::uint64_t v, int digits) {
    for (int i = digits - 1; i >= 0; --i) s += HexDigits[(v >> (4 * i)) & 15];
}

int HexValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads Digits hex digits at Text[Pos]; false on any other character.
bool GetHex(std::string_view Text, std::size_t Pos, int Digits, std::uint64_t& V) {
    V = 0;
    for (int i = 0; i < Digits; ++i) {
        const int h = HexValue(Text[Pos + static_cast<std::size_t>(i)]);
        if (h < 0) return false;
        V = (V << 4) | static_cast<std::uint64_t>(h);
    }
    return true;
}

// Checksum block: 4,096 words of 64 bits.
constexpr std::size_t BlockSize = 32768;

}  // namespace

// =======================================================================================
// GUID

std::string GUIDToString(const TGUID& G) {
    std::string s;
    s.reserve(38);
    s += '{';
    PutHex(s, G.D1, 8);
    s += '-';
    PutHex(s, G.D2, 4);
    s += '-';
    PutHex(s, G.D3, 4);
    s += '-';
    PutHex(s, G.D4[0], 2);
    PutHex(s, G.D4[1], 2);
    s += '-';
    for (std::size_t i = 2; i < 8; ++i) PutHex(s, G.D4[i], 2);
    s += '}';
    return s;
}

bool TryStringToGUID(std::string_view Text, TGUID& G) {
    if (Text.size() == 38 && Text.front() == '{' && Text.back() == '}') Text = Text.substr(1, 36);
    if (Text.size() != 36 || Text[8] != '-' || Text[13] != '-' || Text[18] != '-' ||
        Text[23] != '-')
        return false;
    TGUID r;
    std::uint64_t v = 0;
    if (!GetHex(Text, 0, 8, v)) return false;
    r.D1 = static_cast<std::uint32_t>(v);
    if (!GetHex(Text, 9, 4, v)) return false;
    r.D2 = static_cast<std::uint16_t>(v);
    if (!GetHex(Text, 14, 4, v)) return false;
    r.D3 = static_cast<std::uint16_t>(v);
    static constexpr std::size_t BytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (std::size_t i = 0; i < 8; ++i) {
        if (!GetHex(Text, BytePos[i], 2, v)) return false;
        r.D4[i] = static_cast<std::uint8_t>(v);
    }
    G = r;
    return true;
}

TGUID StringToGUID(std::string_view Text) {
    TGUID g;
    if (!TryStringToGUID(Text, g))
        throw sysutils::EConvertError(sysutils::Format("'%s' is not a valid GUID value", Text));
    return g;
}

// =======================================================================================
// TZQS_File_bs

void TZQS_File_bs::InitFields() {
    TZQS_Object::InitFields();
    FObjType = OBJ_FILE;
    zqt_types_bs::FileInfoClear(FInfo);
    FGUID = TGUID{};
}

std::int64_t TZQS_File_bs::CalcCRC() const { return Checksum(FInfo.FileName); }

std::int64_t TZQS_File_bs::Checksum(const std::string& FileName) {
    const auto reader = zqt_classes_bs::TZQS_BinaryFileReader::Create(FileName);
    // A file that cannot be read must not pass for an empty one: its checksum 0 would
    // make every other unreadable file "already loaded".
    if (!reader->IsOpen()) {
        const int err = reader->OpenError() != 0 ? reader->OpenError() : ENOENT;
        throw zqt_classes_bs::ExcZQSCantOpenFile(
            Format("Can't open file %s: %s", FileName,
                   std::error_code(err, std::generic_category()).message()));
    }
    std::vector<unsigned char> block(BlockSize);
    std::uint64_t sum = 0;
    for (;;) {
        // Fill the whole block before summing, so that a short read in the middle of the
        // file cannot shift the word boundaries.
        std::size_t n = 0;
        while (n < BlockSize) {
            const std::size_t got = reader->ReadBlock(block.data() + n, BlockSize - n);
            if (got == 0) break;
            n += got;
        }
        if (n == 0) break;
        // The last word of a short block is padded with zero bytes.
        const std::size_t words = (n + 7) / 8;
        std::memset(block.data() + n, 0, words * 8 - n);
        for (std::size_t w = 0; w < words; ++w) {
            const unsigned char* p = block.data() + 8 * w;
            std::uint64_t word = 0;
            for (int b = 7; b >= 0; --b) word = (word << 8) | p[b];
            sum ^= word;
        }
        if (n < BlockSize) break;
    }
    return static_cast<std::int64_t>(sum);
}

}  // namespace zqt_file_bs
