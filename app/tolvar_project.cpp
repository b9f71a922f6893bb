#include "tolvar_project.h"

#include "zqt_version.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <utility>

#include "SQLiteExt.h"
#include "sysutils.h"
#include "zqt_classes_bs.h"
#include "zqt_dataset_dbs.h"
#include "zqt_datastorage.h"
#include "zqt_decimalseparator.h"
#include "zqt_ephemerisstorage.h"
#include "zqt_misc.h"
#include "zqt_project.h"
#include "zqt_recordset_dbs.h"
#include "zqt_rnx3_writer.h"
#include "zqt_rnx_files.h"
#include "zqt_rnx_reader.h"
#include "zqt_rnx_writer.h"
#include "zqt_rtcm_reader.h"
#include "zqt_sat_obs_rnx.h"
#include "zqt_sat_obs_types.h"
#include "zqt_timefunc.h"
#include "zqt_variant.h"

namespace tolvar_project {

using UMerrow::TParameter;
using UMerrow::TParameters;
using zqt_types_bs::eFields;

// ---------------------------------------------------------------------------------------
// Console messages

const std::array<std::array<std::string_view, 2>, MessageCount> Messages{{
    {"converts RTCM 3 recordings into RINEX observation and navigation files",
     "преобразует записи RTCM 3 в файлы наблюдений и навигации RINEX"},
    {"You have to give beginning day in the --day key (--day=dd_mm_yyyy) or in the file name "
     "(file_yyyy_mm_dd.rtcm)",
     "Вы должны указать день начала в ключе --day (--day=dd_mm_yyyy) или в имени файла "
     "(file_yyyy_mm_dd.rtcm)"},
    {"Wrong time format", "Неверный формат времени"},
    {"Wrong date format", "Неверный формат даты"},
    {"Unsupported rinex version %4.2f", "Версия RINEX %4.2f не поддерживается"},
    {"A mixed navigation file (--mxd) needs RINEX version 3.00 or later, not %4.2f: a RINEX 2 "
     "navigation file holds only the satellite system that its file type names",
     "Смешанный файл эфемерид (--mxd) возможен только для RINEX 3.00 и выше, а не %4.2f: "
     "навигационный файл RINEX 2 содержит записи только той спутниковой системы, которую "
     "называет его тип"},
    {"No epoch of %s falls in the chosen window (--st, --ft) or interval (--dt)",
     "Ни одна эпоха %s не попадает в заданное окно (--st, --ft) или интервал (--dt)"},
    {"Can't open file %s: not a regular file (the input is read in several passes: a pipe or a "
     "device cannot be used)",
     "Не удается открыть файл %s: это не обычный файл (входные данные читаются в несколько "
     "проходов: канал или устройство использовать нельзя)"},
    {"The output file %s would overwrite the input file %s",
     "Выходной файл %s перезаписал бы входной файл %s"},
    {"%s: removed %d file(s) left by runs that did not end",
     "%s: удалено файлов, оставленных прерванными запусками: %d"},
    {"One input file per run; also given: %s",
     "За один запуск преобразуется один входной файл; указаны также: %s"},
    {"Station %s: no epoch falls in the chosen window (--st, --ft) or interval (--dt); its "
     "files are not written",
     "Станция %s: ни одна эпоха не попадает в заданное окно (--st, --ft) или интервал (--dt); "
     "ее файлы не записаны"},
    {"RINEX %s file names cannot tell %d stations apart: the names of the files of the second "
     "and later stations end in _002, _003, ... before the extension",
     "Имена файлов RINEX %s не различают %d станций: имена файлов второй и следующих станций "
     "оканчиваются на _002, _003, ... перед расширением"},
    {"%s: only the ephemerides of --borb and --rorb are written",
     "%s: записываются только эфемериды из --borb и --rorb"},
    {"%s: a run that did not end was putting its files in place; %d earlier file(s) put back",
     "%s: прерванный запуск не успел заменить файлы; восстановлено прежних файлов: %d"},
    {"%s holds no observation that can be written and no ephemeris; no file is written",
     "%s не содержит ни наблюдений, которые можно записать, ни эфемерид; файлы не записаны"},
    {"%s: no observation that RINEX %s can carry; not written",
     "%s: нет наблюдений, которые может содержать RINEX %s; не записан"},
    {"%s: no observation of the chosen systems, satellites and observation types (--icss, "
     "--ecss, --ecsv, -b); not written",
     "%s: нет наблюдений выбранных систем, спутников и типов наблюдений (--icss, --ecss, "
     "--ecsv, -b); не записан"},
    {"SBAS observations are not written: SBAS MSM are not decoded, and SBAS satellites of "
     "legacy messages are kept out of the epochs",
     "Наблюдения SBAS не записываются: сообщения MSM SBAS не декодируются, а спутники SBAS из "
     "сообщений старых типов не включаются в эпохи"},
    {"No observation of %s can be written; no file is written",
     "Ни одно наблюдение %s не может быть записано; файлы не записаны"},
    {"%d %s ephemerides not written: more than %d hours before or after the observations",
     "Не записаны эфемериды %1:s, отстоящие от наблюдений более чем на %2:d ч: %0:d"},
    {"%s: left as it is: a run that did not end had put its file under this name, and the name "
     "no longer holds that file",
     "%s: оставлен как есть: прерванный запуск поместил под этим именем свой файл, но теперь "
     "под ним уже не этот файл"},
    {"%d %s ephemerides not written: no observation file of the run holds %s observations",
     "Не записаны эфемериды %1:s, так как ни один файл наблюдений не содержит наблюдений %1:s: "
     "%0:d"},
    {"%s: waiting for another run that is putting its files into this folder",
     "%s: ожидание другого запуска, который помещает свои файлы в эту папку"},
    {"%s: hidden files of %d other run(s) are left in place: it cannot be told whether those "
     "runs have ended (a process of their id is running, or the folder's file system has no "
     "file locks)",
     "%s: оставлены скрытые файлы других запусков (%d): нельзя определить, завершились ли эти "
     "запуски (процесс с их номером работает или файловая система папки не поддерживает "
     "блокировки файлов)"},
    {"%s: the file system of this folder does not lock files: runs writing into it at the same "
     "time are not kept apart, and their files can mix",
     "%s: файловая система этой папки не поддерживает блокировки файлов: запуски, одновременно "
     "записывающие в нее, не отделяются друг от друга, и их файлы могут смешаться"},
    {"%s: an earlier file is left under this hidden name: a run that did not end had kept it "
     "aside while putting its files in place, and its list of them cannot be read",
     "%s: прежний файл оставлен под этим скрытым именем: прерванный запуск отложил его, "
     "заменяя файлы, а его список файлов не читается"},
}};

std::string_view Message(EMessage index) noexcept {
    const int lang = LanguageIndex == 1 ? 1 : 0;
    return Messages[static_cast<std::size_t>(index)][static_cast<std::size_t>(lang)];
}

// ---------------------------------------------------------------------------------------
// Option table

namespace {

constexpr double IntMax = std::numeric_limits<std::int32_t>::max();

constexpr ROptionDef Text(std::string_view key, std::string_view en, std::string_view ru) {
    return {key, EOptionKind::Text, "", 0, 0, 0, 0, 0, 0, en, ru};
}
constexpr ROptionDef Bool(std::string_view key, std::string_view en, std::string_view ru) {
    return {key, EOptionKind::Boolean, "", 0, 0, 0, 0, 0, 0, en, ru};
}
constexpr ROptionDef Float(std::string_view key, double def, double lo, double hi,
                           std::string_view en, std::string_view ru) {
    return {key, EOptionKind::Float, "", def, lo, hi, 0, 0, 0, en, ru};
}

// The -v option comes from the version table: it runs from the first version to the
// latest, which is the default, and its help lists every version ("-v=2.00|...|4.00").
using zqt_sat_obs_types::RNV_BEG;
using zqt_sat_obs_types::RNV_END;
using zqt_sat_obs_types::RnxVersions;

constexpr double FirstVersion = RnxVersions[RNV_BEG].Number;
constexpr double LatestVersion = RnxVersions[RNV_END].Number;

struct TVersionHelp {
    std::array<char, 160> Text{};
    std::size_t Size = 0;

    constexpr void Add(std::string_view s) {
        for (const char c : s) Text.at(Size++) = c;
    }
    // "x.yy" of a version's number x 100.
    constexpr void AddVersion(std::int32_t x100) {
        const char digits[] = {static_cast<char>('0' + x100 / 100), '.',
                               static_cast<char>('0' + x100 / 10 % 10),
                               static_cast<char>('0' + x100 % 10)};
        Add(std::string_view(digits, sizeof digits));
    }
    constexpr std::string_view View() const { return {Text.data(), Size}; }
};

constexpr TVersionHelp VersionHelp(std::string_view Words) {
    TVersionHelp h;
    h.Add("-v=");
    for (std::size_t v = RNV_BEG; v <= RNV_END; ++v) {
        if (v != RNV_BEG) h.Add("|");
        h.AddVersion(RnxVersions[v].X100);
    }
    h.Add(" - ");
    h.Add(Words);
    h.AddVersion(RnxVersions[RNV_END].X100);
    return h;
}

constexpr TVersionHelp VersionHelpEN = VersionHelp("rinex version,default - ");
constexpr TVersionHelp VersionHelpRU = VersionHelp("версия RINEX, по умолчанию - ");

}  // namespace

const std::array<ROptionDef, OptionCount> OptionTable{{
    Float("v", LatestVersion, FirstVersion, LatestVersion, VersionHelpEN.View(),
          VersionHelpRU.View()),
    Text("day", "--day=dd_mm_yy begining date of input data",
         "--day=dd_mm_yy     - начальная дата rtcm файла"),
    {"o", EOptionKind::Directory, ".", 0, 0, 0, 0, 0, 0, "-o=outdirname      - Output directory",
     " -o=outdirname     - папка исходящих файлов"},
    {"of", EOptionKind::File, "", 0, 0, 0, 0, 0, 0,
     "--of=filename      - Output file name (without extension)",
     "--of=filename      - имя RINEX файла (без расширения)"},
    Text("rorb", "--rorb=\"ephem.rtcm\" - rtcm ephemeris",
         "--rorb=\"ephem.rtcm\" - rtcm эфемериды, могут понадобиться если их нет в основном файле"),
    Text("borb", "--borb=\"brdc.23n,brdc.23g\" - RINEX ephemeris",
         "--borb=\"brdc.23n,brdc.23g\" - RINEX эфемериды, могут понадобиться если их нет в rtcm"),
    Text("icss", "--icss=G,R         - Include GNNS", "--icss=G,R         - Включить GNNS"),
    Text("ecss", "--ecss=R,I         - Exclude GNNS", "--ecss=R,I         - Исключить GNNS"),
    Text("ecsv", "--ecsv=G1,R4,E6,C17- Exclude given SVs",
         "--ecsv=G1,R4,E6,C17- Исключить спутники"),
    Text("b",
         " -b=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)       - Exclude given observations for all "
         "systems",
         " -b=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)       - Исключить сигналы для всех GNSS"),
    Text("bg",
         "--bg=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Exclude given observations for GPS",
         "--bg=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Исключить сигналы для GPS"),
    Text("br",
         "--br=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Exclude given observations for "
         "GLONASS",
         "--br=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Исключить сигналы для GLONASS"),
    Text("bw",
         "--bw=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Exclude given observations for SBAS",
         "--bw=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Исключить сигналы для SBAS"),
    Text("be",
         "--be=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Exclude given observations for "
         "Galileo",
         "--be=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Исключить сигналы для Galileo"),
    Text("bc",
         "--bc=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Exclude given observations for "
         "COMPASS",
         "--bc=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Исключить сигналы для COMPASS"),
    Text("bj",
         "--bj=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Exclude given observations for QZSS",
         "--bj=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Исключить сигналы для QZSS"),
    Text("bi",
         "--bi=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Exclude given observations for IRNSS",
         "--bi=P1,D?,?5 (2.xx)| S1C,S??,?8?(3.xx,4.xx)      - Исключить сигналы для IRNSS"),
    Bool("dinav", "--dinav            - disable GALILEO I/NAV message",
         "--dinav            - запретить GALILEO I/NAV сообщение"),
    Bool("dfnav", "--dfnav            - disable GALILEO F/NAV message",
         "--dfnav            - запретить GALILEO F/NAV сообщение"),
    Bool("mxd", "--mxd              - mixed navigation file (rinex 3+ only)",
         "--mxd              - смешаный файл эфемерид (только rinex 3+)"),
    Text("st", "--st=dd_mm_yy_hh_mm_ss - Start time",
         "--st=dd_mm_yy_hh_mm_ss - начальное время для вывода"),
    Text("ft", "--ft=dd_mm_yy_hh_mm_ss - Final time",
         "--ft=dd_mm_yy_hh_mm_ss - конечное время для вывода"),
    {"dt", EOptionKind::Integer, "", 0, 0, IntMax, 0, 0, 0,
     "--dt=n             - Only epoch that multiple of n (msec) will be written",
     "--dt=n             - будут записаны только эпохи кратные n (msec)"},
    Bool("hr", "--hr               - Split file hourly",
         "--hr               - разделить файл по часам"),
    Bool("opus", "--opus             - OPUS and AUSPOS compatible",
         "--opus             - совместимость с OPUS"),
    Bool("cd", "--cd               - Disable clock offset",
         "--cd               - запретить вывод ухода часов"),
    Bool("lz", "--lz               - Add leading zeros to svn",
         "--lz               - добавлять лидирующие нули к номеру спутника"),
    Bool("ca",
         "--ca               - Use CA phase and Doppler instead of L1 and D1 (2.10 and 2.11 "
         "versions only)",
         "--ca               - использовать СА фазу (2.10 и 2.11 rinex)"),
    Bool("rn", "--rn               - Use RINEX naming convention",
         "--rn               - конвенция RINEX имен файлов"),
    Text("OB", "--OB=OBSERVER      - Observer", "--OB=OBSERVER      - Observer"),
    Text("AG", "--AG=AGENCY        - Agency", "--AG=AGENCY        - Агенство"),
    Text("RB", "--RB=RUNBY          - Run by", "--RB=RUNBY         - Запущено"),
    Text("RN", "--RN=RCVNUM        - Receiver #", "--RN=RCVNUM        - номер приемника"),
    Text("RT", "--RT=RCVTYP        - Receiver type", "--RT=RCVTYP        - Модель приемника"),
    Text("MN", "--MN=MARKER        - Marker name", "--MN=MARKER        - наименование маркера"),
    Text("MB", "--MB=NUMBER        - Marker number", "--MB=NUMBER        - номер маркера"),
    Text("MT", "--MT=MARKERTYPE    - Marker type", "--MT=MARKERTYPE    - тип маркера"),
    Text("CC", "--CC=COUNTRY       - Country code", "--CC=COUNTRY       - код страны"),
    Text("AN", "--AN=ANTNUM        - Antenna #", "--AN=ANTNUM        - номер антенны"),
    Text("AT", "--AT=ANTTYP        - Antenna type", "--AT=ANTTYP        - тип антенны"),
    Text("AH", "--AH=AntennaHeight - AntennaHeight", "--AH=AntennaHeight - высота антенны"),
    Float("DH", -100, -100, 100, "--DH=DeltaH        - AntennaDeltaH",
          "--DH=DeltaH        - смещение антенны H"),
    Float("DE", -100, -100, 100, "--DE=DeltaE        - AntennaDeltaE",
          "--DE=DeltaE        - смещение антенны E"),
    Float("DN", -100, -100, 100, "--DN=DeltaN        - AntennaDeltaN",
          "--DN=DeltaN        - смещение антенны N"),
    Float("X", 0, -100000000, 100000000, "--X=ApproxX        - Approximate X position",
          "--X=ApproxX        - позиция X"),
    Float("Y", 0, -100000000, 100000000, "--Y=ApproxX        - Approximate Y position",
          "--Y=ApproxX        - позиция Y"),
    Float("Z", 0, -100000000, 100000000, "--Z=ApproxX        - Approximate Z position",
          "--Z=ApproxX        - позиция Z"),
    Bool("tb", "--tb               - Don't suppress trailing blanks",
         "--tb               - не подавлять хвостовые пробелы"),
    Bool("nonav", "--nonav            - Don't export ephemeris files",
         "--nonav            - не экспортировать эфемериды"),
    Bool("nodup", "--nodup            - suppress duplicate epochs",
         "--nodup            - подавлять повтор эпох"),
    Bool("D", "--D                - use D in exponent",
         "--D                - использовать D в экспоненте"),
}};

UMerrow::TParameterArray CreateParameters(int language) {
    UMerrow::TParameterArray params;
    params.reserve(OptionTable.size());
    for (const ROptionDef& d : OptionTable) {
        std::string key(d.Key);
        std::string help(language == 1 ? d.HelpRU : d.HelpEN);
        switch (d.Kind) {
            case EOptionKind::Text:
                params.push_back(UMerrow::StringParameter(key, help, std::string(d.TextDefault)));
                break;
            case EOptionKind::Boolean:
                params.push_back(UMerrow::BooleanParameter(key, help, d.NumDefault != 0));
                break;
            case EOptionKind::Integer:
                params.push_back(UMerrow::IntegerParameter(
                    key, help, static_cast<std::int32_t>(d.NumDefault),
                    static_cast<std::int32_t>(d.Minimum), static_cast<std::int32_t>(d.Maximum)));
                break;
            case EOptionKind::Float:
                params.push_back(
                    UMerrow::FloatParameter(key, help, d.NumDefault, d.Minimum, d.Maximum));
                break;
            case EOptionKind::Directory:
                params.push_back(UMerrow::DirectoryParameter(key, help, std::string(d.TextDefault),
                                                             d.Mode1, d.Mode2, d.Mode3));
                break;
            case EOptionKind::File:
                params.push_back(UMerrow::FileParameter(key, help, std::string(d.TextDefault),
                                                        d.Mode1, d.Mode2));
                break;
        }
    }
    return params;
}

std::unique_ptr<TParameters> CreateParserEN(const std::vector<std::string>& args, std::ostream& out,
                                            int consoleWidth) {
    return UMerrow::ParseParameters(CreateParameters(0), UsageText, args, out, consoleWidth);
}

std::unique_ptr<TParameters> CreateParserRU(const std::vector<std::string>& args, std::ostream& out,
                                            int consoleWidth) {
    return UMerrow::ParseParameters(CreateParameters(1), UsageText, args, out, consoleWidth);
}

// ---------------------------------------------------------------------------------------
// Times and days

namespace {

// Ticks of a date and time given as texts; the item texts come from the option Key with
// the value Text. A day, month, hour, minute or second outside the calendar is refused with
// the parser's message rather than carried into the next day or month.
std::int64_t TimeOfItems(const zqt_variant::TVariantArray& items, bool withTime,
                         std::string_view text, std::string_view key) {
    using zqt_variant::VarToStrZ;
    const std::int64_t day = sysutils::StrToInt(VarToStrZ(items[0]));
    const std::int64_t month = sysutils::StrToInt(VarToStrZ(items[1]));
    std::int64_t year = sysutils::StrToInt(VarToStrZ(items[2]));
    std::int64_t hour = 0, minute = 0;
    double seconds = 0.0;
    if (withTime) {
        hour = sysutils::StrToInt(VarToStrZ(items[3]));
        minute = sysutils::StrToInt(VarToStrZ(items[4]));
        seconds = sysutils::StrToFloat(VarToStrZ(items[5]));
    }
    // Two-digit years: below 50 is 20yy, 50 to 99 is 19yy (a negative year counts as below
    // 50 too: -1 is 1999).
    if (year < 50)
        year += 2000;
    else if (year >= 50 && year < 100)
        year += 1900;
    auto small = [](std::int64_t v) { return v > -100000 && v < 100000; };
    if (!small(day) || !small(month) || !small(year) || !small(hour) || !small(minute) ||
        !std::isfinite(seconds) || std::fabs(seconds) > 1e9)
        throw sysutils::EConvertError(Format("Invalid date or time %d.%d.%d %d:%d:%f", day, month,
                                             year, hour, minute, seconds));
    const bool calendar =
        month >= 1 && month <= 12 && day >= 1 && year >= 1 && year <= 9999 &&
        day <= sysutils::DaysInAMonth(static_cast<int>(year), static_cast<int>(month));
    if ((year >= 1 && year <= 9999 && !calendar) || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || seconds < 0.0 || seconds >= 60.0)
        throw UMerrow::ECommandLineParser(Format(UMerrow::cinvalidvalue, text, key));
    const double dt = sysutils::EncodeDate(static_cast<int>(year), static_cast<int>(month),
                                           static_cast<int>(day));
    const auto days = static_cast<std::int64_t>(dt - zqt_timefunc::GPSTimeOrigin);
    const std::int64_t whole = ((days * 24 + hour) * 60 + minute) * 60;
    return whole * zqt_timefunc::TicksPerSecond +
           static_cast<std::int64_t>(std::nearbyint(seconds * zqt_timefunc::TicksPerSecond));
}

std::int64_t ParseItems(std::string_view text, std::size_t count, EMessage wrongFormat,
                        std::string_view key) {
    if (sysutils::Trim(text).empty()) return 0;
    zqt_variant::TVariantArray items;
    zqt_misc::SplitToVariants(items, text, "_", true);
    if (items.size() != count) throw Exception(std::string(Message(wrongFormat)));
    return TimeOfItems(items, count == 6, text, key);
}

}  // namespace

std::int64_t ParseTime(std::string_view text, std::string_view key) {
    return ParseItems(text, 6, msgWrongTime, key);
}

std::int64_t ParseDay(std::string_view text, std::string_view key) {
    return ParseItems(text, 3, msgWrongDate, key);
}

// ---------------------------------------------------------------------------------------
// Header overrides

namespace {

// True for a text that reads as a number but names no finite value: "nan", "inf" and
// "infinity" (any case, with a sign) and numbers beyond the range of a double ("1e999").
bool ReadsAsNonFinite(std::string_view text) {
    double v = 0.0;
    if (sysutils::TryStrToFloat(text, v)) return false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, std::chars_format::general);
    if (r.ptr != end) return false;
    // A number too small for a double is taken as zero above: out of range here is too large.
    return r.ec == std::errc::result_out_of_range || (r.ec == std::errc() && !std::isfinite(v));
}

}  // namespace

void SetHeaderField(TZQT_OverloadedParams& o, const TParameters& params, std::string_view key) {
    int field = 0;
    for (std::size_t i = 1; i < HeaderFieldKeys.size(); ++i)
        if (HeaderFieldKeys[i] == key) {
            field = static_cast<int>(i);
            break;
        }
    if (field == 0) return;
    const int index = params.IndexOf(key);
    if (index < 0 || !params.Items(index).Given()) {
        o.Fields.reset(static_cast<std::size_t>(field));
        return;
    }
    const TParameter& p = params.Items(index);
    const std::string& text = p.Value();
    switch (static_cast<eFields>(field)) {
        case zqt_types_bs::eRunBy: o.RunBy = text; break;
        case zqt_types_bs::eObserverName: o.ObserverName = text; break;
        case zqt_types_bs::eObserverAgency: o.ObserverAgency = text; break;
        case zqt_types_bs::eMarkerName: o.MarkerName = text; break;
        case zqt_types_bs::eMarkerNumber: o.MarkerNumber = text; break;
        case zqt_types_bs::eMarkerType: o.MarkerType = text; break;
        case zqt_types_bs::eCountryCode: o.CountryCode = text; break;
        case zqt_types_bs::eApproxX: o.ApproxX = p.GetAsFloat(); break;
        case zqt_types_bs::eApproxY: o.ApproxY = p.GetAsFloat(); break;
        case zqt_types_bs::eApproxZ: o.ApproxZ = p.GetAsFloat(); break;
        case zqt_types_bs::eReceiverNumber: o.ReceiverNumber = text; break;
        case zqt_types_bs::eReceiverType: o.ReceiverType = text; break;
        case zqt_types_bs::eFirmwareVersion: o.FirmwareVersion = text; break;
        case zqt_types_bs::eAntenaNumber: o.AntennaNumber = text; break;
        case zqt_types_bs::eAntennaModel: o.AntennaModel = text; break;
        case zqt_types_bs::eAntennaHeight: {
            // A text option read as a number: held to the limits of the antenna offsets. A
            // text that reads as no finite number is refused as the number options refuse it;
            // any other text that is no number raises the number conversion's own error.
            UMerrow::TFloatParameter limits(std::string(key), std::string(), false,
                                            AntennaHeightMinimum, AntennaHeightMaximum);
            if (ReadsAsNonFinite(text)) limits.Validate(text);
            o.AntennaHeight = p.GetAsFloat();
            limits.Validate(text);
            break;
        }
        case zqt_types_bs::eAntennaDeltaE: o.AntennaDeltaE = p.GetAsFloat(); break;
        case zqt_types_bs::eAntennaDeltaN: o.AntennaDeltaN = p.GetAsFloat(); break;
        case zqt_types_bs::eAntennaDeltaH: o.AntennaDeltaH = p.GetAsFloat(); break;
        case zqt_types_bs::eNone: return;
    }
    o.Fields.set(static_cast<std::size_t>(field));
}

// ---------------------------------------------------------------------------------------
// ParseParams

std::uint8_t VersionIndexOf(double value) noexcept {
    const double x = std::trunc(value * 100.0 + 0.1);
    if (!std::isfinite(x)) return 0;
    for (int i = zqt_sat_obs_types::RNV_BEG; i <= zqt_sat_obs_types::RNV_END; ++i)
        if (zqt_sat_obs_types::RnxVersions[static_cast<std::size_t>(i)].X100 == x)
            return static_cast<std::uint8_t>(i);
    return 0;
}

namespace {

const TParameter& Param(const TParameters& params, std::string_view name) {
    return params.GetParameter(zqt_variant::Variant(name));
}

const std::string& Value(const TParameters& params, std::string_view name) {
    return Param(params, name).Value();
}

bool Flag(const TParameters& params, std::string_view name) {
    return Param(params, name).GetAsBoolean();
}

// A file that the run reads must open for reading before any work starts, so that a
// mistyped name ends with its own message and exit code. Only a regular file will do: the
// input is read in several passes, and a pipe or a device is looked at without being opened
// (opening a pipe would take its writer's data, or wait for a writer forever).
void CheckReadable(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw zqt_classes_bs::ExcZQSCantOpenFile(Format(Message(msgNotRegularFile), path));
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int err = fd < 0 ? errno : 0;
    if (fd >= 0) {
        const zqt_classes_bs::TFileHandle handle(fd);
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) err = EISDIR;
    }
    if (err != 0)
        throw zqt_classes_bs::ExcZQSCantOpenFile(
            Format("Can't open file %s: %s", path, std::strerror(err)));
}

// The folder that takes the files of a run: made with its missing parents before the
// import and checked for writing then, so that a folder that cannot take the files is said
// before the input is read. When the run fails, the folders it made go again (when nothing
// else is in them): a failed run leaves the folders as it found them.
class TOutputFolder {
public:
    explicit TOutputFolder(std::string Path) : FPath(Path.empty() ? "." : std::move(Path)) {
        namespace fs = std::filesystem;
        std::error_code ec;
        if (!fs::is_directory(FPath, ec)) {
            fs::path p(FPath);
            if (!p.has_filename()) p = p.parent_path();
            for (; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
                FMade.push_back(p.string());  // innermost first
                if (p == p.parent_path()) break;
            }
            fs::create_directories(FPath, ec);
            if (!fs::is_directory(FPath, ec)) {
                RemoveMade();
                throw UMerrow::ECommandLineParser(Format(UMerrow::cunabletocreatedir, FPath));
            }
        }
        std::string probe = FPath + (FPath.back() == '/' ? "" : "/") + ".tolvar-XXXXXX";
        const int fd = ::mkstemp(probe.data());
        if (fd < 0) {
            RemoveMade();
            throw UMerrow::ECommandLineParser(Format(UMerrow::cdirnotwritable, FPath));
        }
        ::close(fd);
        ::unlink(probe.c_str());
    }
    TOutputFolder(const TOutputFolder&) = delete;
    TOutputFolder& operator=(const TOutputFolder&) = delete;
    ~TOutputFolder() {
        if (!FKeep) RemoveMade();
    }
    void Keep() noexcept { FKeep = true; }
    const std::string& Path() const noexcept { return FPath; }

private:
    void RemoveMade() noexcept {
        for (const std::string& folder : FMade) ::rmdir(folder.c_str());
        FMade.clear();
    }

    std::string FPath;
    std::vector<std::string> FMade;
    bool FKeep = false;
};

// The items of the --borb list, cut at "," and taken as they stand.
std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return items;
}

UMerrow::ECommandLineParser InvalidValue(std::string_view text, std::string_view key) {
    return UMerrow::ECommandLineParser(Format(UMerrow::cinvalidvalue, text, key));
}

// The systems of a list of system letters ("G,R,E", also in lower case as --ecsv takes
// satellites): an item that is not one letter of a system is refused (the lists are read by
// their first letters, so "GAL" would be GPS).
std::uint32_t SystemsOption(const TParameters& params, std::string_view key) {
    const std::string& given = Value(params, key);
    std::string text = given;
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const std::string& item : SplitList(given)) {
        const std::string letter = sysutils::Trim(item);
        if (!letter.empty() &&
            (letter.size() != 1 ||
             zqt_sat_obs_types::CharToSatSystem(std::string(
                 1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0]))))) ==
                 zqt_sat_obs_types::SC_UNKNOWN))
            throw InvalidValue(letter, key);
    }
    return zqt_sat_obs_types::StrToSatSetRec(text);
}

// The identity of an existing file (device and inode); false when there is none.
bool FileIdentity(const std::string& Path, dev_t& Device, ino_t& Inode) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0) return false;
    Device = st.st_dev;
    Inode = st.st_ino;
    return true;
}

// Every satellite of a list ("G01,R04") names one; a number that is none ("G999") or an
// unknown system letter is refused instead of being left out without a word.
void CheckSatellites(const TParameters& params, std::string_view key) {
    const std::string& text = Value(params, key);
    if (text.empty()) return;
    for (const std::string& item : SplitList(text)) {
        const std::string sat = sysutils::Trim(item);
        // An empty item or a number that is no number raise the conversion's own error. The
        // number is read from the two characters after the letter: a longer id names none.
        if (!sat.empty() && (sat.size() > 3 || zqt_sat_obs_types::SatIndexToSatNum(sat) == 0))
            throw InvalidValue(sat, key);
    }
}

}  // namespace

bool ParseParams(RRunSettings& run, const std::vector<std::string>& args, std::ostream& out,
                 int consoleWidth) {
    using namespace zqt_sat_obs_types;
    namespace ws = zqt_rnx_writer_settings;

    std::unique_ptr<TParameters> params = LanguageIndex == 1
                                              ? CreateParserRU(args, out, consoleWidth)
                                              : CreateParserEN(args, out, consoleWidth);
    if (!params) return false;
    const TParameters& p = *params;

    if (p.IndexOf("") < 0) {
        out << zqt_project::TZQS_Project::GetAppName() << ' '
            << zqt_project::TZQS_Project::GetVersionText() << ' ' << Message(msgNotice) << '\n'
            << "SqLite " << SQLiteExt::TESQLiteDatabase_nodebug::SQLiteVersion() << '\n'
            << zqt_project::TZQS_Project::GetAppName() << " -h for help" << '\n';
        out.flush();
        return false;
    }
    // The help was asked for: it is all the user gets, also with an input file.
    if (p.HelpShown()) return false;
    run.InputFile = Value(p, "");
    // Every further positional argument would be left unconverted: refused before any work.
    std::string extra;
    for (int i = p.IndexOf("") + 1; i < p.Count(); ++i)
        if (p.Items(i).Name().empty()) extra += (extra.empty() ? "" : ", ") + p.Items(i).Value();
    if (!extra.empty()) throw Exception(Format(Message(msgExtraInputs), extra));

    RRnxWriterSettings& s = run.Settings;
    TRReaderSettings& r = run.ReaderSettings;

    s.OutputDir = Value(p, "o");
    if (s.OutputDir.empty()) s.OutputDir = ".";

    const double version = Param(p, "v").GetAsFloat();
    s.RnxVersion = VersionIndexOf(version);
    s.OutputName = Value(p, "of");
    // The name's last part names the files: without one ("x/", ".", "..", blanks alone) the
    // files would be named by their extension alone, hidden or unreadable.
    const std::string base = s.OutputName.substr(s.OutputName.rfind('/') + 1);
    if (!s.OutputName.empty() && (sysutils::Trim(base).empty() || base == "." || base == ".."))
        throw InvalidValue(s.OutputName, "of");
    if (s.RnxVersion == 0) throw Exception(Format(Message(msgUnsupportedVersion), version));

    s.IncludedSystems = SystemsOption(p, "icss");
    if ((s.IncludedSystems & AllSystemsMask) == 0) s.IncludedSystems = AllSystemsMask;
    s.IncludedSystems &= ~SystemsOption(p, "ecss");
    CheckSatellites(p, "ecsv");
    StrToSatSet(s.ExcludedSats, Value(p, "ecsv"));

    ws::SetVersion(s.ObsCodes, s.RnxVersion);
    // The observation codes left out, for all systems and per system.
    static constexpr std::array<std::pair<std::string_view, unsigned>, 8> codeOptions{
        {{"b", ws::AllSystemsList},
         {"bg", SC_GPS},
         {"br", SC_GLONASS},
         {"be", SC_GALILEO},
         {"bw", SC_WAAS},
         {"bc", SC_BDS},
         {"bj", SC_QZSS},
         {"bi", SC_IRNSS}}};
    for (const auto& [key, sys] : codeOptions) ws::SetObsCodes(s.ObsCodes, sys, Value(p, key));

    run.Rorb = Value(p, "rorb");
    run.Borb = Value(p, "borb");
    r.StartTime = ParseTime(Value(p, "st"), "st");
    r.FinalTime = ParseTime(Value(p, "ft"), "ft");
    run.Day = ParseDay(Value(p, "day"), "day");
    r.Interval =
        static_cast<std::int64_t>(Param(p, "dt").GetAsInteger()) * zqt_timefunc::TicksPerMs;

    s.HourlyFiles = Flag(p, "hr");
    s.NoClockOffset = Flag(p, "cd");
    s.LeadingZeros = Flag(p, "lz");
    s.CAPhase = Flag(p, "ca");
    s.RinexNames = Flag(p, "rn");
    s.KeepBlanks = Flag(p, "tb");
    const bool mixedGiven = Flag(p, "mxd");
    r.SuppressDuplicates = Flag(p, "nodup");
    s.NoNavigation = Flag(p, "nonav");
    s.DExponent = Flag(p, "D");

    for (std::string_view key : {"RB", "OB", "AG", "MN", "MB", "MT", "CC", "X", "Y", "Z", "RN",
                                 "RT", "AN", "AT", "AH", "DH", "DE", "DN"})
        SetHeaderField(run.Overloaded, p, key);

    if (Flag(p, "opus")) {
        // Observation files for the online processing services: GPS only, RINEX 2.10 with
        // C/A phase, 30 s epochs, GLONASS R26 left out.
        s.IncludedSystems = 1u << SC_GPS;
        for (const std::string& item : SplitList("R26")) {
            const RSatNum key = SatIndexToSatNum(sysutils::Trim(item));
            if (key != 0) SatSetAdd(s.ExcludedSats, key);
        }
        s.CAPhase = true;
        s.RnxVersion = RN2_210;
        r.Interval = 30 * zqt_timefunc::TicksPerSecond;
    }

    // One navigation file for all systems exists only from RINEX 3.00 on; 4.00 always has
    // it. The rule follows the version finally chosen, after the preset.
    if (mixedGiven && IsRinex2(s.RnxVersion))
        throw zqt_project::ExceptionInconsistentParams(
            Format(Message(msgMixedNavVersion), RnxVersions[s.RnxVersion].Number));
    s.MixedNavigation = mixedGiven || IsRinex4(s.RnxVersion);

    if (s.OutputName.empty()) s.OutputName = zqt_misc::FileNameWithoutExt(run.InputFile);

    CheckReadable(run.InputFile);
    if (!run.Rorb.empty()) CheckReadable(run.Rorb);
    if (!run.Borb.empty())
        for (const std::string& item : SplitList(run.Borb)) CheckReadable(item);

    if (run.Day == 0) {
        run.Day = zqt_rtcm_reader::TZQS_RTCMReader::GetStartTime(run.InputFile);
        if (run.Day == 0) throw Exception(std::string(Message(msgNoDay)));
    }
    run.Inputs = {run.InputFile};
    if (!run.Rorb.empty()) run.Inputs.push_back(run.Rorb);
    if (!run.Borb.empty())
        for (const std::string& item : SplitList(run.Borb)) run.Inputs.push_back(item);
    RefuseOutputOverInput(run);

    // The PGM field of RINEX headers holds 20 characters: the application name and the
    // file version ("tolvar 1.0.0.0"). The version text starts with the product name,
    // which is the application name here, and would cut the version short.
    s.ProgramName = zqt_project::TZQS_Project::GetAppName();
    s.ProgramVersion = zqt_version::FileVersion;
    run.Params = std::move(params);
    return true;
}

void RefuseInputAsOutput(const RRunSettings& Run, const std::string& Output) {
    dev_t device = 0, otherDevice = 0;
    ino_t inode = 0, otherInode = 0;
    if (!FileIdentity(Output, device, inode)) return;
    for (const std::string& input : Run.Inputs)
        if (FileIdentity(input, otherDevice, otherInode) && device == otherDevice &&
            inode == otherInode)
            throw zqt_project::ExceptionInconsistentParams(
                Format(Message(msgOutputIsInput), Output, input));
}

void RefuseOutputOverInput(const RRunSettings& Run) {
    const RRnxWriterSettings& s = Run.Settings;
    // RINEX names come from the data: those files are checked as they are made.
    if (s.RinexNames || s.HourlyFiles) return;
    int year = 0, month = 0, day = 0;
    sysutils::DecodeDate(zqt_timefunc::TicksToDateTime(Run.Day), year, month, day);
    std::string folder = s.OutputDir;
    const std::string prefix = OutputPath(folder, s.OutputName) + Format(".%2.2d", year % 100);
    const std::size_t slash = prefix.rfind('/');
    folder = slash == std::string::npos ? std::string() : prefix.substr(0, slash + 1);
    const std::string base = prefix.substr(folder.size());
    // An input named like a file of the run ("<name>.<yy><letter>"): is it the file the
    // run would write?
    for (const std::string& input : Run.Inputs) {
        const std::size_t cut = input.rfind('/');
        const std::string name = cut == std::string::npos ? input : input.substr(cut + 1);
        if (name.size() == base.size() + 1 && name.starts_with(base))
            RefuseInputAsOutput(Run, folder + name);
    }
}

std::string OutputFolderOf(const RRunSettings& Run) {
    const std::string& name = Run.Settings.OutputName;
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos) return Run.Settings.OutputDir;
    return slash == 0 ? std::string("/") : name.substr(0, slash);
}

// =======================================================================================
// Main program and conversion run

using zqt_obs_intrf::IZQS_DataSetPtr;
using zqt_obs_intrf::IZQS_FileReceiverPtr;
using zqt_obs_intrf::IZQS_RecordSetPtr;

// ---------------------------------------------------------------------------------------
// Output names and windows

std::string RecordsetOutputName(const std::string& OutputName, std::size_t Index) {
    if (Index == 0) return OutputName;
    return OutputName + Format("_%3.3d", static_cast<std::uint64_t>(Index) + 1);
}

std::string HourlyPieceName(const std::string& OutputName, std::size_t Index) {
    return OutputName + static_cast<char>(static_cast<unsigned char>((97 + Index) % 256));
}

std::string OutputPath(std::string& OutputDir, const std::string& OutputName) {
    if (OutputName.find('/') != std::string::npos) return OutputName;
    if (OutputDir.empty() || OutputDir.back() != '/') OutputDir += '/';
    return OutputDir + OutputName;
}

RNavigationWindow NavigationOnlyWindow(std::int64_t Day) noexcept {
    return {Day - NavigationHalfWindow, Day + NavigationHalfWindow, Day};
}

// ---------------------------------------------------------------------------------------
// Exit codes

int ExitCodeOf(const std::exception& E) noexcept {
    if (dynamic_cast<const zqt_classes_bs::ExcZQSCantOpenFile*>(&E)) return ExitCantOpenFile;
    if (dynamic_cast<const zqt_project::ExceptionInconsistentParams*>(&E))
        return ExitInconsistentParams;
    if (dynamic_cast<const zqt_project::ExceptionInconsistentConfig*>(&E))
        return ExitInconsistentConfig;
    return ExitFailure;
}

std::string ConsoleText(std::string_view Text) {
    std::string r;
    r.reserve(Text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(Text.data());
    const std::size_t n = Text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c == '\r') {
            // Parts of a message joined by a carriage return would overwrite each other.
            r += '\n';
            i += i + 1 < n && p[i + 1] == '\n' ? 2 : 1;
            continue;
        }
        if (c < 0x80) {
            r += c == '\n' || (c >= 0x20 && c != 0x7F) ? static_cast<char>(c) : '?';
            ++i;
            continue;
        }
        // A whole UTF-8 sequence stays, unless it is one of the C1 controls U+0080..U+009F;
        // a byte that starts none is shown as "?".
        const std::size_t len = c >= 0xC2 && c <= 0xDF   ? 2
                                : c >= 0xE0 && c <= 0xEF ? 3
                                : c >= 0xF0 && c <= 0xF4 ? 4
                                                         : 0;
        bool whole = len != 0 && i + len <= n;
        for (std::size_t k = 1; whole && k < len; ++k) whole = (p[i + k] & 0xC0) == 0x80;
        if (!whole || (c == 0xC2 && p[i + 1] < 0xA0)) {
            r += '?';
            i += whole ? len : 1;
            continue;
        }
        r.append(Text.substr(i, len));
        i += len;
    }
    return r;
}

std::string ErrorLine(const std::exception& E) {
    if (const auto* e = dynamic_cast<const sysutils::Exception*>(&E))
        return std::string(e->ClassName()) + " " + e->Message();
    return std::string("Exception ") + E.what();
}

// ---------------------------------------------------------------------------------------
// TTolvar_project

namespace {

// The station of a stream's receiver as the console names it: its station ID, the second
// field of the receiver number "serial/station/non-physical/physical" counted from the end;
// the receiver's place (1-based) when the number has no such field.
std::string StationOf(zqt_obs_intrf::IZQS_FileReceiver& Receiver, std::int32_t Index) {
    const zqt_obs_intrf::IZQS_ReceiverPtr receiver = Receiver.GetReceiver();
    const std::string number = receiver ? receiver->GetReceiverNumber() : std::string();
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t slash; (slash = number.find('/', start)) != std::string::npos;
         start = slash + 1)
        fields.push_back(number.substr(start, slash - start));
    fields.push_back(number.substr(start));
    if (fields.size() >= 4 && !fields[fields.size() - 3].empty()) return fields[fields.size() - 3];
    return std::to_string(Index + 1);
}

}  // namespace

bool TTolvar_project::ParseParams() { return tolvar_project::ParseParams(FRun, FArgs, *FOut); }

SQLiteExt::IESQLiteDatabasePtr TTolvar_project::Database() {
    SQLiteExt::IESQLiteDatabasePtr db = GetDatabase();
    if (!db) throw zqt_types_bs::ExceptionZQS("The working project database is not open");
    return db;
}

void TTolvar_project::ShowPercent(const void*, const std::string&, double, std::int32_t Percent,
                                  bool&) {
    *FOut << zqt_misc::FormatEsc("\\r%3d%", Percent);
    FOut->flush();
    FProgressOpen = true;
}

void TTolvar_project::ShowMessage(const std::string& Text, std::uint8_t) {
    *FOut << '\n' << ConsoleText(Text) << '\n';
    FOut->flush();
    FProgressOpen = false;
}

void TTolvar_project::EndProgressLine() {
    if (!FProgressOpen) return;
    *FOut << '\n';
    FOut->flush();
    FProgressOpen = false;
}

void TTolvar_project::ImportNavFiles() {
    // A file that cannot be read is named with the line where the reading stopped and left
    // out; the conversion goes on with the others.
    for (const std::string& item : SplitList(FRun.Borb)) {
        try {
            zqt_file_obs::TZQS_ObsFile::LoadRinex(Intf(), item, FRun.ReaderSettings);
        } catch (const zqt_rnx_reader::ExceptionRNX& e) {
            DoMessage(Format("%s, line %d: %s %s; the file is not used", item, e.Line(),
                             e.ClassName(), e.Message()),
                      1);
        }
    }
}

void TTolvar_project::ImportRtcmEphemeris() {
    FRun.ReaderSettings.DayStart = FRun.Day;
    zqt_file_obs::TZQS_ObsFile::LoadRTCM(Intf(), FRun.Rorb, FRun.ReaderSettings);
}

void TTolvar_project::ImportInput() {
    FRun.ReaderSettings.DayStart = FRun.Day;
    FObsFile = zqt_file_obs::TZQS_ObsFile::LoadRTCM(Intf(), FRun.InputFile, FRun.ReaderSettings);
}

TTolvar_project::ESkipped TTolvar_project::WriteRecordset(std::int32_t RecordsetID,
                                                          const std::string& OutputName,
                                                          std::size_t Output, std::size_t Outputs,
                                                          std::vector<RNavigationSpan>& Spans) {
    using namespace zqt_sat_obs_types;
    DoMessage(OutputName, 0);

    zqt_types_bs::TRRecordsetSettings rs = zqt_types_bs::RecordsetSettingsDefault();
    rs.ElevationMask = 0;
    const IZQS_RecordSetPtr recordset =
        zqt_recordset_dbs::TZQS_Recordset::Create(Database(), RecordsetID, rs, false);
    if (!recordset)
        throw zqt_types_bs::ExceptionZQS(Format("Recordset can not be read %d", RecordsetID));
    if (!zqt_datastorage::LoadAllEphemerides(recordset->GetDataStorage()))
        throw zqt_types_bs::ExceptionZQS(
            Format("The navigation store of recordset %d has no ephemeris storage", RecordsetID));

    const std::shared_ptr<zqt_rnx_files::TZQS_RinexObservations> writer =
        zqt_sat_obs_types::VersionFrom(FRun.Settings.RnxVersion, zqt_sat_obs_types::RN3_300)
            ? zqt_rnx3_writer::TZQS_Rinex3Writer::Create(recordset)
            : zqt_rnx_writer::TZQS_RinexWriter::Create(recordset);
    if (!writer) throw zqt_types_bs::ExceptionZQS("No RINEX observation writer");
    writer->SetSettings(FRun.Settings);
    PrepareWriter(*writer, OutputName);
    writer->SetOutputPlace(Output, Outputs);
    try {
        writer->WriteFile();
    } catch (const zqt_rnx_files::ExcNoSatTypes&) {
        // Nothing of the recordset passes: either the version carries none of the systems
        // asked for that it observed, or the chosen satellites and observation types leave
        // nothing of those it carries.
        return writer->OnlyNotCarried() ? ESkipped::NotCarried : ESkipped::NoneChosen;
    }
    if (!FRun.Settings.NoNavigation)
        Spans.push_back({recordset->GetBegTime(), recordset->GetEndTime(), writer->GetSystemMask(),
                         writer->GetSystemMask() | writer->NotCarriedSystems()});
    return ESkipped::None;
}

void TTolvar_project::PrepareWriter(zqt_rnx_files::TZQS_RinexFiles& Writer,
                                    const std::string& OutputName) {
    Writer.SetPath(OutputPath(FRun.Settings.OutputDir, OutputName));
    Writer.SetOnProgress(GetOnProgress());
    Writer.SetLogger(GetLogger());
    Writer.SetOnMessage(GetOnMessage());
    Writer.SetOverloadedParams(FRun.Overloaded);
}

zqt_datastorage::IZQS_DataStoragePtr TTolvar_project::NavigationOnlyStore() {
    const RNavigationWindow window = NavigationOnlyWindow(FRun.Day);
    zqt_datastorage::IZQS_DataStoragePtr store =
        zqt_datastorage::TZQS_DataStorage::CreateWithParent(Intf());
    if (!store) throw zqt_types_bs::ExceptionZQS("No navigation store");
    store->SetBegTime(window.BegTime);
    store->SetEndTime(window.EndTime);
    store->Load();
    zqt_datastorage::LoadAllEphemerides(store);
    const auto ephemerides = store->GetEphemerisStorage();
    if (!ephemerides || ephemerides->GetRecords().empty()) return nullptr;
    return store;
}

void TTolvar_project::WriteNavigationOnly(const std::string& OutputName,
                                          const zqt_datastorage::IZQS_DataStoragePtr& Store) {
    const RNavigationWindow window = NavigationOnlyWindow(FRun.Day);
    // These stay for any later write of the run.
    FRun.Settings.MixedNavigation = true;
    FRun.Settings.RnxVersion = zqt_sat_obs_types::RN3_305;

    const std::shared_ptr<zqt_rnx_files::TZQS_RinexNavigation> writer =
        zqt_rnx_files::TZQS_RinexNavigation::Create(Store, FRun.Settings);
    if (!writer) throw zqt_types_bs::ExceptionZQS("No RINEX navigation writer");
    PrepareWriter(*writer, OutputName);
    // The store reaches three days back; the file belongs to the run's day.
    writer->SetFirstObsTime(window.FileTime);
    writer->WriteFile();
}

std::vector<std::int32_t> TTolvar_project::OutputRecordsets(
    const std::vector<std::int32_t>& DataSetIDs) {
    std::vector<std::int32_t> ids;
    for (const std::int32_t ds : DataSetIDs)
        for (const std::int32_t id : zqt_dataset_dbs::TZQS_DataSet::FindRecordsets(
                 *Database(), ds, zqt_recordset_bs::RecordsetOutput))
            ids.push_back(id);
    return ids;
}

std::string TTolvar_project::WriteReceiver(const std::vector<std::int32_t>& DataSetIDs,
                                           const std::string& OutputName) {
    const std::vector<std::int32_t> ids = OutputRecordsets(DataSetIDs);
    if (ids.empty()) {
        // Frames, but no observation: the ephemerides of the stream, --borb and --rorb make
        // the navigation file; without one there is nothing to write.
        const zqt_datastorage::IZQS_DataStoragePtr store = NavigationOnlyStore();
        if (!store) {
            if (SbasAsked()) DoMessage(std::string(Message(msgSbasNotDecoded)), 1);
            throw Exception(Format(Message(msgNothingToWrite), FRun.InputFile));
        }
        DoMessage(OutputName, 0);
        WriteNavigationOnly(OutputName, store);
        return std::string();
    }
    SayOutputsNumbered(ids.size());
    std::vector<ROutputPiece> pieces;
    for (std::size_t k = 0; k < ids.size(); ++k) {
        const std::string name = RecordsetOutputName(OutputName, k);
        pieces.push_back({ids[k], name, name, k});
    }
    return WritePieces(pieces, ids.size());
}

std::string TTolvar_project::WritePieces(const std::vector<ROutputPiece>& Pieces,
                                         std::size_t Outputs) {
    // SBAS named in --icss is said once, where it leaves a piece without observations.
    bool sbasUnsaid = SbasAsked();
    std::string first;
    std::vector<RNavigationSpan> spans;
    for (const ROutputPiece& piece : Pieces) {
        switch (WriteRecordset(piece.RecordsetID, piece.Name, piece.Output, Outputs, spans)) {
            case ESkipped::None:
                if (first.empty()) first = piece.OutputName;
                break;
            case ESkipped::NotCarried:
                DoMessage(
                    Format(Message(msgNotCarried), piece.Name,
                           std::string(
                               zqt_sat_obs_types::RnxVersionInfo(FRun.Settings.RnxVersion).Text)),
                    1);
                break;
            case ESkipped::NoneChosen:
                if (std::exchange(sbasUnsaid, false))
                    DoMessage(std::string(Message(msgSbasNotDecoded)), 1);
                DoMessage(Format(Message(msgNoneChosen), piece.Name), 1);
                break;
        }
    }
    if (first.empty()) throw Exception(Format(Message(msgNothingWritten), FRun.InputFile));
    SayEphemeridesNotWritten(spans);
    return first;
}

bool TTolvar_project::SbasAsked() const {
    using zqt_sat_obs_types::SC_WAAS;
    return FRun.Params && (FRun.Settings.IncludedSystems & (1u << SC_WAAS)) &&
           (SystemsOption(*FRun.Params, "icss") & (1u << SC_WAAS));
}

void TTolvar_project::SayEphemeridesNotWritten(const std::vector<RNavigationSpan>& Spans) {
    using namespace zqt_sat_obs_types;
    using zqt_ephemerisstorage::EphemerisWindowMargin;
    using zqt_ephemerisstorage::GalileoSecondMessage;
    if (Spans.empty()) return;
    // The rows the navigation files' storages load from: the navigation database, or the
    // project's when there is none.
    SQLiteExt::IESQLiteDatabasePtr db = zqt_datastorage::TZQS_DataStorage::NavDatabase();
    if (!db) db = Database();
    std::array<std::int64_t, LastSatSystem + 1> far{}, unobserved{};
    for (const zqt_variant::TVariantArray& row :
         db->SelectMatrix("SELECT svprn, GPSTime FROM Ephemeris")) {
        if (row.size() < 2) continue;
        auto key = static_cast<std::uint16_t>(zqt_variant::VarToInt64Z(row[0]));
        const std::int64_t time = zqt_variant::VarToTicksZ(row[1]);
        const unsigned system = SatKeySystem(key);
        if (system < FirstSatSystem || system > LastSatSystem) continue;
        // A Galileo record of the satellite's second message is the satellite's own.
        if (system == SC_GALILEO) key = static_cast<std::uint16_t>(key & ~GalileoSecondMessage);
        if (SatSetContains(key, FRun.Settings.ExcludedSats)) continue;
        bool observed = false, filed = false, written = false;
        for (const RNavigationSpan& span : Spans) {
            observed = observed || (span.Observed & (1u << system)) != 0;
            if (!(span.Systems & (1u << system))) continue;
            filed = true;
            if (time >= zqt_timefunc::AddTicks(span.BegTime, -EphemerisWindowMargin) &&
                time <= zqt_timefunc::AddTicks(span.EndTime, EphemerisWindowMargin)) {
                written = true;
                break;
            }
        }
        if (filed && !written) ++far[system];
        // A system observed in a written file but without navigation file there is named
        // by that file's navigation writer (no file type, not carried by the version); one
        // observed in none, and not left out by --icss and --ecss, is named here.
        if (!observed && (FRun.Settings.IncludedSystems & (1u << system))) ++unobserved[system];
    }
    for (unsigned s = FirstSatSystem; s <= LastSatSystem; ++s) {
        const std::string name(SatSystemInfo(s).LongName);
        if (far[s] > 0)
            DoMessage(Format(Message(msgFarEphemerides), far[s], name,
                             EphemerisWindowMargin / zqt_timefunc::TicksPerHour),
                      1);
        if (unobserved[s] > 0)
            DoMessage(Format(Message(msgNoObsEphemerides), unobserved[s], name, name), 1);
    }
}

void TTolvar_project::SayOutputsNumbered(std::size_t Outputs) {
    const RRnxWriterSettings& s = FRun.Settings;
    if (!zqt_rnx_files::OutputsNumbered(s.RinexNames, s.RnxVersion, Outputs)) return;
    DoMessage(Format(Message(msgOutputsNumbered),
                     std::string(zqt_sat_obs_types::RnxVersionInfo(s.RnxVersion).Text),
                     static_cast<std::uint64_t>(Outputs)),
              1);
}

std::vector<std::int32_t> TTolvar_project::DataSetsInWindow(
    const std::vector<std::int32_t>& DataSetIDs, const std::vector<std::string>& Stations) {
    const TRReaderSettings& r = FRun.ReaderSettings;
    if (r.StartTime == 0 && r.FinalTime == 0 && r.Interval == 0) return DataSetIDs;
    // Observations were recorded (the data sets have output recordsets), and the window or
    // interval kept none of their epochs.
    if (OutputRecordsets(DataSetIDs).empty()) return DataSetIDs;
    SQLiteExt::IESQLiteDatabase& db = *Database();
    std::vector<std::int32_t> kept;
    std::vector<std::size_t> without;
    for (std::size_t k = 0; k < DataSetIDs.size(); ++k) {
        if (db.QueryInt(
                Format("SELECT EXISTS (SELECT 1 FROM Epochs WHERE DataSetID = %d)", DataSetIDs[k])))
            kept.push_back(DataSetIDs[k]);
        else
            without.push_back(k);
    }
    if (kept.empty()) throw Exception(Format(Message(msgNoEpochInWindow), FRun.InputFile));
    // A station without epochs in the window gets no file and no name: the stations that
    // follow are named as if it had not been there.
    for (const std::size_t k : without)
        DoMessage(Format(Message(msgStationNoEpochs),
                         k < Stations.size() ? Stations[k] : std::to_string(k + 1)),
                  1);
    return kept;
}

std::string TTolvar_project::WriteHourly(const std::vector<std::int32_t>& DataSetIDs,
                                         const std::string& OutputName) {
    const std::vector<std::int32_t> ids = OutputRecordsets(DataSetIDs);
    if (ids.empty()) return WriteReceiver(DataSetIDs, OutputName);  // navigation file only
    FRun.Settings.RinexNames = true;
    SayOutputsNumbered(ids.size());
    std::vector<ROutputPiece> all;
    for (std::size_t k = 0; k < ids.size(); ++k) {
        std::vector<zqt_types_bs::RObjID> pieces;
        zqt_recordset_dbs::TZQS_Recordset::SplitRecordsetByTime(pieces, Database(), ids[k],
                                                                zqt_timefunc::TicksPerHour, 0);
        const std::string name = RecordsetOutputName(OutputName, k);
        if (pieces.empty()) DoMessage(Format("%s: no epochs; not written", name), 1);
        for (std::size_t i = 0; i < pieces.size(); ++i)
            all.push_back({pieces[i].ObjID, HourlyPieceName(name, i), name, k});
    }
    return WritePieces(all, ids.size());
}

void TTolvar_project::Run() {
    const zqt_decimalseparator::TZQT_DecSepScope point('.');
    const sysutils::TDateTime start = sysutils::Now();

    SetOnProgress([this](const void* Sender, const std::string& Name, double Elapsed,
                         std::int32_t Percent,
                         bool& Cancel) { ShowPercent(Sender, Name, Elapsed, Percent, Cancel); });
    SetOnMessage([this](const std::string& Text, std::uint8_t Kind) { ShowMessage(Text, Kind); });
    SetLogger(std::make_shared<std::vector<std::string>>());

    if (!ParseParams()) return;

    // The files of the run appear together at its end, in a folder made and checked before
    // any work; a failed run leaves the folder as it found it.
    TOutputFolder folder(OutputFolderOf(FRun));
    zqt_classes_bs::TOutputSet outputs;
    outputs.SetNameCheck([this](const std::string& Name) { RefuseInputAsOutput(FRun, Name); });
    const auto waiting = [this](const std::string& Folder) {
        DoMessage(Format(Message(msgWaitingForFolder), Folder), 1);
    };
    outputs.SetOnWait(waiting);
    // Said once per folder of the run, when first found.
    auto noLocksSaid = std::make_shared<std::set<std::string>>();
    const auto noLocks = [this, noLocksSaid](const std::string& Folder) {
        if (noLocksSaid->insert(Folder).second)
            DoMessage(Format(Message(msgNoFileLocks), Folder), 1);
    };
    outputs.SetOnNoLocks(noLocks);
    const auto stale = zqt_classes_bs::TOutputSet::RemoveStale(folder.Path(), waiting, noLocks);
    if (stale.Restored > 0)
        DoMessage(Format(Message(msgStaleRestored), folder.Path(), stale.Restored), 1);
    if (stale.Removed > 0)
        DoMessage(Format(Message(msgStaleRemoved), folder.Path(), stale.Removed), 1);
    for (const std::string& name : stale.LeftAlone)
        DoMessage(Format(Message(msgStaleLeftAlone), name), 1);
    for (const std::string& name : stale.KeptUnread)
        DoMessage(Format(Message(msgStaleKeptUnread), name), 1);
    if (stale.Undecided > 0)
        DoMessage(Format(Message(msgStaleUndecided), folder.Path(), stale.Undecided), 1);

    CreateProject(FRun.DbName);
    try {
        if (!FRun.Borb.empty()) ImportNavFiles();
        if (!FRun.Rorb.empty()) ImportRtcmEphemeris();
        zqt_datastorage::IZQS_DataStoragePtr navigationOnly;
        try {
            ImportInput();
        } catch (const zqt_rtcm_reader::ExceptionNoRTCMFrame& e) {
            // A recording without a single frame still gives the navigation file of the
            // ephemerides that --borb and --rorb brought; without any it is refused.
            navigationOnly = NavigationOnlyStore();
            if (!navigationOnly) throw;
            DoMessage(Format(Message(msgNavigationOnly), e.Message()), 1);
        }

        std::vector<std::int32_t> dataSets;
        std::vector<std::string> stations;
        if (!navigationOnly) {
            if (!FObsFile)
                throw zqt_types_bs::ExceptionZQS("The input file gave no observation file");
            if (FObsFile->ReceiverCount() < 1 || !FObsFile->GetReceiver(0))
                throw zqt_types_bs::ExceptionZQS(Format("No receiver in %s", FRun.InputFile));
            // One receiver per station of the stream, in the order their epochs began.
            for (std::int32_t i = 0; i < FObsFile->ReceiverCount(); ++i) {
                const IZQS_FileReceiverPtr receiver = FObsFile->GetReceiver(i);
                const IZQS_DataSetPtr dataset = receiver ? receiver->GetDataSet(0) : nullptr;
                if (!dataset)
                    throw zqt_types_bs::ExceptionZQS(Format("No data set in %s", FRun.InputFile));
                dataSets.push_back(dataset->GetObjID());
                stations.push_back(StationOf(*receiver, i));
            }
            dataSets = DataSetsInWindow(dataSets, stations);
        }

        const std::string outputName = FRun.Settings.OutputName;
        // The ready line names the first output written.
        std::string written;
        if (navigationOnly) {
            DoMessage(outputName, 0);
            WriteNavigationOnly(outputName, navigationOnly);
        } else if (FRun.Settings.HourlyFiles) {
            written = WriteHourly(dataSets, outputName);
        } else {
            written = WriteReceiver(dataSets, outputName);
        }
        outputs.Publish();
        folder.Keep();

        FObsFile.reset();
        EndProgressLine();
        *FOut << ConsoleText(written.empty() ? outputName : written) << " ready" << '\n';
        *FOut << Format("%f sec", (sysutils::Now() - start) * zqt_timefunc::SecondsPerDay) << '\n';
        FOut->flush();
    } catch (...) {
        FObsFile.reset();
        throw;
    }
}

// ---------------------------------------------------------------------------------------
// The program

int RunApplication(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
    using zqt_project::TZQS_Project;
    auto fail = [&Err](const std::exception& e) {
        Err << ConsoleText(ErrorLine(e)) << std::endl;
        return ExitCodeOf(e);
    };
    try {
        TZQS_Project::SetAppName("tolvar");
        zqt_classes_bs::ClearCancelFlag();
        TZQS_Project::Initialize();
    } catch (const std::exception& e) {
        return fail(e);
    } catch (...) {
        Err << "Exception Unknown error" << std::endl;
        return ExitFailure;
    }

    std::shared_ptr<TTolvar_project> app;
    try {
        app = TZQS_Project::CreateOf<TTolvar_project>();
        LanguageIndex = TZQS_Project::IsRussianUI() ? 1 : 0;
        app->SetArguments(Args);
        app->SetOutput(Out);
        app->Run();
    } catch (const std::exception& e) {
        zqt_project::ClearCurrentProject();
        if (app) app->EndProgressLine();
        return fail(e);
    } catch (...) {
        zqt_project::ClearCurrentProject();
        if (app) app->EndProgressLine();
        Err << "Exception Unknown error" << std::endl;
        return ExitFailure;
    }
    zqt_project::ClearCurrentProject();
    return ExitOK;
}

namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the cancel flag is set in a signal handler");

void OnInterrupt(int) noexcept { zqt_classes_bs::SetCancelFlag(true); }

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Every such signal, the second as the first, cancels: the run unwinds and cleans up.
    // A closed console (SIGHUP) or a reader of the output that went (SIGPIPE) ends the run
    // as an interrupt does.
    action.sa_flags = SA_RESTART;
    for (const int signal : InterruptSignals) ::sigaction(signal, &action, nullptr);
}

}  // namespace tolvar_project
