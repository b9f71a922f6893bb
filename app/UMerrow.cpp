// Command-line parameter parser: parameters, checks, the command-line state machine and
// the help listing.
#include "UMerrow.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>

#include "zqt_misc.h"
#include "zqt_platform.h"
#include "zqt_version.h"

namespace UMerrow {

namespace fs = std::filesystem;
using sysutils::Format;
using zqt_variant::Variant;

namespace {

template <class... A>
[[noreturn]] void Raise(std::string_view templ, const A&... args) {
    throw ECommandLineParser(Format(templ, args...));
}

// Blank characters of the command line: they end names and plain tokens.
bool IsBlankChar(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A character of the reader, the end marker (negative) included.
bool IsBlank(int c) noexcept { return c < 0 || IsBlankChar(static_cast<char>(c)); }

bool HasBlank(std::string_view s) noexcept {
    for (char c : s)
        if (IsBlankChar(c)) return true;
    return false;
}

// Length of the UTF-8 sequence that starts with this byte; a stray byte counts as one.
std::size_t Utf8Length(unsigned char lead) noexcept {
    if (lead < 0xC0) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    return 1;
}

bool IsContinuation(unsigned char c) noexcept { return (c & 0xC0) == 0x80; }

// The text cut into characters (UTF-8 code points; malformed bytes one by one).
std::vector<std::string_view> Characters(std::string_view s) {
    std::vector<std::string_view> r;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t n = Utf8Length(static_cast<unsigned char>(s[i]));
        std::size_t len = 1;
        while (len < n && i + len < s.size() &&
               IsContinuation(static_cast<unsigned char>(s[i + len])))
            ++len;
        r.push_back(s.substr(i, len));
        i += len;
    }
    return r;
}

std::size_t CharCount(std::string_view s) { return Characters(s).size(); }

// The first character of the text (a whole UTF-8 sequence).
std::string_view FirstChar(std::string_view s) {
    const auto chars = Characters(s.substr(0, 4));
    return chars.empty() ? s : chars.front();
}

// Enclosed in double quotes, a quote inside written twice.
std::string Quoted(std::string_view s) {
    std::string r = "\"";
    for (char c : s) {
        if (c == '"') r += '"';
        r += c;
    }
    r += '"';
    return r;
}

// A token as the token reader reads it back: quoted when it is empty, holds a blank or
// starts with a quote character.
std::string TokenText(std::string_view s) {
    if (s.empty() || HasBlank(s) || s.front() == '"' || s.front() == '\'') return Quoted(s);
    return std::string(s);
}

// The value part of an option: an empty value stays empty (the option then has no value).
std::string ValueText(std::string_view s) { return s.empty() ? std::string() : TokenText(s); }

// The program's version facts under the key names of a version resource; keys this build
// does not define are empty.
std::string VersionValue(std::string_view key) {
    if (sysutils::SameText(key, "ProductName")) return zqt_version::ProductName;
    if (sysutils::SameText(key, "ProductVersion")) return zqt_version::ProductVersion;
    if (sysutils::SameText(key, "FileVersion")) return zqt_version::FileVersion;
    return {};
}

constexpr std::array<std::string_view, 13> VersionKeys{
    "Comments",       "InternalName",   "ProductName",      "CompanyName",
    "LegalCopyright", "ProductVersion", "FileDescription",  "LegalTrademarks",
    "PrivateBuild",   "FileVersion",    "OriginalFilename", "SpecialBuild",
    "Flags"};

[[noreturn]] void RaiseCannotDelete(const fs::path& p) {
    throw ECommandLineParser(std::string(cunabletodelete) + p.string());
}

// The path without trailing "/" (but "/" itself), so that a link is seen as a link.
std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool IsSymlink(const std::string& path) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(WithoutTrailingSlash(path), ec));
}

// What is left in a folder after a failed removal: the first file or link found, else the
// deepest folder left; it is what could not be deleted.
fs::path LeftOver(const fs::path& dir) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) return dir;
    fs::path sub;
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code sec;
        if (!fs::is_directory(it->symlink_status(sec))) return it->path();
        sub = it->path();
    }
    return sub.empty() ? dir : LeftOver(sub);
}

// Deletes everything in the folder, and the folder itself when asked. Links are removed
// as links and never followed. What cannot be deleted raises with its path.
void DeleteTree(const std::string& folder, bool removeFolder) {
    if (zqt_misc::DeleteDirTree(folder, removeFolder)) return;
    const std::string path = WithoutTrailingSlash(folder);
    std::error_code ec;
    if (path == "/" || !fs::exists(fs::symlink_status(path, ec))) RaiseCannotDelete(path);
    RaiseCannotDelete(LeftOver(path));
}

// A file exists under the name (directories do not count); links are followed.
bool FileExists(const fs::path& p) {
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    return !ec && fs::exists(st) && !fs::is_directory(st);
}

bool IsDirectory(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

// Read-only: no write permission bit is set, or this process may not write to it.
bool IsReadOnly(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

// A file can be created in the directory (and is removed again).
bool CanCreateFileIn(const fs::path& dir) {
    std::string templ = (dir / "tmpXXXXXX").string();
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(buf.data());
    return true;
}

bool IsHelpWord(std::string_view name) {
    return sysutils::SameText(name, "h") || sysutils::SameText(name, "help") || name == "?";
}

}  // namespace

bool TryTextToBool(std::string_view text, bool& value) noexcept {
    static constexpr std::array<std::string_view, 10> TrueWords{
        "True", "T", "+", "Yes", "Y", "On", "Enable", "Enabled", "1", "-1"};
    static constexpr std::array<std::string_view, 9> FalseWords{
        "False", "F", "-", "No", "N", "Off", "Disable", "Disabled", "0"};
    for (std::string_view w : TrueWords)
        if (sysutils::SameText(text, w)) {
            value = true;
            return true;
        }
    for (std::string_view w : FalseWords)
        if (sysutils::SameText(text, w)) {
            value = false;
            return true;
        }
    return false;
}

// ---------------------------------------------------------------------------------------
// TParameter

void TParameter::Validate(const std::string&) {}

void TParameter::SetGiven(bool given) { FGiven = given; }

bool TParameter::GetAsBoolean() const {
    bool b = false;
    if (!TryTextToBool(FValue, b)) RaiseInvalid(FValue);
    return b;
}

std::unique_ptr<TParameter> TParameter::Clone() const {
    return std::unique_ptr<TParameter>(new TParameter(*this));
}

void TParameter::SetValue(const std::string& text) {
    Validate(text);
    FRawText = text;
    FValue = text;
    FGiven = true;
}

double TParameter::GetAsFloat() const { return sysutils::StrToFloat(FValue); }

std::int32_t TParameter::GetAsInteger() const {
    const std::int64_t v = sysutils::StrToInt(FValue);
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        throw sysutils::EConvertError(Format("'%s' is not a valid integer value", FValue));
    return static_cast<std::int32_t>(v);
}

void TParameter::SetAsFloat(double v) { FValue = sysutils::FloatToStr(v); }

void TParameter::SetAsInteger(std::int32_t v) { FValue = sysutils::IntToStr(v); }

void TParameter::RaiseInvalid(const std::string& value, const char* tail) const {
    Raise(std::string(cinvalidvalue) + tail, value, FName);
}

std::unique_ptr<TParameter> TStringParameter::Clone() const {
    return std::make_unique<TStringParameter>(*this);
}

// ---------------------------------------------------------------------------------------
// TBooleanParameter

void TBooleanParameter::Validate(const std::string& value) {
    bool b = false;
    if (!value.empty() && !TryTextToBool(value, b)) RaiseInvalid(value);
}

void TBooleanParameter::SetGiven(bool given) {
    TParameter::SetGiven(given);
    if (given) SetDefault("True");
}

bool TBooleanParameter::GetAsBoolean() const {
    if (Value().empty()) return Given();
    return TParameter::GetAsBoolean();
}

std::unique_ptr<TParameter> TBooleanParameter::Clone() const {
    return std::make_unique<TBooleanParameter>(*this);
}

// ---------------------------------------------------------------------------------------
// Numbers

void TIntegerParameter::Validate(const std::string& value) {
    std::int64_t v = 0;
    if (!sysutils::TryStrToInt(value, v)) RaiseInvalid(value, cspecifynumber);
    if (v < FMinimum) Raise(std::string(cinvalidvalue) + cminvalue + "%d", value, Name(), FMinimum);
    if (v > FMaximum) Raise(std::string(cinvalidvalue) + cmaxvalue + "%d", value, Name(), FMaximum);
}

std::unique_ptr<TParameter> TIntegerParameter::Clone() const {
    return std::make_unique<TIntegerParameter>(*this);
}

void TFloatParameter::Validate(const std::string& value) {
    double v = 0;
    // NaN would slip through both limit comparisons; infinities are no numbers to use.
    if (!sysutils::TryStrToFloat(value, v) || !std::isfinite(v))
        RaiseInvalid(value, cspecifynumber);
    if (v < FMinimum) Raise(std::string(cinvalidvalue) + cminvalue + "%g", value, Name(), FMinimum);
    if (v > FMaximum) Raise(std::string(cinvalidvalue) + cmaxvalue + "%g", value, Name(), FMaximum);
}

std::unique_ptr<TParameter> TFloatParameter::Clone() const {
    return std::make_unique<TFloatParameter>(*this);
}

// ---------------------------------------------------------------------------------------
// Directories and files

void TDirectoryParameter::Validate(const std::string& value) {
    const fs::path p(value);
    std::error_code ec;
    switch (FExistenceMode) {
        case 1:
            if (!IsDirectory(p)) Raise(cdirdoesnotexist, value);
            break;
        case 2:
            if (IsDirectory(p)) Raise(cdirdoesexist, value);
            break;
        case 3:
            if (!IsDirectory(p)) {
                fs::create_directories(p, ec);
                if (!IsDirectory(p)) Raise(cunabletocreatedir, value);
            }
            break;
        case 4:
            // A link to a directory goes as a link; its target is left alone.
            if (IsDirectory(p)) DeleteTree(value, true);
            break;
        default: break;
    }
    switch (FEmptinessMode) {
        case 1: {
            fs::directory_iterator it(p, ec);
            if (ec) Raise(cdirdoesnotexist, value);
            if (it != fs::directory_iterator()) Raise(cdirnotempty, value);
            break;
        }
        case 2: {
            fs::directory_iterator it(p, ec);
            if (ec || it == fs::directory_iterator()) Raise(cdirempty, value);
            break;
        }
        case 3:
            if (IsDirectory(p)) {
                // What lies behind a link is not cleared through it.
                if (IsSymlink(value)) RaiseCannotDelete(p);
                DeleteTree(value, false);
            }
            break;
        default: break;
    }
    if (FWritabilityMode == 1 && IsDirectory(p) && !CanCreateFileIn(p))
        Raise(cdirnotwritable, value);
}

std::unique_ptr<TParameter> TDirectoryParameter::Clone() const {
    return std::make_unique<TDirectoryParameter>(*this);
}

void TFileParameter::Validate(const std::string& value) {
    const fs::path p(value);
    switch (FExistenceMode) {
        case 1:
            if (!FileExists(p)) Raise(cfiledoesnotexist, value);
            break;
        case 2:
            if (FileExists(p)) Raise(cfiledoesexist, value);
            break;
        case 3:
            if (FileExists(p)) {
                std::error_code ec;
                if (!fs::remove(p, ec) || ec) Raise(ccantdeletefile, value);
            }
            break;
        default: break;
    }
    if (FWritabilityMode == 1 && FileExists(p) && IsReadOnly(value)) Raise(cfilenotwritable, value);
}

std::unique_ptr<TParameter> TFileParameter::Clone() const {
    return std::make_unique<TFileParameter>(*this);
}

// ---------------------------------------------------------------------------------------
// TParameters

TParameter& TParameters::Items(int index) {
    if (index < 0 || index >= Count()) Raise("List index out of bounds (%d)", index);
    return *FItems[static_cast<std::size_t>(index)];
}

const TParameter& TParameters::Items(int index) const {
    return const_cast<TParameters*>(this)->Items(index);
}

int TParameters::IndexOf(std::string_view name) const noexcept {
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->Name() == name) return static_cast<int>(i);
    return -1;
}

TParameter& TParameters::GetParameter(const Variant& key) {
    if (key.IsStr()) return Items(IndexOf(key.AsString()));
    if (key.IsOrdinal() && key.VarType() != zqt_variant::varBoolean) {
        const std::int64_t i = key.AsInt64();
        if (i < 0 || i >= Count()) Raise("List index out of bounds (%d)", i);
        return Items(static_cast<int>(i));
    }
    throw ECommandLineParser(cillegaltype);
}

const TParameter& TParameters::GetParameter(const Variant& key) const {
    return const_cast<TParameters*>(this)->GetParameter(key);
}

TParameter& TParameters::Add(std::unique_ptr<TParameter> parameter) {
    if (!parameter) Raise(cblankparam, Count() + 1);
    FItems.push_back(std::move(parameter));
    return *FItems.back();
}

// ---------------------------------------------------------------------------------------
// Constructor functions

std::unique_ptr<TParameter> StringParameter(std::string name, std::string help,
                                            std::string defaultValue, bool required) {
    auto p = std::make_unique<TStringParameter>(std::move(name), std::move(help), required);
    p->SetDefault(std::move(defaultValue));
    return p;
}

std::unique_ptr<TParameter> BooleanParameter(std::string name, std::string help, bool defaultValue,
                                             bool required) {
    auto p = std::make_unique<TBooleanParameter>(std::move(name), std::move(help), required);
    p->SetDefault(sysutils::BoolToStr(defaultValue, true));
    return p;
}

std::unique_ptr<TParameter> IntegerParameter(std::string name, std::string help,
                                             std::int32_t defaultValue, std::int32_t minimum,
                                             std::int32_t maximum, bool required) {
    auto p = std::make_unique<TIntegerParameter>(std::move(name), std::move(help), required,
                                                 minimum, maximum);
    p->SetAsInteger(defaultValue);
    return p;
}

std::unique_ptr<TParameter> FloatParameter(std::string name, std::string help, double defaultValue,
                                           double minimum, double maximum, bool required) {
    auto p = std::make_unique<TFloatParameter>(std::move(name), std::move(help), required, minimum,
                                               maximum);
    p->SetAsFloat(defaultValue);
    return p;
}

std::unique_ptr<TParameter> DirectoryParameter(std::string name, std::string help,
                                               std::string defaultValue, std::uint8_t existenceMode,
                                               std::uint8_t emptinessMode,
                                               std::uint8_t writabilityMode, bool required) {
    auto p = std::make_unique<TDirectoryParameter>(std::move(name), std::move(help), required,
                                                   emptinessMode, writabilityMode, existenceMode);
    p->SetDefault(std::move(defaultValue));
    return p;
}

std::unique_ptr<TParameter> FileParameter(std::string name, std::string help,
                                          std::string defaultValue, std::uint8_t existenceMode,
                                          std::uint8_t writabilityMode, bool required) {
    auto p = std::make_unique<TFileParameter>(std::move(name), std::move(help), required,
                                              existenceMode, writabilityMode);
    p->SetDefault(std::move(defaultValue));
    return p;
}

std::unique_ptr<TParameters> ParseParameters(TParameterArray params, std::string_view usage,
                                             const std::vector<std::string>& args,
                                             std::ostream& out, int consoleWidth) {
    return TParamParser::Execute(std::move(params), usage, args, out, consoleWidth);
}

// ---------------------------------------------------------------------------------------
// TParamParser

TParamParser::TParamParser(const TParameters& registered, std::string usage, std::ostream& out,
                           int consoleWidth)
    : FUsage(std::move(usage)), FRegistered(registered), FOut(out), FConsoleWidth(consoleWidth) {}

std::unique_ptr<TParameters> TParamParser::Execute(TParameterArray params, std::string_view usage,
                                                   const std::vector<std::string>& args,
                                                   std::ostream& out, int consoleWidth) {
    TParameters registered;
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (!params[i] || sysutils::Trim(params[i]->Name()).empty())
            Raise(cblankparam, static_cast<int>(i + 1));
        if (registered.IndexOf(params[i]->Name()) >= 0) Raise(cduplicateparam, params[i]->Name());
        registered.Add(std::move(params[i]));
    }
    TParamParser parser(registered, std::string(usage), out, consoleWidth);
    return parser.Parse(args);
}

std::string TParamParser::CommandLine(const std::vector<std::string>& args) {
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (i > 0) line += ' ';
        if (i == 0 || a.empty() || a.front() != '-' || a == "-" || a == "--") {
            // Program path and positional arguments. "/?" is the help word; any other
            // argument that starts with "/" is a path.
            line += a == "/?" ? std::string(a) : TokenText(a);
        } else if (a[1] == '-') {
            // --name, --name=value, --name:value
            const std::string_view rest = a.substr(2);
            const std::size_t sep = rest.find_first_of("=:");
            const std::string_view name = rest.substr(0, sep);
            if (HasBlank(name)) Raise(cinvalidname, name);
            line += "--";
            line += name;
            if (sep != std::string_view::npos) {
                line += rest[sep];
                line += ValueText(rest.substr(sep + 1));
            }
        } else {
            // -k, -k=value, -k:value, -kvalue
            const std::string_view letter = FirstChar(a.substr(1));
            if (HasBlank(letter)) Raise(cinvalidname, letter);
            std::string_view rest = a.substr(1 + letter.size());
            line += '-';
            line += letter;
            if (!rest.empty() && (rest.front() == '=' || rest.front() == ':')) {
                line += rest.front();
                rest.remove_prefix(1);
            }
            line += ValueText(rest);
        }
    }
    return line;
}

int TParamParser::NextChar() {
    if (FPos >= FCommandLine.size()) return EndMarker;
    return static_cast<unsigned char>(FCommandLine[FPos++]);
}

void TParamParser::PushBack(int c) {
    if (c != EndMarker && FPos > 0) --FPos;
}

std::string TParamParser::ReadQuoted(char quote) {
    std::string t;
    for (;;) {
        const int c = NextChar();
        if (c == EndMarker) throw ECommandLineParser(quote == '"' ? cendofdouble : cendofsingle);
        if (c == quote) {
            const int d = NextChar();
            if (d == quote) {
                t += quote;
                continue;
            }
            PushBack(d);
            return t;
        }
        t += static_cast<char>(c);
    }
}

std::string TParamParser::ReadToken() {
    int c = NextChar();
    if (c == '"') return ReadQuoted('"');
    if (c == '\'') return ReadQuoted('\'');
    std::string t;
    while (!IsBlank(c)) {
        t += static_cast<char>(c);
        c = NextChar();
    }
    PushBack(c);
    return t;
}

// Starts a one-letter name with the character just read and the rest of its UTF-8
// sequence.
void TParamParser::ReadNameChar(int first) {
    FName.assign(1, static_cast<char>(first));
    const std::size_t n = Utf8Length(static_cast<unsigned char>(first));
    for (std::size_t i = 1; i < n; ++i) {
        const int d = NextChar();
        if (d == EndMarker || !IsContinuation(static_cast<unsigned char>(d))) {
            PushBack(d);
            break;
        }
        FName += static_cast<char>(d);
    }
}

void TParamParser::EndName() {
    const int r = FRegistered.IndexOf(FName);
    if (r >= 0) {
        if (FResult->IndexOf(FName) >= 0) Raise(cduplicateparam, FName);
        auto clone = FRegistered.Items(r).Clone();
        clone->SetGiven(true);
        FCurrent = &FResult->Add(std::move(clone));
    } else if (IsHelpWord(FName)) {
        // A value that follows a help word is read and dropped.
        FCurrent = nullptr;
        ShowHelp();
    } else {
        Raise(cinvalidname, FName);
    }
}

void TParamParser::EndBareName() {
    EndName();
    // Only a switch means something by its name alone: "-v" with its value forgotten
    // would run with the default version without a word.
    if (FCurrent && !FCurrent->IsSwitch()) Raise(cunspecifiedvalue, FName);
}

void TParamParser::AddPositional(const std::string& value) {
    auto p = std::make_unique<TStringParameter>(std::string(), std::string(), false);
    p->SetValue(value);
    FResult->Add(std::move(p));
}

std::unique_ptr<TParameters> TParamParser::Parse(const std::vector<std::string>& args) {
    FResult = std::make_unique<TParameters>();
    FHelpShown = false;
    FState = 0;
    FName.clear();
    FCurrent = nullptr;
    FCommandLine = CommandLine(args);
    FPos = 0;
    ReadToken();  // the program path

    while (FState != 6) {
        const int c = NextChar();
        switch (FState) {
            case 0:  // between tokens
                if (c == '-') {
                    FState = 1;
                } else if (c == '/') {
                    const std::size_t slash = FPos - 1;
                    if (NextChar() == '?' && IsBlank(NextChar())) {
                        FName = "?";
                        EndName();
                    } else {
                        FPos = slash;
                        AddPositional(ReadToken());
                    }
                } else if (c == EndMarker) {
                    FState = 6;
                } else if (!IsBlank(c)) {
                    PushBack(c);
                    AddPositional(ReadToken());
                }
                break;
            case 1:  // after "-"
                if (c == '-') {
                    FName.clear();
                    FState = 3;
                } else if (IsBlank(c)) {
                    AddPositional("-");
                    FState = 0;
                } else {
                    ReadNameChar(c);
                    FState = 2;
                }
                break;
            case 2:  // after "-x"
                if (c == '=' || c == ':') {
                    EndName();
                    FState = 5;
                } else if (IsBlank(c)) {
                    EndBareName();
                    FState = 0;
                } else {
                    // The value follows the one letter directly.
                    PushBack(c);
                    EndName();
                    FState = 5;
                }
                break;
            case 3:  // after "--"
                if (IsBlank(c)) {
                    if (FName.empty())
                        AddPositional("--");
                    else
                        EndBareName();
                    FState = 0;
                } else if (c == '=' || c == ':') {
                    EndName();
                    FState = 5;
                } else {
                    FName += static_cast<char>(c);
                }
                break;
            case 5: {  // value expected
                if (IsBlank(c)) Raise(cunspecifiedvalue, FName);
                PushBack(c);
                const std::string token = ReadToken();
                if (FCurrent) FCurrent->SetValue(token);
                FState = 0;
                break;
            }
            default: FState = 6; break;
        }
    }

    for (const auto& p : FRegistered) {
        if (FResult->IndexOf(p->Name()) >= 0) continue;
        p->Validate(p->Value());
        FResult->Add(p->Clone());
    }
    for (const auto& p : *FResult)
        if (p->Required() && !p->Given()) Raise(cparamrequired, p->Name());
    FCurrent = nullptr;
    FResult->SetHelpShown(FHelpShown);
    return std::move(FResult);
}

// ---------------------------------------------------------------------------------------
// Help

void TParamParser::ShowHelp() {
    std::string usage = FUsage.empty() ? "{ProductName} {ProductVersion} {LegalCopyright}" : FUsage;
    for (std::string_view key : VersionKeys)
        usage = sysutils::ReplaceAll(usage, "{" + std::string(key) + "}", VersionValue(key), true);
    FOut << usage << '\n' << '\n';
    ListParameters();
    FOut.flush();
    FHelpShown = true;
}

void TParamParser::ListParameters() {
    const std::size_t width =
        static_cast<std::size_t>(FConsoleWidth > 0 ? FConsoleWidth : zqt_platform::ConsoleWidth());
    const std::size_t further = width > 17 ? width - 16 : 1;
    const std::string indent(16, ' ');
    for (const auto& p : FRegistered) {
        std::string line = "    -";
        if (CharCount(p->Name()) > 1) line += '-';
        line += p->Name();
        if (!p->Help().empty()) {
            const std::size_t n = CharCount(line);
            if (n < 14) line.append(14 - n, ' ');
            line += "  ";
            line += p->Help();
        }
        // Written in pieces of at most the console width, broken at a blank where there is
        // one; continuation pieces are indented by 16 blanks.
        std::vector<std::string_view> chars = Characters(line);
        std::string rest;  // keeps the trimmed remainder alive
        std::size_t max = width;
        bool first = true;
        for (;;) {
            const std::string_view prefix = first ? std::string_view() : std::string_view(indent);
            if (chars.size() <= max) {
                FOut << prefix;
                for (std::string_view c : chars) FOut << c;
                FOut << '\n';
                break;
            }
            std::size_t cut = max;  // 0-based index of the blank, when one is found
            bool blank = false;
            for (std::size_t i = max; i >= 1; --i)
                if (chars[i] == " ") {
                    cut = i;
                    blank = true;
                    break;
                }
            std::string piece;
            for (std::size_t i = 0; i < cut; ++i) piece += chars[i];
            std::string remainder;
            for (std::size_t i = blank ? cut + 1 : cut; i < chars.size(); ++i)
                remainder += chars[i];
            FOut << prefix << piece << '\n';
            rest = blank ? sysutils::Trim(remainder) : remainder;
            if (rest.empty()) break;
            chars = Characters(rest);
            max = further;
            first = false;
        }
    }
}

std::string TParamParser::HelpHint() const {
    std::vector<std::string> forms;
    if (FRegistered.IndexOf("?") < 0) forms.emplace_back("/?");
    if (FRegistered.IndexOf("h") < 0) forms.emplace_back("-h");
    if (FRegistered.IndexOf("help") < 0) forms.emplace_back("--help");
    if (forms.empty()) return {};
    std::string list;
    for (std::size_t i = 0; i < forms.size(); ++i) {
        if (i > 0) list += i + 1 == forms.size() ? " or " : ", ";
        list += forms[i];
    }
    return Format(chelp, list);
}

}  // namespace UMerrow
