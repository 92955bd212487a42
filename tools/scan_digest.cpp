// Prints one line per model named on the command line:
//   NAME statements=N records=N scan=HEX table=HEX pieces=HEX
// digests of the statement scan (each statement's span, id, type and attribute
// span), of the entity table built from it, and of the piece walk over every
// attribute text, nested lists and typed values included. They hold only
// offsets, ids and counts, so every build of the core (with its vector paths
// or without, on any system and processor) must print the same lines:
// tools/cross_check.sh compares them.
//   scan_digest [--repeat N] MODEL...
// With --repeat the same walk (summed, not hashed) runs N times more and the
// fastest run's milliseconds (wall clock and processor) go to stderr, to
// compare the vector paths with the byte-wise ones.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "step/entity_table.hpp"
#include "step/lexer.hpp"
#include "step/mapped_file.hpp"
#include "step/resident.hpp"
#include "step/scanner.hpp"

using namespace quarnel;

namespace {

// FNV-1a over each value's eight bytes, low byte first on every processor.
struct Digest {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    void add(std::uint64_t v) {
        for (int k = 0; k < 8; ++k) h = (h ^ ((v >> (8 * k)) & 0xFF)) * 0x100000001b3ULL;
    }
};

// For the timed runs: a sum costs next to nothing beside the walk it follows.
struct Tally {
    std::uint64_t h = 0;
    void add(std::uint64_t v) { h += v; }
};

template <class Sink>
struct Digests {
    Sink scan, table, pieces;
    std::uint64_t statements = 0, records = 0;
};

std::uint64_t offset(std::string_view file, std::string_view part) {
    return static_cast<std::uint64_t>(part.data() - file.data());
}

// Every piece of `text`, and inside a list `(...)` or a typed value `NAME(...)` the pieces of
// its contents, down to a depth no real model reaches; each list's references too.
template <class Sink>
void walk(std::string_view file, std::string_view text, int depth, Sink& d, std::vector<std::uint64_t>& refs) {
    PieceWalker walker(text);
    for (std::string_view piece; walker.next(piece);) {
        d.add(offset(file, piece));
        d.add(piece.size());
        const std::size_t open = piece.find('(');
        if (depth < 16 && open != std::string_view::npos && piece.back() == ')' && piece.front() != '\'') {
            const std::string_view inner = piece.substr(open + 1, piece.size() - open - 2);
            if (open == 0) {
                reference_list(inner, refs);
                d.add(refs.size());
                for (const std::uint64_t r : refs) d.add(r);
            }
            walk(file, inner, depth + 1, d, refs);
        }
    }
}

template <class Sink>
Digests<Sink> digest(std::string_view file) {
    Digests<Sink> out;
    StatementScanner scanner(file);
    std::vector<std::uint64_t> refs;
    InstanceHeader header;
    while (const auto statement = scanner.next()) {
        ++out.statements;
        out.scan.add(statement->begin);
        out.scan.add(statement->end);
        if (!parse_instance_header(statement->text, header)) {
            out.scan.add(~std::uint64_t{0});
            continue;
        }
        out.scan.add(header.id);
        out.scan.add(offset(file, header.type));
        out.scan.add(header.type.size());
        out.scan.add(offset(file, header.attributes));
        out.scan.add(header.attributes.size());
        walk(file, header.attributes, 0, out.pieces, refs);
    }
    const EntityTable table = EntityTable::build(file);
    out.records = table.records().size();
    for (std::uint32_t i = 0; i < table.records().size(); ++i) {
        const EntityRecord& r = table.records()[i];
        out.table.add(r.id);
        out.table.add(r.type_offset);
        out.table.add(r.type_length);
        out.table.add(r.attr_length);
        out.table.add(table.is_live(i));
    }
    out.table.add(table.size());
    return out;
}

std::string name_of(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 0;
    int failed = 0;
    for (int a = 1; a < argc; ++a) {
        const std::string_view arg = argv[a];
        if (arg == "--repeat" && a + 1 < argc) {
            repeat = std::atoi(argv[++a]);
            continue;
        }
        std::string error;
        const auto file = MappedFile::open(arg, error);
        if (!file) {
            std::fprintf(stderr, "%s\n", error.c_str());
            ++failed;
            continue;
        }
        // Pages handed back must read back the same: the digest reads every one after that.
        ResidentTrail::drop_all(file->bytes());
        const Digests<Digest> d = digest<Digest>(file->bytes());
        std::printf("%s statements=%llu records=%llu scan=%016llx table=%016llx pieces=%016llx\n", name_of(arg).c_str(),
                    static_cast<unsigned long long>(d.statements), static_cast<unsigned long long>(d.records),
                    static_cast<unsigned long long>(d.scan.h), static_cast<unsigned long long>(d.table.h),
                    static_cast<unsigned long long>(d.pieces.h));
        if (repeat > 0) {
            // Processor time too: on a shared machine it wavers far less than the wall clock.
            double wall = 1e300, cpu = 1e300;
            for (int k = 0; k < repeat; ++k) {
                const auto start = std::chrono::steady_clock::now();
                const std::clock_t start_cpu = std::clock();
                const Digests<Tally> again = digest<Tally>(file->bytes());
                const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
                wall = std::min(wall, took.count());
                cpu = std::min(cpu, 1000.0 * static_cast<double>(std::clock() - start_cpu) / CLOCKS_PER_SEC);
                if (again.statements != d.statements) ++failed;
            }
            std::fprintf(stderr, "%s %.3f ms %.3f ms-cpu\n", name_of(arg).c_str(), wall, cpu);
        }
    }
    return failed ? 1 : 0;
}
