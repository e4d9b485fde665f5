// The safe file writer on POSIX systems: everything goes through file descriptors relative to the
// target's folder, so that no name is looked up twice where it matters.

#include "io/descriptor.h"
#include "io/safe_file.h"
#include "io/safe_file_detail.h"
#include "io/safe_file_seams.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane {

namespace detail {
WriterSeams writer_seams;
} // namespace detail

namespace {

namespace fs = std::filesystem;
using detail::cannot_write;

std::error_code system_error(int err) {
    return {err != 0 ? err : EIO, std::generic_category()};
}

// Writes all of `bytes`; returns 0 or the error.
int write_all(int fd, std::string_view bytes) {
    const auto write = detail::writer_seams.write != nullptr ? detail::writer_seams.write : ::write;
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return EIO;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// A writer that gives up on a pipe whose reader has gone must get EPIPE, not a signal that
// ends the whole program: SIGPIPE is held back for the write and a pending one taken away.
int write_all_without_sigpipe(int fd, std::string_view bytes) {
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
    const int error = write_all(fd, bytes);
    if (error == EPIPE && !was_pending) {
        const timespec no_wait{};
        while (sigtimedwait(&pipe_signal, nullptr, &no_wait) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return error;
}

// A name no other writer uses and nobody can guess in advance: a link or file placed there
// beforehand only makes the exclusive creation try another name. Short, so that a report name
// of the longest length the folder allows still works, and telling what it is:
// ".veltrane-", twelve letters or digits and ".tmp".
std::string temporary_name() {
    if (detail::writer_seams.temporary_name != nullptr) {
        return detail::writer_seams.temporary_name();
    }
    constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::array<unsigned char, 12> random{};
    if (getrandom(random.data(), random.size(), GRND_NONBLOCK) !=
        static_cast<ssize_t>(random.size())) {
        // Uniqueness still comes from the exclusive creation; this only spreads the names.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        auto seed = static_cast<unsigned long long>(now.tv_nsec) ^
                    (static_cast<unsigned long long>(getpid()) << 32U);
        for (unsigned char& byte : random) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            byte = static_cast<unsigned char>(seed >> 56U);
        }
    }
    std::string name = ".veltrane-";
    for (const unsigned char byte : random) {
        name += alphabet[byte % alphabet.size()];
    }
    name += ".tmp";
    return name;
}

// The temporary files being written, for a signal that ends the program meanwhile to remove
// them: only async-signal-safe work happens in the handler, on fixed storage filled before.
constexpr std::size_t longest_temporary_name = 64;
struct Pending {
    // 0 free, 1 being filled or emptied, 2 a file that exists: the handler reads only 2.
    std::atomic<int> state{0};
    int folder = -1;
    std::array<char, longest_temporary_name> name{};
};
std::array<Pending, 16> pending; // more writers at once are not covered, still cleaned normally

// The signals that end a program which a person or the system sends to stop it.
constexpr std::array<int, 3> ending_signals = {SIGTERM, SIGINT, SIGHUP};

extern "C" void remove_pending_and_end(int signal) {
    const int saved = errno;
    for (Pending& file : pending) {
        if (file.state.load(std::memory_order_acquire) == 2) {
            ::unlinkat(file.folder, file.name.data(), 0);
        }
    }
    // Then the signal's usual action: it is held until the handler returns, and ends the program.
    struct sigaction usual {};
    usual.sa_handler = SIG_DFL;
    sigemptyset(&usual.sa_mask);
    ::sigaction(signal, &usual, nullptr);
    ::raise(signal);
    errno = saved;
}

// Installs the handler once, for each ending signal whose action is still the default one: a
// signal the program ignores (under nohup) or handles itself is left so.
void install_cleanup() {
    static const bool installed = [] {
        for (const int signal : ending_signals) {
            struct sigaction now {};
            if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_DFL &&
                (now.sa_flags & SA_SIGINFO) == 0) {
                struct sigaction handler {};
                handler.sa_handler = &remove_pending_and_end;
                sigemptyset(&handler.sa_mask);
                for (const int other : ending_signals) {
                    sigaddset(&handler.sa_mask, other);
                }
                ::sigaction(signal, &handler, nullptr);
            }
        }
        return true;
    }();
    (void)installed;
}

// Holds the ending signals back in this thread while alive: a file is created and made known
// to the handler, or renamed and forgotten by it, as one step.
class EndingSignalsHeld {
  public:
    EndingSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : ending_signals) {
            sigaddset(&held, signal);
        }
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;
    ~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

  private:
    sigset_t previous_{};
};

// The file a report path leads to: its folder and its name in that folder.
struct Place {
    std::string folder;
    std::string name;
};

Place split(const fs::path& path) {
    const fs::path folder = path.parent_path();
    return {folder.empty() ? std::string{"."} : folder.native(), path.filename().native()};
}

// Follows symbolic links at the last name, as opening the file would, so that a linked report is
// replaced where it lives and the link stays. In a sticky folder that anyone may write (such as
// /tmp) a link is followed only when it belongs to the process or to the folder's owner, the rule
// the system applies itself, so that another user's link cannot steer the report elsewhere.
std::variant<Place, int> follow_links(const fs::path& path) {
    constexpr int most_links = 40;
    constexpr std::size_t longest_link = 4096;
    fs::path current = path;
    for (int links = 0;; ++links) {
        Place place = split(current);
        struct stat link {};
        if (::fstatat(AT_FDCWD, current.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISLNK(link.st_mode)) {
            return place;
        }
        if (links == most_links) {
            return ELOOP;
        }
        struct stat folder {};
        if (::stat(place.folder.c_str(), &folder) != 0) {
            return errno;
        }
        if ((folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0 &&
            link.st_uid != ::geteuid() && link.st_uid != folder.st_uid) {
            return EACCES;
        }
        std::string target(longest_link + 1, '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0) {
            return errno;
        }
        if (static_cast<std::size_t>(length) >= target.size()) {
            return ENAMETOOLONG;
        }
        target.resize(static_cast<std::size_t>(length));
        current = current.parent_path() / fs::path(target);
    }
}

// Removes the temporary file unless it was renamed into place, also when an ending signal
// stops the program meanwhile. Made while the ending signals are held.
class TemporaryFile {
  public:
    TemporaryFile(int folder, std::string name) : folder_(folder), name_(std::move(name)) {
        if (name_.size() >= longest_temporary_name) {
            return;
        }
        for (Pending& file : pending) {
            int free = 0;
            if (file.state.compare_exchange_strong(free, 1, std::memory_order_acquire)) {
                file.folder = folder;
                std::copy(name_.begin(), name_.end(), file.name.begin());
                file.name[name_.size()] = '\0';
                file.state.store(2, std::memory_order_release);
                slot_ = &file;
                return;
            }
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!name_.empty()) {
            const EndingSignalsHeld held;
            ::unlinkat(folder_, name_.c_str(), 0);
            forget();
        }
    }
    [[nodiscard]] const char* name() const { return name_.c_str(); }
    // Renamed into place: no longer this object's to remove. Called while the signals are held.
    void keep() {
        name_.clear();
        forget();
    }

  private:
    void forget() {
        if (slot_ != nullptr) {
            slot_->state.store(0, std::memory_order_release);
            slot_ = nullptr;
        }
    }

    int folder_;
    std::string name_;
    Pending* slot_ = nullptr;
};

// Gives the new file the old one's owner and group where the process may (root may; a user may
// still give it a group of his own) and its permission bits. The owner goes first: changing it
// clears bits that the mode then sets again. The new file is compared with the old one, not with
// the process: in a set-group-ID folder a new file takes the folder's group.
int keep_owner_and_mode(int fd, const struct stat& old) {
    struct stat now {};
    if (::fstat(fd, &now) != 0 || old.st_uid != now.st_uid || old.st_gid != now.st_gid) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
    }
    return ::fchmod(fd, old.st_mode & 0777) == 0 ? 0 : errno;
}

// Writes a new regular file beside the target and renames it over the target. `old` is the
// target as it was, if there was one.
std::optional<std::string> replace(const fs::path& path, int folder, const std::string& name,
                                   const struct stat* old, std::string_view bytes) {
    const auto fail = [&](int err) { return cannot_write(path, system_error(err)); };
    // Readable by the owner only until it holds its final bits: nobody may open it meanwhile and
    // read what follows. A new file gets the usual bits less the umask.
    const mode_t mode = old != nullptr ? 0600 : 0666;
    constexpr int attempts = 100;
    install_cleanup();
    std::optional<EndingSignalsHeld> held{std::in_place};
    std::string temp_name;
    Descriptor file;
    for (int attempt = 0; attempt < attempts && !file.is_open(); ++attempt) {
        temp_name = temporary_name();
        file.reset(::openat(folder, temp_name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!file.is_open() && errno != EEXIST) {
            return fail(errno);
        }
    }
    if (!file.is_open()) {
        return cannot_write(path, "no free name for a temporary file in its folder");
    }
    TemporaryFile temp(folder, std::move(temp_name));
    held.reset();

    if (old != nullptr) {
        if (const int err = keep_owner_and_mode(file.get(), *old)) {
            return fail(err);
        }
    }
    if (const int err = write_all(file.get(), bytes)) {
        return fail(err);
    }
    const auto sync =
        detail::writer_seams.sync_file != nullptr ? detail::writer_seams.sync_file : ::fsync;
    if (sync(file.get()) != 0) {
        return fail(errno);
    }
    if (const int err = file.close()) {
        return fail(err);
    }
    {
        const EndingSignalsHeld held_for_rename;
        if (::renameat(folder, temp.name(), folder, name.c_str()) != 0) {
            return fail(errno);
        }
        temp.keep();
    }
    // The new name is on the disk only once the folder is; some file systems cannot flush a
    // folder and say so, which leaves nothing to do.
    if (::fsync(folder) != 0 && errno != EINVAL && errno != ENOTSUP && errno != EROFS) {
        return fail(errno);
    }
    return std::nullopt;
}

// Writes into a character device or a named pipe as it is, reached the way opening the name
// reaches it (so /dev/stdout works too): replacing it would put a regular file where a device or
// a pipe was. A folder is refused, and so is anything else that is not a regular file.
std::optional<std::string> write_into(const fs::path& path, const struct stat& old,
                                      std::string_view bytes) {
    const auto fail = [&](int err) { return cannot_write(path, system_error(err)); };
    if (S_ISDIR(old.st_mode)) {
        return fail(EISDIR);
    }
    if (!S_ISCHR(old.st_mode) && !S_ISFIFO(old.st_mode)) { // a block device, a socket
        return cannot_write(path, "not a regular file, a device or a pipe");
    }
    // Not blocking on the open: a pipe nobody reads would wait forever.
    Descriptor file(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!file.is_open()) {
        if (errno == ENXIO && S_ISFIFO(old.st_mode)) {
            return cannot_write(path, "no program is reading from the pipe");
        }
        return fail(errno);
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0) {
        return fail(errno);
    }
    if ((opened.st_mode & S_IFMT) != (old.st_mode & S_IFMT)) {
        return cannot_write(path, "it was replaced while being written");
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return fail(errno);
    }
    if (const int err = write_all_without_sigpipe(file.get(), bytes)) {
        return err == EPIPE ? cannot_write(path, "the program reading from the pipe has stopped")
                            : fail(err);
    }
    if (const int err = file.close()) {
        return fail(err);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> write_file_safely(const fs::path& path, std::string_view bytes) {
    const auto fail = [&](int err) { return cannot_write(path, system_error(err)); };
    if (path.empty()) {
        return fail(ENOENT);
    }
    struct stat named {};
    const bool exists = ::stat(path.c_str(), &named) == 0;
    const int missing = errno;
    if (exists && !S_ISREG(named.st_mode)) {
        return write_into(path, named, bytes);
    }
    const fs::path last = path.filename();
    if (last.empty() || last == "." || last == "..") { // "out/": nothing a file could be made as
        return fail(exists ? EISDIR : missing);
    }

    const auto followed = follow_links(path);
    if (const int* err = std::get_if<int>(&followed)) {
        return fail(*err);
    }
    const Place& place = std::get<Place>(followed);
    const Descriptor folder(::open(place.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.is_open()) {
        return fail(errno);
    }

    struct stat old {};
    if (::fstatat(folder.get(), place.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) {
            return fail(errno);
        }
        return replace(path, folder.get(), place.name, nullptr, bytes);
    }
    if (!S_ISREG(old.st_mode)) {
        return cannot_write(path, "it was replaced while being written");
    }
    // A file without any write bit is read-only by intent, also for root; beyond the bits, the
    // system's own check (owner, access lists, read-only mounts) decides.
    if ((old.st_mode & 0222) == 0) {
        return fail(EACCES);
    }
    if (::faccessat(folder.get(), place.name.c_str(), W_OK, AT_EACCESS) != 0) {
        return fail(errno);
    }
    return replace(path, folder.get(), place.name, &old, bytes);
}

} // namespace veltrane
