#pragma once
#include <cstddef>
#include <optional>
#include <string_view>

namespace quarnel {

// One statement of the DATA section: from its `#` up to (not including) its `;`.
struct Statement {
    std::size_t begin = 0;
    std::size_t end = 0;  // offset of the terminating `;`
    std::string_view text;
};

// The one walk over the statements of the DATA section, shared by the entity
// table and the model index. Whitespace and `/* */` comments between
// statements are skipped; the walk ends at the first statement that does not
// begin with `#` (normally `ENDSEC;`), or at a statement that never ends.
class StatementScanner {
public:
    explicit StatementScanner(std::string_view file);
    StatementScanner(std::string_view file, std::size_t start) : file_(file), pos_(start) {}

    std::optional<Statement> next();
    std::size_t start() const { return start_; }
    std::size_t position() const { return pos_; }

private:
    std::string_view file_;
    std::size_t start_ = 0;
    std::size_t pos_ = 0;
};

}  // namespace quarnel
