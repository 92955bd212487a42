#include "step/scanner.hpp"

#include <cstring>

#include "step/lexer.hpp"

namespace quarnel {

StatementScanner::StatementScanner(std::string_view file) : file_(file) {
    start_ = find_data_section(file).value_or(0);
    pos_ = start_;
}

std::optional<Statement> StatementScanner::next() {
    const std::size_t n = file_.size();
    const char* base = file_.data();
    for (;;) {
        while (pos_ < n && is_space(static_cast<unsigned char>(base[pos_]))) ++pos_;
        if (pos_ + 1 < n && base[pos_] == '/' && base[pos_ + 1] == '*') {
            const std::size_t close = file_.find("*/", pos_ + 2);
            if (close == std::string_view::npos) {
                pos_ = n;
                return std::nullopt;
            }
            pos_ = close + 2;
            continue;
        }
        break;
    }
    if (pos_ >= n || base[pos_] != '#') return std::nullopt;
    const auto end = find_statement_end(file_, pos_, n);
    if (!end) return std::nullopt;
    Statement s{pos_, *end, file_.substr(pos_, *end - pos_)};
    pos_ = *end + 1;
    return s;
}

}  // namespace quarnel
