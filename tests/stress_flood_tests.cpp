// A flood of random printable reads, scanned as fast as the reader takes
// them: in the background mode every byte arrives in the memo, in order; in
// the read display they fill field 1001 as far as it holds.
#include "stress.hpp"

#include <random>

#include "zel_control.hpp"

namespace {

using namespace stress;

constexpr int flood_reads = 2000;
constexpr std::size_t field_limit = 30000;  // an edit control's default limit
constexpr int read_data_field = 1001;

// Reads of 1 to 255 bytes from 0x20 to 0x7E, the same for every run.
std::vector<std::string> random_reads(int n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> length(1, int(zel::control::max_read));
    std::uniform_int_distribution<int> byte(0x20, 0x7E);
    std::vector<std::string> reads;
    for (int i = 0; i < n; ++i) {
        std::string read(std::size_t(length(random)), ' ');
        for (char& c : read) c = char(byte(random));
        reads.push_back(std::move(read));
    }
    return reads;
}

std::string bytes_of(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
    return out;
}

// Where the two texts first differ, for a readable failure.
std::string first_difference(const std::string& want, const std::string& seen) {
    std::size_t i = 0;
    while (i < want.size() && i < seen.size() && want[i] == seen[i]) ++i;
    auto around = [i](const std::string& s) { return runner::escape(s.substr(i > 10 ? i - 10 : 0, 30)); };
    return "first difference at byte " + std::to_string(i) + " of " + std::to_string(want.size()) +
           " expected / " + std::to_string(seen.size()) + " seen: expected " + around(want) + ", saw " +
           around(seen);
}

// Scans the reads in batches the driver's queue can hold, syncing between
// batches; after each batch `check` sees the reads of that batch.
void flood(const std::vector<std::string>& reads, const std::function<void(const std::string&)>& check) {
    for (std::size_t at = 0; at < reads.size();) {
        std::string batch;
        for (std::size_t k = 0; k < zel::control::queue_limit && at < reads.size(); ++k, ++at) {
            std::string refused = runner::link::scan(reads[at]);
            ASSERT_EQ(refused, "") << "read " << at;
            batch += reads[at];
        }
        ASSERT_TRUE(settle_device()) << "the device did not take batch ending with read " << at;
        check(batch);
        if (::testing::Test::HasFatalFailure() || ::testing::Test::HasNonfatalFailure()) return;
        pf::trace_clear();  // a flood types over a million keys
    }
}

using Flood = StressTest;

TEST_F(Flood, BackgroundModeTypesEveryReadIntoTheMemoInOrder) {
    auto reads = random_reads(count(flood_reads), 2024);
    run("launch");
    ASSERT_TRUE(settles("expect window hidden"));
    ASSERT_TRUE(settles("expect worker running"));
    HWND memo = device().memo_edit();
    std::size_t typed = 0;
    flood(reads, [&](const std::string& batch) {
        std::string seen = bytes_of(ud::text_of(memo));
        ASSERT_EQ(seen.size(), batch.size()) << first_difference(batch, seen);
        ASSERT_TRUE(seen == batch) << first_difference(batch, seen);
        typed += seen.size();
        // The memo holds 30000 characters; it starts empty for the next batch.
        clear_memo();
    });
    std::size_t total = 0;
    for (auto& r : reads) total += r.size();
    EXPECT_EQ(typed, total);
    run({"expect running", "expect tray 1", "expect messagebox none"});
}

TEST_F(Flood, ReadDisplayFillsItsFieldAsFarAsItHolds) {
    auto reads = random_reads(count(flood_reads), 4711);
    write_settings("Display On*");
    run({"launch", "expect window shown", "menu 40004", "expect dialog 104"});
    ASSERT_TRUE(settles("expect worker running"));
    std::string arrived;
    flood(reads, [&](const std::string& batch) {
        arrived += batch;
        HWND dialog = runner::link::open_dialog();
        ASSERT_NE(dialog, nullptr);
        std::string seen = bytes_of(ud::text_of(ud::child_by_id(dialog, read_data_field)));
        std::string expected = arrived.substr(0, field_limit);
        ASSERT_TRUE(seen == expected) << first_difference(expected, seen);
    });
    if (count(flood_reads) == flood_reads) {
        EXPECT_GT(arrived.size(), field_limit) << "the flood never filled the field";
    }
    // The full field refuses what comes after; the dialog still closes.
    run({"expect dialog 104", "press cancel"});
    ASSERT_TRUE(settles("expect dialog none"));
    ASSERT_TRUE(settles("expect worker stopped"));
    ASSERT_TRUE(settles("expect reader closed"));
    run({"expect window shown", "expect running", "expect messagebox none"});
}

}  // namespace
