#if !defined(_WIN32)
#include "step/os_mapping.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarnel::os {
namespace {

// Either flavour of strerror_r: GNU's may return a static string instead of
// filling buf, XSI's returns 0 and fills it.
[[maybe_unused]] const char* error_text(int result, const char* buf) { return result == 0 ? buf : "Unknown error"; }
[[maybe_unused]] const char* error_text(const char* result, const char*) { return result; }

std::string os_error(int code) {
    char buf[256] = {};
    return std::string(error_text(strerror_r(code, buf, sizeof buf), buf)) + " (os error " + std::to_string(code) + ")";
}

// Closes the descriptor on every path out of map_file().
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::optional<View> map_file(const std::string& p, std::string& error) {
    // O_NONBLOCK: a FIFO or device must not block the caller here; it then fails at mmap.
    Fd fd{::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (fd.fd < 0) {
        error = "open " + p + ": " + os_error(errno);
        return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd.fd, &st) != 0) {
        error = "mmap " + p + ": " + os_error(errno);
        return std::nullopt;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > static_cast<std::uint64_t>(INT64_MAX) || static_cast<std::size_t>(size) != size) {
        error = "mmap " + p + ": memory map length overflows isize";
        return std::nullopt;
    }
    // A zero-length mapping is not allowed: an empty file maps one byte (never read).
    const std::size_t len = size == 0 ? 1 : static_cast<std::size_t>(size);
    void* base = ::mmap(nullptr, len, PROT_READ, MAP_SHARED, fd.fd, 0);
    if (base == MAP_FAILED) {
        error = "mmap " + p + ": " + os_error(errno);
        return std::nullopt;
    }
    return View{base, len, size};
}

void unmap(const void* base, std::size_t len) { ::munmap(const_cast<void*>(base), len); }

std::size_t page_size() {
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return page;
}

void release_pages(const void* base, std::size_t len) {
    // The page cache keeps the file's pages, so a later read faults them back cheaply.
    ::madvise(const_cast<void*>(base), len, MADV_DONTNEED);
}

void prefer_huge_pages(const void* base, std::size_t len) {
#ifdef MADV_HUGEPAGE
    ::madvise(const_cast<void*>(base), len, MADV_HUGEPAGE);
#else
    (void)base, (void)len;
#endif
}

}  // namespace quarnel::os
#endif
