#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arrow/read.hpp"

namespace quarnel::arrow {

// The elements of a model with their properties spread into columns, from one read of the
// elements and properties passes: two tables, exported as read_tables exports.
// - The elements table's guid, entity and name columns, every element.
// - The cells: a column "row" (the element's row in the first table) for each element kept,
//   then one column per "Set.Property" of the properties of the elements kept, in order of
//   those names. A cell holds the element's value of that property, inherited ones included
//   (the last one read where there are several rows); the column holds numbers where every
//   value is a number or absent, else texts; a property with several values (lists,
//   enumerations, bounds, tables) gives its texts joined by "; ".
// `entities`: the entity names (lower case) whose elements are kept; all of them when absent.
// Throws std::bad_alloc when memory runs out, with nothing leaked.
std::vector<Exported> read_wide(std::string_view file, const ReadFacts& facts,
                                const std::optional<std::vector<std::string>>& entities);

}  // namespace quarnel::arrow
