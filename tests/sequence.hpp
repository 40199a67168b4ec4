// The one comparison of recorded sequences with expected tables, used by
// every suite (C++17, as the conformance suite is also built with mingw-w64):
//
//     EXPECT_TRUE(same_sequence(expected, actual, "what was done"));
//
// Entries are compared in order, strictly. An expected entry may be marked
// optional: it passes whether the recorded sequence holds it or not (a
// message one window system sends and another does not). On failure the
// result names the first differing entry, expected against actual, then
// lists both sequences.
//
// An entry type takes part through three functions found by argument-
// dependent lookup, declared next to the type:
//     bool sequence_matches(const T& expected, const T& actual);
//     bool sequence_optional(const T& expected);
//     std::string sequence_describe(const T& entry);
// Trace lines (std::string) are compared as they are.
#pragma once
#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace sequence {

inline bool sequence_matches(const std::string& expected, const std::string& actual) { return expected == actual; }
inline bool sequence_optional(const std::string&) { return false; }
inline std::string sequence_describe(const std::string& line) { return line; }

template <class T>
struct Identity {
    using type = T;
};

// Compares `actual` with `expected`; an optional expected entry that does
// not match the next recorded one is passed over.
template <class T>
::testing::AssertionResult same_sequence(const std::vector<typename Identity<T>::type>& expected,
                                         const std::vector<T>& actual, const std::string& context) {
    std::size_t e = 0, a = 0;
    while (e < expected.size() || a < actual.size()) {
        if (e < expected.size() && a < actual.size() && sequence_matches(expected[e], actual[a])) {
            ++e;
            ++a;
            continue;
        }
        if (e < expected.size() && sequence_optional(expected[e])) {
            ++e;
            continue;
        }
        std::ostringstream out;
        out << context << ": sequences differ at expected entry " << e << ", recorded entry " << a
            << "\n  expected: " << (e < expected.size() ? sequence_describe(expected[e]) : "(end of sequence)")
            << "\n  actual:   " << (a < actual.size() ? sequence_describe(actual[a]) : "(end of sequence)")
            << "\nexpected sequence:\n";
        for (std::size_t k = 0; k < expected.size(); ++k)
            out << (k == e ? "> " : "  ") << k << ": " << sequence_describe(expected[k]) << "\n";
        out << "recorded sequence:\n";
        for (std::size_t k = 0; k < actual.size(); ++k)
            out << (k == a ? "> " : "  ") << k << ": " << sequence_describe(actual[k]) << "\n";
        return ::testing::AssertionFailure() << out.str();
    }
    return ::testing::AssertionSuccess();
}

// An expected table of trace lines built from named parts, in order.
inline std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace sequence

using sequence::concat;
using sequence::same_sequence;
