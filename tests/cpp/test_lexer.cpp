// Checks of the lexer and the entity table through their C++ interfaces:
// the cases a Python caller cannot reach through a whole file (which statement
// of an id wins, GlobalIds and type names in any case: test_relationships).
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "columns.hpp"
#include "hash_seed.hpp"
#include "step/entity_table.hpp"
#include "step/flat_map.hpp"
#include "step/lexer.hpp"
#include "step/values.hpp"

#include "check.hpp"

using namespace quarnel;

static std::vector<std::string> pieces(std::string_view text) {
    Attributes record(text);
    std::vector<std::string> out;
    for (std::size_t i = 0; const auto p = record.at(i); ++i) out.emplace_back(*p);
    return out;
}

static void split_cases() {
    CHECK(pieces("") == std::vector<std::string>{""});
    CHECK(pieces("()") == std::vector<std::string>{"()"});
    CHECK(pieces("a,,b") == (std::vector<std::string>{"a", "", "b"}));
    CHECK(pieces("a,") == (std::vector<std::string>{"a", ""}));
    CHECK(pieces(" #1 , (2,3) ,'x,y'") == (std::vector<std::string>{"#1", "(2,3)", "'x,y'"}));
    CHECK(pieces("IFCLABEL('a,b'),2") == (std::vector<std::string>{"IFCLABEL('a,b')", "2"}));
    CHECK(pieces("a),b,c") == (std::vector<std::string>{"a),b,c"}));  // negative depth never splits
    CHECK(pieces("'it''s',x") == (std::vector<std::string>{"'it''s'", "x"}));
    CHECK(pieces("a,'open,b") == (std::vector<std::string>{"a", "'open,b"}));
    Attributes record("a,(b,c),d");
    CHECK(record.at(1) == std::optional<std::string_view>("(b,c)"));
    CHECK(record.at(0) == std::optional<std::string_view>("a") && record.at(2) == std::optional<std::string_view>("d"));
    CHECK(!record.at(3) && record.size() == 3 && record.has(3) && !record.has(4));
    CHECK(record.piece(2) == "d" && record.piece(3).empty());
    // Past the inline pieces the record keeps walking forward.
    std::string many;
    for (int i = 0; i < 40; ++i) many += (i ? "," : "") + std::to_string(i);
    record.reset(many);
    CHECK(record.number(39) == 39.0 && record.number(17) == 17.0 && record.number(2) == 2.0 && !record.at(40));
}

// The kind of a piece as the typed readers see it: the one reader that
// answers, '-' for none and '!' for more than one.
static char kind_of(std::string_view p) {
    std::string kinds;
    if (value::is_unset(p)) kinds += 'u';
    if (value::ref(p)) kinds += '#';
    if (value::number(p)) kinds += 'n';
    if (value::list(p)) kinds += 'l';
    if (value::enumeration(p)) kinds += 'e';
    if (value::text(p)) kinds += 's';
    return kinds.size() == 1 ? kinds[0] : kinds.empty() ? '-' : '!';
}

static void value_cases() {
    const std::pair<const char*, char> kinds[] = {
        {"", 'u'}, {"$", 'u'}, {"*", 'u'}, {"$$", '-'}, {"#007", '#'}, {"#+7", '#'}, {"#18446744073709551615", '#'},
        {"#-1", '-'}, {"#", '-'}, {"# 12", '-'}, {"#18446744073709551616", '-'}, {"#1a", '-'}, {"#x", '-'},
        {"'a''b'", 's'}, {"'a'b'", 's'}, {"'", '-'}, {"'\\X2\\00E4\\X0\\'", 's'}, {"(#1,#2)", 'l'}, {"()", 'l'},
        {"(", '-'}, {".T.", 'e'}, {"..", '-'}, {".T", '-'}, {"IFCLABEL('x')", '-'}, {"3", 'n'}, {"3.", 'n'},
        {"+3.0E0", 'n'}, {"3e0", 'n'}, {"30E-1", 'n'}, {"-.5e1", 'n'}, {"+INF", 'n'}, {".5", '-'}, {"-", '-'},
        {"+", '-'}, {"1.2.3", '-'}, {"3D", '-'}, {"1e", '-'}, {"1e+", '-'}, {"inf", '-'}, {"+infx", '-'}, {"--1", '-'},
    };
    for (const auto& [piece, kind] : kinds) {
        if (kind_of(piece) != kind) {
            std::fprintf(stderr, "%s: kind %c, expected %c\n", piece, kind_of(piece), kind);
            ++failures;
        }
    }
    CHECK(value::ref("#007") == 7u && value::ref("#18446744073709551615") == 18446744073709551615ULL);
    CHECK(value::text("'a'b'") == "a'b");
    CHECK(value::list("(#1,#2)") == "#1,#2" && value::list("()") == "");
    for (const char* t : {"3", "3.", "+3.0E0", "3e0", "30E-1"}) CHECK(value::number(t) == 3.0);
    CHECK(value::number("0.1") == 0.1);
    CHECK(value::number("2.2250738585072011e-308") == 2.2250738585072011e-308);  // correctly rounded
    // Typed values keep their text as written; a List is one without a name.
    const auto typed = value::typed("IFCLABEL ( 'x' )");
    CHECK(typed && typed->name == "IFCLABEL " && typed->inner == " 'x' ");
    CHECK(value::typed("(1)") && value::typed("(1)")->name.empty() && !value::typed("IFCX(") && !value::typed("x"));
    CHECK(reference_list("#1,$,(#2),#3,'#4',#5") == (std::vector<std::uint64_t>{1, 3, 5}));
    // Plain lists take a shortcut; every other form must read as the general walk does.
    using Ids = std::vector<std::uint64_t>;
    CHECK(reference_list(" #1 ,#2,\t#3 ") == (Ids{1, 2, 3}));
    CHECK(reference_list("#1,,#2") == (Ids{1, 2}));
    CHECK(reference_list("#1,") == (Ids{1}));
    CHECK(reference_list("#1,#+5,# 6") == (Ids{1, 5}));
    CHECK(reference_list("#18446744073709551616,#2,#18446744073709551615") == (Ids{2, 18446744073709551615ULL}));
    CHECK(reference_list("#1x,#2").size() == 1 && reference_list("").empty() && reference_list("#").empty());
    Attributes unit("$,.NOTDEFINED.,'X'");
    CHECK(unit.enumeration(1) == std::optional<std::string_view>("NOTDEFINED"));
    CHECK(!unit.enumeration(2) && !unit.enumeration(3));
    std::string scratch;
    CHECK(value::text("'plain'", scratch)->borrowed && !value::text("'it''s'", scratch)->borrowed);
    CHECK(value::text("'it''s'", scratch)->text == "it's");
    CHECK(value::text("'\\X2\\00E4\\X0\\'") == "\xC3\xA4");
    CHECK(equals_upper("IfcWall", "IFCWALL") && !equals_upper("IfcWalls", "IFCWALL") && !equals_upper("IFCWALL", "IfcWall"));
}

static void decode_cases() {
    CHECK(decode_string("\\X2\\D800\\X0\\").empty());
    CHECK(decode_string("a\\X2\\00E4ZZZZ\\X0\\b") == "a\xC3\xA4" "b");  // ZZZZ is no hex group
    CHECK(decode_string("\\X2\\00E") == "");                           // no terminator, short tail dropped
    // No terminator: the scan stops three bytes before the end, so only the
    // groups that end before those bytes count.
    CHECK(decode_string("x\\X2\\00E400") == "x");
    CHECK(decode_string("x\\X2\\00E40000") == "x\xC3\xA4");
    CHECK(decode_string("\\X\\E4") == "\xC3\xA4");
    CHECK(decode_string("\\X\\00") == std::string(1, '\0'));
    CHECK(decode_string("\\S\\D") == "\xC3\x84");
    CHECK(decode_string("\\S\\") == "\\S\\");
    CHECK(decode_string("C:\\\\dir") == "C:\\\\dir");
    CHECK(decode_string("\xE4") == "\xC3\xA4");
    CHECK(decode_string("''") == "'");
}

// Ids that share their low bits (k << 45) once all fell into one probe chain,
// which made the table and the extractor maps quadratic in the instance count.
static void colliding_id_cases() {
    const std::uint64_t seed = hash_seed();
    const std::size_t mask = 8191;
    for (const int shift : {20, 32, 45, 52}) {
        std::vector<bool> used(mask + 1);
        std::size_t distinct = 0;
        for (std::uint64_t k = 1; k <= 4096; ++k) {
            const std::size_t s = mix_id(k << shift, seed) & mask;
            distinct += !used[s];
            used[s] = true;
        }
        CHECK(distinct > 2800);  // 4096 random keys in 8192 slots fill about 3200
    }
    std::string f = "DATA;\n";
    for (std::uint64_t k = 1; k <= 3000; ++k) f += "#" + std::to_string(k << 45) + "=IFCWALL('x');\n";
    f += "ENDSEC;";
    const EntityTable table = EntityTable::build(f);
    CHECK(table.size() == 3000);
    CHECK(table.get(1ULL << 45) && table.get(3000ULL << 45) && !table.get(3001ULL << 45));
    IdMap<std::uint64_t> map;
    for (std::uint64_t k = 1; k <= 3000; ++k) map[k << 45] = k;
    CHECK(map.size() == 3000 && *map.find(1234ULL << 45) == 1234 && !map.find(1));
}

// Files large enough to be scanned in parts on several threads.
static std::string big_file(std::size_t instances, std::string_view middle) {
    std::string f = "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n";
    for (std::size_t i = 1; i <= instances; ++i) {
        f += "#" + std::to_string(i) + "=IFCWALL('2O2Fr$t4X7Zf8NOew3FLOH',#12,'wall " + std::to_string(i) +
             "',$,$,$,$,$,$);\n";
        if (i == instances / 2) f += middle;
    }
    return f + "ENDSEC;\nEND-ISO-10303-21;\n";
}

static void split_scan_cases() {
    const std::size_t n = 600000;  // about 45 MB
    const std::string plain = big_file(n, "");
    const std::string before = plain;
    const EntityTable table = EntityTable::build(plain);
    // Pages are given back only from file mappings: in ordinary memory that zeroes them.
    CHECK(plain == before);
    CHECK(table.size() == n);
    bool in_order = table.records().size() == n;
    for (std::size_t i = 0; in_order && i < n; ++i) in_order = table.records()[i].id == i + 1;
    CHECK(in_order);
    CHECK(table.get(n)->attributes.substr(0, 24) == "'2O2Fr$t4X7Zf8NOew3FLOH'");

    // A text spanning the middle of the file full of lines that look like
    // statements: a scan starting inside it would invent instances.
    std::string fake = "#" + std::to_string(n + 1) + "=IFCLABEL('";
    for (int i = 0; i < 200000; ++i) fake += ";\n#" + std::to_string(5000000 + i) + "=IFCWALL('x');\n";
    fake += "');\n";
    const std::string tricky = big_file(n, fake);
    const EntityTable t2 = EntityTable::build(tricky);
    CHECK(t2.size() == n + 1);
    CHECK(!t2.get(5000000) && !t2.get(5100000));
    CHECK(t2.get(n + 1)->type == "IFCLABEL");
    CHECK(t2.get(n)->type == "IFCWALL");
    // The tags of the parts (and of the serial rest after the overshoot) line up with the records.
    bool tags_match = t2.type_tags().size() == t2.records().size();
    for (std::size_t i = 0; tags_match && i < t2.records().size(); ++i) {
        tags_match = t2.type_tags()[i] == type_tag(t2.type_of(t2.records()[i]));
    }
    CHECK(tags_match);
}

// A later statement of an id replaces an earlier one read by another part.
static void split_duplicate_cases() {
    const std::size_t n = 600000;
    std::string f = "DATA;\n";
    for (std::size_t i = 0; i < n; ++i) {
        f += "#" + std::to_string(i % (n / 2) + 1) + "=" + (i < n / 2 ? "IFCWALL" : "IFCSLAB") +
             "('2O2Fr$t4X7Zf8NOew3FLOH',#12,'part',$,$,$,$,$,$);\n";
    }
    f += "ENDSEC;\n";
    const EntityTable twice = EntityTable::build(f);
    CHECK(twice.size() == n / 2);
    CHECK(twice.get(1)->type == "IFCSLAB" && twice.get(n / 2)->type == "IFCSLAB");
    CHECK(!twice.is_live(0) && twice.is_live(static_cast<std::uint32_t>(n / 2)));
}

static void text_pool_cases() {
    TextPool pool;
    pool.share_equal_texts();
    std::vector<std::string> texts;
    for (int i = 0; i < 5000; ++i) texts.push_back("text " + std::to_string(i));  // grows the table
    std::vector<std::uint32_t> ids;
    for (const auto& t : texts) ids.push_back(pool.add_view(t));
    bool same = true;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        same = same && pool.add_copy(std::string(texts[i])) == ids[i] && pool.add_view(texts[i]) == ids[i];
    }
    CHECK(same);
    CHECK(pool.size() == texts.size());
    CHECK(pool.add_view("") == pool.add_copy(""));

    TextPool other;
    const std::uint32_t x = other.add_copy("x");
    const std::uint32_t offset = pool.append(std::move(other));
    CHECK(pool[offset + x] == "x");
    CHECK(pool[ids[4999]] == "text 4999");

    TextPool plain;  // without sharing every text gets an id of its own
    CHECK(plain.add_view("a") != plain.add_view("a"));
}

// The end of a statement found by matching each string's quotes in turn.
static std::optional<std::size_t> matched_statement_end(std::string_view text, std::size_t start) {
    for (std::size_t p = start; p < text.size();) {
        if (text[p] == ';') return p;
        if (text[p] != '\'') {
            ++p;
            continue;
        }
        const auto after = skip_quoted(text, p);
        if (!after) return std::nullopt;
        p = *after;
    }
    return std::nullopt;
}

// Statements of every length around the 64-byte blocks, with doubled quotes,
// strings that run across a block edge and strings that never close.
static void statement_end_cases() {
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    const auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int round = 0; round < 20000; ++round) {
        std::string text(next() % 300, 'a');
        const unsigned density = 2 + next() % 40;
        for (char& c : text) {
            const auto r = next() % density;
            c = r == 0 ? '\'' : r == 1 ? ';' : 'a';
        }
        const std::size_t start = text.empty() ? 0 : next() % (text.size() + 1);
        const std::size_t limit = start + next() % (text.size() - start + 1);
        const std::string_view range = std::string_view(text).substr(0, limit);
        const auto expected = start < limit ? matched_statement_end(range, start) : std::nullopt;
        if (find_statement_end(text, start, limit) != expected) {
            std::fprintf(stderr, "statement end differs on '%s' from %zu to %zu\n", text.c_str(), start, limit);
            ++failures;
            return;
        }
    }
    CHECK(find_statement_end("#1=X('a;''b;');#2", 0, 17) == std::optional<std::size_t>(14));
}

int main() {
    statement_end_cases();
    split_cases();
    value_cases();
    decode_cases();
    colliding_id_cases();
    split_scan_cases();
    split_duplicate_cases();
    text_pool_cases();
    if (failures) std::fprintf(stderr, "%d failed\n", failures);
    return failures ? 1 : 0;
}
