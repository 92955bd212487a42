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

    const Pieces pieces = split_attributes(text);
    require(!pieces.empty());
    Attributes record(text);
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        require_inside(text, pieces[k]);
        const auto at = record.at(k);
        require(at && *at == pieces[k]);
        // The typed readers answer exactly when the general one finds their kind.
        const StepValue v = parse_value(pieces[k]);
        using K = StepValue::Kind;
        require(value::ref(pieces[k]).has_value() == v.is(K::Ref));
        require(value::number(pieces[k]).has_value() == v.is(K::Real));
        require(value::list(pieces[k]).has_value() == v.is(K::List));
        require(value::enumeration(pieces[k]).has_value() == v.is(K::Enum));
        require(value::text(pieces[k]).has_value() == v.is(K::String));
        if (v.is(K::String)) require(is_valid_utf8(v.text));
        if (v.is(K::List)) {
            for (const auto id : reference_list(v.view)) (void)id;
        }
        for (const auto spelling : {ValueRenderer::TypeSpelling::Display, ValueRenderer::TypeSpelling::Schema}) {
            TextPool pool;
            ValueRenderer renderer(pool, spelling);
            const RenderedValue rendered = renderer.value(pieces[k]);
            if (rendered.value != TextPool::null) require(is_valid_utf8(pool[rendered.value]));
            if (rendered.value_type != TextPool::null) require(is_valid_utf8(pool[rendered.value_type]));
        }
    }
    require(!record.at(pieces.size()) && record.size() == pieces.size());
    require(is_valid_utf8(decode_string(text)));
    return 0;
}
