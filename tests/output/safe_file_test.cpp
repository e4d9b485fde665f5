// The safe file writer against hostile and unlucky file systems, and two writers racing.

#include "output/safe_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
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
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
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

// What a row's preparation may use: the folder, the user the writer runs as, and what the
// fixture undoes afterwards.
struct Context {
    fs::path dir;
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    int pipe_reader = -1;
    std::vector<fs::path> mounts;
    // Gives an entry to the user the writer runs as.
    void give(const std::string& name) const {
        ASSERT_EQ(::lchown((dir / name).c_str(), uid, gid), 0) << name;
    }
};

enum class Run {
    Here,      // in this process
    AsUser,    // as an unprivileged user: `nobody` when the test runs as root
    SizeLimit, // in a child that may not write files of more than 16 bytes
};

struct Situation {
    const char* name;
    bool needs_root;
    Run run;
    std::string target;
    std::function<void(Context&)> prepare;
    const char* reason;  // the failure's reason, nullptr for success
    std::string written; // the file that must then hold the new bytes, empty for none
};

void PrintTo(const Situation& row, std::ostream* os) {
    *os << row.name;
}

// Runs the writer in a forked child and hands back its answer.
std::optional<std::string> write_in_child(const Situation& row, const Context& ctx) {
    std::array<int, 2> channel{};
    if (::pipe(channel.data()) != 0) {
        return "pipe failed";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        bool ready = true;
        if (row.run == Run::AsUser && is_root()) {
            ready =
                ::setgroups(0, nullptr) == 0 && ::setgid(ctx.gid) == 0 && ::setuid(ctx.uid) == 0;
        }
        if (row.run == Run::SizeLimit) {
            const rlimit limit{16, 16};
            ready = ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
        const auto answer = ready ? write_file_safely(row.target, new_bytes)
                                  : std::optional<std::string>{"could not become the user"};
        const std::string text = answer.value_or("ok");
        const bool sent =
            ::write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(sent ? 0 : 1);
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
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return text == "ok" ? std::nullopt : std::optional<std::string>{text};
}

class SafeFile : public ::testing::TestWithParam<Situation> {
  protected:
    void SetUp() override {
        previous_mask_ = ::umask(022);
        previous_dir_ = fs::current_path();
        fs::current_path(temp_.path());
        ctx_.dir = temp_.path();
        if (is_root()) {
            const passwd* nobody = ::getpwnam("nobody");
            ASSERT_NE(nobody, nullptr) << "no user nobody to run the unprivileged rows as";
            if (GetParam().run == Run::AsUser) {
                ctx_.uid = nobody->pw_uid;
                ctx_.gid = nobody->pw_gid;
            }
        }
    }
    void TearDown() override {
        if (ctx_.pipe_reader >= 0) {
            ::close(ctx_.pipe_reader);
        }
        for (const fs::path& mount : ctx_.mounts) {
            ::umount2(mount.c_str(), MNT_DETACH);
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

    const auto answer = row.run == Run::Here || (row.run == Run::AsUser && !is_root())
                            ? write_file_safely(row.target, new_bytes)
                            : write_in_child(row, ctx_);

    if (row.reason == nullptr) {
        EXPECT_EQ(answer, std::nullopt);
    } else {
        EXPECT_EQ(answer, "Cannot write " + row.target + ": " + row.reason);
    }
    auto after = snapshot(temp_.path());
    if (!row.written.empty()) {
        const auto now = after.find(row.written);
        ASSERT_NE(now, after.end()) << row.written << " is missing";
        EXPECT_EQ(now->second.content, new_bytes);
        const auto old = before.find(row.written);
        const Entry expected =
            old != before.end() ? old->second : Entry{S_IFREG | 0644, ctx_.uid, ctx_.gid, {}};
        EXPECT_EQ(now->second.mode, expected.mode) << "permission bits";
        EXPECT_EQ(now->second.uid, expected.uid) << "owner";
        EXPECT_EQ(now->second.gid, expected.gid) << "group";
        after.erase(now);
        before.erase(row.written);
    }
    if (ctx_.pipe_reader >= 0) {
        std::string got(new_bytes.size() + 1, '\0');
        const ssize_t n = ::read(ctx_.pipe_reader, got.data(), got.size());
        got.resize(n > 0 ? static_cast<std::size_t>(n) : 0U);
        EXPECT_EQ(got, new_bytes) << "what the pipe's reader got";
    }
    EXPECT_EQ(after, before) << "an entry changed, appeared or went";
}

void make_dir(Context& ctx, const std::string& name, fs::perms perms = fs::perms::unknown) {
    fs::create_directory(ctx.dir / name);
    if (perms != fs::perms::unknown) {
        fs::permissions(ctx.dir / name, perms);
    }
}

void make_file(Context& ctx, const std::string& name, fs::perms perms = fs::perms::unknown) {
    write_bytes(ctx.dir / name, old_bytes);
    if (perms != fs::perms::unknown) {
        fs::permissions(ctx.dir / name, perms);
    }
}

void make_fifo(Context& ctx) {
    ASSERT_EQ(::mkfifo((ctx.dir / "pipe").c_str(), 0644), 0);
}

const fs::perms rw_r_r =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;

const Situation situations[] = {
    {"NewFile", false, Run::Here, "Model.prt", [](Context&) {}, nullptr, "Model.prt"},
    {"KeepsPrivateBits", false, Run::Here, "Model.prt",
     [](Context& c) { make_file(c, "Model.prt", fs::perms::owner_read | fs::perms::owner_write); },
     nullptr, "Model.prt"},
    {"KeepsOwnerAndGroup", true, Run::Here, "Model.prt",
     [](Context& c) {
         make_file(c, "Model.prt",
                   fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
         const passwd* nobody = ::getpwnam("nobody");
         ASSERT_NE(nobody, nullptr);
         ASSERT_EQ(::chown("Model.prt", nobody->pw_uid, nobody->pw_gid), 0);
     },
     nullptr, "Model.prt"},
    {"LinksAtOldTemporaryNames", false, Run::Here, "Model.prt",
     [](Context& c) {
         make_dir(c, "victim");
         make_file(c, "victim/important.txt");
         fs::create_symlink("victim/important.txt", "Model.prt.tmp");
         fs::create_symlink("victim/important.txt", ".tmp");
     },
     nullptr, "Model.prt"},
    {"FolderAtOldTemporaryName", false, Run::Here, "Model.prt",
     [](Context& c) {
         make_dir(c, "Model.prt.tmp");
         make_file(c, "Model.prt.tmp/kept");
     },
     nullptr, "Model.prt"},
    {"FolderWithSlash", false, Run::Here, "out/",
     [](Context& c) {
         make_dir(c, "out");
         make_file(c, "out/.tmp");
     },
     "is a directory", ""},
    {"Folder", false, Run::Here, "Model.prt", [](Context& c) { make_dir(c, "Model.prt"); },
     "is a directory", ""},
    {"CharacterDevice", true, Run::Here, "mynull",
     [](Context&) { ASSERT_EQ(::mknod("mynull", S_IFCHR | 0666, makedev(1, 3)), 0); }, nullptr, ""},
    {"PipeWithReader", false, Run::Here, "pipe",
     [](Context& c) {
         make_fifo(c);
         c.pipe_reader = ::open("pipe", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         ASSERT_GE(c.pipe_reader, 0);
     },
     nullptr, ""},
    {"PipeWithoutReader", false, Run::Here, "pipe", make_fifo,
     "no program is reading from the pipe", ""},
    {"ReadOnlyFile", false, Run::Here, "Model.prt",
     [](Context& c) {
         make_file(c, "Model.prt",
                   fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
     },
     "permission denied", ""},
    {"AnotherOwnersFile", true, Run::AsUser, "Model.prt",
     [](Context& c) {
         make_file(c, "Model.prt", rw_r_r); // the test's own: root's
         c.give(".");
     },
     "permission denied", ""},
    {"ReadOnlyFolder", false, Run::AsUser, "ro/Model.prt",
     [](Context& c) {
         make_dir(c, "ro");
         make_file(c, "ro/Model.prt", rw_r_r);
         c.give("ro");
         c.give("ro/Model.prt");
         fs::permissions(c.dir / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                           fs::perms::group_read | fs::perms::group_exec |
                                           fs::perms::others_read | fs::perms::others_exec);
     },
     "permission denied", ""},
    {"FullDisk", true, Run::Here, "full/Model.prt",
     [](Context& c) {
         make_dir(c, "full");
         ASSERT_EQ(::mount("veltrane-test", "full", "tmpfs", 0, "size=4k"), 0)
             << "cannot mount a small tmpfs: " << std::strerror(errno);
         c.mounts.push_back(c.dir / "full");
         make_file(c, "full/Model.prt"); // takes the only page
     },
     "no space left on device", ""},
    {"FileSizeLimit", false, Run::SizeLimit, "Model.prt",
     [](Context& c) { make_file(c, "Model.prt"); }, "file too large", ""},
    {"LongestName", false, Run::Here, std::string(255, 'm'), [](Context&) {}, nullptr,
     std::string(255, 'm')},
    {"NameTooLong", false, Run::Here, std::string(256, 'm'), [](Context&) {}, "file name too long",
     ""},
    {"NonAsciiName", false, Run::Here, "Modèl Ω.prt",
     [](Context& c) { make_file(c, "Modèl Ω.prt"); }, nullptr, "Modèl Ω.prt"},
    {"LinkedReport", false, Run::Here, "Model.prt",
     [](Context& c) {
         make_dir(c, "real");
         make_file(c, "real/Model.prt", fs::perms::owner_read | fs::perms::owner_write);
         fs::create_symlink("real/Model.prt", "Model.prt");
     },
     nullptr, "real/Model.prt"},
    {"HardLinked", false, Run::Here, "Model.prt",
     [](Context& c) {
         make_file(c, "Model.prt");
         fs::create_hard_link("Model.prt", "other.prt");
     },
     nullptr, "Model.prt"},
    {"MissingFolder", false, Run::Here, "missing/run.prt", [](Context&) {},
     "no such file or directory", ""},
    {"StrangersLinkInStickyFolder", true, Run::Here, "shared/Model.prt",
     [](Context& c) {
         make_dir(c, "shared", fs::perms::all | fs::perms::sticky_bit);
         make_file(c, "victim.txt");
         fs::create_symlink("../victim.txt", "shared/Model.prt");
         const passwd* nobody = ::getpwnam("nobody");
         ASSERT_NE(nobody, nullptr);
         ASSERT_EQ(::lchown("shared/Model.prt", nobody->pw_uid, nobody->pw_gid), 0);
     },
     "permission denied", ""},
};

INSTANTIATE_TEST_SUITE_P(Situations, SafeFile, ::testing::ValuesIn(situations),
                         [](const auto& info) { return std::string{info.param.name}; });

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
            if (status[w] == -1 && ::waitpid(writers[w], &status[w], WNOHANG) == 0) {
                status[w] = -1;
            }
        }
    }
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(status, (std::array<int, 2>{0, 0})) << "a writer failed";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

} // namespace
} // namespace veltrane
