// Classification-link extraction after the shared table and index.
#include "extractors/classifications.hpp"
#include "invariants.hpp"

using namespace quarnel;
using namespace quarnel::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ClassificationColumns c = extract_then_drop(
        data, size, [](const EntityTable& t, const GuidIndex& g) { return extract_classification_links(t, g, kSmallParts); });
    const std::size_t n = c.guid.size();
    require(c.system_name.size() == n && c.edition.size() == n && c.identification.size() == n &&
            c.name.size() == n && c.location.size() == n && c.source.size() == n);
    require_guids(c.text, c.guid);
    for (const TextColumn* column : {&c.system_name, &c.edition, &c.identification, &c.name, &c.location, &c.source}) {
        require_utf8(c.text, *column);
    }
    return 0;
}
