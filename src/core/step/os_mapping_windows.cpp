#if defined(_WIN32)
#include "step/os_mapping.hpp"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

namespace quarnel::os {
namespace {

// The system's text for `code`, as UTF-8 without the trailing line break,
// then " (os error N)": the shape the POSIX build gives.
std::string os_error(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (n > 0 && text) {
        DWORD len = n;
        while (len > 0 && (text[len - 1] == L'\r' || text[len - 1] == L'\n' || text[len - 1] == L' ')) --len;
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
        if (bytes > 0) {
            out.resize(static_cast<std::size_t>(bytes));
            WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(len), out.data(), bytes, nullptr, nullptr);
        }
    }
    if (text) LocalFree(text);
    if (out.empty()) out = "Unknown error";
    return out + " (os error " + std::to_string(code) + ")";
}

// Paths arrive as UTF-8; the wide API takes every name the file system holds.
bool widen(const std::string& path, std::wstring& out) {
    if (path.empty()) return true;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), out.data(), n) == n;
}

// Closes a handle on every path out of map_file().
struct Handle {
    HANDLE h = nullptr;
    ~Handle() {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

// What an empty file's view points at: Windows maps no empty file, and no byte of it is read.
const char kEmpty = 0;

}  // namespace

std::optional<View> map_file(const std::string& p, std::string& error) {
    std::wstring wide;
    if (p.size() > 0x7fffffff || !widen(p, wide)) {
        error = "open " + p + ": " + os_error(ERROR_NO_UNICODE_TRANSLATION);
        return std::nullopt;
    }
    // Others may read, write, rename or delete the file meanwhile, as on POSIX systems;
    // the view keeps the bytes it maps.
    Handle file{CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) {
        error = "open " + p + ": " + os_error(GetLastError());
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (GetFileType(file.h) != FILE_TYPE_DISK) {
        error = "mmap " + p + ": " + os_error(ERROR_INVALID_FUNCTION);
        return std::nullopt;
    }
    if (!GetFileSizeEx(file.h, &size)) {
        error = "mmap " + p + ": " + os_error(GetLastError());
        return std::nullopt;
    }
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    if (bytes > static_cast<std::uint64_t>(INT64_MAX) || static_cast<std::size_t>(bytes) != bytes) {
        error = "mmap " + p + ": memory map length overflows isize";
        return std::nullopt;
    }
    if (bytes == 0) return View{&kEmpty, 0, 0};
    Handle mapping{CreateFileMappingW(file.h, nullptr, PAGE_READONLY, 0, 0, nullptr)};
    if (!mapping.h) {
        error = "mmap " + p + ": " + os_error(GetLastError());
        return std::nullopt;
    }
    // The view holds the mapping and the file open by itself; both handles close here.
    const void* base = MapViewOfFile(mapping.h, FILE_MAP_READ, 0, 0, 0);
    if (!base) {
        error = "mmap " + p + ": " + os_error(GetLastError());
        return std::nullopt;
    }
    return View{base, static_cast<std::size_t>(bytes), bytes};
}

void unmap(const void* base, std::size_t) { UnmapViewOfFile(base); }

std::size_t page_size() {
    static const std::size_t page = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return static_cast<std::size_t>(info.dwPageSize);
    }();
    return page;
}

void release_pages(const void* base, std::size_t len) {
    // Unlocking pages that are not locked takes them out of the working set; the
    // standby list keeps the file's pages, so a later read faults them back cheaply.
    VirtualUnlock(const_cast<void*>(base), len);
}

// Large pages on Windows need a privilege and VirtualAlloc of their own: no advice to give.
void prefer_huge_pages(const void*, std::size_t) {}

}  // namespace quarnel::os
#endif
