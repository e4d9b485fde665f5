#pragma once
// Seams of the POSIX safe file writer for tests: the next temporary name, the flush of the new
// file and the writes into a device or a pipe. Each is empty in the program, which then uses
// the system's own; a test sets one, runs the writer and empties it again.

#include <cstddef>
#include <string>

#include <sys/types.h>

namespace veltrane::detail {

struct WriterSeams {
    std::string (*temporary_name)() = nullptr;                    // the name of the next try
    int (*sync_file)(int fd) = nullptr;                           // as fsync on the new file
    ssize_t (*write)(int fd, const void*, std::size_t) = nullptr; // as write into a pipe
};

// The seams the writer uses; all empty unless a test set them.
extern WriterSeams writer_seams;

} // namespace veltrane::detail
