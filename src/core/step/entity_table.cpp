#include "step/entity_table.hpp"

#include <algorithm>

#include "hash_seed.hpp"
#include "parallel.hpp"
#include "step/lexer.hpp"
#include "step/resident.hpp"
#include "step/scanner.hpp"

namespace quarnel {
namespace {

// Records in file order with their type tags, side by side, and their largest id.
struct Records {
    FillVector<EntityRecord> records;
    FillVector<std::uint16_t> tags;
    std::uint64_t max_id = 0;

    void reserve(std::size_t n) {
        records.reserve(n);
        tags.reserve(n);
    }
};

// Appends the record of `s`, when it is an instance.
void add_record(std::string_view file, const Statement& s, Records& out) {
    auto h = parse_instance_header(s.text);
    if (!h) return;
    // Record lengths are 32-bit: longer texts are skipped rather than cut short.
    if (h->type.size() > UINT32_MAX || h->attributes.size() > UINT32_MAX) return;
    out.records.push_back(EntityRecord{h->id, static_cast<std::uint64_t>(h->type.data() - file.data()),
                                       static_cast<std::uint32_t>(h->type.size()),
                                       static_cast<std::uint32_t>(h->attributes.size())});
    out.tags.push_back(type_tag(h->type));
    out.max_id = std::max(out.max_id, h->id);
}

// Real models average 60 to 110 bytes per instance; reserving for 32 keeps
// growth copies away while untouched capacity costs no memory.
std::size_t expected_records(std::size_t bytes) { return bytes / 32 + 1024; }

// One part of a split scan: the statements from `begin` up to the first one
// that starts at or after `stop`.
struct Part {
    std::size_t begin = 0;
    std::size_t stop = 0;
    Records records;
    std::optional<Statement> overshoot;  // the first statement past `stop`, unread
    bool landed = false;                 // a statement starts exactly at `stop`
};

void scan_part(std::string_view file, Part& part, std::size_t expected) {
    StatementScanner scanner(file, part.begin);
    ResidentTrail trail(file, part.begin);
    part.records.reserve(expected);
    while (auto s = scanner.next()) {
        trail.at(s->begin);
        if (s->begin >= part.stop) {
            part.landed = s->begin == part.stop;
            if (!part.landed) part.overshoot = s;
            return;
        }
        add_record(file, *s, part.records);
    }
}

// Scans serially from `from` to the end of the DATA section.
void scan_rest(std::string_view file, std::size_t from, Records& out) {
    StatementScanner rest(file, from);
    ResidentTrail trail(file, from);
    while (auto s = rest.next()) {
        trail.at(s->begin);
        add_record(file, *s, out);
    }
}

// A place near `from` where a statement seems to start: `#` and a digit at
// the start of a line, after a line that ends with `;`. Inside a string this
// can be wrong; the scan that reaches it from before tells.
std::optional<std::size_t> likely_statement_start(std::string_view file, std::size_t from, std::size_t limit) {
    std::size_t p = from;
    while (p < limit) {
        const std::size_t nl = file.find('\n', p);
        if (nl == std::string_view::npos || nl + 2 >= limit) return std::nullopt;
        std::size_t q = nl + 1;
        while (q < limit && (file[q] == ' ' || file[q] == '\t' || file[q] == '\r' || file[q] == '\n')) ++q;
        std::size_t b = nl;
        while (b > from && (file[b] == '\n' || file[b] == '\r' || file[b] == ' ' || file[b] == '\t')) --b;
        if (q + 1 < limit && file[q] == '#' && file[q + 1] >= '0' && file[q + 1] <= '9' && file[b] == ';') return q;
        p = q;
    }
    return std::nullopt;
}

constexpr std::size_t kMinPartBytes = std::size_t{16} << 20;

}  // namespace

EntityTable EntityTable::build(std::string_view file) {
    EntityTable table;
    table.file_ = file;
    StatementScanner scanner(file);
    const std::size_t start = scanner.start();
    const std::size_t parts = file.size() > start ? part_count(file.size() - start, kMinPartBytes) : 1;

    // Large files are scanned in parts on several threads, each part starting
    // where a statement seems to start. A part counts only when the scan of
    // the part before it ends exactly there; otherwise the scan goes on alone
    // from where that part stopped, so the result is always the serial one.
    std::vector<Part> split;
    if (parts >= 2) {
        const std::size_t step = (file.size() - start) / parts;
        std::size_t begin = start;
        for (std::size_t i = 1; i < parts; ++i) {
            const auto cut = likely_statement_start(file, start + i * step, file.size());
            if (!cut || *cut <= begin) break;
            split.push_back(Part{begin, *cut, {}, {}, false});
            begin = *cut;
        }
        if (!split.empty()) split.push_back(Part{begin, file.size() + 1, {}, {}, false});
    }
    if (split.size() >= 2) {
        run_in_parts(split.size(), split.size(), [&](std::size_t k, std::size_t, std::size_t) {
            // The first part's vector becomes the table's: room for the whole
            // file spares growing it when the other parts are copied in.
            const std::size_t bytes = k == 0 ? file.size() - start : split[k].stop - split[k].begin;
            scan_part(file, split[k], expected_records(bytes));
        });
        // The parts that count: up to the first that does not end where the next begins.
        std::size_t used = 1;
        while (used < split.size() && split[used - 1].landed) ++used;
        Records all = std::move(split[0].records);
        std::size_t at = all.records.size();  // where the next part's records go
        std::size_t total = at;
        for (std::size_t i = 1; i < used; ++i) total += split[i].records.records.size();
        all.records.resize(total);
        all.tags.resize(total);
        // Each part copied in slices on several threads: the copy also makes the new pages.
        for (std::size_t i = 1; i < used; ++i) {
            const Records& part = split[i].records;
            const std::size_t n = part.records.size();
            run_in_parts(n, part_count(n, std::size_t{1} << 18), [&](std::size_t, std::size_t begin, std::size_t end) {
                std::copy(part.records.begin() + begin, part.records.begin() + end, all.records.begin() + at + begin);
                std::copy(part.tags.begin() + begin, part.tags.begin() + end, all.tags.begin() + at + begin);
            });
            at += n;
            all.max_id = std::max(all.max_id, part.max_id);
            split[i].records = Records();
        }
        const Part& last = split[used - 1];
        if (!last.landed && last.overshoot) {
            add_record(file, *last.overshoot, all);
            scan_rest(file, last.overshoot->end + 1, all);
        }
        table.records_ = std::move(all.records);
        table.type_tags_ = std::move(all.tags);
        table.build_index(all.max_id);
    } else {
        Records all;
        all.reserve(expected_records(file.size() - start));
        scan_rest(file, start, all);
        table.records_ = std::move(all.records);
        table.type_tags_ = std::move(all.tags);
        table.build_index(all.max_id);
    }
    return table;
}

void EntityTable::build_index(std::uint64_t max_id) {
    std::size_t n = records_.size();
    if (n >= npos) {  // indices are 32-bit
        n = npos - 1;
        records_.resize(n);
        type_tags_.resize(n);
        max_id = 0;
        for (const auto& r : records_) max_id = r.id > max_id ? r.id : max_id;
    }
    if (n > 0 && max_id <= 4 * static_cast<std::uint64_t>(n) + 4096) {
        direct_.assign(static_cast<std::size_t>(max_id) + 1, npos);
        std::size_t live = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            auto& slot = direct_[records_[i].id];
            if (slot == npos) {
                ++live;
            } else {
                has_duplicates_ = true;
            }
            slot = i;
        }
        live_count_ = live;
    } else if (n > 0) {
        std::size_t capacity = 1024;
        while (capacity < 2 * n) capacity *= 2;
        slots_.assign(capacity, npos);
        seed_ = hash_seed();
        slot_mask_ = capacity - 1;
        std::size_t live = 0;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint64_t id = records_[i].id;
            std::uint64_t s = mix_id(id, seed_) & slot_mask_;
            while (slots_[s] != npos && records_[slots_[s]].id != id) s = (s + 1) & slot_mask_;
            if (slots_[s] == npos) {
                ++live;
            } else {
                has_duplicates_ = true;
            }
            slots_[s] = i;
        }
        live_count_ = live;
    }
}

std::uint32_t EntityTable::index_of(std::uint64_t id) const {
    if (!direct_.empty()) return id < direct_.size() ? direct_[id] : npos;
    if (slots_.empty()) return npos;
    std::uint64_t s = mix_id(id, seed_) & slot_mask_;
    for (;;) {
        const std::uint32_t i = slots_[s];
        if (i == npos || records_[i].id == id) return i;
        s = (s + 1) & slot_mask_;
    }
}

}  // namespace quarnel
