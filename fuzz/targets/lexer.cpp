// The STEP lexer on raw bytes: the input is taken as one attribute text and
// as one statement, and every piece is parsed and rendered.
#include "extractors/psets.hpp"
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
        if (auto t = value_text(pieces[k])) require(is_valid_utf8(*t));
        const NominalValue nv = nominal_value(pieces[k]);
        if (nv.value) require(is_valid_utf8(*nv.value));
        if (nv.value_type) require(is_valid_utf8(*nv.value_type));
    }
    require(!record.at(pieces.size()) && record.size() == pieces.size());
    require(is_valid_utf8(decode_string(text)));
    return 0;
}
