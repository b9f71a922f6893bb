// A library that the tests preload into the program to stand for file systems that lack what
// the program uses where it can: with TOLVAR_REFUSE_FLOCK set, file locks fail with ENOLCK
// (some network shares); with TOLVAR_REFUSE_TMPFILE set, files without a name (O_TMPFILE)
// cannot be made (EOPNOTSUPP, as on FAT). Everything else goes to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {

template <class F>
F Next(const char* Name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, Name));
}

using TOpen = int (*)(const char*, int, ...);

int Open(const char* Name, const char* Path, int Flags, mode_t Mode) {
    if ((Flags & O_TMPFILE) == O_TMPFILE && std::getenv("TOLVAR_REFUSE_TMPFILE") != nullptr) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const TOpen next = Next<TOpen>(Name);
    return next(Path, Flags, Mode);
}

mode_t ModeOf(int Flags, va_list Args) {
    return (Flags & O_CREAT) != 0 || (Flags & O_TMPFILE) == O_TMPFILE
               ? static_cast<mode_t>(va_arg(Args, int))
               : 0;
}

}  // namespace

extern "C" {

int flock(int Fd, int Operation) {
    if (std::getenv("TOLVAR_REFUSE_FLOCK") != nullptr) {
        errno = ENOLCK;
        return -1;
    }
    using TFlock = int (*)(int, int);
    return Next<TFlock>("flock")(Fd, Operation);
}

int open(const char* Path, int Flags, ...) {
    va_list args;
    va_start(args, Flags);
    const mode_t mode = ModeOf(Flags, args);
    va_end(args);
    return Open("open", Path, Flags, mode);
}

// The same entry under its large-file name; both take 64-bit offsets here.
int open64(const char* Path, int Flags, ...) __attribute__((alias("open")));

}  // extern "C"
