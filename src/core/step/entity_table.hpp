#pragma once
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "step/resident.hpp"
#include "step/text.hpp"

namespace quarnel {

// A 16-bit digest of a type name, the same in any letter case, from its
// length and a few of its bytes. A pass that looks for a few types compares
// digests and reads the record and the name only when one matches: most
// records are then passed over without touching either.
constexpr std::uint16_t type_tag(std::string_view name) {
    const auto up = [](char c) -> std::uint32_t { return static_cast<unsigned char>(ascii_upper(c)); };
    const std::size_t n = name.size();
    std::uint32_t h = static_cast<std::uint32_t>(n) * 0x9E3779B1u;
    if (n > 3) h = (h ^ up(name[3])) * 0x85EBCA77u;
    if (n > 0) h = (h ^ up(name[n / 2])) * 0xC2B2AE3Du;
    if (n > 1) h = (h ^ up(name[n - 2]) << 8 ^ up(name[n - 1])) * 0x27D4EB2Fu;
    return static_cast<std::uint16_t>(h ^ (h >> 16));
}

// 24 bytes per instance. The attribute text starts just after the `(` that
// follows the type name (and any whitespace), so it is found, not stored.
struct EntityRecord {
    std::uint64_t id;
    std::uint64_t type_offset;
    std::uint32_t type_length;
    std::uint32_t attr_length;
};
static_assert(sizeof(EntityRecord) == 24);

struct Entity {
    std::string_view type;
    std::string_view attributes;
};

// An allocator whose vectors grow by `resize` without zeroing the new
// elements: the table's vectors are written in full right after, by several
// threads, and zeroing them first would be a serial pass over every page.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
template <class T>
using FillVector = std::vector<T, UninitializedAllocator<T>>;

// Every simple instance `#id=TYPE(...);` of the DATA section, by id. Records
// are kept in file order; a later statement with the same id replaces an
// earlier one. Read-only after build; borrows the file bytes.
class EntityTable {
public:
    static constexpr std::uint32_t npos = std::numeric_limits<std::uint32_t>::max();

    static EntityTable build(std::string_view file);

    std::optional<Entity> get(std::uint64_t id) const {
        const std::uint32_t i = index_of(id);
        if (i == npos) return std::nullopt;
        return entity(records_[i]);
    }

    // The entity `id` when its type names `upper` in any ASCII case.
    std::optional<Entity> get_typed(std::uint64_t id, std::string_view upper) const {
        auto e = get(id);
        if (!e || !type_is(e->type, upper)) return std::nullopt;
        return e;
    }

    // Position of the live record of `id` in records(), or npos.
    std::uint32_t index_of(std::uint64_t id) const;

    // All records in file order, superseded duplicates included; see is_live.
    const FillVector<EntityRecord>& records() const { return records_; }
    // type_tag() of each record's type name, by position.
    const FillVector<std::uint16_t>& type_tags() const { return type_tags_; }
    bool is_live(std::uint32_t i) const { return !has_duplicates_ || index_of(records_[i].id) == i; }

    Entity entity(const EntityRecord& r) const {
        const char* base = file_.data();
        std::size_t p = r.type_offset + r.type_length;
        while (base[p] != '(') ++p;  // only whitespace can stand here
        return {std::string_view(base + r.type_offset, r.type_length), std::string_view(base + p + 1, r.attr_length)};
    }
    std::string_view type_of(const EntityRecord& r) const { return {file_.data() + r.type_offset, r.type_length}; }

    // Visits every live instance: f(id, const EntityRecord&).
    template <class F>
    void for_each(F&& f) const {
        for_each_in(0, records_.size(), f);
    }
    // The same over the records at positions [begin, end), for passes that
    // split the records between threads.
    template <class F>
    void for_each_in(std::size_t begin, std::size_t end, F&& f) const {
        for (auto i = static_cast<std::uint32_t>(begin); i < end; ++i) {
            if (is_live(i)) f(records_[i].id, records_[i]);
        }
    }
    // The same for the records whose type tag `admits(tag)` accepts: the
    // walk reads two bytes per record and the record itself only for those,
    // and lets go of the file pages it has passed.
    template <class Admits, class F>
    void for_each_in(std::size_t begin, std::size_t end, const Admits& admits, F&& f) const {
        const std::uint16_t* tags = type_tags_.data();
        ResidentTrail trail(file_, begin < end ? records_[begin].type_offset : 0);
        for (auto i = static_cast<std::uint32_t>(begin); i < end; ++i) {
            if (admits(tags[i]) && is_live(i)) {
                trail.at(records_[i].type_offset);
                f(records_[i].id, records_[i]);
            }
        }
    }

    std::size_t size() const { return live_count_; }
    std::string_view file() const { return file_; }

private:
    std::string_view file_;
    FillVector<EntityRecord> records_;
    FillVector<std::uint16_t> type_tags_;
    // Dense ids (the norm) index a direct table; sparse ids an open-addressing one.
    std::vector<std::uint32_t> direct_;
    std::vector<std::uint32_t> slots_;
    std::uint64_t slot_mask_ = 0;
    std::uint64_t seed_ = 0;
    bool has_duplicates_ = false;
    std::size_t live_count_ = 0;

    // `max_id`: the largest id of the records, found as they were read.
    void build_index(std::uint64_t max_id);
};

}  // namespace quarnel
