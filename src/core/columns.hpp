#pragma once
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// A column of (optional) UTF-8 strings as one byte buffer plus end offsets:
// one allocation per column, not one per cell.
class StringColumn {
public:
    void push(std::string_view s) {
        bytes_.append(s.data(), s.size());
        ends_.push_back(bytes_.size());
        if (!nulls_.empty()) nulls_.push_back(0);
    }
    void push(const std::optional<std::string_view>& s) {
        if (s) {
            push(*s);
        } else {
            push_null();
        }
    }
    void push_null() {
        if (nulls_.empty()) nulls_.assign(ends_.size(), 0);
        ends_.push_back(bytes_.size());
        nulls_.push_back(1);
    }
    void reserve(std::size_t rows) { ends_.reserve(rows); }

    std::size_t size() const { return ends_.size(); }
    bool is_null(std::size_t i) const { return !nulls_.empty() && nulls_[i]; }
    std::string_view view(std::size_t i) const {
        const std::uint64_t begin = i == 0 ? 0 : ends_[i - 1];
        return std::string_view(bytes_).substr(begin, ends_[i] - begin);
    }
    std::optional<std::string_view> at(std::size_t i) const {
        if (is_null(i)) return std::nullopt;
        return view(i);
    }

private:
    std::string bytes_;
    std::vector<std::uint64_t> ends_;
    std::vector<std::uint8_t> nulls_;  // empty until the first null
};

}  // namespace quarnel

#include <memory>

#include "hash_seed.hpp"

namespace quarnel {

// Distinct texts of one result, each stored once and referred to by a 32-bit
// id, so a row costs a few ids instead of copies of its strings. A text is
// either borrowed (a view into the mapped file, valid for the call) or copied
// into blocks owned by the pool.
class TextPool {
public:
    static constexpr std::uint32_t null = 0xFFFFFFFFu;

    // From now on, a text equal to one added since gets that text's id instead
    // of a new one. Extractors meet the same names and values again and again:
    // comparing them here, while the file text is at hand, leaves one Python
    // string per distinct text to make and no lookups for the marshalling.
    void share_equal_texts() {
        if (!slots_.empty()) return;
        slots_.assign(1024, 0);
    }

    std::uint32_t add_view(std::string_view borrowed) { return add(borrowed, false); }
    std::uint32_t add_copy(std::string_view s) { return add(s, true); }
    // Texts that are never shared, even when equal texts are: values that seldom repeat, for
    // which the lookup costs more than it saves.
    std::uint32_t add_unshared_view(std::string_view borrowed) { return push(borrowed); }
    std::uint32_t add_unshared_copy(std::string_view s) { return push(copy(s)); }
    // Takes over the texts of `other` (built on another thread): its id i
    // becomes offset + i, and the offset is returned. Texts taken over are not
    // shared with later ones.
    std::uint32_t append(TextPool&& other) {
        const auto offset = static_cast<std::uint32_t>(views_.size());
        views_.insert(views_.end(), other.views_.begin(), other.views_.end());
        for (auto& block : other.blocks_) blocks_.push_back(std::move(block));
        other = TextPool();
        return offset;
    }
    std::string_view operator[](std::uint32_t id) const { return views_[id]; }
    std::size_t size() const { return views_.size(); }

private:
    static constexpr std::size_t kBlock = 1 << 16;
    std::vector<std::string_view> views_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* cursor_ = nullptr;
    std::size_t left_ = 0;
    std::vector<std::uint32_t> slots_;  // id + 1 of shared texts by hash, 0 = free
    std::size_t shared_ = 0;

    std::uint32_t add(std::string_view s, bool owned) {
        if (slots_.empty()) return push(owned ? copy(s) : s);
        std::uint32_t& slot = find_slot(s);
        if (slot != 0) return slot - 1;
        const std::uint32_t id = push(owned ? copy(s) : s);
        slot = id + 1;
        remember();
        return id;
    }
    std::uint32_t push(std::string_view s) {
        views_.push_back(s);
        return static_cast<std::uint32_t>(views_.size() - 1);
    }
    std::string_view copy(std::string_view s) {
        if (s.size() > left_) {
            const std::size_t size = s.size() > kBlock / 4 ? s.size() : kBlock;
            blocks_.emplace_back(new char[size]);
            cursor_ = blocks_.back().get();
            left_ = size;
        }
        char* at = cursor_;
        if (!s.empty()) std::memcpy(at, s.data(), s.size());
        cursor_ += s.size();
        left_ -= s.size();
        return std::string_view(at, s.size());
    }

    // Seeded (see hash_seed), so that a file cannot be made of texts that all
    // land in one chain of the table.
    static std::uint64_t hash(std::string_view s) {
        std::uint64_t h = hash_seed() ^ s.size();
        std::size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            std::uint64_t w;
            std::memcpy(&w, s.data() + i, 8);
            h = (h ^ w) * 0xBF58476D1CE4E5B9ULL;
            h ^= h >> 31;
        }
        std::uint64_t w = 0;
        if (i < s.size()) std::memcpy(&w, s.data() + i, s.size() - i);
        h = (h ^ w) * 0x94D049BB133111EBULL;
        return h ^ (h >> 29);
    }
    std::uint32_t& find_slot(std::string_view s) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hash(s) & mask;
        while (slots_[i] != 0 && views_[slots_[i] - 1] != s) i = (i + 1) & mask;
        return slots_[i];
    }
    // After a slot was filled: keep the table at most half full.
    void remember() {
        if (++shared_ * 2 <= slots_.size()) return;
        std::vector<std::uint32_t> old(slots_.size() * 2, 0);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const std::uint32_t id : old) {
            if (id == 0) continue;
            std::size_t i = hash(views_[id - 1]) & mask;
            while (slots_[i] != 0) i = (i + 1) & mask;
            slots_[i] = id;
        }
    }
};

// A column of numbers that may be absent, with a byte per row for whether each is there: 9
// bytes a row where std::optional<double> takes 16, 5 where std::optional<std::uint64_t> takes
// 16 for a 32-bit value. Rows are written in place by several threads, hence no bit per row.
template <class T>
struct OptionalColumn {
    std::vector<T> values;               // 0 where absent
    std::vector<std::uint8_t> present;  // 1 where there

    std::size_t size() const { return values.size(); }
    void set(std::size_t i, const std::optional<T>& v) {
        values[i] = v.value_or(T{});
        present[i] = v.has_value();
    }
    std::optional<T> operator[](std::size_t i) const {
        return present[i] ? std::optional<T>(values[i]) : std::nullopt;
    }
};

// A column of labels: a code per row into a fixed list of texts, an empty one standing for an
// absent value. A byte a row where text ids take four.
struct LabelColumn {
    std::span<const std::string_view> labels;
    std::vector<std::uint8_t> codes;

    std::size_t size() const { return codes.size(); }
    std::optional<std::string_view> at(std::size_t i) const {
        const std::string_view s = labels[codes[i]];
        return s.empty() ? std::nullopt : std::optional<std::string_view>(s);
    }
};

// An absent text in a column of text ids.
inline constexpr std::uint32_t kNull = TextPool::null;

// A column of text ids into a TextPool; TextPool::null is an absent value.
using TextColumn = std::vector<std::uint32_t>;

// A column built in parts on several threads, the parts kept end to end: the
// rows are never copied into one vector.
struct TextColumnParts {
    std::vector<TextColumn> parts;

    std::size_t size() const {
        std::size_t n = 0;
        for (const TextColumn& p : parts) n += p.size();
        return n;
    }
};

// A text id of a pool appended at `offset` to another (see TextPool::append).
inline std::uint32_t shifted(std::uint32_t id, std::uint32_t offset) { return id == TextPool::null ? id : id + offset; }

}  // namespace quarnel
