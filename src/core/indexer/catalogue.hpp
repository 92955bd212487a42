#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quarnel {

// What the model index makes of instances of a catalogued type.
enum class TypeRole : std::uint8_t {
    Product,  // listed as a building product and counted
    Storey,   // IFCBUILDINGSTOREY: a storey row, never a product
    Other,    // catalogued for its schema name only
};

struct CatalogueEntry {
    std::string_view upper;   // as written in files: IFCWALL
    std::string_view schema;  // schema type name: IfcWall
    TypeRole role;
};

// The type catalogue, in its fixed order.
std::span<const CatalogueEntry> type_catalogue();

// Schema name of an upper-case type name (exact bytes), absent when not catalogued.
std::optional<std::string_view> catalogue_name(std::string_view upper);

// The catalogue names of one role, looked up by the exact bytes of a type
// name; built per indexing pass. find() gives the catalogue position or -1.
class TypeSet {
public:
    explicit TypeSet(TypeRole role);
    int find(std::string_view name) const;
    std::size_t size() const { return size_; }

private:
    struct Slot {
        const char* name = nullptr;
        std::uint32_t length = 0;
        std::int32_t position = -1;
    };
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;

    std::size_t slot_of(std::string_view name) const;
};

}  // namespace quarnel
