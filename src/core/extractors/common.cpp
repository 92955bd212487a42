#include "extractors/common.hpp"

#include "extractors/number_text.hpp"

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

std::uint32_t GuidTexts::of(std::uint64_t object) {
    if (const std::uint32_t* id = known_.find(object)) return *id;
    const auto guid = guids_.guid_of(object);
    const std::string_view file = table_.file();
    const bool in_file = guid && guid->data() >= file.data() && guid->data() < file.data() + file.size();
    const std::uint32_t id = !guid ? TextPool::null : in_file ? pool_.add_view(*guid) : pool_.add_copy(*guid);
    known_[object] = id;
    return id;
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
