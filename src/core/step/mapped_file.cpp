#include "step/mapped_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "clock.hpp"

namespace quarnel {
namespace {

std::string os_error(int code) {
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    const char* text = strerror_r(code, buf, sizeof buf);
    return std::string(text) + " (os error " + std::to_string(code) + ")";
}

// Closes the descriptor on every path out of open().
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// The mappings open now, by base address and length.
struct OpenMappings {
    std::mutex lock;
    std::vector<std::pair<std::uintptr_t, std::size_t>> ranges;

    void add(const void* base, std::size_t len) {
        std::lock_guard<std::mutex> hold(lock);
        ranges.emplace_back(reinterpret_cast<std::uintptr_t>(base), len);
    }
    void remove(const void* base) {
        std::lock_guard<std::mutex> hold(lock);
        std::erase_if(ranges, [&](const auto& r) { return r.first == reinterpret_cast<std::uintptr_t>(base); });
    }
};

OpenMappings& open_mappings() {
    static OpenMappings* mappings = new OpenMappings;  // never destroyed: files may close during exit
    return *mappings;
}

void unmap(void* base, std::size_t len) {
    open_mappings().remove(base);
    ::munmap(base, len);
}

}  // namespace

bool MappedFile::maps(std::string_view bytes) {
    OpenMappings& m = open_mappings();
    std::lock_guard<std::mutex> hold(m.lock);
    const auto at = reinterpret_cast<std::uintptr_t>(bytes.data());
    return std::any_of(m.ranges.begin(), m.ranges.end(), [&](const auto& r) {
        return at >= r.first && bytes.size() <= r.second && at - r.first <= r.second - bytes.size();
    });
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        if (base_) unmap(base_, mapped_len_);
        base_ = other.base_;
        mapped_len_ = other.mapped_len_;
        size_ = other.size_;
        open_ms_ = other.open_ms_;
        other.base_ = nullptr;
        other.mapped_len_ = 0;
        other.size_ = 0;
    }
    return *this;
}

MappedFile::~MappedFile() {
    if (base_) unmap(base_, mapped_len_);
}

std::optional<MappedFile> MappedFile::open(std::string_view path, std::string& error) {
    const Instant start = Instant::now();
    const std::string p(path);
    if (p.find('\0') != std::string::npos) {
        error = "open " + p + ": file name contained an unexpected NUL byte";
        return std::nullopt;
    }
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
    if (size > static_cast<std::uint64_t>(INT64_MAX)) {
        error = "mmap " + p + ": memory map length overflows isize";
        return std::nullopt;
    }
    const std::size_t len = size == 0 ? 1 : static_cast<std::size_t>(size);
    void* base = ::mmap(nullptr, len, PROT_READ, MAP_SHARED, fd.fd, 0);
    if (base == MAP_FAILED) {
        error = "mmap " + p + ": " + os_error(errno);
        return std::nullopt;
    }
    open_mappings().add(base, len);
    MappedFile file;
    file.base_ = base;
    file.mapped_len_ = len;
    file.size_ = size;
    file.open_ms_ = ms_since(start);
    return file;
}

}  // namespace quarnel
