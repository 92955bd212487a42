#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What MappedFile and ResidentTrail ask of the operating system; one source
// file per system implements it (os_mapping_posix.cpp, os_mapping_windows.cpp).
namespace quarnel::os {

struct View {
    const void* base = nullptr;
    std::size_t len = 0;      // bytes mapped; 0 when nothing was (an empty file where the system maps none)
    std::uint64_t size = 0;   // bytes of the file
};

// Maps the whole file read-only. On failure `error` holds the whole message
// ("open <path>: ..." or "mmap <path>: ...").
std::optional<View> map_file(const std::string& path, std::string& error);

// Unmaps a view that map_file made with a nonzero length.
void unmap(const void* base, std::size_t len);

std::size_t page_size();

// Lets the whole pages in [base, base + len) of a mapped file leave the
// process's resident set; the file's bytes stay readable. Advice only.
void release_pages(const void* base, std::size_t len);

// Asks for huge pages behind the anonymous memory [base, base + len) (whole huge pages):
// fewer faults when a large column is first written. Advice only; nothing where the system has none.
void prefer_huge_pages(const void* base, std::size_t len);

}  // namespace quarnel::os
