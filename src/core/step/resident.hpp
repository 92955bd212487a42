#pragma once
#include <cstddef>
#include <string_view>

namespace quarnel {

// Drops the pages a forward walk over a mapped file (a MappedFile) has left
// behind, once per window of the walk and when the walk ends; over any other
// bytes it does nothing, as dropping them would zero them. The page cache
// keeps the file's pages, so a later read faults them back cheaply; meanwhile
// the process does not hold the whole file resident beside the tables it
// builds from it. Views into the file stay valid.
class ResidentTrail {
public:
    static constexpr std::size_t kWindow = std::size_t{8} << 20;

    ResidentTrail(std::string_view file, std::size_t from);
    // A walk that has ended leaves nothing behind for the passes after it.
    ~ResidentTrail() {
        if (mapped_) drop_before(reached_);
    }
    ResidentTrail(const ResidentTrail&) = delete;
    ResidentTrail& operator=(const ResidentTrail&) = delete;

    // The walk has reached `offset`; everything before it may go.
    void at(std::size_t offset) {
        reached_ = offset;
        if (offset >= next_) drop_before(offset);
    }

    // Drops every resident page of `file`.
    static void drop_all(std::string_view file);

private:
    void drop_before(std::size_t offset);

    std::string_view file_;
    std::size_t begin_;
    std::size_t next_;
    std::size_t reached_;
    bool mapped_;
};

}  // namespace quarnel
