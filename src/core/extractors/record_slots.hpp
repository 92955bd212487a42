#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace quarnel {

// A number per record position, 0 until set: what a pass keeps per instance
// by position, where ids near each other stay near each other and a hash map
// would scatter every lookup. calloc: the system zeroes the pages as they are
// touched, so no pass pays for a memset of the whole array.
class RecordSlots {
public:
    explicit RecordSlots(std::size_t records)
        : at_(static_cast<std::uint32_t*>(std::calloc(records + 1, sizeof(std::uint32_t)))) {
        if (!at_) throw std::bad_alloc();
    }
    std::uint32_t& operator[](std::uint32_t position) { return at_[position]; }
    std::uint32_t operator[](std::uint32_t position) const { return at_[position]; }

private:
    struct Free {
        void operator()(std::uint32_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint32_t[], Free> at_;
};

}  // namespace quarnel
