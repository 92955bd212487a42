// The STEP lexer on raw bytes: the input is taken as one attribute text and
// as one statement, and every piece is parsed and rendered.
#include "extractors/value_text.hpp"
#include "invariants.hpp"
#include "step/lexer.hpp"
#include "step/values.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = as_file(data, size);

    if (auto end = find_data_section(text)) require(*end <= size);
    if (auto end = find_statement_end(text, 0, size)) require(*end < size && text[*end] == ';');
    if (auto h = parse_instance_header(text)) {
        require_inside(text, h->type);
        require_inside(text, h->attributes);
    }

    Attributes record(text);
    const std::size_t count = record.size();
    require(count >= 1 && !record.at(count));
    // Asked for from the last back, the same pieces as walked forward.
    Attributes backwards(text);
    for (std::size_t k = count; k-- > 0;) {
        const std::string_view piece = *record.at(k);
        require_inside(text, piece);
        const auto again = backwards.at(k);
        require(again && *again == piece);
        // No piece is of two kinds.
        const int kinds = value::is_unset(piece) + value::ref(piece).has_value() + value::number(piece).has_value() +
                          value::list(piece).has_value() + value::enumeration(piece).has_value() +
                          value::text(piece).has_value();
        require(kinds <= 1);
        if (const auto s = value::text(piece)) require(is_valid_utf8(*s));
        if (const auto list = value::list(piece)) {
            for (const auto id : reference_list(*list)) (void)id;
        }
        if (const auto typed = value::typed(piece)) {
            require_inside(text, typed->name);
            require_inside(text, typed->inner);
        }
        for (const auto spelling : {ValueRenderer::TypeSpelling::Display, ValueRenderer::TypeSpelling::Schema}) {
            TextPool pool;
            ValueRenderer renderer(pool, spelling);
            const RenderedValue rendered = renderer.value(piece);
            if (rendered.value != TextPool::null) require(is_valid_utf8(pool[rendered.value]));
            if (rendered.value_type != TextPool::null) require(is_valid_utf8(pool[rendered.value_type]));
        }
    }
    require(is_valid_utf8(decode_string(text)));
    return 0;
}
