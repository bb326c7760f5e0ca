// The registry calls against Wine's registry, under a key of each test's own.
#include <algorithm>
#include <vector>

#include "Win32TestSupport.h"

namespace kavrin::test {
namespace {

class RegistryTest : public Win32Test {
protected:
    void SetUp() override {
        Win32Test::SetUp();
        path = "SOFTWARE\\kavrin-win-tests\\" + std::to_string(os.processes.currentProcessId()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    std::string path;
};

TEST_F(RegistryTest, ValuesKeepTheirExactBytesAndType) {
    auto key = os.registry.createKey(RegRoot::CurrentUser, path);
    ASSERT_TRUE(key);
    // REG_SZ written without a terminator comes back as the bytes given.
    ASSERT_TRUE(key->setValue("list", kRegSz, "c:\\a;c:\\b;"));
    ASSERT_TRUE(key->setValue("blob", kRegBinary, std::string("\x00\x01\xff\x00", 4)));
    ASSERT_TRUE(key->setValue("empty", kRegSz, ""));

    auto reopened = os.registry.openKey(RegRoot::CurrentUser, path, RegAccess::Read);
    ASSERT_TRUE(reopened);
    auto list = reopened->queryValue("list", 8192);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->type, kRegSz);
    EXPECT_EQ(list->data.substr(0, list->data.find('\0')), "c:\\a;c:\\b;");
    auto blob = reopened->queryValue("blob", 8192);
    ASSERT_TRUE(blob);
    EXPECT_EQ(blob->type, kRegBinary);
    EXPECT_EQ(blob->data, std::string("\x00\x01\xff\x00", 4));
    auto empty = reopened->queryValue("empty", 8192);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->data.find_first_not_of('\0'), std::string::npos);
    EXPECT_FALSE(reopened->queryValue("absent", 8192));
}

TEST_F(RegistryTest, AValueLargerThanTheBufferIsNotReturned) {
    auto key = os.registry.createKey(RegRoot::CurrentUser, path);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->setValue("bin", kRegBinary, std::string(100, 'x')));
    EXPECT_FALSE(key->queryValue("bin", 99));  // ERROR_MORE_DATA
    auto exact = key->queryValue("bin", 100);
    ASSERT_TRUE(exact);
    EXPECT_EQ(exact->data, std::string(100, 'x'));
    EXPECT_FALSE(key->queryValue("bin", 0));
}

TEST_F(RegistryTest, SubkeysAreEnumeratedUntilNoMoreItems) {
    auto key = os.registry.createKey(RegRoot::CurrentUser, path);
    ASSERT_TRUE(key);
    for (const char* name : {"1.8.0_20", "1.6.0_45", "11.0.2"})
        ASSERT_TRUE(os.registry.createKey(RegRoot::CurrentUser, path + "\\" + name));
    std::vector<std::string> seen;
    for (uint32_t i = 0; auto name = key->enumSubkey(i); ++i) seen.push_back(*name);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"1.6.0_45", "1.8.0_20", "11.0.2"}));
    EXPECT_FALSE(key->enumSubkey(3));
    EXPECT_FALSE(key->enumSubkey(1000));
}

TEST_F(RegistryTest, OpeningAMissingKeyFails) {
    EXPECT_FALSE(os.registry.openKey(RegRoot::CurrentUser, path + "\\absent", RegAccess::Read));
    EXPECT_FALSE(os.registry.openKey(RegRoot::LocalMachine, "SOFTWARE\\kavrin-absent-key", RegAccess::Read));
    // createKey opens what exists and keeps its values.
    ASSERT_TRUE(os.registry.createKey(RegRoot::CurrentUser, path)->setValue("v", kRegSz, "1"));
    auto again = os.registry.createKey(RegRoot::CurrentUser, path);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->queryValue("v", 16));
}

TEST_F(RegistryTest, LocalMachineIsReadable) {
    auto key =
        os.registry.openKey(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", RegAccess::Read);
    ASSERT_TRUE(key);
    auto version = key->queryValue("CurrentVersion", 100);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->type, kRegSz);
}

}  // namespace
}  // namespace kavrin::test
