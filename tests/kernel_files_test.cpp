// Reading the device file system: path mapping, errors and faults.
#include "spine_fixture.hpp"

namespace {

class Files : public FreshDevice {
protected:
    TempDeviceRoot root;
    HANDLE open(const char16_t* path) {
        return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    }
    std::string read_all(HANDLE h) {
        std::string out;
        char buf[4];
        DWORD got = 0;
        while (ReadFile(h, buf, sizeof buf, &got, NULL) && got) out.append(buf, got);
        return out;
    }
};

TEST_F(Files, ComponentsMatchWithoutRegardToCase) {
    root.write("FlashDisk/Velmira/Data.TXT", "hello");
    TracedProcess app;
    HANDLE h = open(u"\\flashdisk\\VELMIRA\\data.txt");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(read_all(h), "hello");
    DWORD got = 7;
    char byte;
    EXPECT_TRUE(ReadFile(h, &byte, 1, &got, NULL));  // end of file: success, nothing read
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
}

TEST_F(Files, FailuresSetTheLastError) {
    root.write("FlashDisk/file.txt", "x");
    TracedProcess app;
    struct Case {
        const char16_t* path;
        DWORD error;
    } cases[] = {
        {u"\\FlashDisk\\missing.txt", ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\file.txt", ERROR_PATH_NOT_FOUND},
        {u"\\FlashDisk\\..\\FlashDisk\\file.txt", ERROR_INVALID_NAME},
        {u"FlashDisk\\file.txt", ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(open(c.path), INVALID_HANDLE_VALUE) << pf::utf8(c.path);
        EXPECT_EQ(GetLastError(), c.error) << pf::utf8(c.path);
    }
    EXPECT_EQ(pf::kernel::live_handle_count(app.process()), 0u);
}

TEST_F(Files, ArmedFaultsFailTheNextCallOnly) {
    root.write("a.ini", "ab");
    TracedProcess app;
    pf::kernel::fail_next(pf::kernel::Call::CreateFileW);
    EXPECT_EQ(open(u"\\a.ini"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE h = open(u"\\a.ini");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    pf::kernel::fail_next(pf::kernel::Call::ReadFile, ERROR_NOT_SUPPORTED);
    char byte;
    DWORD got = 9;
    EXPECT_FALSE(ReadFile(h, &byte, 1, &got, NULL));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(ReadFile(h, &byte, 1, &got, NULL));
    EXPECT_EQ(byte, 'a');
    CloseHandle(h);
    EXPECT_FALSE(ReadFile(h, &byte, 1, &got, NULL));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(Files, NoDeviceRootMeansNoFiles) {
    pf::kernel::set_device_root({});
    TracedProcess app;
    EXPECT_EQ(open(u"\\FlashDisk\\a.ini"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

}  // namespace
