// The simulated reader driver: its model, its refusals, its faults and its
// own typing in buffer mode 3.
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

TEST_F(Driver, CallsAreTracedAsTheApplicationMadeThem) {
    TracedProcess app;
    DWORD status, pending, info;
    BYTE length;
    BYTE buffer[1024];
    ZELChangeBuffMode(3);
    ZELChangeBuffMode(0);
    ZELOpen(NULL, 0);
    ZELPollStatus(&status, &pending);  // nothing waiting: verbose trace only
    zel::control::scan("abc");
    ZELPollStatus(&status, &pending);
    EXPECT_EQ(pending, 1u);
    ZELReadData(buffer, &info, &length);
    ZELOp590();
    ZELOp580();
    ZELClose();
    EXPECT_TRUE(same_sequence(
        {
            "ZELChangeBuffMode(3) = 0",
            "ZELChangeBuffMode(0) = 0",
            "ZELOpen(NULL, 0) = 0",
            "ZELPollStatus(&status, &pending) = 0 [pending 1]",
            "ZELReadData(buffer, &info, &length) = 0 [length 3]",
            "ZELOp590() = 0",
            "ZELOp580() = 0",
            "ZELClose() = 0",
        },
        app.calls(), "calls"));
}

TEST_F(Driver, ArmedFaultsAnswerOnce) {
    TracedProcess app;
    zel::control::fail_next_open();
    zel::control::fail_next_buffer_mode();
    EXPECT_EQ(ZELChangeBuffMode(3), ZEL_ERR_BUFFER_MODE);
    EXPECT_EQ(zel::control::buffer_mode(), 0u);
    EXPECT_EQ(ZELOpen(NULL, 0), ZEL_ERR_TRIGGER_KEY);
    EXPECT_FALSE(zel::control::is_open());
    EXPECT_EQ(ZELChangeBuffMode(3), 0u);
    EXPECT_EQ(ZELOpen(NULL, 0), 0u);
    EXPECT_TRUE(zel::control::is_open());
    zel::control::fail_next_open(0xFFFF0999);
    ZELClose();
    EXPECT_EQ(ZELOpen(NULL, 0), 0xFFFF0999u);
    EXPECT_TRUE(same_sequence(
        {
            "ZELChangeBuffMode(3) = ZEL_ERR_BUFFER_MODE",
            "ZELOpen(NULL, 0) = ZEL_ERR_TRIGGER_KEY",
            "ZELChangeBuffMode(3) = 0",
            "ZELOpen(NULL, 0) = 0",
            "ZELClose() = 0",
            "ZELOpen(NULL, 0) = 0xFFFF0999",
        },
        app.calls(), "calls"));
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

TEST_F(Driver, ModeThreeTypesTheReadItself) {
    open_reader(3);
    TypedText typed_text;
    auto r = zel::control::scan("a1A:*");
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(zel::control::pending(), 0u);
    EXPECT_EQ(typed_text.text(), "a1A:*");
    auto driver = trace_table::texts("driver");
    ASSERT_FALSE(driver.empty());
    driver.erase(driver.begin());  // the scan line itself
    EXPECT_TRUE(same_sequence(
        concat({typed('A', false), typed('1', false), typed('A', true), typed(0xDE, false), typed(0xDE, true)}), driver,
        "keys the driver typed"));
}

TEST_F(Driver, ModeThreeTypesWhatTheApplicationWouldType) {
    std::string all;
    for (int c = 0x01; c <= 0xFF; ++c)
        if (c != 0x7F) all += char(c);
    all.resize(255);
    // The application's own translation, traced as a process of its own.
    std::memcpy(ReadBuffer, all.data(), all.size());
    std::vector<std::string> application;
    {
        TracedProcess app;
        TranslateRead(BYTE(all.size()));
        EmitKeys(BYTE(all.size()));
        application = app.calls();
    }
    open_reader(3);
    pf::trace_clear();
    zel::control::scan(all);
    auto driver = trace_table::texts("driver");
    driver.erase(driver.begin());
    EXPECT_TRUE(same_sequence(application, driver, "keys the driver typed"));
}

}  // namespace
