// The safe file writer against hostile and unlucky file systems, and two writers racing.

#include "io/reason_text.h"
#include "io/safe_file.h"
#include "io/safe_file_seams.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrane {
namespace {

namespace fs = std::filesystem;
using testing::read_bytes;
using testing::TempDir;
using testing::write_bytes;

const std::string old_bytes = "old report\r\n";
const std::string new_bytes = [] {
    std::string bytes;
    for (int line = 0; line < 18; ++line) {
        bytes += "        new report, line " + std::to_string(line) + "\r\n";
    }
    return bytes;
}();

bool is_root() {
    return ::geteuid() == 0;
}

// Everything of an entry that the writer could change, except its link count.
struct Entry {
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string content; // a regular file's bytes, a link's target
    friend bool operator==(const Entry&, const Entry&) = default;
};

void PrintTo(const Entry& entry, std::ostream* os) {
    *os << "mode " << std::oct << entry.mode << std::dec << ", owner " << entry.uid << ":"
        << entry.gid << ", " << entry.content.size() << " bytes";
}

std::map<std::string, Entry> snapshot(const fs::path& root) {
    std::map<std::string, Entry> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        struct stat st {};
        EXPECT_EQ(::lstat(it->path().c_str(), &st), 0) << it->path();
        Entry entry{st.st_mode, st.st_uid, st.st_gid, {}};
        if (S_ISREG(st.st_mode)) {
            entry.content = read_bytes(it->path());
        } else if (S_ISLNK(st.st_mode)) {
            entry.content = fs::read_symlink(it->path()).native();
        }
        tree[fs::relative(it->path(), root).native()] = entry;
    }
    return tree;
}

// What a row's preparation may use: the folder, the user the writer runs as, what to undo.
struct Context {
    fs::path dir;
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    int pipe_reader = -1;
    bool mounted = false; // a small tmpfs on "full"
    // Gives an entry to the user the writer runs as.
    void give(const char* name) const {
        ASSERT_EQ(::lchown((dir / name).c_str(), uid, gid), 0) << name;
    }
};

struct Situation {
    const char* name;
    bool needs_root;
    bool as_user; // run the writer as an unprivileged user: `nobody` when the test runs as root
    std::string target;
    std::function<void(Context&)> prepare;
    const char* reason;  // the failure's reason, nullptr for success
    std::string written; // the file that must then hold the new bytes, empty for none
};

void PrintTo(const Situation& row, std::ostream* os) {
    *os << row.name;
}

// Runs the writer as the context's user in a forked child and hands back its answer.
std::optional<std::string> write_as_user(const std::string& target, const Context& ctx) {
    std::array<int, 2> channel{};
    EXPECT_EQ(::pipe(channel.data()), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ready =
            ::setgroups(0, nullptr) == 0 && ::setgid(ctx.gid) == 0 && ::setuid(ctx.uid) == 0;
        const std::string text =
            ready ? write_file_safely(target, new_bytes).value_or("ok") : "not the user";
        ::_exit(::write(channel[1], text.data(), text.size()) == std::ssize(text) ? 0 : 1);
    }
    ::close(channel[1]);
    std::string text;
    std::array<char, 512> buffer{};
    for (ssize_t n; (n = ::read(channel[0], buffer.data(), buffer.size())) > 0;) {
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0) << "the writer's process";
    return text == "ok" ? std::nullopt : std::optional<std::string>{text};
}

class SafeFile : public ::testing::TestWithParam<Situation> {
  protected:
    void SetUp() override {
        previous_mask_ = ::umask(002); // a group's write bit kept: 0666, not 0644, less it
        previous_dir_ = fs::current_path();
        fs::current_path(temp_.path());
        ctx_.dir = temp_.path();
        if (is_root() && GetParam().as_user) {
            const passwd* nobody = ::getpwnam("nobody");
            ASSERT_NE(nobody, nullptr) << "no user nobody to run the unprivileged rows as";
            ctx_.uid = nobody->pw_uid;
            ctx_.gid = nobody->pw_gid;
        }
    }
    void TearDown() override {
        if (ctx_.pipe_reader >= 0) {
            ::close(ctx_.pipe_reader);
        }
        if (ctx_.mounted) {
            ::umount2((temp_.path() / "full").c_str(), MNT_DETACH);
        }
        for (const auto& entry : fs::recursive_directory_iterator(temp_.path())) {
            if (entry.is_directory(ignored_) && !entry.is_symlink(ignored_)) {
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add,
                                ignored_);
            }
        }
        fs::current_path(previous_dir_);
        ::umask(previous_mask_);
    }
    TempDir temp_;
    Context ctx_;
    fs::path previous_dir_;
    mode_t previous_mask_ = 0;
    std::error_code ignored_;
};

TEST_P(SafeFile, StatusMessageAndNothingElseChanged) {
    const Situation& row = GetParam();
    if (row.needs_root && !is_root()) {
        GTEST_SKIP() << row.name << " could not run: it needs root to prepare the folder";
    }
    ASSERT_NO_FATAL_FAILURE(row.prepare(ctx_));
    auto before = snapshot(temp_.path());

    const auto answer = row.as_user && is_root() ? write_as_user(row.target, ctx_)
                                                 : write_file_safely(row.target, new_bytes);

    if (row.reason == nullptr) {
        EXPECT_EQ(answer, std::nullopt);
    } else {
        EXPECT_EQ(answer, "Cannot write " + row.target + ": " + row.reason);
    }
    auto after = snapshot(temp_.path());
    if (!row.written.empty()) {
        const auto now = after.find(row.written);
        ASSERT_NE(now, after.end()) << row.written << " is missing";
        // A replaced file keeps its bits and owner; a new one has the usual bits less the umask.
        const auto old = before.find(row.written);
        Entry expected =
            old != before.end() ? old->second : Entry{S_IFREG | 0664, ctx_.uid, ctx_.gid, {}};
        expected.content = new_bytes;
        EXPECT_EQ(now->second, expected);
        after.erase(now);
        before.erase(row.written);
    }
    if (ctx_.pipe_reader >= 0) {
        std::string got(new_bytes.size() + 1, '\0');
        got.resize(static_cast<std::size_t>(
            std::max<ssize_t>(0, ::read(ctx_.pipe_reader, got.data(), got.size()))));
        EXPECT_EQ(got, new_bytes) << "what the pipe's reader got";
    }
    EXPECT_EQ(after, before) << "an entry changed, appeared or went";
}

void make_dir(Context& ctx, const char* name) {
    fs::create_directory(ctx.dir / name);
}

void make_file(Context& ctx, const char* name, fs::perms perms = fs::perms::unknown) {
    write_bytes(ctx.dir / name, old_bytes);
    if (perms != fs::perms::unknown) {
        fs::permissions(ctx.dir / name, perms);
    }
}

void make_fifo(Context& ctx) {
    ASSERT_EQ(::mkfifo((ctx.dir / "pipe").c_str(), 0644), 0);
}

void give_to_nobody(const char* name) {
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(::lchown(name, nobody->pw_uid, nobody->pw_gid), 0);
}

using enum fs::perms;
const fs::perms rw_r_r = owner_read | owner_write | group_read | others_read;

const Situation situations[] = {
    {"KeepsOwnerAndGroup", true, false, "Model.prt",
     [](Context& c) {
         make_file(c, "Model.prt", owner_read | owner_write | group_read);
         give_to_nobody("Model.prt");
     },
     nullptr, "Model.prt"},
    {"KeepsGroupInSetGroupIdFolder", true, false, "shared/Model.prt",
     [](Context& c) {
         // New files in this folder take nobody's group; the old report has the writer's.
         make_dir(c, "shared");
         give_to_nobody("shared");
         ASSERT_EQ(::lchown("shared", c.uid, static_cast<gid_t>(-1)), 0);
         ASSERT_EQ(::chmod("shared", 02775), 0);
         make_file(c, "shared/Model.prt", owner_read | owner_write | group_read);
         ASSERT_EQ(::lchown("shared/Model.prt", c.uid, c.gid), 0);
     },
     nullptr, "shared/Model.prt"},
    {"LinkAtOldTemporaryName", false, false, "Model.prt",
     [](Context& c) {
         make_dir(c, "victim");
         make_file(c, "victim/important.txt");
         fs::create_symlink("victim/important.txt", "Model.prt.tmp");
     },
     nullptr, "Model.prt"},
    {"FolderAtOldTemporaryName", false, false, "Model.prt",
     [](Context& c) { make_dir(c, "Model.prt.tmp"); }, nullptr, "Model.prt"},
    {"FolderWithSlash", false, false, "out/",
     [](Context& c) {
         make_dir(c, "out");
         make_file(c, "out/.tmp");
     },
     "is a directory", ""},
    {"Folder", false, false, "Model.prt", [](Context& c) { make_dir(c, "Model.prt"); },
     "is a directory", ""},
    {"CharacterDevice", true, false, "mynull",
     [](Context&) { ASSERT_EQ(::mknod("mynull", S_IFCHR | 0666, makedev(1, 3)), 0); }, nullptr, ""},
    {"PipeWithReader", false, false, "pipe",
     [](Context& c) {
         make_fifo(c);
         c.pipe_reader = ::open("pipe", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         ASSERT_GE(c.pipe_reader, 0);
     },
     nullptr, ""},
    {"PipeWithoutReader", false, false, "pipe", make_fifo, "no program is reading from the pipe",
     ""},
    {"ReadOnlyFile", false, false, "Model.prt",
     [](Context& c) { make_file(c, "Model.prt", owner_read | group_read | others_read); },
     "permission denied", ""},
    {"AnotherOwnersFile", true, true, "Model.prt",
     [](Context& c) {
         make_file(c, "Model.prt", rw_r_r); // root's, in the user's folder
         c.give(".");
     },
     "permission denied", ""},
    {"ReadOnlyFolder", false, true, "ro/Model.prt",
     [](Context& c) {
         make_dir(c, "ro");
         make_file(c, "ro/Model.prt", rw_r_r);
         c.give("ro");
         c.give("ro/Model.prt");
         fs::permissions(c.dir / "ro", owner_write | group_write | others_write,
                         fs::perm_options::remove);
     },
     "permission denied", ""},
    {"FullDiskWithOldReport", true, false, "full/Model.prt",
     [](Context& c) {
         make_dir(c, "full");
         ASSERT_EQ(::mount("veltrane-test", "full", "tmpfs", 0, "size=4k"), 0)
             << "cannot mount a small tmpfs: " << std::strerror(errno);
         c.mounted = true;
         make_file(c, "full/Model.prt"); // takes the only page
     },
     "no space left on device", ""},
    {"LongestName", false, false, std::string(255, 'm'), [](Context&) {}, nullptr,
     std::string(255, 'm')},
    {"NonAsciiName", false, false, "Modèl Ω.prt", [](Context& c) { make_file(c, "Modèl Ω.prt"); },
     nullptr, "Modèl Ω.prt"},
    {"LinkedReport", false, false, "Model.prt",
     [](Context& c) {
         make_dir(c, "real");
         make_file(c, "real/Model.prt", owner_read | owner_write);
         fs::create_symlink("real/Model.prt", "Model.prt");
     },
     nullptr, "real/Model.prt"},
    {"ChainedLinks", false, false, "Model.prt",
     [](Context& c) {
         make_dir(c, "real");
         make_file(c, "real/Model.prt", rw_r_r);
         fs::create_symlink("real/Model.prt", "middle.prt");
         fs::create_symlink("middle.prt", "Model.prt");
     },
     nullptr, "real/Model.prt"},
    {"RelativeLinkInAFolder", false, false, "sub/Model.prt",
     [](Context& c) {
         make_dir(c, "sub");
         make_file(c, "sub/real.prt", rw_r_r);
         fs::create_symlink("real.prt", "sub/Model.prt");
     },
     nullptr, "sub/real.prt"},
    {"WritableByItsGroupOnlyAsRoot", true, false, "Model.prt",
     [](Context& c) {
         make_file(c, "Model.prt", owner_read | group_read | group_write | others_read);
     },
     nullptr, "Model.prt"},
    {"ExecutableReport", false, false, "Model.prt",
     [](Context& c) { make_file(c, "Model.prt", owner_all | group_read | group_exec); }, nullptr,
     "Model.prt"},
    {"HardLinked", false, false, "Model.prt",
     [](Context& c) {
         make_file(c, "Model.prt");
         fs::create_hard_link("Model.prt", "other.prt");
     },
     nullptr, "Model.prt"},
    {"StrangersLinkInStickyFolder", true, false, "shared/Model.prt",
     [](Context& c) {
         make_dir(c, "shared");
         fs::permissions("shared", all | sticky_bit);
         make_file(c, "victim.txt");
         fs::create_symlink("../victim.txt", "shared/Model.prt");
         give_to_nobody("shared/Model.prt");
     },
     "permission denied", ""},
    {"FolderOwnersLinkInStickyFolder", true, false, "shared/Model.prt",
     [](Context& c) {
         make_dir(c, "shared");
         fs::permissions("shared", all | sticky_bit);
         give_to_nobody("shared");
         make_file(c, "report.prt");
         fs::create_symlink("../report.prt", "shared/Model.prt");
         give_to_nobody("shared/Model.prt");
     },
     nullptr, "report.prt"},
};

INSTANTIATE_TEST_SUITE_P(Situations, SafeFile, ::testing::ValuesIn(situations),
                         [](const auto& info) { return std::string{info.param.name}; });

// What the system does to the writer only by bad luck, through the writer's seams: a taken
// temporary name, a flush that fails, a pipe's reader that goes while it is written to. The old
// report stays whole, nothing else is left behind, and the message names the reason.
constexpr const char* taken_name = ".veltrane-takentakenta.tmp";
int name_calls = 0;
std::string taken_then_free() {
    return ++name_calls == 1 ? taken_name : ".veltrane-freefreefree.tmp";
}
std::string always_taken() {
    return taken_name;
}
int failing_sync(int /*fd*/) {
    errno = EIO;
    return -1;
}
ssize_t reader_leaves(int fd, const void* bytes, std::size_t size) {
    if (++name_calls == 1) {
        return ::write(fd, bytes, std::min<std::size_t>(size, 10));
    }
    errno = EPIPE;
    return -1;
}

ssize_t writes_nothing(int /*fd*/, const void* /*bytes*/, std::size_t /*size*/) {
    return 0;
}

struct Mishap {
    const char* name;
    detail::WriterSeams seams;
    bool pipe; // the target is a pipe with a reader; else a report and a file at the taken name
    const char* reason; // nullptr for success
};

TEST(SafeFileMishap, OldReportKeptAndReasonGiven) {
    const Mishap mishaps[] = {
        {"TakenTemporaryNameTriesAnother", {&taken_then_free, nullptr, nullptr}, false, nullptr},
        {"NoFreeTemporaryName",
         {&always_taken, nullptr, nullptr},
         false,
         "no free name for a temporary file in its folder"},
        {"FlushFails", {nullptr, &failing_sync, nullptr}, false, "input/output error"},
        {"WriteOfNothingIsAnError",
         {nullptr, nullptr, &writes_nothing},
         false,
         "input/output error"},
        {"ReaderLeavesMidWrite",
         {nullptr, nullptr, &reader_leaves},
         true,
         "the program reading from the pipe has stopped"},
    };
    for (const Mishap& row : mishaps) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const fs::path target = dir / (row.pipe ? "pipe" : "Model.prt");
        int reader = -1;
        if (row.pipe) {
            ASSERT_EQ(::mkfifo(target.c_str(), 0644), 0);
            reader = ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            ASSERT_GE(reader, 0);
        } else {
            write_bytes(target, old_bytes);
            write_bytes(dir / taken_name, "someone else's\n");
        }
        const auto before = snapshot(dir.path());
        name_calls = 0;
        detail::writer_seams = row.seams;
        const auto answer = write_file_safely(target, new_bytes);
        detail::writer_seams = {};
        if (reader >= 0) {
            ::close(reader);
        }
        auto after = snapshot(dir.path());
        if (row.reason == nullptr) {
            EXPECT_EQ(answer, std::nullopt);
            ASSERT_TRUE(after.contains("Model.prt"));
            EXPECT_EQ(after["Model.prt"].content, new_bytes);
            after["Model.prt"].content = old_bytes;
        } else {
            EXPECT_EQ(answer, "Cannot write " + target.string() + ": " + row.reason);
        }
        EXPECT_EQ(after, before) << "an entry changed, appeared or went";
    }
}

// The system's text after the colon of a message: in lower case, without the full stop, spaces
// and line end a system may close it with.
TEST(ReasonText, SystemTextAfterAColon) {
    const std::pair<std::string, std::string> rows[] = {
        {"Access is denied.\r\n", "access is denied"},
        {"There is not enough space on the disk. ", "there is not enough space on the disk"},
        {"input/output error", "input/output error"},
        {"E", "e"},
        {".\r\n", ""},
    };
    for (const auto& [text, reason] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(reason_text(text), reason);
    }
}

// Two processes replace one report over and over with reports of different lengths while this
// one reads it: every read sees one whole report, and no temporary file is left behind.
TEST(SafeFileRace, EveryReadSeesOneWholeReport) {
    TempDir dir;
    const fs::path target = dir / "Model.prt";
    const std::array<std::string, 2> reports = {new_bytes, old_bytes + old_bytes};
    write_bytes(target, reports[1]);
    constexpr int writes = 300;
    std::array<pid_t, 2> writers{};
    for (std::size_t w = 0; w < writers.size(); ++w) {
        writers[w] = ::fork();
        if (writers[w] == 0) {
            int failures = 0;
            for (int i = 0; i < writes; ++i) {
                failures += write_file_safely(target, reports[w]).has_value() ? 1 : 0;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        ASSERT_GT(writers[w], 0);
    }
    int reads = 0;
    int torn = 0;
    std::array<int, 2> status{-1, -1};
    while (status[0] == -1 || status[1] == -1) {
        const std::string seen = read_bytes(target);
        torn += seen == reports[0] || seen == reports[1] ? 0 : 1;
        ++reads;
        for (std::size_t w = 0; w < writers.size(); ++w) {
            if (status[w] == -1) {
                const pid_t ended = ::waitpid(writers[w], &status[w], WNOHANG);
                status[w] = ended == writers[w] ? status[w] : ended == 0 ? -1 : -2;
            }
        }
    }
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(status, (std::array<int, 2>{0, 0})) << "a writer failed";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A writer ended by a signal while it replaces a report over and over: the signals that ask a
// program to stop leave no temporary file; SIGKILL may leave one, recognisable by its name; a
// signal the program ignores (as under nohup) stays ignored and the writes finish.
struct Interruption {
    const char* name;
    int signal;
    bool ignored;          // the writer's process ignores the signal from the start
    bool may_leave_a_file; // a hard kill: at most one temporary file
};

void PrintTo(const Interruption& row, std::ostream* os) {
    *os << row.name;
}

class InterruptedWriter : public ::testing::TestWithParam<Interruption> {};

bool is_temporary_name(const std::string& name) {
    constexpr std::string_view prefix = ".veltrane-";
    constexpr std::string_view suffix = ".tmp";
    return name.size() == prefix.size() + 12 + suffix.size() && name.starts_with(prefix) &&
           name.ends_with(suffix);
}

TEST_P(InterruptedWriter, LeavesNoTemporaryFile) {
    const Interruption& row = GetParam();
    TempDir dir;
    const fs::path target = dir / "Model.prt";
    const std::string big(std::size_t{8} << 20, 'x');
    constexpr int writes = 40;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (row.ignored) {
            ::signal(row.signal, SIG_IGN);
        }
        for (int i = 0; i < writes; ++i) {
            if (write_file_safely(target, big)) {
                ::_exit(3);
            }
        }
        ::_exit(0);
    }
    // Waits until a temporary file exists, so that the signal comes in the middle of a write.
    bool seen = false;
    for (int tries = 0; tries < 200000 && !seen; ++tries) {
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            seen = seen || is_temporary_name(entry.path().filename().native());
        }
    }
    EXPECT_TRUE(seen) << "no temporary file was seen";
    ASSERT_EQ(::kill(child, row.signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (row.ignored) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    } else {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == row.signal) << "status " << status;
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        if (entry.path() != target) {
            left.push_back(entry.path().filename().native());
        }
    }
    if (row.may_leave_a_file) {
        EXPECT_LE(left.size(), 1U);
        for (const std::string& name : left) {
            EXPECT_TRUE(is_temporary_name(name)) << name;
        }
    } else {
        EXPECT_EQ(left, std::vector<std::string>{});
    }
}

const Interruption interruptions[] = {
    {"Term", SIGTERM, false, false},  {"Interrupt", SIGINT, false, false},
    {"HangUp", SIGHUP, false, false}, {"HangUpIgnored", SIGHUP, true, false},
    {"Kill", SIGKILL, false, true},
};

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedWriter, ::testing::ValuesIn(interruptions),
                         [](const auto& info) { return std::string{info.param.name}; });

} // namespace
} // namespace veltrane
