#pragma once
#include <cstdint>
#include <optional>
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
