// The UTF-8 decoder cases of an outside suite (corpora/utf8tests/utf8tests.txt) run through
// both decoders. A valid case must decode to the same text by both; an invalid case, for which
// the suite expects replacement characters, must be rejected by both (the fast decoder answers
// -1, whole-text loading raises access invalid-utf8). Differences are listed by case number in
// tests/known-failures/utf8tests.txt, a list that may only shrink.
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/datatypes/string.h"
#include "runtime/unicode.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

struct CorpusCase {
    std::string number;
    bool valid;
    std::vector<uint8_t> bytes;
};

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    size_t b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::vector<uint8_t> parse_hex(const std::string& field) {
    std::string digits;
    for (char c : field)
        if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

// Test lines: "num:valid:ASCII", "num:valid hex:HEX", "num:invalid hex:HEX:SKIPPED:REPLACED".
std::vector<CorpusCase> read_cases(const std::string& path) {
    std::vector<CorpusCase> cases;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (trim(line).empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::stringstream ss(line);
        std::string f;
        while (std::getline(ss, f, ':')) fields.push_back(f);
        if (fields.size() < 3) continue;
        CorpusCase c;
        c.number = trim(fields[0]);
        const std::string kind = trim(fields[1]);
        if (kind == "valid") {
            c.valid = true;
            const std::string ascii = fields[2];
            c.bytes.assign(ascii.begin(), ascii.end());
        } else if (kind == "valid hex" || kind == "invalid hex") {
            c.valid = kind == "valid hex";
            c.bytes = parse_hex(fields[2]);
        } else {
            ADD_FAILURE() << "unknown line kind in the corpus: " << line;
            continue;
        }
        cases.push_back(std::move(c));
    }
    return cases;
}

std::set<std::string> read_known_failures(const std::string& path) {
    std::set<std::string> known;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line.substr(0, line.find('#')));
        if (!line.empty()) known.insert(line);
    }
    return known;
}

using test::fast_decode;

// Loads the bytes as a whole text; answers the code points, or nothing when it was rejected
// with invalid-utf8 (any other error fails the test).
bool checked_decode(const std::vector<uint8_t>& in, std::vector<int32_t>* out) {
    test::StackScope scope;
    try {
        Cell* s = string::load_new(in.data(), in.size(), string::kUtf8);
        for (int32_t i = 0, n = string::length(s); i < n; i++)
            out->push_back(static_cast<int32_t>(string::char_at(s, i)));
        return true;
    } catch (const Unwind&) {
        EXPECT_EQ(raised().id, Err::InvalidUtf8) << err_word(raised().id);
        return false;
    }
}

// Empty when the decoders agree with the suite, else what differed.
std::string check(const CorpusCase& c) {
    std::vector<int32_t> fast = fast_decode(c.bytes);
    bool fast_rejects = false;
    for (int32_t cp : fast) fast_rejects |= cp < 0;
    std::vector<int32_t> checked;
    bool checked_accepts = checked_decode(c.bytes, &checked);
    // A leading byte-order mark is dropped by the loader only.
    if (checked_accepts && fast.size() == checked.size() + 1 && !fast.empty() && fast[0] == 0xFEFF)
        fast.erase(fast.begin());
    if (c.valid) {
        if (fast_rejects) return "fast decoder rejects a valid case";
        if (!checked_accepts) return "loader rejects a valid case";
        if (fast != checked) return "the two decoders disagree";
        std::string encoded;
        for (int32_t cp : checked) {
            uint8_t b[4];
            int n = unicode::utf8_encode_char(static_cast<char32_t>(cp), b);
            encoded.append(reinterpret_cast<const char*>(b), static_cast<size_t>(n));
        }
        std::string want(c.bytes.begin(), c.bytes.end());
        if (want.rfind("\xEF\xBB\xBF", 0) == 0) want.erase(0, 3);
        if (encoded != want) return "re-encoding differs";
        return "";
    }
    if (!fast_rejects) return "fast decoder accepts an invalid case";
    if (checked_accepts) return "loader accepts an invalid case";
    return "";
}

TEST(Utf8Corpus, DecoderCases) {
    const std::string dir = std::string(NUV_CORPORA_DIR) + "/utf8tests";
    std::ifstream probe(dir + "/utf8tests.txt");
    if (!probe) GTEST_SKIP() << "corpus not found: " << dir;
    const std::vector<CorpusCase> cases = read_cases(dir + "/utf8tests.txt");
    ASSERT_GT(cases.size(), 200u) << "the corpus file looks cut short";
    const std::set<std::string> known =
        read_known_failures(std::string(NUV_SOURCE_DIR) + "/tests/known-failures/utf8tests.txt");

    size_t failed = 0;
    for (const CorpusCase& c : cases) {
        const std::string why = check(c);
        const bool listed = known.count(c.number) > 0;
        if (!why.empty()) failed++;
        if (!why.empty() && !listed)
            ADD_FAILURE() << "case " << c.number << " (" << (c.valid ? "valid" : "invalid")
                          << "): " << why << " (new failure)";
        if (why.empty() && listed)
            ADD_FAILURE() << "case " << c.number
                          << " now passes: remove it from tests/known-failures/utf8tests.txt";
    }
    RecordProperty("cases", static_cast<int>(cases.size()));
    RecordProperty("known_failures", static_cast<int>(failed));
}

}  // namespace
}  // namespace nuv
