#pragma once
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "columns.hpp"
#include "parallel.hpp"
#include "step/entity_table.hpp"

namespace quarnel {

// How an extractor cuts its work into parts, each read on a thread of its own.
struct PartPlan {
    // Below this many records (or links of a join) per part, a second thread
    // costs more than it saves.
    std::size_t min_records = 250000;
    std::size_t min_links = 32768;
    std::size_t max_parts = 0;  // 0: one per core, at most eight

    std::size_t record_parts(std::size_t records) const { return part_count(records, min_records, max_parts); }
    std::size_t link_parts(std::size_t links) const { return part_count(links, min_links, max_parts); }
};

// A run of ids in a part's shared id buffer (the members of a set or list).
struct IdSpan {
    std::uint64_t first = 0;
    std::uint32_t count = 0;
};

// Where a later part's texts and members land once it is appended to another.
struct PartOffsets {
    std::uint32_t text = 0;
    std::uint64_t members = 0;
};

// An entry of a part moved to where its part was appended. An entry names its
// text ids in `kTexts` and its IdSpans in `kSpans` (member pointers); an
// IdSpan is moved as itself; anything else holds no part-relative value.
template <class Entry>
Entry moved_entry(Entry e, const PartOffsets& to) {
    if constexpr (std::is_same_v<Entry, IdSpan>) {
        e.first += to.members;
    } else {
        if constexpr (requires { Entry::kTexts; }) {
            for (const auto field : Entry::kTexts) e.*field = shifted(e.*field, to.text);
        }
        if constexpr (requires { Entry::kSpans; }) {
            for (const auto field : Entry::kSpans) (e.*field).first += to.members;
        }
    }
    return e;
}

// Reads the records in parts on several threads (one part for a small
// table): read(table, begin, end, part) fills a Part from the records at
// [begin, end). Each part's texts are shared within it. The parts come back in
// record order.
template <class Part, class Read>
std::vector<Part> read_parts(const EntityTable& table, const PartPlan& plan, Read&& read) {
    const std::size_t n = table.records().size();
    const std::size_t count = plan.record_parts(n);
    std::vector<Part> parts(count);
    run_in_parts(n, count, [&](std::size_t k, std::size_t begin, std::size_t end) {
        parts[k].pool.share_equal_texts();
        read(table, begin, end, parts[k]);
    });
    return parts;
}

// Moves the texts of parts 1.. into `pool` in part order, behind part 0's,
// which are there already (part 0 read straight into `pool`, or `pool` is its
// own): where each part's text ids land, 0 for part 0. Every extractor that
// reads in parts merges its texts here.
template <class Part>
std::vector<std::uint32_t> merge_part_texts(TextPool& pool, std::vector<Part>& parts) {
    std::vector<std::uint32_t> offsets(parts.size(), 0);
    for (std::size_t k = 1; k < parts.size(); ++k) offsets[k] = pool.append(std::move(parts[k].pool));
    return offsets;
}

// Appends part `from`, whose texts were merged at `text`, to `into`: its
// members and links after theirs, and the entries of each of its maps
// (Part::maps() ties them, in the same order for every part), moved by
// moved_entry.
template <class Part>
void merge_part(Part& into, Part&& from, std::uint32_t text) {
    PartOffsets to;
    to.text = text;
    to.members = into.members.size();
    auto into_maps = into.maps();
    auto from_maps = from.maps();
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        (std::get<I>(from_maps).for_each([&](std::uint64_t id, const auto& e) { std::get<I>(into_maps)[id] = moved_entry(e, to); }),
         ...);
    }(std::make_index_sequence<std::tuple_size_v<decltype(into_maps)>>{});
    into.members.insert(into.members.end(), from.members.begin(), from.members.end());
    into.links.insert(into.links.end(), from.links.begin(), from.links.end());
}

// read_parts, the later parts then merged into the first in record order.
template <class Part, class Read>
Part read_merged(const EntityTable& table, const PartPlan& plan, Read&& read) {
    std::vector<Part> parts = read_parts<Part>(table, plan, read);
    const std::vector<std::uint32_t> texts = merge_part_texts(parts[0].pool, parts);
    for (std::size_t k = 1; k < parts.size(); ++k) merge_part(parts[0], std::move(parts[k]), texts[k]);
    return std::move(parts[0]);
}

}  // namespace quarnel
