#pragma once
#include <cstdint>
#include <utility>
#include <vector>

namespace quarnel {

// Open-addressing map from instance id to V: flat arrays, linear probing,
// no allocation per entry. Every id, 0 and 2^64-1 included, is a valid key.
template <class V>
class IdMap {
public:
    explicit IdMap(std::size_t expected = 16) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        keys_.resize(capacity);
        values_.resize(capacity);
        used_.assign(capacity, 0);
        mask_ = capacity - 1;
    }

    V& operator[](std::uint64_t id) {
        if ((size_ + 1) * 2 > keys_.size()) grow();
        std::size_t s = slot(id);
        while (used_[s] && keys_[s] != id) s = (s + 1) & mask_;
        if (!used_[s]) {
            used_[s] = 1;
            keys_[s] = id;
            values_[s] = V{};
            ++size_;
        }
        return values_[s];
    }

    const V* find(std::uint64_t id) const {
        std::size_t s = slot(id);
        while (used_[s]) {
            if (keys_[s] == id) return &values_[s];
            s = (s + 1) & mask_;
        }
        return nullptr;
    }

    bool contains(std::uint64_t id) const { return find(id) != nullptr; }
    std::size_t size() const { return size_; }

    // f(id, value) over every entry, in slot order (no defined order).
    template <class F>
    void for_each(F&& f) const {
        for (std::size_t s = 0; s < keys_.size(); ++s) {
            if (used_[s]) f(keys_[s], values_[s]);
        }
    }

private:
    std::vector<std::uint64_t> keys_;
    std::vector<V> values_;
    std::vector<std::uint8_t> used_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;

    std::size_t slot(std::uint64_t id) const { return (id * 0x9E3779B97F4A7C15ULL >> 17) & mask_; }

    void grow() {
        IdMap bigger(keys_.size());
        for (std::size_t s = 0; s < keys_.size(); ++s) {
            if (used_[s]) bigger[keys_[s]] = std::move(values_[s]);
        }
        *this = std::move(bigger);
    }
};

}  // namespace quarnel
