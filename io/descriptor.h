#pragma once
// An open POSIX file descriptor, closed once: the one guard of the safe writer and of the
// measured-file reader. Header only, so that a library reading files needs nothing else of io/.

#ifndef _WIN32

#include <cerrno>
#include <utility>

#include <unistd.h>

namespace veltrane {

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool is_open() const { return fd_ >= 0; }
    void reset(int fd) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Closes now; returns 0 or the error, which is where a delayed write error shows.
    int close() {
        const int result = ::close(std::exchange(fd_, -1));
        return result == 0 || errno == EINTR ? 0 : errno;
    }

  private:
    int fd_;
};

} // namespace veltrane

#endif
