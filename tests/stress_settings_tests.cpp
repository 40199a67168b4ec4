// Bad settings files: each gives ReadStartupSetting's answer and the start
// that answer calls for, and nothing else: no message, no file left open,
// no read past the deciding byte.
#include "stress.hpp"

#include "settings.h"

namespace {

using namespace stress;

enum class Setup { file, folder, read_fault, open_fault };

struct BadFile {
    const char* name;
    std::string content;
    int result;                    // ReadStartupSetting: 1, 0 or -1
    std::size_t reads;             // ReadFile calls it makes
    Setup setup = Setup::file;
};

constexpr std::size_t megabytes = 2 * 1024 * 1024;

// Reads up to and including the deciding asterisk at `at`.
std::size_t through(std::size_t at) { return at + 1; }
// Reads every byte, then the end of the file.
std::size_t to_end(const std::string& content) { return content.size() + 1; }

std::vector<BadFile> bad_files() {
    using namespace std::string_literals;
    std::vector<BadFile> cases;
    auto add = [&](const char* name, std::string content, int result, std::size_t reads) {
        cases.push_back({name, std::move(content), result, reads});
    };
    // NUL bytes are ordinary bytes: neither line breaks nor ends of text.
    std::string nuls(4096, '\0');
    add("only NUL bytes", nuls, 0, to_end(nuls));
    add("NULs between the setting and its asterisk", "Display On\0\0\0*"s, 1, through(13));
    add("a NUL before the setting", "\0Display On*"s, 0, to_end("\0Display On*"s));
    add("a NUL inside the setting", "Display\0On*"s, 0, to_end("Display\0On*"s));
    add("NULs on a line of their own", "\0\0\0\r\nDisplay On*"s, 1, through(15));
    add("Display Off with a NUL, then Display On", "Display Off\0*\nDisplay On*"s, 0, through(12));

    // Megabytes on one line: the line's first bytes still decide.
    const std::size_t size = count(megabytes);
    std::string filler(size, 'x');
    add("megabytes without a line break", filler, 0, to_end(filler));
    add("Display On, megabytes, asterisk", "Display On" + filler + "*", 1, through(10 + size));
    std::string stars;
    while (stars.size() < 64 * 1024) stars += "Display O*";
    add("a long line of near misses", stars, 0, to_end(stars));

    // Line breaks of every kind, mixed.
    add("CR LF, CR, LF mixed before the setting", "abc\r\n\r\rx\n\n\rDisplay On*", 1, through(21));
    add("Display Off after mixed breaks", "\n\r\n\rDisplay Off*\r\nDisplay On*", 0, through(15));
    add("a line break inside the setting", "Display\r\nOn*", 0, to_end("Display\r\nOn*"));
    add("a CR between the setting and its asterisk", "Display On\r*", 0, to_end("Display On\r*"));
    add("LF CR order", "x\n\rDisplay On*\n\r", 1, through(13));
    std::string breaks;
    while (breaks.size() < 300000) breaks += "\r\n\n\r\r";
    add("a long run of empty lines", breaks + "Display On*", 1, through(breaks.size() + 10));

    cases.push_back({"a folder where the file should be", "", -1, 0, Setup::folder});
    cases.push_back({"a file that cannot be read", "Display On*", -1, 1, Setup::read_fault});
    cases.push_back({"a file that cannot be opened", "Display On*", -1, 0, Setup::open_fault});
    return cases;
}

void prepare(const BadFile& c) {
    pf::kernel::clear_faults();
    auto path = pf::kernel::device_root() / settings_path;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    if (c.setup == Setup::folder) {
        std::filesystem::create_directories(path);
        return;
    }
    write_settings(c.content);
    if (c.setup == Setup::read_fault) pf::kernel::fail_next(pf::kernel::Call::ReadFile);
    if (c.setup == Setup::open_fault) pf::kernel::fail_next(pf::kernel::Call::CreateFileW);
}

// What the launch did with the settings file, from its trace.
struct FileCalls {
    int opens = 0;
    std::size_t reads = 0;
    std::string last_read;
    int closes = 0;
    std::string next;  // the first call after the file was done with
};

FileCalls file_calls(const std::vector<std::string>& lines) {
    FileCalls f;
    enum { before, open, done } state = before;
    for (const auto& line : lines) {
        if (state == before) {
            if (line.rfind("CreateFileW(", 0) == 0) {
                ++f.opens;
                state = open;
            }
        } else if (state == open) {
            if (line.rfind("ReadFile(", 0) == 0) {
                ++f.reads;
                f.last_read = line;
            } else if (line.rfind("CloseHandle(file#", 0) == 0) {
                ++f.closes;
                state = done;
            } else if (line.rfind("GetLastError()", 0) == 0 && f.reads == 0) {
                state = done;  // the open failed
            } else {
                f.next = "unexpected while reading: " + line;
                return f;
            }
        } else if (line.rfind("keybd_event(", 0) != 0) {
            f.next = line;
            return f;
        }
    }
    return f;
}

using BadSettings = StressTest;

TEST_F(BadSettings, EachFileGivesItsAnswerAndItsStart) {
    for (const BadFile& c : bad_files()) {
        SCOPED_TRACE(c.name);
        device().reset();

        // The answer itself, on the test's own (untraced) thread.
        prepare(c);
        const std::size_t handles = pf::kernel::live_handle_count();
        EXPECT_EQ(ReadStartupSetting(), c.result);
        EXPECT_EQ(pf::kernel::live_handle_count(), handles) << "the file was left open";
        pf::kernel::restart_handle_names();

        // The same file at a launch.
        prepare(c);
        launch();
        if (c.result == 1) {
            ASSERT_TRUE(settles("expect window shown"));
            run({"expect tray 0", "expect worker stopped", "expect reader closed"});
        } else {
            ASSERT_TRUE(settles("expect window hidden"));
            run({"expect tray 1", "expect worker running", "expect reader open", "expect mode 0"});
        }
        run({"expect messagebox none", "expect running"});

        FileCalls f = file_calls(runner::trace_of("pendrel#1"));
        EXPECT_EQ(f.opens, 1);
        EXPECT_EQ(f.reads, c.reads);
        bool opened = c.setup == Setup::file || c.setup == Setup::read_fault;
        EXPECT_EQ(f.closes, opened ? 1 : 0);
        std::string last_read;
        if (c.setup == Setup::read_fault) {
            last_read = "ReadFile(file#1, buffer, 1, &read, NULL) = FALSE [ERROR_READ_FAULT]";
        } else if (c.setup == Setup::file) {
            // the end of the file, or the deciding asterisk
            last_read = c.reads == to_end(c.content) ? "ReadFile(file#1, buffer, 1, &read, NULL) = TRUE [read 0]"
                                                     : "ReadFile(file#1, buffer, 1, &read, NULL) = TRUE [read 1]";
        }
        EXPECT_EQ(f.last_read, last_read);
        // Straight on with the start: the worker for the background, the
        // window's show for the shown start.
        const std::string next = c.result == 1 ? "CreateWindowExW(0, \"Pendrel\"" : "CreateEventW(NULL, FALSE, FALSE, NULL)";
        EXPECT_EQ(f.next.substr(0, next.size()), next) << "next call: " << f.next;
        if (HasFailure()) return;
    }
}

}  // namespace
