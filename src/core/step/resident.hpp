#pragma once
#include <cstddef>
#include <string_view>

namespace quarnel {

// Drops the pages a forward walk over the mapped file has left behind, once per
// window of the walk. The page cache keeps them, so a later read faults them
// back cheaply; meanwhile the process does not hold the whole file resident
// beside the tables it builds from it. Views into the file stay valid.
class ResidentTrail {
public:
    static constexpr std::size_t kWindow = std::size_t{64} << 20;

    ResidentTrail(std::string_view file, std::size_t from) : file_(file), begin_(from), next_(from + kWindow) {}

    // The walk has reached `offset`; everything before it may go.
    void at(std::size_t offset) {
        if (offset >= next_) drop_before(offset);
    }

    // Drops every resident page of `file`.
    static void drop_all(std::string_view file);

private:
    void drop_before(std::size_t offset);

    std::string_view file_;
    std::size_t begin_;
    std::size_t next_;
};

}  // namespace quarnel
