#include "extractors/common.hpp"

#include <bit>
#include <cstdint>

#include "extractors/number_text.hpp"
#include "parallel.hpp"
#include "step/os_mapping.hpp"
#include "step/resident.hpp"

namespace quarnel {

std::optional<std::uint32_t> pool_string(TextPool& pool, std::string_view piece) {
    const auto raw = value::raw_string(piece);
    if (!raw) return std::nullopt;
    return needs_decoding(*raw) ? pool.add_copy(decode_string(*raw)) : pool.add_view(*raw);
}

std::uint32_t pool_optional_text(TextPool& pool, std::optional<std::string_view> piece) {
    const auto id = piece ? pool_string(pool, *piece) : std::nullopt;
    return id && !pool[*id].empty() ? *id : TextPool::null;
}

std::uint32_t pool_number(TextPool& pool, double x) {
    std::string text;
    append_number_text(text, x);
    return pool.add_copy(text);
}

std::optional<PendingLinks> pending_links(Attributes& record, std::size_t objects_at, std::size_t definition_at) {
    if (!record.has(std::max(objects_at, definition_at) + 1)) return std::nullopt;
    const auto definition = record.ref(definition_at);
    if (!definition) return std::nullopt;
    return PendingLinks{*record.at(objects_at), *definition};
}

void related_objects(std::string_view objects, std::vector<std::uint64_t>& out) {
    out.clear();
    if (const auto one = value::ref(objects)) {
        out.push_back(*one);
    } else if (const auto list = value::list(objects)) {
        reference_list(*list, out);
    }
}

void append_links(Attributes& record, std::size_t objects_at, std::size_t definition_at,
                  std::vector<DefinitionLink>& links, std::vector<std::uint64_t>& scratch) {
    const auto pending = pending_links(record, objects_at, definition_at);
    if (!pending) return;
    related_objects(pending->objects, scratch);
    for (const std::uint64_t o : scratch) links.push_back({o, pending->definition});
}

namespace {

std::uint32_t copied(TextPool& pool, std::optional<std::string_view> guid) {
    return guid ? pool.add_copy(*guid) : TextPool::null;
}

}  // namespace

std::uint32_t GuidTexts::of(std::uint64_t object) {
    if (const std::uint32_t* id = known_.find(object)) return *id;
    return known_[object] = copied(pool_, guids_.guid_of(object));
}

void GuidTexts::read_marked(const std::vector<std::uint64_t>& wanted) {
    const auto& records = table_.records();
    // In parts on several threads, each with texts of its own (the first
    // part's go straight into the pool), taken over in order afterwards.
    struct Part {
        TextPool pool;
        std::vector<std::pair<std::uint64_t, std::uint32_t>> found;
    };
    std::vector<Part> parts(part_count(wanted.size(), 4096));
    run_in_parts(wanted.size(), parts.size(), [&](std::size_t k, std::size_t begin, std::size_t end) {
        TextPool& pool = k == 0 ? pool_ : parts[k].pool;
        const std::size_t from = records.empty() ? 0 : records[std::min(begin * 64, records.size() - 1)].type_offset;
        ResidentTrail trail(table_.file(), from);
        for (std::size_t w = begin; w < end; ++w) {
            for (std::uint64_t bits = wanted[w]; bits; bits &= bits - 1) {
                const auto i = static_cast<std::uint32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
                trail.at(records[i].type_offset);
                parts[k].found.emplace_back(records[i].id, copied(pool, guids_.guid_at(i)));
            }
        }
    });
    const std::vector<std::uint32_t> offsets = merge_part_texts(pool_, parts);
    for (std::size_t k = 0; k < parts.size(); ++k) {
        for (const auto& [id, text] : parts[k].found) known_[id] = shifted(text, offsets[k]);
    }
}

void prefer_huge_pages(const void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
    // Advice only: without it the column is as it was, in small pages.
    if (end > begin) os::prefer_huge_pages(reinterpret_cast<const void*>(begin), end - begin);
}

IdSpan append_id_list(std::optional<std::string_view> piece, std::vector<std::uint64_t>& ids,
                      std::vector<std::uint64_t>& scratch) {
    IdSpan span{ids.size(), 0};
    const auto list = piece ? value::list(*piece) : std::nullopt;
    if (!list) return span;
    reference_list(*list, scratch);
    ids.insert(ids.end(), scratch.begin(), scratch.end());
    span.count = static_cast<std::uint32_t>(scratch.size());
    return span;
}

}  // namespace quarnel
