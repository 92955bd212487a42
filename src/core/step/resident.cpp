#include "step/resident.hpp"

#include <cstdint>
#include <limits>

#include "step/mapped_file.hpp"
#include "step/os_mapping.hpp"

namespace quarnel {
namespace {

std::uintptr_t page_size() { return static_cast<std::uintptr_t>(os::page_size()); }

// Only whole pages inside [begin, end) are dropped: the pages at either edge may
// hold bytes another walk is reading.
void drop_range(const char* begin, const char* end) {
    const std::uintptr_t page = page_size();
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
    const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(end) & ~(page - 1);
    // Advice only: a failure changes nothing but the resident size.
    if (last > first) os::release_pages(reinterpret_cast<const void*>(first), last - first);
}

}  // namespace

ResidentTrail::ResidentTrail(std::string_view file, std::size_t from)
    : file_(file), begin_(from), next_(std::numeric_limits<std::size_t>::max()), reached_(from),
      mapped_(MappedFile::maps(file)) {
    if (mapped_) next_ = from + kWindow;
}

void ResidentTrail::drop_before(std::size_t offset) {
    if (offset > file_.size()) offset = file_.size();
    drop_range(file_.data() + begin_, file_.data() + offset);
    begin_ = offset;
    next_ = offset + kWindow;
}

void ResidentTrail::drop_all(std::string_view file) {
    if (file.empty() || !MappedFile::maps(file)) return;
    const std::uintptr_t page = page_size();
    const auto begin = reinterpret_cast<std::uintptr_t>(file.data()) & ~(page - 1);
    drop_range(reinterpret_cast<const char*>(begin), file.data() + file.size() + page - 1);
}

}  // namespace quarnel
