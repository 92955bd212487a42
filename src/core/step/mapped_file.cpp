#include "step/mapped_file.hpp"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "clock.hpp"
#include "step/os_mapping.hpp"

namespace quarnel {
namespace {

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

void unmap(const void* base, std::size_t len) {
    // Length 0: nothing was mapped (an empty file on a system that maps none).
    if (len == 0) return;
    open_mappings().remove(base);
    os::unmap(base, len);
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
    const std::optional<os::View> view = os::map_file(p, error);
    if (!view) return std::nullopt;
    if (view->len) open_mappings().add(view->base, view->len);
    MappedFile file;
    file.base_ = view->base;
    file.mapped_len_ = view->len;
    file.size_ = view->size;
    file.open_ms_ = ms_since(start);
    return file;
}

}  // namespace quarnel
