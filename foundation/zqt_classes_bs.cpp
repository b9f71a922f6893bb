#include "zqt_classes_bs.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "zqt_decimalseparator.h"
#include "zqt_misc.h"

namespace zqt_classes_bs {

using sysutils::Format;
using zqt_types_bs::ExcCancelledByUser;
using zqt_types_bs::ExceptionZQS;
using zqt_variant::TVariantArray;
using zqt_variant::Variant;

static_assert(sizeof(off_t) == 8, "file offsets must be 64-bit");

namespace {

std::atomic<bool> GCancelFlag{false};

constexpr const char* CancelledText = "Cancelled by user";
constexpr std::size_t AppendBlockSize = 32768;

std::string ErrorText(int err) { return std::error_code(err, std::generic_category()).message(); }

}  // namespace

void SetCancelFlag(bool Value) noexcept { GCancelFlag.store(Value); }
bool CancelFlag() noexcept { return GCancelFlag.load(); }

// =======================================================================================
// TZQS_BaseObject

std::shared_ptr<TZQS_BaseObject> TZQS_BaseObject::Create() { return CreateOf<TZQS_BaseObject>(); }

void TZQS_BaseObject::InitFields() { FStartTime = sysutils::Now(); }

void TZQS_BaseObject::SetLogger(TZQSLogList Value) { FLogger = std::move(Value); }

void TZQS_BaseObject::Log(const std::string& Text) {
    if (FLogger)
        FLogger->push_back(
            Format("%s: %s: %s", sysutils::DateTimeToStr(sysutils::Now()), FLogName, Text));
}

void TZQS_BaseObject::ReportProgress(std::int32_t Percent) {
    bool cancel = false;
    DoProgress(this, FLogName, sysutils::Now() - FStartTime, Percent, cancel);
}

void TZQS_BaseObject::DoMessage(const std::string& Text, std::uint8_t Kind) {
    if (FOnMessage) FOnMessage(Text, Kind);
}

void TZQS_BaseObject::DoProgress(const void* Sender, const std::string& Name, double Elapsed,
                                 std::int32_t Percent, bool& Cancel) {
    if (!FOnProgress) return;
    FOnProgress(Sender, Name, Elapsed, Percent, Cancel);
    if (Cancel || CancelFlag()) throw ExcCancelledByUser(CancelledText);
}

void TZQS_BaseObject::CheckCancelled() {
    if (CancelFlag()) throw ExcCancelledByUser(CancelledText);
}

void TZQS_BaseObject::ProgressStart(std::int64_t Total) {
    FProgressTotal = Total;
    FProgressLast = 0;
    FProgressStep = Total >= 10000 ? 1 : 1000;
    // 128-bit intermediate: no overflow whatever the total.
    FProgressThreshold =
        static_cast<std::int64_t>((static_cast<__int128>(Total) + 1) * FProgressStep / 100);
    FProgressPos = 0;
    FStartTime = sysutils::Now();
    ReportProgress(0);
}

void TZQS_BaseObject::ProgressStep(std::int64_t P) {
    CheckCancelled();
    if (FProgressThreshold == 0) return;
    const auto percent = static_cast<std::int64_t>(static_cast<__int128>(P) * FProgressStep /
                                                   FProgressThreshold % 100);
    if (percent != FProgressLast) {
        ReportProgress(static_cast<std::int32_t>(percent));
        FProgressLast = percent;
    }
}

void TZQS_BaseObject::ProgressInc() {
    ++FProgressPos;
    ProgressStep(FProgressPos);
}

void TZQS_BaseObject::SetPointDecimalSeparator() {
    zqt_decimalseparator::TZQT_DecSep::SetSeparator('.');
}

void TZQS_BaseObject::RestoreDecimalSeparator() {
    zqt_decimalseparator::TZQT_DecSep::RestoreSeparator();
}

// =======================================================================================
// TFileHandle

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        FFd = other.Release();
    }
    return *this;
}

int TFileHandle::Close() noexcept {
    if (FFd < 0) return 0;
    const int fd = Release();
    // The descriptor is gone after close() whatever it returns; EINTR is not an error.
    if (::close(fd) != 0 && errno != EINTR) return errno;
    return 0;
}

TFileHandle TFileHandle::Duplicate() const noexcept {
    if (FFd < 0) return TFileHandle();
    return TFileHandle(::fcntl(FFd, F_DUPFD_CLOEXEC, 0));
}

TFileHandle CreateUnlinkedFile(const std::string& Path) {
    TFileHandle h(::open(Path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!h.Valid())
        throw ExcZQSCantOpenFile(Format("Can't open file %s: %s", Path, ErrorText(errno)));
    ::unlink(Path.c_str());
    return h;
}

// =======================================================================================
// TZQS_FileIO

void TZQS_FileIO::Open(const std::string& FileName) {
    Close();
    FFileName = FileName;
    FOpenError = 0;
    if (FileName.empty()) return;
    if (FMode == fmOpenReadWrite) {
        const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (FAppend ? 0 : O_TRUNC);
        const int fd = ::open(FileName.c_str(), flags, 0666);
        if (fd < 0) {
            FOpenError = errno;
            FFileName.clear();
            throw ExcZQSCantOpenFile(
                Format("Can't open file %s: %s", FileName, ErrorText(FOpenError)));
        }
        FHandle = TFileHandle(fd);
        return;
    }
    TFileHandle h(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (!h.Valid()) {
        // Reads as empty.
        FOpenError = errno;
        return;
    }
    struct stat st {};
    if (::fstat(h.Fd(), &st) == 0 && S_ISDIR(st.st_mode)) {
        FOpenError = EISDIR;
        return;
    }
    FHandle = std::move(h);
}

void TZQS_FileIO::Close() {
    if (FFileName.empty()) return;
    std::exception_ptr flushError;
    try {
        Flush();
    } catch (...) {
        flushError = std::current_exception();
    }
    const int closeError = FHandle.Close();
    const std::string name = std::move(FFileName);
    FFileName.clear();
    if (flushError) std::rethrow_exception(flushError);
    if (closeError != 0 && FMode == fmOpenReadWrite)
        throw ExceptionZQS(Format("Error writing file %s: %s", name, ErrorText(closeError)));
}

void TZQS_FileIO::RestartProgress() { ProgressStart(FSize); }

std::int64_t TZQS_FileIO::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    Flush();
    if (!FHandle.Valid()) return FPosition;
    int whence = SEEK_SET;
    if (Origin == soCurrent)
        whence = SEEK_CUR;
    else if (Origin == soEnd)
        whence = SEEK_END;
    const off_t r = ::lseek(FHandle.Fd(), static_cast<off_t>(Offset), whence);
    if (r != static_cast<off_t>(-1)) FPosition = r;
    return FPosition;
}

// =======================================================================================
// TZQS_BinaryFileReader

void TZQS_BinaryFileReader::Open(const std::string& FileName) {
    FMode = fmOpenRead;
    FPosition = 0;
    FSize = 0;
    TZQS_FileIO::Open(FileName);
    if (FHandle.Valid()) {
        FSize = Seek(0, soEnd);
        Seek(0, soBeginning);
    } else {
        FPosition = 0;
        FSize = 0;
    }
}

bool TZQS_BinaryFileReader::Eof() { return FPosition >= FSize; }

std::size_t TZQS_BinaryFileReader::ReadBlock(void* Buffer, std::size_t Count) {
    // A file that could not be opened reads as empty.
    if (!FHandle.Valid() || Count == 0) return 0;
    Count = std::min<std::size_t>(Count, SSIZE_MAX);
    ssize_t n;
    do {
        n = ::read(FHandle.Fd(), Buffer, Count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) throw ExceptionZQS(Format("Error reading file %s", FFileName));
    // The file ended before the size seen at opening (it was cut meanwhile): the end is
    // here, so that loops on Eof stop.
    if (n == 0 && FPosition < FSize) FSize = FPosition;
    FPosition += n;
    ProgressStep(FPosition);
    return static_cast<std::size_t>(n);
}

// =======================================================================================
// TZQS_TextFileReader

void TZQS_TextFileReader::EmptyBuffer() noexcept {
    FBufPos = 0;
    FBufEnd = 0;
    FBufStart = FPosition;
}

void TZQS_TextFileReader::Open(const std::string& FileName) {
    EmptyBuffer();
    TZQS_BinaryFileReader::Open(FileName);
    EmptyBuffer();
    FEofFlag = TZQS_BinaryFileReader::Eof();
    FLineCount = 0;
    FLastLine.clear();
}

std::int64_t TZQS_TextFileReader::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    const std::int64_t r = TZQS_BinaryFileReader::Seek(Offset, Origin);
    FEofFlag = TZQS_BinaryFileReader::Eof();
    EmptyBuffer();
    return r;
}

bool TZQS_TextFileReader::FillBuffer() {
    if (FBufPos < FBufEnd) return true;
    EmptyBuffer();
    FBufEnd = ReadBlock(FBuf.data(), FBuf.size());
    return FBufEnd > 0;
}

void TZQS_TextFileReader::UpdateEofFlag() { FEofFlag = !FillBuffer(); }

void TZQS_TextFileReader::SkipBytes(std::size_t Count) {
    FBufPos += std::min(Count, FBufEnd - FBufPos);
    UpdateEofFlag();
}

void TZQS_TextFileReader::ReadLn(std::string& Line) {
    if (FEofFlag) throw ExceptionZQS("Reading after EOF");
    FLastLine.clear();
    FLineCut = false;
    // One byte over the limit is kept for a CR that goes with the line end.
    const std::size_t cap =
        FMaxLineLength == std::string::npos ? FMaxLineLength : FMaxLineLength + 1;
    const auto keep = [this, cap](const char* Bytes, std::size_t Count) {
        const std::size_t room = cap - std::min(cap, FLastLine.size());
        if (Count > room) {
            FLineCut = true;
            Count = room;
        }
        FLastLine.append(Bytes, Count);
    };
    while (FillBuffer()) {
        const char* start = FBuf.data() + FBufPos;
        const std::size_t avail = FBufEnd - FBufPos;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', avail));
        if (lf == nullptr) {
            keep(start, avail);
            FBufPos = FBufEnd;
            continue;
        }
        // The line without its LF; a CR right before it (possibly from the previous
        // buffer fill) goes too.
        keep(start, static_cast<std::size_t>(lf - start));
        FBufPos += static_cast<std::size_t>(lf - start) + 1;
        if (!FLastLine.empty() && FLastLine.back() == '\r') FLastLine.pop_back();
        break;
    }
    if (FLastLine.size() > FMaxLineLength) {
        FLastLine.resize(FMaxLineLength);
        FLineCut = true;
    }
    UpdateEofFlag();
    ++FLineCount;
    Line = FLastLine;
}

TVariantArray TZQS_TextFileReader::ReadItems() {
    std::string line;
    ReadLn(line);
    return SplitWords(line);
}

namespace {

// Every "D" or "d" becomes "E" (Fortran-style exponents).
std::string DToE(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c == 'D' || c == 'd') c = 'E';
    return r;
}

}  // namespace

TVariantArray TZQS_TextFileReader::ReadValues(std::span<const std::int32_t> Offsets) {
    std::string line;
    ReadLn(line);
    TVariantArray items = SplitColumns(DToE(line), Offsets);
    for (Variant& item : items) {
        double v = 0.0;
        if (sysutils::TryStrToFloat(sysutils::Trim(item.AsString()), v,
                                    sysutils::PointFormatSettings()))
            item = Variant(v);
    }
    return items;
}

TVariantArray TZQS_TextFileReader::SplitWords(std::string_view Line) {
    TVariantArray r;
    zqt_misc::SplitToVariants(r, Line, " ", true);
    return r;
}

TVariantArray TZQS_TextFileReader::SplitNumbers(std::string_view Line) {
    return SplitWords(DToE(Line));
}

TVariantArray TZQS_TextFileReader::SplitColumns(std::string_view Line,
                                                std::span<const std::int32_t> Offsets) {
    TVariantArray r;
    zqt_misc::SplitByOffsets(Line, Offsets, r);
    return r;
}

// =======================================================================================
// TZQS_BinaryFileWriter

TZQS_BinaryFileWriter::~TZQS_BinaryFileWriter() {
    // The derived Flush is out of reach of the base destructors: close here. A destructor
    // must not throw; an explicit Close reports the same failures.
    try {
        Close();
    } catch (...) {
        // A file whose writing was done was closed before and heard of its errors there;
        // one that is still open here is abandoned on the way out of an error, which is
        // the one reported.
    }
}

void TZQS_BinaryFileWriter::Open(const std::string& FileName) {
    FMode = fmOpenReadWrite;
    TZQS_FileIO::Open(FileName);
    if (FAppend && FHandle.Valid()) {
        // Straight to the end, without the flush of Seek: bytes written before the file
        // was opened belong after its present content.
        const off_t end = ::lseek(FHandle.Fd(), 0, SEEK_END);
        if (end != static_cast<off_t>(-1)) FPosition = end;
        FSize = FPosition;
    } else {
        FPosition = 0;
        FSize = 0;
    }
}

void TZQS_BinaryFileWriter::OpenHandle(TFileHandle Handle, const std::string& FileName) {
    Close();
    FMode = fmOpenReadWrite;
    FOpenError = 0;
    FPosition = 0;
    FSize = 0;
    if (!Handle.Valid() || FileName.empty())
        throw ExcZQSCantOpenFile(Format("Can't open file %s: %s", FileName, ErrorText(EBADF)));
    FHandle = std::move(Handle);
    FFileName = FileName;
}

void TZQS_BinaryFileWriter::WriteDirect(const char* Data, std::size_t Count) {
    if (Count == 0) return;
    if (!FHandle.Valid())
        throw ExceptionZQS(Format("Error writing file %s: the file is not open", FFileName));
    while (Count > 0) {
        const ssize_t n = ::write(FHandle.Fd(), Data, std::min<std::size_t>(Count, SSIZE_MAX));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            throw ExceptionZQS(Format("Error writing file %s: %s", FFileName, ErrorText(err)));
        }
        FPosition += n;
        Data += n;
        Count -= static_cast<std::size_t>(n);
    }
}

void TZQS_BinaryFileWriter::Flush() {
    if (FFillCount == 0) return;
    // Emptied first: after a failure the same bytes are not tried again on Close.
    const std::size_t n = FFillCount;
    FFillCount = 0;
    WriteDirect(FWriteBuf.data(), n);
}

void TZQS_BinaryFileWriter::PutBytes(const char* Data, std::size_t Count) {
    while (Count > 0) {
        const std::size_t k = std::min(Count, BufferSize - FFillCount);
        std::memcpy(FWriteBuf.data() + FFillCount, Data, k);
        FFillCount += k;
        Data += k;
        Count -= k;
        if (FFillCount == BufferSize) Flush();
    }
}

void TZQS_BinaryFileWriter::WriteStr(std::string_view S) { PutBytes(S.data(), S.size()); }

void TZQS_BinaryFileWriter::WriteRaw(std::string_view S) { PutBytes(S.data(), S.size()); }

void TZQS_BinaryFileWriter::WriteLenStr(std::string_view S) {
    if (S.size() > static_cast<std::size_t>(INT32_MAX))
        throw ExceptionZQS(
            Format("Error writing file %s: a text of %u bytes is too long", FFileName, S.size()));
    const auto len = static_cast<std::uint32_t>(S.size());
    const char bytes[4] = {static_cast<char>(len & 0xFF), static_cast<char>((len >> 8) & 0xFF),
                           static_cast<char>((len >> 16) & 0xFF),
                           static_cast<char>((len >> 24) & 0xFF)};
    PutBytes(bytes, sizeof bytes);
    PutBytes(S.data(), S.size());
}

void TZQS_BinaryFileWriter::AppendFile(const std::string& FileName) {
    const auto reader = TZQS_BinaryFileReader::Create(FileName);
    // A source that cannot be read would leave the joined file short without a word.
    if (!reader->IsOpen())
        throw ExcZQSCantOpenFile(
            Format("Can't open file %s: %s", FileName, ErrorText(reader->OpenError())));
    AppendFile(reader->Descriptor(), FileName);
}

void TZQS_BinaryFileWriter::AppendFile(int Descriptor, const std::string& FileName) {
    Flush();
    if (!FHandle.Valid())
        throw ExceptionZQS(Format("Error writing file %s: the file is not open", FFileName));
    struct stat st {};
    if (::fstat(Descriptor, &st) != 0)
        throw ExceptionZQS(Format("Error reading file %s: %s", FileName, ErrorText(errno)));
    const std::int64_t size = st.st_size;
    ProgressStart(size / static_cast<std::int64_t>(AppendBlockSize) + 1);
    // The kernel copies the bytes from file to file without passing them through this
    // process, in pieces of whole blocks and at least a hundredth of the file (the
    // progress moves as with the blocks); where it cannot (another file system), the rest
    // goes block by block through a buffer. Both read at explicit offsets.
    const auto block = static_cast<std::int64_t>(AppendBlockSize);
    const std::int64_t piece = std::max<std::int64_t>(1, size / 100 / block) * block;
    loff_t from = 0;
    while (from < size) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(size - from, piece));
        const ssize_t n = ::copy_file_range(Descriptor, &from, FHandle.Fd(), nullptr, want, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        FPosition += n;
        ProgressStep((from + block - 1) / block);
    }
    std::vector<char> buffer(AppendBlockSize);
    while (from < size) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(size - from, block));
        const ssize_t n = ::pread(Descriptor, buffer.data(), want, from);
        if (n < 0 && errno == EINTR) continue;
        // The file grew shorter while it was read: the joined file would be short.
        if (n <= 0)
            throw ExceptionZQS(
                Format("Error reading file %s: %s", FileName, ErrorText(n < 0 ? errno : EIO)));
        WriteDirect(buffer.data(), static_cast<std::size_t>(n));
        from += n;
        ProgressInc();
    }
    ReportProgress(100);
}

// =======================================================================================
// TZQS_TextFileWriter

void TZQS_TextFileWriter::InitFields() {
    TZQS_BinaryFileWriter::InitFields();
    FPointDecimal = true;
}

void TZQS_TextFileWriter::WriteLn(std::string_view S) {
    PutBytes(S.data(), S.size());
    PutBytes("\r\n", 2);
}

void TZQS_TextFileWriter::WriteLnRaw(std::string_view S) {
    PutBytes(S.data(), S.size());
    PutBytes("\r\n", 2);
}

std::string TZQS_TextFileWriter::FormatLine(std::string_view Template,
                                            sysutils::TFormatArgs Args) const {
    return FPointDecimal ? zqt_misc::FormatPt(Template, Args) : zqt_misc::FormatEsc(Template, Args);
}

// =======================================================================================
// Output files

namespace {

// The host's name as a part of a file name.
std::string HostName() {
    char buffer[256] = {};
    std::string host;
    if (::gethostname(buffer, sizeof buffer - 1) == 0) host = buffer;
    for (char& c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') c = '_';
    host = host.substr(0, 40);
    return host.empty() ? std::string("localhost") : host;
}

const std::string& ThisHost() {
    static const std::string host = HostName();
    return host;
}

// The folder part of a path with its trailing "/"; "" without one.
std::string FolderOf(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

// The kinds of hidden files a run leaves beside its outputs: a file not yet in place, an
// earlier file kept while the set is put in place, the list of what publishing changes, and
// the lock the run holds while it has any of them in the folder.
constexpr std::string_view PartSuffix = ".part";
constexpr std::string_view KeepSuffix = ".keep";
constexpr std::string_view JournalSuffix = ".publish";
constexpr std::string_view LockSuffix = ".lock";

// The mark of this run in the names of its hidden files: 16 random hex digits, the first a
// letter, new in a forked child. Unlike a process id it tells the run apart from every
// other, in any PID namespace and after the process id has gone to another process; the
// letter keeps versions that named hidden files by process id from reading it as one.
constexpr std::size_t RunMarkLength = 16;

const std::string& RunMark() {
    static std::mutex guard;
    static std::atomic<pid_t> owner{0};
    static std::string mark;
    const pid_t self = ::getpid();
    if (owner.load(std::memory_order_acquire) == self) return mark;
    const std::lock_guard<std::mutex> lock(guard);
    if (owner.load(std::memory_order_relaxed) != self) {
        std::uint64_t bits = 0;
        if (::getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits)) {
            // Without the kernel's random source: the time, the process and a stack address.
            const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
            bits = static_cast<std::uint64_t>(now) * 0x9E3779B97F4A7C15ull ^
                   static_cast<std::uint64_t>(self) << 32 ^ reinterpret_cast<std::uintptr_t>(&bits);
        }
        char text[RunMarkLength + 1] = {};
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
        text[0] = static_cast<char>('a' + (bits >> 60) % 6);
        mark = text;
        owner.store(self, std::memory_order_release);
    }
    return mark;
}

// A hidden name beside FinalName, of this run and host: ".<name>.<run>-<n>@<host><suffix>".
// The name part is cut so that the whole keeps to the length limit of a name.
std::string HiddenName(const std::string& FinalName, std::string_view Suffix = PartSuffix) {
    static std::atomic<std::uint32_t> counter{0};
    const std::string folder = FolderOf(FinalName);
    const std::string base = FinalName.substr(folder.size()).substr(0, 150);
    return Format("%s.%s.%s-%d@%s%s", folder, base, RunMark(), static_cast<std::int64_t>(counter++),
                  ThisHost(), std::string(Suffix));
}

// A hidden name of Suffix beside FinalName that no file has yet.
std::string FreeHiddenName(const std::string& FinalName, std::string_view Suffix) {
    struct stat st {};
    for (;;) {
        std::string name = HiddenName(FinalName, Suffix);
        if (::lstat(name.c_str(), &st) != 0) return name;
    }
}

// The name of the lock file of run Mark in a folder.
std::string LockName(std::string_view Mark) {
    return Format(".%s@%s%s", std::string(Mark), ThisHost(), std::string(LockSuffix));
}

// A hidden file of a run of this host, as its name tells: the run's mark and the kind. Runs
// of versions before the lock files marked their files with their process id instead (Pid;
// 0 for a mark), and had no lock file.
struct RHiddenOf {
    std::string_view Mark, Suffix;
    pid_t Pid = 0;
};

// The run and kind of a hidden name of this host; an empty mark for any other name.
RHiddenOf HiddenOf(std::string_view Name) {
    const std::string at = "@" + ThisHost();
    const auto digits = [](std::string_view t) {
        return std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    for (const std::string_view suffix : {PartSuffix, KeepSuffix, JournalSuffix, LockSuffix}) {
        if (Name.size() < 2 + suffix.size() + at.size() || Name[0] != '.' ||
            !Name.ends_with(suffix) || !Name.substr(0, Name.size() - suffix.size()).ends_with(at))
            continue;
        const std::string_view head = Name.substr(0, Name.size() - suffix.size() - at.size());
        std::string_view mark;
        if (suffix == LockSuffix) {
            mark = head.substr(1);  // ".<run>"
        } else {
            // ".<name>.<run>-<n>"
            const std::size_t dot = head.rfind('.');
            const std::size_t dash = head.rfind('-');
            if (dot == std::string_view::npos || dot == 0 || dash == std::string_view::npos ||
                dash < dot || dash + 1 == head.size() || !digits(head.substr(dash + 1)))
                continue;
            mark = head.substr(dot + 1, dash - dot - 1);
        }
        if (mark.size() == RunMarkLength && std::all_of(mark.begin(), mark.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) != 0;
            }))
            return {mark, suffix};
        pid_t pid = 0;
        if (suffix != LockSuffix && !mark.empty() && mark.size() < RunMarkLength && digits(mark) &&
            std::from_chars(mark.data(), mark.data() + mark.size(), pid).ptr ==
                mark.data() + mark.size() &&
            pid > 0)
            return {mark, suffix, pid};
    }
    return {};
}

// The same file: the same file system and inode.
bool SameFile(const struct stat& A, const struct stat& B) {
    return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

// The errors of flock on a file system without file locks (some network file systems).
bool NoFileLocks(int Err) {
    return Err == ENOLCK || Err == EOPNOTSUPP || Err == ENOTSUP || Err == ENOSYS;
}

// Takes an exclusive lock on the open file Fd if no other holds it; returns 0 or errno
// (EWOULDBLOCK: held).
int TryLock(int Fd) {
    for (;;) {
        if (::flock(Fd, LOCK_EX | LOCK_NB) == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

// Takes an exclusive lock on the open file Fd, waiting for another process that holds it;
// returns 0 or errno. A cancel ends the wait (ExcCancelledByUser), so that neither a signal
// nor a lock holder that is stopped (or on a network file system that hangs) keeps the run
// waiting for good; OnLongWait is called once when the wait has lasted a second.
int WaitForLock(int Fd, const std::function<void()>& OnLongWait = {}) {
    using std::chrono::steady_clock;
    const steady_clock::time_point start = steady_clock::now();
    bool said = false;
    long pauseNs = 1'000'000;
    for (;;) {
        const int err = TryLock(Fd);
        if (err != EWOULDBLOCK) return err;
        if (CancelFlag()) throw ExcCancelledByUser(CancelledText);
        if (!said && OnLongWait && steady_clock::now() - start >= std::chrono::seconds(1)) {
            said = true;
            OnLongWait();
        }
        const timespec pause{0, pauseNs};
        ::nanosleep(&pause, nullptr);
        pauseNs = std::min(pauseNs * 2, 25'000'000L);
    }
}

// The PID namespace of this process ("pid:[<inode>]"), "" where /proc cannot tell.
std::string PidNamespace() {
    char text[64] = {};
    const ssize_t n = ::readlink("/proc/self/ns/pid", text, sizeof text - 1);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

// Whether the process Pid is gone: no process of that id in this PID namespace (another
// user's process still counts as one).
bool ProcessGone(pid_t Pid) { return Pid > 0 && ::kill(Pid, 0) != 0 && errno == ESRCH; }

// Whether the run that wrote the lock file Fd ("<pid> <PID namespace>") has ended, as far as
// its process id tells, on a file system where its lock cannot be tried: its process is
// gone from this PID namespace, the one it ran in. False where the file does not tell.
bool LockOwnerGone(int Fd) {
    char text[128] = {};
    const ssize_t n = ::pread(Fd, text, sizeof text - 1, 0);
    if (n <= 0) return false;
    const std::string_view line(text, static_cast<std::size_t>(n));
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), pid);
    if (ec != std::errc() || end == line.data() + line.size() || *end != ' ') return false;
    const std::string_view rest = line.substr(static_cast<std::size_t>(end - line.data()) + 1);
    const std::string ns = PidNamespace();
    return !ns.empty() && rest.substr(0, rest.find('\n')) == ns && pid != ::getpid() &&
           ProcessGone(pid);
}

}  // namespace

// The lock of this run in one folder: its lock file, open and locked as long as the run has
// hidden files there; shared by them, and removed after the last has gone. On a file system
// without locks the file is there all the same, and no other run can take it.
class TRunLock {
public:
    TRunLock(std::string Path, TFileHandle File) noexcept
        : FPath(std::move(Path)), FFile(std::move(File)), FOwner(::getpid()) {}
    TRunLock(const TRunLock&) = delete;
    TRunLock& operator=(const TRunLock&) = delete;
    ~TRunLock() {
        // Removed while still locked, so that a run that opened it meanwhile sees it gone
        // when it gets the lock. A forked child only lets go of its copy.
        struct stat mine {
        }, named{};
        if (FOwner == ::getpid() && ::fstat(FFile.Fd(), &mine) == 0 &&
            ::lstat(FPath.c_str(), &named) == 0 && SameFile(mine, named))
            ::unlink(FPath.c_str());
    }

    // The lock of this run in Folder ("" for the current one), taken when the run has none
    // there yet; null with the errno in Err when it cannot be had.
    static std::shared_ptr<TRunLock> Hold(const std::string& Folder, int& Err);

private:
    std::string FPath;
    TFileHandle FFile;
    pid_t FOwner;
};

namespace {

// The locks this process holds, by folder (file system and inode); a forked child starts
// with none.
struct RRunLocks {
    std::mutex Guard;
    pid_t Owner = 0;
    std::map<std::pair<dev_t, ino_t>, std::weak_ptr<TRunLock>> ByFolder;
};

RRunLocks& RunLocks() {
    static RRunLocks locks;
    return locks;
}

}  // namespace

std::shared_ptr<TRunLock> TRunLock::Hold(const std::string& Folder, int& Err) {
    struct stat dir {};
    if (::stat(Folder.empty() ? "." : Folder.c_str(), &dir) != 0) {
        Err = errno;
        return nullptr;
    }
    RRunLocks& locks = RunLocks();
    const std::lock_guard<std::mutex> guard(locks.Guard);
    if (locks.Owner != ::getpid()) {
        locks.Owner = ::getpid();
        locks.ByFolder.clear();
    }
    std::weak_ptr<TRunLock>& slot = locks.ByFolder[{dir.st_dev, dir.st_ino}];
    if (std::shared_ptr<TRunLock> held = slot.lock()) return held;
    const std::string path = Folder + LockName(RunMark());
    for (int attempt = 0;; ++attempt) {
        TFileHandle file(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file.Valid() || attempt == 100) {
            Err = file.Valid() ? EAGAIN : errno;
            return nullptr;
        }
        // A run clearing up may have opened the file before this one locked it: it takes it
        // for the lock of an ended run and removes it. The lock counts once the file under
        // the name is the one locked.
        struct stat mine {
        }, named{};
        if (WaitForLock(file.Fd()) == 0 &&
            (::fstat(file.Fd(), &mine) != 0 || ::lstat(path.c_str(), &named) != 0 ||
             !SameFile(mine, named)))
            continue;
        // The process and its PID namespace, by which a later run tells whether this one
        // has ended where the file system has no file locks; without them (a full disk)
        // such a run leaves this one's files, and says so.
        const std::string owner =
            Format("%d %s\n", static_cast<std::int64_t>(::getpid()), PidNamespace());
        [[maybe_unused]] const ssize_t written = ::pwrite(file.Fd(), owner.data(), owner.size(), 0);
        auto held = std::make_shared<TRunLock>(path, std::move(file));
        slot = held;
        return held;
    }
}

namespace {

// The lock of this run in the folder of FinalName; raises "Error writing file <FinalName>: ..."
// when it cannot be had.
std::shared_ptr<TRunLock> HoldRunLock(const std::string& FinalName) {
    int err = 0;
    std::shared_ptr<TRunLock> lock = TRunLock::Hold(FolderOf(FinalName), err);
    if (!lock) throw ExceptionZQS(Format("Error writing file %s: %s", FinalName, ErrorText(err)));
    return lock;
}

// The name of a path without its folder.
std::string BaseOf(const std::string& Path) { return Path.substr(FolderOf(Path).size()); }

std::atomic<bool> GUnnamedFiles{true};

// A file without a name gets one through its entry in /proc/self/fd.
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can && GUnnamedFiles.load(std::memory_order_relaxed);
}

// Each file without a name holds a descriptor; beyond this many, the files an output set
// holds get their hidden names at once.
constexpr std::size_t MaxUnnamedPending = 200;

TOutputSet* GCurrentOutputSet = nullptr;

}  // namespace

void SetUnnamedFiles(bool Allowed) noexcept {
    GUnnamedFiles.store(Allowed, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------
// TPendingFile

TPendingFile::TPendingFile(TPendingFile&& Other) noexcept
    : FUnnamed(std::move(Other.FUnnamed)),
      FHiddenName(std::move(Other.FHiddenName)),
      FFinalName(std::move(Other.FFinalName)),
      FLock(std::move(Other.FLock)) {
    Other.FHiddenName.clear();
}

TPendingFile& TPendingFile::operator=(TPendingFile&& Other) noexcept {
    if (this != &Other) {
        Discard();
        FUnnamed = std::move(Other.FUnnamed);
        FHiddenName = std::move(Other.FHiddenName);
        FFinalName = std::move(Other.FFinalName);
        FLock = std::move(Other.FLock);
        Other.FHiddenName.clear();
    }
    return *this;
}

void TPendingFile::Name() {
    if (!FUnnamed.Valid()) return;
    const std::string entry = Format("/proc/self/fd/%d", static_cast<std::int64_t>(FUnnamed.Fd()));
    if (!FLock) FLock = HoldRunLock(FFinalName);
    for (int attempt = 0;; ++attempt) {
        std::string name = HiddenName(FFinalName);
        if (::linkat(AT_FDCWD, entry.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            FHiddenName = std::move(name);
            FUnnamed.Close();
            return;
        }
        const int err = errno;
        if (err != EEXIST || attempt >= 100)
            throw ExceptionZQS(Format("Error writing file %s: %s", FFinalName, ErrorText(err)));
    }
}

void TPendingFile::Place() {
    Name();
    if (::rename(FHiddenName.c_str(), FFinalName.c_str()) != 0) {
        const int err = errno;
        Discard();
        throw ExceptionZQS(Format("Error writing file %s: %s", FFinalName, ErrorText(err)));
    }
    FHiddenName.clear();
    FLock.reset();
}

void TPendingFile::CheckTarget() const {
    struct stat st {};
    // Nothing there, or a name that the rename itself will refuse with its own error.
    if (::lstat(FFinalName.c_str(), &st) != 0) return;
    int err = 0;
    if (S_ISDIR(st.st_mode))
        err = EISDIR;
    else if (S_ISREG(st.st_mode) && ::access(FFinalName.c_str(), W_OK) != 0)
        err = errno;
    if (err != 0)
        throw ExceptionZQS(Format("Error writing file %s: %s", FFinalName, ErrorText(err)));
}

bool TPendingFile::PlaceKeeping(const std::string& Backup) {
    Name();
    // The earlier file gets a second name first, so that its name never goes missing; a
    // file system without hard links moves it aside instead.
    bool kept = false, moved = false;
    struct stat st {};
    if (::lstat(FFinalName.c_str(), &st) == 0) {
        if (::linkat(AT_FDCWD, FFinalName.c_str(), AT_FDCWD, Backup.c_str(), 0) != 0) {
            if (errno == EEXIST || ::rename(FFinalName.c_str(), Backup.c_str()) != 0) {
                const int err = errno;
                Discard();
                throw ExceptionZQS(Format("Error writing file %s: %s", FFinalName, ErrorText(err)));
            }
            moved = true;
        }
        kept = true;
    }
    if (::rename(FHiddenName.c_str(), FFinalName.c_str()) != 0) {
        const int err = errno;
        if (moved)
            ::rename(Backup.c_str(), FFinalName.c_str());
        else if (kept)
            ::unlink(Backup.c_str());
        Discard();
        throw ExceptionZQS(Format("Error writing file %s: %s", FFinalName, ErrorText(err)));
    }
    FHiddenName.clear();
    FLock.reset();
    return kept;
}

void TPendingFile::Discard() noexcept {
    FUnnamed.Close();
    if (!FHiddenName.empty()) ::unlink(FHiddenName.c_str());
    FHiddenName.clear();
    FLock.reset();
}

// ---------------------------------------------------------------------------------------
// TOutputSet

TOutputSet::TOutputSet() {
    if (GCurrentOutputSet) throw ExceptionZQS("An output set is open already");
    GCurrentOutputSet = this;
}

TOutputSet::~TOutputSet() {
    if (GCurrentOutputSet == this) GCurrentOutputSet = nullptr;
    FFiles.clear();  // what was not published disappears
}

TOutputSet* TOutputSet::Current() noexcept { return GCurrentOutputSet; }

void TOutputSet::CheckName(const std::string& FinalName) const {
    if (FCheck) FCheck(FinalName);
}

void TOutputSet::Add(TPendingFile File) {
    for (const TPendingFile& f : FFiles)
        if (f.FinalName() == File.FinalName())
            throw ExceptionZQS(
                Format("Two output files of the run are named %s: one would replace the other",
                       File.FinalName()));
    if (FFiles.size() >= MaxUnnamedPending) File.Name();
    FFiles.push_back(std::move(File));
}

namespace {

// What identifies the file a run puts in place: its inode, and, as an inode number can go to
// a new file once the file is gone, its size and time of last change. The file system's
// device number is written to the journal but not compared: the file is in the folder of the
// journal all the same, and a file system mounted again (a network share, a USB disk) may
// come back under another number.
struct RFileId {
    std::uint64_t Dev = 0, Ino = 0, Size = 0;
    std::int64_t MTimeNs = 0;
};

RFileId IdOf(const struct stat& St) {
    return {static_cast<std::uint64_t>(St.st_dev), static_cast<std::uint64_t>(St.st_ino),
            static_cast<std::uint64_t>(St.st_size),
            static_cast<std::int64_t>(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec};
}

// The file under Name in the folder Dir (AT_FDCWD: Name is a path); false when none.
bool StatAt(int Dir, const std::string& Name, struct stat& St) {
    return ::fstatat(Dir, Name.c_str(), &St, AT_SYMLINK_NOFOLLOW) == 0;
}

// One file of a set being put in place, as its folder's journal lists it: the final name, the
// hidden name the earlier file of that name is kept under while the set is placed, the
// hidden name of the file itself, and the file. Versions before the lock files did not list
// the file (Known false), and wrote no kept name where there was no earlier file: a file
// under the final name counts as theirs when it was last changed before the journal was
// written (Placed.MTimeNs then), as their files were complete by then.
struct RJournalLine {
    std::string Final, Keep, Hidden;  // names without the folder
    RFileId Placed;
    bool Known = true;
};

// Whether St may be the file that the run of L put under L.Final.
bool IsPlaced(const RJournalLine& L, const struct stat& St) {
    const RFileId id = IdOf(St);
    if (!L.Known) return id.MTimeNs <= L.Placed.MTimeNs;
    return id.Ino == L.Placed.Ino && id.Size == L.Placed.Size && id.MTimeNs == L.Placed.MTimeNs;
}

// A name as a field of a journal line: a backslash, a tab and a line feed, which a name may
// hold, as the two-character escapes \\, \t and \n, so that every name reads back as it was.
std::string JournalField(std::string_view Name) {
    std::string field;
    field.reserve(Name.size());
    for (const char c : Name) {
        switch (c) {
            case '\\': field += "\\\\"; break;
            case '\t': field += "\\t"; break;
            case '\n': field += "\\n"; break;
            default: field += c;
        }
    }
    return field;
}

// The name of a journal field; false for an escape that JournalField does not write.
bool NameOfField(std::string_view Field, std::string& Name) {
    Name.clear();
    for (std::size_t i = 0; i < Field.size(); ++i) {
        if (Field[i] != '\\') {
            Name += Field[i];
            continue;
        }
        if (++i == Field.size()) return false;
        switch (Field[i]) {
            case '\\': Name += '\\'; break;
            case 't': Name += '\t'; break;
            case 'n': Name += '\n'; break;
            default: return false;
        }
    }
    return true;
}

// Writes the journal of one folder, a line "<final>\t<keep>\t<hidden>\t<dev>\t<inode>\t<size>\t
// <mtime ns>" per file (names as JournalField gives them), under a new file name; raises
// "Error writing file ..." when it cannot.
void WriteJournal(const std::string& Name, const std::vector<RJournalLine>& Lines) {
    std::string text;
    for (const RJournalLine& l : Lines)
        text +=
            Format("%s\t%s\t%s\t%s\t%s\t%s\t%d\n", JournalField(l.Final), JournalField(l.Keep),
                   JournalField(l.Hidden), std::to_string(l.Placed.Dev),
                   std::to_string(l.Placed.Ino), std::to_string(l.Placed.Size), l.Placed.MTimeNs);
    TFileHandle fd(::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    int err = fd.Valid() ? 0 : errno;
    for (std::size_t done = 0; err == 0 && done < text.size();) {
        const ssize_t n = ::write(fd.Fd(), text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR) err = errno;
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    if (err == 0) err = fd.Close();
    if (err != 0) {
        ::unlink(Name.c_str());
        throw ExceptionZQS(Format("Error writing file %s: %s", Name, ErrorText(err)));
    }
}

// Reads the journal Name of the folder Dir, written by the run Mark; a line that is not a
// plain name of this folder followed by a kept and a hidden name of that run and the four
// numbers of the file (or, of the versions before, nothing more, the kept name empty without
// an earlier file) is left out: a journal speaks only for its own run's files. The earlier
// files kept under the names of lines left out are left where they are by the caller.
std::vector<RJournalLine> ReadJournal(int Dir, const std::string& Name, std::string_view Mark) {
    std::vector<RJournalLine> lines;
    const TFileHandle fd(::openat(Dir, Name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat journal {};
    if (!fd.Valid() || ::fstat(fd.Fd(), &journal) != 0) return lines;
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd.Fd(), buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return lines;
        text.append(buf, static_cast<std::size_t>(n));
    }
    const auto plain = [](std::string_view n) {
        return !n.empty() && n != "." && n != ".." && n.find('/') == std::string_view::npos;
    };
    const auto ofRun = [&](std::string_view n, std::string_view suffix) {
        const RHiddenOf h = HiddenOf(n);
        return plain(n) && h.Mark == Mark && h.Suffix == suffix;
    };
    const auto number = [](std::string_view n, auto& value) {
        return !n.empty() &&
               std::from_chars(n.data(), n.data() + n.size(), value).ptr == n.data() + n.size();
    };
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        std::vector<std::string_view> f;
        for (std::size_t tab; (tab = line.find('\t')) != std::string_view::npos;) {
            f.push_back(line.substr(0, tab));
            line.remove_prefix(tab + 1);
        }
        f.push_back(line);
        RJournalLine l;
        if ((f.size() != 3 && f.size() != 7) || !NameOfField(f[0], l.Final) ||
            !NameOfField(f[1], l.Keep) || !NameOfField(f[2], l.Hidden))
            continue;
        if (f.size() == 3 && plain(l.Final) && (l.Keep.empty() || ofRun(l.Keep, KeepSuffix)) &&
            ofRun(l.Hidden, PartSuffix)) {
            l.Known = false;
            l.Placed.MTimeNs = IdOf(journal).MTimeNs;
        } else if (f.size() != 7 || !plain(l.Final) || !ofRun(l.Keep, KeepSuffix) ||
                   !ofRun(l.Hidden, PartSuffix) || !number(f[3], l.Placed.Dev) ||
                   !number(f[4], l.Placed.Ino) || !number(f[5], l.Placed.Size) ||
                   !number(f[6], l.Placed.MTimeNs)) {
            continue;
        }
        lines.push_back(std::move(l));
    }
    return lines;
}

// What taking back one file of a set did.
enum class EUndo { Nothing, Restored, Removed, LeftAlone };

// The file systems that cannot rename with flags (EINVAL and the like after renameat2).
bool RenameFlagsUnknown() { return errno == EINVAL || errno == ENOSYS || errno == ENOTSUP; }

// What TakeOut did.
enum class ETakeOut { Done, Other, Failed, Unsupported };

// Moves the file under L.Final in the folder Dir to Aside, in one step by Flags
// (RENAME_EXCHANGE: the two names swap files; RENAME_NOREPLACE: Aside is free), and removes it
// there when it is the file L's run placed; any other file that was under L.Final goes back.
ETakeOut TakeOut(int Dir, const RJournalLine& L, const std::string& Aside, unsigned Flags) {
    if (::renameat2(Dir, L.Final.c_str(), Dir, Aside.c_str(), Flags) != 0)
        return RenameFlagsUnknown() ? ETakeOut::Unsupported : ETakeOut::Failed;
    struct stat out {};
    if (StatAt(Dir, Aside, out) && IsPlaced(L, out)) {
        ::unlinkat(Dir, Aside.c_str(), 0);
        return ETakeOut::Done;
    }
    ::renameat2(Dir, Aside.c_str(), Dir, L.Final.c_str(), Flags);
    return ETakeOut::Other;
}

// Takes back the placing of one file of a set in the folder Dir (AT_FDCWD: the names are
// paths), and only that: while the final name holds the very file the run placed, the
// earlier file kept under Keep goes back there, or, without one, the file goes. A final name
// that holds another file now, or none, is left alone; an earlier file kept for it stays
// under Keep for the caller to remove.
EUndo UndoPlacement(int Dir, const RJournalLine& L) {
    struct stat now {};
    struct stat kept {};
    struct stat part {};
    const bool hasFinal = StatAt(Dir, L.Final, now);
    const bool hasKeep = !L.Keep.empty() && StatAt(Dir, L.Keep, kept);
    // The run's file still under its hidden name: not placed.
    const bool unplaced = StatAt(Dir, L.Hidden, part);
    if (hasKeep && hasFinal && SameFile(now, kept)) {
        // The earlier file still in place under a second name.
        ::unlinkat(Dir, L.Keep.c_str(), 0);
        return EUndo::Nothing;
    }
    if (hasFinal && !unplaced && IsPlaced(L, now)) {
        // The earlier file and the placed one swap names at once, or the placed one is moved
        // aside under its own hidden name; what left the final name is checked once more, so
        // that a file another run put there meanwhile goes back. Where the file system
        // cannot rename so, the check above has to do.
        switch (TakeOut(Dir, L, hasKeep ? L.Keep : L.Hidden,
                        hasKeep ? RENAME_EXCHANGE : RENAME_NOREPLACE)) {
            case ETakeOut::Done: return hasKeep ? EUndo::Restored : EUndo::Removed;
            case ETakeOut::Other:
            case ETakeOut::Failed: return EUndo::LeftAlone;
            case ETakeOut::Unsupported: break;
        }
        if (hasKeep) {
            return ::renameat(Dir, L.Keep.c_str(), Dir, L.Final.c_str()) == 0 ? EUndo::Restored
                                                                              : EUndo::LeftAlone;
        }
        return ::unlinkat(Dir, L.Final.c_str(), 0) == 0 ? EUndo::Removed : EUndo::LeftAlone;
    }
    if (hasKeep && !hasFinal && unplaced) {
        // Moved aside on a file system without hard links, its place still empty.
        if (::renameat2(Dir, L.Keep.c_str(), Dir, L.Final.c_str(), RENAME_NOREPLACE) == 0 ||
            (RenameFlagsUnknown() && ::renameat(Dir, L.Keep.c_str(), Dir, L.Final.c_str()) == 0))
            return EUndo::Restored;
        return EUndo::LeftAlone;
    }
    // The run had not placed its file, or another run has put its own under the name since
    // (which replaced the earlier file as well: the kept one is not needed any more).
    return unplaced ? EUndo::Nothing : EUndo::LeftAlone;
}

// A folder as the console names it: "." for the current one, no "/" at the end.
std::string FolderText(const std::string& Folder) {
    if (Folder.empty()) return ".";
    return Folder.size() > 1 && Folder.back() == '/' ? Folder.substr(0, Folder.size() - 1) : Folder;
}

// Exclusive locks on folders, taken in the order of their file system and inode so that two
// runs cannot each wait for the other: one run at a time puts files in place in a folder or
// takes back what an ended run placed there. Where a folder cannot be locked for want of file
// locks (some network file systems), it is used without, and OnNoLocks is told. A wait for a
// lock that lasts is told through OnWait, with the folder; a cancel ends it
// (ExcCancelledByUser), and is checked once more when every lock is held.
class TFolderLocks {
public:
    TFolderLocks(const std::vector<std::string>& Folders, const TOutputSet::TWaitNotice& OnWait,
                 const TOutputSet::TWaitNotice& OnNoLocks) {
        std::map<std::pair<dev_t, ino_t>, std::pair<TFileHandle, std::string>> byId;
        for (const std::string& folder : Folders) {
            TFileHandle fd(
                ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            struct stat st {};
            if (fd.Valid() && ::fstat(fd.Fd(), &st) == 0)
                byId.try_emplace({st.st_dev, st.st_ino}, std::move(fd), folder);
        }
        for (auto& [id, entry] : byId) {
            const std::string& folder = entry.second;
            const auto said = [&] {
                if (OnWait) OnWait(FolderText(folder));
            };
            const int err = WaitForLock(entry.first.Fd(), said);
            if (err == 0)
                FHeld.push_back(std::move(entry.first));
            else if (NoFileLocks(err) && OnNoLocks)
                OnNoLocks(FolderText(folder));
        }
        if (CancelFlag()) throw ExcCancelledByUser(CancelledText);
    }

private:
    std::vector<TFileHandle> FHeld;
};

}  // namespace

void TOutputSet::Publish() {
    // What can fail comes first: a refused name, a name that cannot be made or a final name
    // that cannot take its file leaves every file out of place (and removed with the set).
    for (const TPendingFile& f : FFiles) CheckName(f.FinalName());
    for (TPendingFile& f : FFiles) f.Name();
    for (const TPendingFile& f : FFiles) f.CheckTarget();
    std::map<std::string, std::vector<RJournalLine>> byFolder;
    std::vector<RJournalLine> lines(FFiles.size());
    std::vector<std::shared_ptr<TRunLock>> runLocks;
    for (std::size_t i = 0; i < FFiles.size(); ++i) {
        const std::string& final = FFiles[i].FinalName();
        if (byFolder.find(FolderOf(final)) == byFolder.end())
            runLocks.push_back(HoldRunLock(final));
        struct stat st {};
        if (::lstat(FFiles[i].HiddenPath().c_str(), &st) != 0)
            throw ExceptionZQS(Format("Error writing file %s: %s", final, ErrorText(errno)));
        // Each file has a hidden name to keep the earlier file of its name under, whether
        // there is one now or not: another run may put one there before this file is placed.
        lines[i] = {final, FreeHiddenName(final, KeepSuffix), FFiles[i].HiddenPath(), IdOf(st)};
        byFolder[FolderOf(final)].push_back(
            {BaseOf(final), BaseOf(lines[i].Keep), BaseOf(lines[i].Hidden), lines[i].Placed});
    }
    std::vector<std::string> folders;
    folders.reserve(byFolder.size());
    for (const auto& entry : byFolder) folders.push_back(entry.first);
    const TFolderLocks folderLocks(folders, FOnWait, FOnNoLocks);
    // Each folder's journal of the change, written before the first file is placed: a run
    // killed while placing leaves it, and the next run in the folder takes the change back
    // from it.
    std::vector<std::string> journals;
    const auto dropJournals = [&journals] {
        for (const std::string& j : journals) ::unlink(j.c_str());
    };
    std::size_t placed = 0;
    try {
        for (const auto& [folder, folderLines] : byFolder) {
            journals.push_back(FreeHiddenName(folder + "publish", JournalSuffix));
            WriteJournal(journals.back(), folderLines);
        }
        for (; placed < FFiles.size(); ++placed) FFiles[placed].PlaceKeeping(lines[placed].Keep);
    } catch (...) {
        // The files placed so far are taken out again, the last first, each only while its
        // name still holds it.
        while (placed > 0) {
            --placed;
            UndoPlacement(AT_FDCWD, lines[placed]);
            ::unlink(lines[placed].Keep.c_str());
        }
        dropJournals();
        throw;
    }
    // Every file is in place: the journals go first, then the earlier files.
    dropJournals();
    for (const RJournalLine& l : lines) ::unlink(l.Keep.c_str());
    FFiles.clear();
}

TOutputSet::RStale TOutputSet::RemoveStale(const std::string& Folder, const TWaitNotice& OnWait,
                                           const TWaitNotice& OnNoLocks) {
    struct DirCloser {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    RStale result;
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(Folder.empty() ? "." : Folder.c_str()));
    if (!dir) return result;
    const int fd = ::dirfd(dir.get());
    // Whether the folder's file system locks files, tried with a shared lock that another run
    // holding the folder keeps out (EWOULDBLOCK): a run says so before its work, not only
    // when it puts its files in place.
    if (const int err = ::flock(fd, LOCK_SH | LOCK_NB) == 0 ? 0 : errno; err == 0)
        ::flock(fd, LOCK_UN);
    else if (NoFileLocks(err) && OnNoLocks)
        OnNoLocks(FolderText(Folder));
    // The hidden files of this host's runs that have ended, by run. A run has ended when its
    // lock can be taken, and its lock file is still under its name once taken (another run
    // clearing up removes it when done); taken, it keeps any other run from clearing up
    // after the same one. Its files are listed only then: before, it may still have been
    // adding some. Where the folder's file system has no file locks, and for the runs of
    // versions before the lock files (hidden names with the process id, no lock file), a run
    // has ended when its process is gone, as those versions judged: better than leaving
    // its files for good, though no lock then keeps two runs from clearing up at once.
    struct RRun {
        TFileHandle Lock;
        bool ByPid = false;  // of a version before the lock files
        std::vector<std::string> Journals, Files;
    };
    std::map<std::string, RRun, std::less<>> ended;
    // The runs whose hidden files stay because it cannot be told whether they ended.
    std::set<std::string, std::less<>> unsure;
    const auto scan = [&dir](const std::function<void(std::string_view, const RHiddenOf&)>& Take) {
        ::rewinddir(dir.get());
        while (const dirent* e = ::readdir(dir.get())) {
            const RHiddenOf h = HiddenOf(e->d_name);
            if (!h.Mark.empty() && h.Mark != RunMark()) Take(e->d_name, h);
        }
    };
    const auto mine = [](const struct stat& St) {
        return S_ISREG(St.st_mode) && St.st_uid == ::geteuid();
    };
    scan([&](std::string_view, const RHiddenOf& h) {
        if (h.Suffix != LockSuffix) return;
        const std::string lockName = LockName(h.Mark);
        TFileHandle lock(::openat(fd, lockName.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
        struct stat held {
        }, named{};
        if (!lock.Valid() || ::fstat(lock.Fd(), &held) != 0 || !mine(held)) return;
        const int err = TryLock(lock.Fd());
        if (err == 0 ? StatAt(fd, lockName, named) && SameFile(held, named)
                     : NoFileLocks(err) && LockOwnerGone(lock.Fd()))
            ended[std::string(h.Mark)].Lock = std::move(lock);
        else if (err != 0 && err != EWOULDBLOCK)
            unsure.emplace(h.Mark);
    });
    std::map<pid_t, bool> gone;  // by process id, for the runs of the versions before
    bool journals = false;
    scan([&](std::string_view Name, const RHiddenOf& h) {
        if (h.Suffix == LockSuffix) return;
        auto run = ended.find(h.Mark);
        if (run == ended.end() && h.Pid > 0) {
            struct stat st {};
            if (!StatAt(fd, std::string(Name), st) || !mine(st)) return;
            const auto [known, fresh] = gone.try_emplace(h.Pid, false);
            if (fresh) known->second = ProcessGone(h.Pid);
            if (!known->second) {
                unsure.emplace(h.Mark);
                return;
            }
            run = ended.try_emplace(std::string(h.Mark)).first;
            run->second.ByPid = true;
        }
        if (run == ended.end()) return;
        journals = journals || h.Suffix == JournalSuffix;
        (h.Suffix == JournalSuffix ? run->second.Journals : run->second.Files).emplace_back(Name);
    });
    result.Undecided = static_cast<int>(unsure.size());
    if (ended.empty()) return result;
    // Taking back a placed set waits for a run putting its files in place in the folder.
    std::optional<TFolderLocks> folderLock;
    if (journals) folderLock.emplace(std::vector<std::string>{Folder}, OnWait, TWaitNotice{});
    const auto pathOf = [&Folder](const std::string& Name) {
        return Folder.empty() || Folder.back() == '/' ? Folder + Name : Folder + '/' + Name;
    };
    for (const auto& [mark, run] : ended) {
        // A journal left means the run was killed while placing its files: the files it
        // placed go (the last first), and the earlier files of their names come back. An
        // earlier file kept aside for a line that cannot be read stays where it is.
        std::set<std::string, std::less<>> keepsNamed;
        for (const std::string& journal : run.Journals) {
            const std::vector<RJournalLine> lines = ReadJournal(fd, journal, mark);
            for (const RJournalLine& l : lines) keepsNamed.insert(l.Keep);
            for (auto l = lines.rbegin(); l != lines.rend(); ++l) {
                switch (UndoPlacement(fd, *l)) {
                    case EUndo::Restored: ++result.Restored; break;
                    case EUndo::Removed: ++result.Removed; break;
                    case EUndo::LeftAlone: result.LeftAlone.push_back(pathOf(l->Final)); break;
                    case EUndo::Nothing: break;
                }
            }
            ::unlinkat(fd, journal.c_str(), 0);
        }
        for (const std::string& name : run.Files) {
            if (!run.Journals.empty() && HiddenOf(name).Suffix == KeepSuffix &&
                keepsNamed.find(name) == keepsNamed.end()) {
                result.KeptUnread.push_back(pathOf(name));
                continue;
            }
            if (::unlinkat(fd, name.c_str(), 0) == 0) ++result.Removed;
        }
        if (!run.ByPid) ::unlinkat(fd, LockName(mark).c_str(), 0);
    }
    return result;
}

// ---------------------------------------------------------------------------------------
// TReplacingFile

TReplacingFile::TReplacingFile(TZQS_BinaryFileWriter& Writer, std::string FinalName)
    : FWriter(Writer), FFinalName(std::move(FinalName)) {
    const auto cannot = [this](int err) {
        return ExcZQSCantOpenFile(Format("Can't open file %s: %s", FFinalName, ErrorText(err)));
    };
    // An earlier file that could not be written is not replaced behind the user's back.
    struct stat st {};
    if (::stat(FFinalName.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw cannot(EISDIR);
        if (::access(FFinalName.c_str(), W_OK) != 0) throw cannot(errno);
    }
    if (const TOutputSet* set = TOutputSet::Current()) set->CheckName(FFinalName);
    const std::string folder = FolderOf(FFinalName);
    TFileHandle file;
    if (CanNameUnnamedFiles()) {
        file = TFileHandle(
            ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (file.Valid()) {
            FUnnamed = file.Duplicate();
            if (!FUnnamed.Valid()) throw cannot(errno);
        }
    }
    // A file system without files that have no name: a hidden one, under the run's lock.
    int err = 0;
    if (!file.Valid() && !(FLock = TRunLock::Hold(folder, err))) throw cannot(err);
    for (int attempt = 0; !file.Valid(); ++attempt) {
        std::string name = HiddenName(FFinalName);
        file = TFileHandle(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file.Valid()) {
            FTempName = std::move(name);
        } else if (errno != EEXIST || attempt >= 100) {
            throw cannot(errno);
        }
    }
    try {
        FWriter.OpenHandle(std::move(file), FFinalName);
    } catch (...) {
        if (!FTempName.empty()) ::unlink(FTempName.c_str());
        throw;
    }
}

TReplacingFile::~TReplacingFile() {
    if (FDone) return;
    try {
        FWriter.Close();
    } catch (...) {
        // The error that left the writer is the one to report.
    }
    if (!FTempName.empty()) ::unlink(FTempName.c_str());
}

void TReplacingFile::Commit() {
    FWriter.Close();
    TPendingFile file(std::move(FUnnamed), FTempName, FFinalName, std::move(FLock));
    FDone = true;  // from here the pending file removes it when it cannot be placed
    if (TOutputSet* set = TOutputSet::Current())
        set->Add(std::move(file));
    else
        file.Place();
}

}  // namespace zqt_classes_bs
