#include "io/same_file.h"

#include <system_error>

namespace veltrane {

namespace {

namespace fs = std::filesystem;

// The path a write to `path` would create: a symbolic link is followed (also a dangling one, as
// the writer follows it), then the existing part is resolved.
fs::path would_create(const fs::path& path) {
    std::error_code error;
    fs::path followed = fs::absolute(path, error);
    if (error) {
        return path.lexically_normal();
    }
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(followed, error)); ++hops) {
        const fs::path target = fs::read_symlink(followed, error);
        if (error) {
            break;
        }
        followed = target.is_absolute() ? target : followed.parent_path() / target;
    }
    const fs::path canonical = fs::weakly_canonical(followed, error);
    return error ? followed.lexically_normal() : canonical;
}

} // namespace

bool same_file(const fs::path& a, const fs::path& b) {
    std::error_code error_a;
    std::error_code error_b;
    if (fs::exists(a, error_a) && fs::exists(b, error_b)) {
        std::error_code error;
        const bool equivalent = fs::equivalent(a, b, error);
        if (!error) {
            return equivalent;
        }
    }
    return would_create(a) == would_create(b);
}

} // namespace veltrane
