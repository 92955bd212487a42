#pragma once
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "columns.hpp"
#include "extractors/parts.hpp"
#include "step/entity_table.hpp"
#include "step/flat_map.hpp"
#include "step/guid_index.hpp"
#include "step/type_filter.hpp"
#include "step/values.hpp"

namespace quarnel {

// Text id of a String piece, borrowed from the file when it needs no
// decoding; absent when the piece is no String.
std::optional<std::uint32_t> pool_string(TextPool& pool, std::string_view piece);

// Text id of a String piece whose decoded text is not empty; TextPool::null
// for any other value, an absent one and ''.
std::uint32_t pool_optional_text(TextPool& pool, std::optional<std::string_view> piece);

// Text id of number_text(x), copied into the pool.
std::uint32_t pool_number(TextPool& pool, double x);

// One (related object, relating definition) pair of a relationship.
struct DefinitionLink {
    std::uint64_t object;
    std::uint64_t definition;
};

// One relationship's related objects, still unexpanded, and its relating
// definition: a join that uses few of the definitions expands only those.
struct PendingLinks {
    std::string_view objects;
    std::uint64_t definition;
};

// The pending links of one relationship whose related objects stand at
// `objects_at` and whose relating definition (a reference) at `definition_at`;
// absent for too few attributes or a relating value that is no reference.
std::optional<PendingLinks> pending_links(Attributes& record, std::size_t objects_at, std::size_t definition_at);

// The related objects of a relationship piece: one Ref, or the Refs of a List
// (order and duplicates kept); none for any other value.
void related_objects(std::string_view objects, std::vector<std::uint64_t>& out);

// Appends the links of one relationship whose related objects stand at
// `objects_at` and whose relating definition (a reference) at `definition_at`.
// Too few attributes or a relating value that is no reference: nothing.
void append_links(Attributes& record, std::size_t objects_at, std::size_t definition_at,
                  std::vector<DefinitionLink>& links, std::vector<std::uint64_t>& scratch);

// Text ids of related objects' GlobalIds, one per object however many rows it
// has. The texts are copied, so the pool needs neither the file, the table
// nor the GuidIndex once the join is done.
class GuidTexts {
public:
    // The map starts small: objects are far fewer than links (an object has
    // many relationships), and a map sized by links is mostly untouched pages.
    GuidTexts(const EntityTable& table, const GuidIndex& guids, TextPool& pool)
        : table_(table), guids_(guids), pool_(pool), known_(1024) {}
    // TextPool::null for an object without a GlobalId.
    std::uint32_t of(std::uint64_t object);

    // Reads the GlobalIds of the objects that for_each_object(f) passes to f,
    // in file order, letting go of the pages behind: asked for one by one in
    // link order, they would pull every page of the file back in. Afterwards
    // known() answers for them without touching anything, on any thread.
    template <class ForEachObject>
    void read_ahead(ForEachObject&& for_each_object) {
        std::vector<std::uint64_t> wanted((table_.records().size() + 63) / 64, 0);
        for_each_object([&](std::uint64_t object) {
            const std::uint32_t i = table_.index_of(object);
            if (i != EntityTable::npos) wanted[i / 64] |= std::uint64_t{1} << (i % 64);
        });
        read_marked(wanted);
    }
    // The text id of an object read ahead; TextPool::null for any other.
    std::uint32_t known(std::uint64_t object) const {
        const std::uint32_t* id = known_.find(object);
        return id ? *id : TextPool::null;
    }

private:
    const EntityTable& table_;
    const GuidIndex& guids_;
    TextPool& pool_;
    IdMap<std::uint32_t> known_;

    void read_marked(const std::vector<std::uint64_t>& wanted);
};

// Appends the Refs of a List piece to `ids` and returns their span; empty for
// any other value or none.
IdSpan append_id_list(std::optional<std::string_view> piece, std::vector<std::uint64_t>& ids, std::vector<std::uint64_t>& scratch);

// Asks the system to back [data, data + bytes) with huge pages where it can:
// a long column written at once then faults a few hundred times, not tens of
// thousands.
void prefer_huge_pages(const void* data, std::size_t bytes);

// Resizes each column to n rows, the columns side by side on several threads:
// growing a long column writes every page of it.
template <class... Columns>
void resize_columns(std::size_t n, Columns&... columns) {
    constexpr std::size_t count = sizeof...(Columns);
    std::tuple<Columns&...> all(columns...);
    const std::size_t parts = n < (std::size_t{1} << 16) ? 1 : part_count(count, 1);
    run_in_parts(count, parts, [&](std::size_t, std::size_t begin, std::size_t end) {
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            const auto grow = [n](auto& column) {
                column.reserve(n);
                prefer_huge_pages(column.data(), n * sizeof(column[0]));
                column.resize(n);
            };
            ((I >= begin && I < end ? grow(std::get<I>(all)) : void()), ...);
        }(std::make_index_sequence<count>{});
    });
}

}  // namespace quarnel

