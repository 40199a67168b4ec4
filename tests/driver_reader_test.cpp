// The simulated reader driver: its model, its refusals, and its own typing
// in buffer mode 3.
#include "spine_fixture.hpp"

namespace {

using Driver = FreshDevice;

TEST_F(Driver, ClosedReaderRefusesScans) {
    auto r = zel::control::scan("123");
    EXPECT_FALSE(r.accepted);
    EXPECT_NE(r.message.find("closed"), std::string::npos) << r.message;
    EXPECT_EQ(zel::control::pending(), 0u);
    EXPECT_EQ(trace_table::texts("driver").back(), "scan \"123\" (3 bytes): " + r.message);
}

TEST_F(Driver, ReadsLongerThanReadLengthCanCarryAreRefused) {
    open_reader(0);
    EXPECT_TRUE(zel::control::scan(std::string(255, 'x')).accepted);
    auto r = zel::control::scan(std::string(256, 'x'));
    EXPECT_FALSE(r.accepted);
    EXPECT_NE(r.message.find("256"), std::string::npos) << r.message;
    EXPECT_EQ(zel::control::pending(), 1u);
    EXPECT_TRUE(zel::control::scan("").accepted);  // an empty barcode is still a read
}

TEST_F(Driver, QueueIsBoundedAndNeverDropsSilently) {
    open_reader(0);
    for (std::size_t i = 0; i < zel::control::queue_limit; ++i)
        ASSERT_TRUE(zel::control::scan("r" + std::to_string(i)).accepted);
    auto r = zel::control::scan("one too many");
    EXPECT_FALSE(r.accepted);
    EXPECT_NE(r.message.find(std::to_string(zel::control::queue_limit)), std::string::npos) << r.message;
    // The reads come out in scan order, the refused one not at all.
    BYTE buffer[1024];
    DWORD info;
    BYTE length;
    for (std::size_t i = 0; i < zel::control::queue_limit; ++i) {
        ASSERT_EQ(ZELReadData(buffer, &info, &length), 0u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), length), "r" + std::to_string(i));
    }
    EXPECT_EQ(ZELReadData(buffer, &info, &length), ZEL_ERR_NO_DATA);
    EXPECT_EQ(length, 0);
}

TEST_F(Driver, OnlyModesZeroAndThreeExist) {
    EXPECT_NE(ZELChangeBuffMode(1), 0u);
    EXPECT_EQ(zel::control::buffer_mode(), 0u);
}

TEST_F(Driver, ClosingForgetsUnfetchedReads) {
    open_reader(0);
    zel::control::scan("lost");
    ZELClose();
    EXPECT_EQ(zel::control::pending(), 0u);
    EXPECT_TRUE(pf::wait_quiet(10s));
}

// Byte for byte over all 256, the driver types in buffer mode 3 exactly
// the keys the application's worker sends for the same read in mode 0.
TEST_F(Driver, ModeThreeTypesWhatTheApplicationWouldType) {
    for (int first : {0x00, 0x80}) {
        std::string read;
        for (int c = first; c < first + 0x80; ++c) read += char(c);
        // The application's own translation, traced as a process of its own.
        std::memcpy(ReadBuffer, read.data(), read.size());
        std::vector<std::string> application;
        {
            TracedProcess app;
            TranslateRead(BYTE(read.size()));
            EmitKeys(BYTE(read.size()));
            application = app.calls();
        }
        zel::control::reset();
        open_reader(3);
        pf::trace_clear();
        ASSERT_TRUE(zel::control::scan(read).accepted);
        auto driver = trace_table::texts("driver");
        driver.erase(driver.begin());  // the scan line itself
        EXPECT_FALSE(application.empty() && first == 0x00) << "the application sent nothing for the printable bytes";
        EXPECT_TRUE(same_sequence(application, driver, "keys the driver typed from " + pf::hex(first, 2)));
    }
}

}  // namespace
