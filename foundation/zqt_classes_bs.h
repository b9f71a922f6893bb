// Root of the program's object classes (log name, log list, message and progress events,
// progress counting, the cancel test) and the buffered file classes on which every
// reader and writer of GNSS files is built.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sysutils.h"
#include "zqt_objects_intrf.h"
#include "zqt_types_bs.h"
#include "zqt_variant.h"

namespace zqt_classes_bs {

using zqt_objects_intrf::TZQSLogList;
using zqt_objects_intrf::TZQSMessageEvent;
using zqt_objects_intrf::TZQSProgressEvent;

// ---------------------------------------------------------------------------------------
// Global cancel flag: once set, every progress step and cancel test raises
// ExcCancelledByUser "Cancelled by user". The main program clears it at the start of a run.

void SetCancelFlag(bool Value) noexcept;
inline void ClearCancelFlag() noexcept { SetCancelFlag(false); }
bool CancelFlag() noexcept;

// ---------------------------------------------------------------------------------------
// TZQS_BaseObject

class TZQS_BaseObject : public virtual zqt_objects_intrf::IZQS_BaseObject,
                        public std::enable_shared_from_this<TZQS_BaseObject> {
public:
    TZQS_BaseObject() = default;
    TZQS_BaseObject(const TZQS_BaseObject&) = delete;
    TZQS_BaseObject& operator=(const TZQS_BaseObject&) = delete;
    ~TZQS_BaseObject() override = default;

    // Constructs an object and runs InitFields.
    static std::shared_ptr<TZQS_BaseObject> Create();
    // The same for a descendant T with a default constructor.
    template <class T>
    static std::shared_ptr<T> CreateOf() {
        auto obj = std::make_shared<T>();
        static_cast<TZQS_BaseObject&>(*obj).InitFields();
        return obj;
    }

    // Initialisation hook run by every factory: the start time becomes now. Descendants
    // override it and call the inherited one first.
    virtual void InitFields();
    virtual void SetLogger(TZQSLogList Value);
    // Appends "<now>: <log name>: <Text>" to the log list, when one is set.
    virtual void Log(const std::string& Text);
    // Reports Percent through DoProgress with the log name and the time since start.
    virtual void ReportProgress(std::int32_t Percent);
    void DoMessage(const std::string& Text, std::uint8_t Kind) override;
    // Calls the progress event when one is set; afterwards raises "Cancelled by user"
    // when the handler set Cancel or the global cancel flag is set.
    virtual void DoProgress(const void* Sender, const std::string& Name, double Elapsed,
                            std::int32_t Percent, bool& Cancel);

    template <class... A>
    void LogFmt(std::string_view Template, const A&... Args) {
        Log(sysutils::Format(Template, Args...));
    }

    void CheckCancelled() override;
    void ProgressStart(std::int64_t Total) override;
    // Position P of the total: reports the percentage when it changed since the last
    // report (0..99; the total itself gives 0 or 99, never 100).
    void ProgressStep(std::int64_t P);
    void ProgressInc() override;

    // Nested switch of the process decimal separator to "." and back.
    static void SetPointDecimalSeparator();
    static void RestoreDecimalSeparator();

    TZQSProgressEvent GetOnProgress() const override { return FOnProgress; }
    void SetOnProgress(TZQSProgressEvent Value) override { FOnProgress = std::move(Value); }
    TZQSMessageEvent GetOnMessage() const override { return FOnMessage; }
    void SetOnMessage(TZQSMessageEvent Value) override { FOnMessage = std::move(Value); }
    TZQSLogList GetLogger() const { return FLogger; }
    const std::string& GetLogName() const { return FLogName; }
    void SetLogName(std::string Value) { FLogName = std::move(Value); }
    sysutils::TDateTime GetStartTime() const { return FStartTime; }

protected:
    TZQSMessageEvent FOnMessage;
    std::string FLogName;
    TZQSProgressEvent FOnProgress;
    sysutils::TDateTime FStartTime = 0.0;
    TZQSLogList FLogger;
    std::int64_t FProgressTotal = 0;
    std::int64_t FProgressThreshold = 0;
    std::int64_t FProgressLast = 0;
    std::int64_t FProgressPos = 0;
    std::int64_t FProgressStep = 0;
};

// ---------------------------------------------------------------------------------------
// File handle: an open POSIX file descriptor, closed when the handle goes.

class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int fd) noexcept : FFd(fd) {}
    TFileHandle(TFileHandle&& other) noexcept : FFd(other.Release()) {}
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    ~TFileHandle() { Close(); }

    bool Valid() const noexcept { return FFd >= 0; }
    int Fd() const noexcept { return FFd; }
    int Release() noexcept {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }
    // Closes the descriptor; returns 0, or the errno of a failed close.
    int Close() noexcept;
    // A second descriptor of the same open file (invalid when none could be made).
    TFileHandle Duplicate() const noexcept;

private:
    int FFd = -1;
};

// A new file (Path must not exist) that is removed from its folder at once: it lives on,
// open for reading and writing, through the returned handle and its duplicates and
// disappears with the last of them, however the process ends. Raises ExcZQSCantOpenFile.
TFileHandle CreateUnlinkedFile(const std::string& Path);

enum TSeekOrigin : std::uint8_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Open modes of a file object.
inline constexpr std::uint8_t fmOpenRead = 0;
inline constexpr std::uint8_t fmOpenReadWrite = 2;

// ---------------------------------------------------------------------------------------
// TZQS_FileIO: a named file with its position and size. A file object is open from its
// factory until Close or destruction.

class TZQS_FileIO : public TZQS_BaseObject {
public:
    ~TZQS_FileIO() override = default;

    // Constructs T, runs InitFields, keeps Append and opens FileName (empty: no file).
    template <class T>
    static std::shared_ptr<T> CreateFileOf(const std::string& FileName, bool Append = false) {
        auto obj = std::make_shared<T>();
        TZQS_FileIO& f = *obj;
        f.InitFields();
        f.FAppend = Append;
        f.Open(FileName);
        return obj;
    }

    // Closes, stores the name and opens it. For writing (read-write mode) the file is
    // created anew, or opened for appending; failing that raises ExcZQSCantOpenFile. For
    // reading a file that cannot be opened reads as empty.
    virtual void Open(const std::string& FileName);
    // With a name stored: Flush, close the handle, clear the name. A failed flush or
    // close of a written file raises (the file is closed all the same).
    virtual void Close();
    // Starts progress counting over the file size.
    virtual void RestartProgress();
    // Flush, then move the file pointer; returns the new position (unchanged when the
    // move fails).
    virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin);
    // Writes buffered bytes; nothing to do here.
    virtual void Flush() {}
    // The work of a reader or writer that handles a whole file; nothing here.
    virtual void Execute() {}

    const std::string& FileName() const { return FFileName; }
    bool IsOpen() const noexcept { return FHandle.Valid(); }
    // The open file descriptor (-1 without a file).
    int Descriptor() const noexcept { return FHandle.Fd(); }
    // errno of the last Open that found no file to open (0 when it opened or had no name).
    int OpenError() const noexcept { return FOpenError; }
    std::int64_t Position() const noexcept { return FPosition; }
    std::int64_t Size() const noexcept { return FSize; }
    bool GetAppend() const noexcept { return FAppend; }
    bool GetPointDecimal() const noexcept { return FPointDecimal; }
    void SetPointDecimal(bool Value) noexcept { FPointDecimal = Value; }

protected:
    std::uint8_t FMode = fmOpenRead;
    TFileHandle FHandle;
    bool FAppend = false;
    std::string FFileName;
    std::int64_t FPosition = 0;
    std::int64_t FSize = 0;
    bool FPointDecimal = false;
    int FOpenError = 0;
};

// ---------------------------------------------------------------------------------------
// TZQS_BinaryFileReader

class TZQS_BinaryFileReader : public TZQS_FileIO {
public:
    static std::shared_ptr<TZQS_BinaryFileReader> Create(const std::string& FileName,
                                                         bool Append = false) {
        return CreateFileOf<TZQS_BinaryFileReader>(FileName, Append);
    }

    // Opens for reading; size from the end of the file, position 0.
    void Open(const std::string& FileName) override;
    // True when the position has reached the size.
    virtual bool Eof();
    // One read of up to Count bytes at the position; returns the bytes read (0 at the end
    // or without a file). Raises "Error reading file %s" when the read fails.
    std::size_t ReadBlock(void* Buffer, std::size_t Count);
};

// ---------------------------------------------------------------------------------------
// TZQS_TextFileReader: lines over an 8,196-byte read buffer. A line ends at LF or CR LF
// (both dropped); a lone CR stays in the line; the last line needs no LF. Eof turns true
// with the last line; reading once more raises "Reading after EOF".

class TZQS_TextFileReader : public TZQS_BinaryFileReader {
public:
    static constexpr std::size_t BufferSize = 8196;

    static std::shared_ptr<TZQS_TextFileReader> Create(const std::string& FileName,
                                                       bool Append = false) {
        return CreateFileOf<TZQS_TextFileReader>(FileName, Append);
    }

    void Open(const std::string& FileName) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    bool Eof() override { return FEofFlag; }

    // Reads the next line into Line (which is also kept as the last line).
    void ReadLn(std::string& Line);
    // A line longer than Value bytes keeps only its first Value bytes; the rest is read
    // over to the line end without being kept, and LineCut tells so. A reader of short
    // lines thus never holds a damaged line of any length. No limit by default.
    void SetMaxLineLength(std::size_t Value) noexcept { FMaxLineLength = Value; }
    bool LineCut() const noexcept { return FLineCut; }
    // Reads a line and splits it at blanks (SplitWords).
    virtual zqt_variant::TVariantArray ReadItems();
    // Reads a line, turns "D" exponents into "E" and cuts it at the columns of Offsets;
    // every item that reads as a number becomes a Double, the others stay texts.
    zqt_variant::TVariantArray ReadValues(std::span<const std::int32_t> Offsets);

    // Items of Line between blanks, trimmed, empty ones skipped.
    static zqt_variant::TVariantArray SplitWords(std::string_view Line);
    // SplitWords after every "D" or "d" became "E".
    static zqt_variant::TVariantArray SplitNumbers(std::string_view Line);
    // Fixed-column cut (1-based start columns; the last offset ends the last item).
    static zqt_variant::TVariantArray SplitColumns(std::string_view Line,
                                                   std::span<const std::int32_t> Offsets);

    const std::string& GetLastLine() const noexcept { return FLastLine; }
    std::int64_t GetLineCount() const noexcept { return FLineCount; }

protected:
    // Refills the buffer when all of it has been used; true when unread bytes remain.
    bool FillBuffer();
    // The unread bytes of the buffer.
    std::string_view UnreadBytes() const noexcept {
        return std::string_view(FBuf.data() + FBufPos, FBufEnd - FBufPos);
    }
    // Uses up to Count unread bytes (without refilling in between), then refills an
    // exhausted buffer so that the EOF flag tells whether any byte follows.
    void SkipBytes(std::size_t Count);
    // File position of the first byte of the buffer.
    std::int64_t BufferStart() const noexcept { return FBufStart; }

    std::int64_t FLineCount = 0;
    std::array<char, BufferSize> FBuf{};
    std::size_t FBufPos = 0;
    std::size_t FBufEnd = 0;
    std::int64_t FBufStart = 0;
    std::string FLastLine;
    bool FEofFlag = true;
    std::size_t FMaxLineLength = std::string::npos;
    bool FLineCut = false;

private:
    void EmptyBuffer() noexcept;
    void UpdateEofFlag();
};

// ---------------------------------------------------------------------------------------
// TZQS_BinaryFileWriter: bytes through an 8,196-byte write buffer. Its destructor flushes
// and closes (errors are swallowed there; call Close to see them). A descendant that
// overrides Flush or Close must close in its own destructor as well, because a base
// destructor no longer reaches the descendant's overrides.

class TZQS_BinaryFileWriter : public TZQS_FileIO {
public:
    static constexpr std::size_t BufferSize = 8196;

    ~TZQS_BinaryFileWriter() override;

    static std::shared_ptr<TZQS_BinaryFileWriter> Create(const std::string& FileName,
                                                         bool Append = false) {
        return CreateFileOf<TZQS_BinaryFileWriter>(FileName, Append);
    }

    // Opens for writing: created anew, or with Append continued at its end.
    void Open(const std::string& FileName) override;
    // Writes to a file already open for writing, taken over; FileName names it in
    // messages. Position and size start at 0.
    void OpenHandle(TFileHandle Handle, const std::string& FileName);
    // Writes the buffered bytes. Raises "Error writing file %s: ..." when they cannot all
    // be written (the buffer is emptied all the same).
    void Flush() override;
    virtual void WriteStr(std::string_view S);
    virtual void WriteRaw(std::string_view S);
    // The byte length of S as a 32-bit little-endian integer, then the bytes.
    void WriteLenStr(std::string_view S);
    // Appends the whole content of another file. Raises ExcZQSCantOpenFile when it cannot
    // be opened.
    void AppendFile(const std::string& FileName);
    // The same for a file open for reading (read from its start; its own position is left
    // as it is), named FileName in messages.
    void AppendFile(int Descriptor, const std::string& FileName);

    std::size_t FillCount() const noexcept { return FFillCount; }

protected:
    // Bytes into the buffer, flushing each time it is full.
    void PutBytes(const char* Data, std::size_t Count);
    // Bytes straight to the file (position advances); raises on a short write.
    void WriteDirect(const char* Data, std::size_t Count);

    std::size_t FFillCount = 0;
    std::array<char, BufferSize> FWriteBuf{};
};

// ---------------------------------------------------------------------------------------
// TZQS_TextFileWriter: lines ending in CR LF. WriteStr and WriteRaw write whole lines.
// Numbers of WriteFmt use "." as decimal separator while the point-decimal flag is set
// (the default).

class TZQS_TextFileWriter : public TZQS_BinaryFileWriter {
public:
    static std::shared_ptr<TZQS_TextFileWriter> Create(const std::string& FileName,
                                                       bool Append = false) {
        return CreateFileOf<TZQS_TextFileWriter>(FileName, Append);
    }

    void InitFields() override;
    void WriteStr(std::string_view S) override { WriteLn(S); }
    void WriteRaw(std::string_view S) override { WriteLnRaw(S); }
    void WriteLn(std::string_view S);
    void WriteLnRaw(std::string_view S);

    // The template's escapes "\n", "\r", "\t" become control characters, the arguments
    // are formatted into it, and the result is written as a line.
    template <class... A>
    void WriteFmt(std::string_view Template, const A&... Args) {
        const std::array<sysutils::FormatArg, sizeof...(A)> a{sysutils::FormatArg(Args)...};
        WriteLn(FormatLine(Template, sysutils::TFormatArgs(a.data(), a.size())));
    }
    template <class... A>
    void WriteFmtRaw(std::string_view Template, const A&... Args) {
        const std::array<sysutils::FormatArg, sizeof...(A)> a{sysutils::FormatArg(Args)...};
        WriteLnRaw(FormatLine(Template, sysutils::TFormatArgs(a.data(), a.size())));
    }

protected:
    std::string FormatLine(std::string_view Template, sysutils::TFormatArgs Args) const;
};

// ---------------------------------------------------------------------------------------
// Output files that appear under their final names only when complete.
//
// While it is written, an output file has no name: it is created without one in the folder
// of its final name (O_TMPFILE), so that nothing of it stays when the process is killed.
// Where the file system cannot do that, it is a hidden file of that folder named
// ".<name>.<run>-<n>@<host>.part", <run> a random mark of the process. While a process has
// hidden files in a folder it holds a lock (flock) on its file ".<run>@<host>.lock" there,
// which the kernel lets go of when the process ends, however it ends and in whatever PID
// namespace it runs: a later run takes that lock before it clears up what the run left.

class TRunLock;

// Whether output files are begun without a name where the file system can (the default).
// Off, every output file is a hidden one from the start, as on file systems that cannot
// make files without a name; the tests take that path so.
void SetUnnamedFiles(bool Allowed) noexcept;

// A complete output file that is not in place yet; dropped, it disappears.
class TPendingFile {
public:
    TPendingFile() = default;
    // Lock: the run's lock in the folder, held while the file has a hidden name.
    TPendingFile(TFileHandle Unnamed, std::string HiddenName, std::string FinalName,
                 std::shared_ptr<TRunLock> Lock = {}) noexcept
        : FUnnamed(std::move(Unnamed)),
          FHiddenName(std::move(HiddenName)),
          FFinalName(std::move(FinalName)),
          FLock(std::move(Lock)) {}
    TPendingFile(TPendingFile&& Other) noexcept;
    TPendingFile& operator=(TPendingFile&& Other) noexcept;
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;
    ~TPendingFile() { Discard(); }

    const std::string& FinalName() const noexcept { return FFinalName; }
    // Gives the file its hidden name in the final folder (when it has none yet) and lets go
    // of the descriptor. Raises "Error writing file <final>: ..." when it cannot.
    void Name();
    // Renames the file into place, replacing an earlier file of the name only then.
    void Place();
    // Raises "Error writing file <final>: ..." when the final name cannot take the file: a
    // folder of that name, or an earlier file that cannot be written.
    void CheckTarget() const;
    // Places the file as Place does; an earlier file of the name is kept under the hidden
    // name Backup, so that it can be put back; returns whether there was one. When the file
    // cannot be placed, the earlier file is where it was.
    bool PlaceKeeping(const std::string& Backup);
    // The hidden name of the file in its final folder ("" before Name).
    const std::string& HiddenPath() const noexcept { return FHiddenName; }
    // Removes the file.
    void Discard() noexcept;

private:
    TFileHandle FUnnamed;
    std::string FHiddenName;
    std::string FFinalName;
    std::shared_ptr<TRunLock> FLock;
};

// The output files of a run, which appear together: a file complete before the others is
// held back until Publish puts them all in place; when the set goes without Publish (a
// failure, a cancel) or Publish fails, they all disappear, and the folders stay as they
// were (earlier files of their names included). While a set lives it is the current one of
// the process, and every TReplacingFile hands it its file.
class TOutputSet {
public:
    // Raises when another set is current.
    TOutputSet();
    TOutputSet(const TOutputSet&) = delete;
    TOutputSet& operator=(const TOutputSet&) = delete;
    ~TOutputSet();

    static TOutputSet* Current() noexcept;

    // A test of every final name, when its file is begun and again before it is put in
    // place; it raises to refuse the name.
    void SetNameCheck(std::function<void(const std::string&)> Check) { FCheck = std::move(Check); }
    // Told, with the folder, when putting files in place (or taking back an ended run's)
    // has waited a second for another run doing so in that folder. A cancel ends such a wait
    // with ExcCancelledByUser, and nothing is placed.
    using TWaitNotice = std::function<void(const std::string& Folder)>;
    void SetOnWait(TWaitNotice OnWait) { FOnWait = std::move(OnWait); }
    // Told, with the folder, when its file system does not lock files (flock fails for want
    // of locks): runs putting files into it at the same time are not kept apart. Told at
    // every try; the caller says it once.
    void SetOnNoLocks(TWaitNotice OnNoLocks) { FOnNoLocks = std::move(OnNoLocks); }
    void CheckName(const std::string& FinalName) const;
    // Takes a complete file. Two files of one final name in a run are a fault of the run's
    // naming, which would lose one of them: raised, and the file dropped.
    void Add(TPendingFile File);
    // Every file checked and named first, then put in place, in the order taken, after any
    // other run putting files in place in the same folders. The earlier files of their
    // names are kept aside until the last file is in place: when one cannot be placed,
    // those already placed are taken out again (each only while its name still holds it)
    // and the earlier files put back before the error is raised.
    void Publish();
    std::size_t Count() const noexcept { return FFiles.size(); }

    // Clears up after runs of this host that have ended, in Folder: a run whose lock it can
    // take, or, where the file system has no file locks and for runs of the versions that
    // named hidden files by process id, a run whose process is gone. Where one was killed
    // while putting its set in place, each file it placed is taken out and the earlier file
    // of its name put back, but only while the name still holds the very file the run put
    // there; then every hidden file such runs left goes, except an earlier file kept under a
    // hidden name that no readable line of the run's journal names: it stays where it is and
    // is listed (KeptUnread). Files of runs that live, of other hosts and users, and hidden
    // files of no run's lock stay as they are. OnWait and OnNoLocks as for Publish; the
    // folder's file locks are tried even where no run has left anything.
    struct RStale {
        int Removed = 0;   // files removed
        int Restored = 0;  // earlier files put back
        // Final names a killed run had put a file under that holds another file now (or
        // none): left as they are.
        std::vector<std::string> LeftAlone;
        // Runs whose hidden files are left because it cannot be told whether they ended:
        // no file lock to try, and a process of their id is there (or none can be told).
        int Undecided = 0;
        // Earlier files left under their hidden ".keep" names (paths): a killed run had kept
        // them aside while putting its files in place, and its journal does not say, in a
        // line that can be read, which final name each belongs to.
        std::vector<std::string> KeptUnread;
    };
    static RStale RemoveStale(const std::string& Folder, const TWaitNotice& OnWait = {},
                              const TWaitNotice& OnNoLocks = {});

private:
    std::vector<TPendingFile> FFiles;
    std::function<void(const std::string&)> FCheck;
    TWaitNotice FOnWait;
    TWaitNotice FOnNoLocks;
};

// TReplacingFile: one output file. The constructor opens Writer on a new file without a
// name (or a hidden one) in the folder of FinalName; Commit closes the writer and puts the
// file in place, replacing an earlier file of the name only then, or hands it to the
// current output set. Without Commit (an error, a cancel) the writer is closed and the file
// removed: an earlier file of the name stays as it was. The writer's messages name
// FinalName.

class TReplacingFile {
public:
    // Raises ExcZQSCantOpenFile (naming FinalName) when FinalName is a folder, an earlier
    // file of the name cannot be written, or no file can be created in its folder; and
    // whatever the current output set's name check raises.
    TReplacingFile(TZQS_BinaryFileWriter& Writer, std::string FinalName);
    TReplacingFile(const TReplacingFile&) = delete;
    TReplacingFile& operator=(const TReplacingFile&) = delete;
    ~TReplacingFile();

    // Closes the writer and puts the file in place (or in the current output set); raises
    // when either fails.
    void Commit();

    const std::string& FinalName() const noexcept { return FFinalName; }
    // The hidden name of the file while it is written; empty for a file without a name.
    const std::string& TempName() const noexcept { return FTempName; }

private:
    TZQS_BinaryFileWriter& FWriter;
    std::string FFinalName;
    std::string FTempName;
    TFileHandle FUnnamed;
    std::shared_ptr<TRunLock> FLock;  // held while the file has a hidden name
    bool FDone = false;
};

}  // namespace zqt_classes_bs
