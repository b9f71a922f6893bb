// Command-line parameter parser: typed parameters (text, Boolean, integer, floating-point,
// directory, file) with help text, default, limits and checks; a state machine that reads
// --name=value, -k=value, -kvalue and positional arguments with quoting from the process
// arguments; the help listing laid out for the console width; and the parser's messages.
#pragma once

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sysutils.h"
#include "zqt_variant.h"

namespace UMerrow {

// Every failure of the parser and of the parameter checks.
ZQT_DECLARE_EXCEPTION(ECommandLineParser, Exception, "ECommandLineParser");

// The parser's messages (format templates).
inline constexpr const char* cinvalidvalue = "\"%s\" is not a valid value for the \"%s\" parameter";
inline constexpr const char* cblankparam = "Parameter names cannot be blank. (Parameter #%d)";
inline constexpr const char* chelp = "Use %s to get more information.";
inline constexpr const char* cduplicateparam = "Duplicate parameter name: %s";
inline constexpr const char* cspecifynumber = ". Please specify a number";
inline constexpr const char* cminvalue = ". The minimum value is ";
inline constexpr const char* cmaxvalue = ". The maximum value is ";
inline constexpr const char* cparamrequired = "The \"%s\" parameter is required";
inline constexpr const char* cinvalidname = "\"%s\" is not a valid parameter name";
inline constexpr const char* cunspecifiedvalue = "Unspecified value for option \"%s\"";
inline constexpr const char* cendofsingle = "Unexpected end of line in single-quoted string";
inline constexpr const char* cendofdouble = "Unexpected end of line in double-quoted string";
inline constexpr const char* cdirdoesnotexist = "Directory does not exist: %s";
inline constexpr const char* cdirdoesexist = "Directory already exists: %s";
inline constexpr const char* cdirnotempty = "Directory is not empty: %s";
inline constexpr const char* cdirempty = "Directory is empty: %s";
inline constexpr const char* cdirnotwritable = "Directory is not writable: %s";
inline constexpr const char* cunabletocreatedir = "Unable to create directory: %s";
inline constexpr const char* cfiledoesnotexist = "File does not exist: %s";
inline constexpr const char* cfiledoesexist = "File already exists: %s";
inline constexpr const char* ccantdeletefile = "Unable to delete file: %s";
inline constexpr const char* cfilenotwritable = "Cannot write to file: %s";
inline constexpr const char* cillegaltype = "Illegal type for accessing parameters";
inline constexpr const char* cunabletodelete = "Unable to delete ";

// True when the text is one of the Boolean words (case-insensitive); the word's meaning
// goes to value.
bool TryTextToBool(std::string_view text, bool& value) noexcept;

// ---------------------------------------------------------------------------------------
// Parameters

// One parameter: its name (empty for a positional argument), help text, the value as last
// given, and the current value (the default until given).
class TParameter {
public:
    TParameter(std::string name, std::string help, bool required)
        : FName(std::move(name)), FHelp(std::move(help)), FRequired(required) {}
    virtual ~TParameter() = default;

    const std::string& Name() const noexcept { return FName; }
    const std::string& Help() const noexcept { return FHelp; }
    const std::string& RawText() const noexcept { return FRawText; }
    bool Required() const noexcept { return FRequired; }
    bool Given() const noexcept { return FGiven; }
    const std::string& Value() const noexcept { return FValue; }

    // The type check of a value text; raises ECommandLineParser. None in the base.
    virtual void Validate(const std::string& value);
    virtual void SetGiven(bool given);
    // The value as one of the Boolean words; any other text raises ECommandLineParser.
    virtual bool GetAsBoolean() const;
    // True for a switch, which may be given by its name alone; any other parameter needs
    // a value.
    virtual bool IsSwitch() const noexcept { return false; }
    // A new object of the same class with the same fields.
    virtual std::unique_ptr<TParameter> Clone() const;

    // Checks the text with Validate, then stores it as raw text and value and marks the
    // parameter as given. A text that fails its check is not stored.
    void SetValue(const std::string& text);
    // Stores the value without a check (defaults).
    void SetDefault(std::string value) { FValue = std::move(value); }

    // The value converted with the current decimal separator; EConvertError when it is
    // not a number (or, for integers, outside the 32-bit range).
    double GetAsFloat() const;
    std::int32_t GetAsInteger() const;
    void SetAsFloat(double v);
    void SetAsInteger(std::int32_t v);

protected:
    TParameter(const TParameter&) = default;
    TParameter& operator=(const TParameter&) = default;
    [[noreturn]] void RaiseInvalid(const std::string& value, const char* tail = "") const;

private:
    std::string FName;
    std::string FHelp;
    std::string FRawText;
    bool FRequired = false;
    bool FGiven = false;
    std::string FValue;
};

class TStringParameter : public TParameter {
public:
    using TParameter::TParameter;
    std::unique_ptr<TParameter> Clone() const override;
};

class TBooleanParameter : public TParameter {
public:
    using TParameter::TParameter;
    void Validate(const std::string& value) override;
    // Given with True also sets the value to "True": a bare switch means on.
    void SetGiven(bool given) override;
    // The Given flag when the value is empty, else the Boolean word.
    bool GetAsBoolean() const override;
    bool IsSwitch() const noexcept override { return true; }
    std::unique_ptr<TParameter> Clone() const override;
};

class TIntegerParameter : public TParameter {
public:
    TIntegerParameter(std::string name, std::string help, bool required, std::int32_t minimum,
                      std::int32_t maximum)
        : TParameter(std::move(name), std::move(help), required),
          FMaximum(maximum),
          FMinimum(minimum) {}
    void Validate(const std::string& value) override;
    std::unique_ptr<TParameter> Clone() const override;
    std::int32_t Maximum() const noexcept { return FMaximum; }
    std::int32_t Minimum() const noexcept { return FMinimum; }

private:
    std::int32_t FMaximum;
    std::int32_t FMinimum;
};

class TFloatParameter : public TParameter {
public:
    TFloatParameter(std::string name, std::string help, bool required, double minimum,
                    double maximum)
        : TParameter(std::move(name), std::move(help), required),
          FMaximum(maximum),
          FMinimum(minimum) {}
    void Validate(const std::string& value) override;
    std::unique_ptr<TParameter> Clone() const override;
    double Maximum() const noexcept { return FMaximum; }
    double Minimum() const noexcept { return FMinimum; }

private:
    double FMaximum;
    double FMinimum;
};

// Directory checks, applied in this order:
//   existence   0 none, 1 must exist, 2 must not exist, 3 created with its parents when
//               missing, 4 removed with everything in it when it exists;
//   emptiness   0 none, 1 must be empty, 2 must not be empty, 3 its contents removed;
//   writability 0 none, 1 a file can be created in it (when it exists).
// Removal never follows a symbolic link: a link is removed as a link.
class TDirectoryParameter : public TParameter {
public:
    TDirectoryParameter(std::string name, std::string help, bool required,
                        std::uint8_t emptinessMode, std::uint8_t writabilityMode,
                        std::uint8_t existenceMode)
        : TParameter(std::move(name), std::move(help), required),
          FEmptinessMode(emptinessMode),
          FWritabilityMode(writabilityMode),
          FExistenceMode(existenceMode) {}
    void Validate(const std::string& value) override;
    std::unique_ptr<TParameter> Clone() const override;
    std::uint8_t EmptinessMode() const noexcept { return FEmptinessMode; }
    std::uint8_t WritabilityMode() const noexcept { return FWritabilityMode; }
    std::uint8_t ExistenceMode() const noexcept { return FExistenceMode; }

private:
    std::uint8_t FEmptinessMode;
    std::uint8_t FWritabilityMode;
    std::uint8_t FExistenceMode;
};

// File checks: existence 0 none, 1 must exist, 2 must not exist, 3 deleted when it exists;
// writability 0 none, 1 an existing file must not be read-only.
class TFileParameter : public TParameter {
public:
    TFileParameter(std::string name, std::string help, bool required, std::uint8_t existenceMode,
                   std::uint8_t writabilityMode)
        : TParameter(std::move(name), std::move(help), required),
          FExistenceMode(existenceMode),
          FWritabilityMode(writabilityMode) {}
    void Validate(const std::string& value) override;
    std::unique_ptr<TParameter> Clone() const override;
    std::uint8_t ExistenceMode() const noexcept { return FExistenceMode; }
    std::uint8_t WritabilityMode() const noexcept { return FWritabilityMode; }

private:
    std::uint8_t FExistenceMode;
    std::uint8_t FWritabilityMode;
};

// The parameters a caller registers, in order.
using TParameterArray = std::vector<std::unique_ptr<TParameter>>;

// Collects parameters made by the constructor functions into one array.
template <class... P>
TParameterArray ParameterArray(P&&... params) {
    TParameterArray a;
    a.reserve(sizeof...(P));
    (a.push_back(std::forward<P>(params)), ...);
    return a;
}

// The parameter list; owns its items. Positional arguments share the empty name.
class TParameters {
public:
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    // The parse that made the list printed the help.
    bool HelpShown() const noexcept { return FHelpShown; }
    void SetHelpShown(bool Value) noexcept { FHelpShown = Value; }
    // ECommandLineParser for an index outside the list.
    TParameter& Items(int index);
    const TParameter& Items(int index) const;
    // Index of the first item with exactly that name (case-sensitive), -1 when none.
    int IndexOf(std::string_view name) const noexcept;
    // A text key looks the name up, an integer key is an index; any other kind raises
    // "Illegal type for accessing parameters". A name or index not in the list raises too.
    TParameter& GetParameter(const zqt_variant::Variant& key);
    const TParameter& GetParameter(const zqt_variant::Variant& key) const;
    TParameter& Add(std::unique_ptr<TParameter> parameter);
    void Clear() noexcept { FItems.clear(); }

    auto begin() const noexcept { return FItems.begin(); }
    auto end() const noexcept { return FItems.end(); }

private:
    std::vector<std::unique_ptr<TParameter>> FItems;
    bool FHelpShown = false;
};

// ---------------------------------------------------------------------------------------
// Parser

class TParamParser {
public:
    // registered must outlive the parser. consoleWidth <= 0: the width of the console on
    // standard output (80 when there is none).
    TParamParser(const TParameters& registered, std::string usage, std::ostream& out = std::cout,
                 int consoleWidth = 0);

    // Registers the parameters (blank and duplicate names raise), parses the process
    // arguments (index 0 is the program path) and returns every registered parameter, given
    // or defaulted, plus one empty-named parameter per positional argument.
    static std::unique_ptr<TParameters> Execute(TParameterArray params, std::string_view usage,
                                                const std::vector<std::string>& args,
                                                std::ostream& out = std::cout,
                                                int consoleWidth = 0);

    std::unique_ptr<TParameters> Parse(const std::vector<std::string>& args);

    // Usage text with its placeholders filled, an empty line, the parameter listing.
    void ShowHelp();
    void ListParameters();
    // "Use /?, -h or --help to get more information." with the help forms whose word is
    // not a registered name; empty when none is left.
    std::string HelpHint() const;
    bool HelpShown() const noexcept { return FHelpShown; }

    // The process arguments as one command line, quoted so that reading it back gives
    // exactly the same arguments. Raises ECommandLineParser for an option whose name
    // holds a blank, which no command line can carry.
    static std::string CommandLine(const std::vector<std::string>& args);

private:
    static constexpr int EndMarker = -1;

    int NextChar();
    void PushBack(int c);
    std::string ReadToken();
    std::string ReadQuoted(char quote);
    void ReadNameChar(int first);
    void EndName();
    // Ends a name followed by a blank: only a switch may stand without a value.
    void EndBareName();
    void AddPositional(const std::string& value);

    std::string FUsage;
    bool FHelpShown = false;
    const TParameters& FRegistered;
    std::unique_ptr<TParameters> FResult;
    std::uint8_t FState = 0;
    std::string FCommandLine;
    std::size_t FPos = 0;
    std::string FName;
    TParameter* FCurrent = nullptr;  // item of FResult; null after a help word
    std::ostream& FOut;
    int FConsoleWidth;
};

// ---------------------------------------------------------------------------------------
// Constructor functions: each stores the default as the value.

std::unique_ptr<TParameter> StringParameter(std::string name, std::string help,
                                            std::string defaultValue, bool required = false);
std::unique_ptr<TParameter> BooleanParameter(std::string name, std::string help, bool defaultValue,
                                             bool required = false);
std::unique_ptr<TParameter> IntegerParameter(std::string name, std::string help,
                                             std::int32_t defaultValue, std::int32_t minimum,
                                             std::int32_t maximum, bool required = false);
std::unique_ptr<TParameter> FloatParameter(std::string name, std::string help, double defaultValue,
                                           double minimum, double maximum, bool required = false);
std::unique_ptr<TParameter> DirectoryParameter(std::string name, std::string help,
                                               std::string defaultValue, std::uint8_t existenceMode,
                                               std::uint8_t emptinessMode,
                                               std::uint8_t writabilityMode, bool required = false);
std::unique_ptr<TParameter> FileParameter(std::string name, std::string help,
                                          std::string defaultValue, std::uint8_t existenceMode,
                                          std::uint8_t writabilityMode, bool required = false);

// TParamParser::Execute.
std::unique_ptr<TParameters> ParseParameters(TParameterArray params, std::string_view usage,
                                             const std::vector<std::string>& args,
                                             std::ostream& out = std::cout, int consoleWidth = 0);

}  // namespace UMerrow
