#pragma once
#include <cstdint>
#include <cstring>
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

// The catalogue names of one role, looked up by the exact bytes of a type
// name; built per indexing pass. find() gives the catalogue position or -1.
class TypeSet {
public:
    explicit TypeSet(TypeRole role);
    // Inline: it runs once per statement of the file.
    int find(std::string_view name) const {
        for (std::size_t s = slot_of(name);; s = (s + 1) & mask_) {
            const Slot& slot = slots_[s];
            if (!slot.name) return -1;
            if (slot.length == name.size() && std::memcmp(slot.name, name.data(), name.size()) == 0) return slot.position;
        }
    }

private:
    struct Slot {
        const char* name = nullptr;
        std::uint32_t length = 0;
        std::int32_t position = -1;
    };
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;

    // Length, the fourth byte (the first after "IFC") and the last two: three
    // loads and a multiplication, enough to spread the catalogue names.
    std::size_t slot_of(std::string_view name) const {
        const std::size_t n = name.size();
        if (n < 4) return n & mask_;
        const auto b = [&](std::size_t i) { return static_cast<std::uint64_t>(static_cast<unsigned char>(name[i])); };
        const std::uint64_t key = n | b(3) << 8 | b(n - 2) << 16 | b(n - 1) << 24;
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 40) & mask_;
    }
};

}  // namespace quarnel
