#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "hash_seed.hpp"

namespace quarnel {

// Open-addressing map from instance id to V: one flat array, linear probing,
// seeded slots (see hash_seed), no allocation per entry. Every id, 0 and 2^64-1 included, is a valid key.
template <class V>
class IdMap {
public:
    explicit IdMap(std::size_t expected = 16) : seed_(hash_seed()) {
        std::size_t capacity = 16;
        while (capacity < expected * 2) capacity *= 2;
        slots_.resize(capacity);
        mask_ = capacity - 1;
    }

    V& operator[](std::uint64_t id) {
        if ((size_ + 1) * 2 > slots_.size()) grow();
        std::size_t s = slot(id);
        while (slots_[s].used && slots_[s].key != id) s = (s + 1) & mask_;
        Slot& e = slots_[s];
        if (!e.used) {
            e.used = true;
            e.key = id;
            e.value = V{};
            ++size_;
        }
        return e.value;
    }

    const V* find(std::uint64_t id) const {
        std::size_t s = slot(id);
        while (slots_[s].used) {
            if (slots_[s].key == id) return &slots_[s].value;
            s = (s + 1) & mask_;
        }
        return nullptr;
    }

    bool contains(std::uint64_t id) const { return find(id) != nullptr; }
    std::size_t size() const { return size_; }

    // f(id, value) over every entry, in slot order (no defined order).
    template <class F>
    void for_each(F&& f) const {
        for (const Slot& e : slots_) {
            if (e.used) f(e.key, e.value);
        }
    }

private:
    // Key, value and flag side by side: a probe reads one cache line, not three.
    struct Slot {
        std::uint64_t key = 0;
        V value{};
        bool used = false;
    };
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
    std::uint64_t seed_;

    std::size_t slot(std::uint64_t id) const { return static_cast<std::size_t>(mix_id(id, seed_)) & mask_; }

    void grow() {
        IdMap bigger(slots_.size());
        for (Slot& e : slots_) {
            if (e.used) bigger[e.key] = std::move(e.value);
        }
        *this = std::move(bigger);
    }
};

}  // namespace quarnel
