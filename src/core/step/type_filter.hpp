#pragma once
#include <cstddef>
#include <cstdint>

#include "step/entity_table.hpp"

namespace quarnel {

// The types a pass reads, by their type_tag, for EntityTable::for_each_in:
// a record whose tag is none of them is passed over without reading it or its
// name. A record that passes still has its name compared (type_is): tags can
// collide.
template <std::size_t N>
class TypeFilter {
public:
    template <class... Names>
    constexpr explicit TypeFilter(Names... upper_names) : tags_{type_tag(upper_names)...} {
        for (const std::uint16_t t : tags_) low_bytes_[(t & 255) >> 6] |= std::uint64_t{1} << (t & 63);
    }
    bool operator()(std::uint16_t tag) const {
        // Most records fail on the low byte alone: one test instead of N.
        if (!(low_bytes_[(tag & 255) >> 6] >> (tag & 63) & 1)) return false;
        for (const std::uint16_t t : tags_) {
            if (tag == t) return true;
        }
        return false;
    }

private:
    std::uint16_t tags_[N];
    std::uint64_t low_bytes_[4] = {};  // which low bytes the tags have
};
template <class... Names>
TypeFilter(Names...) -> TypeFilter<sizeof...(Names)>;

}  // namespace quarnel
