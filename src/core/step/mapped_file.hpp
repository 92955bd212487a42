#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel {

// Read-only mapping of a whole file for the duration of one call. Move-only;
// every view handed out borrows from it and must not outlive it.
class MappedFile {
public:
    MappedFile() = default;
    MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::string_view bytes() const { return {static_cast<const char*>(base_), size_}; }
    std::uint64_t size() const { return size_; }
    double open_ms() const { return open_ms_; }

    // On failure `error` holds the whole message ("open <path>: ..." or "mmap <path>: ...").
    static std::optional<MappedFile> open(std::string_view path, std::string& error);

    // Whether `bytes` lie inside a mapping open now: only there may a walk give
    // pages back (dropping pages of ordinary memory would zero it).
    static bool maps(std::string_view bytes);

private:
    const void* base_ = nullptr;
    std::size_t mapped_len_ = 0;  // 0 where nothing was mapped (an empty file on Windows)
    std::uint64_t size_ = 0;
    double open_ms_ = 0.0;
};

}  // namespace quarnel
