// The registry store of the temp directory.
#include "Win32TestSupport.h"

#include "app/DirSettings.h"

#include <gtest/gtest.h>

namespace {

class SettingsStoreTest : public testing::Test
{
protected:
    void SetUp() override { pgtest::DeleteUserKey(pg::SETTINGS_KEY); }
    void TearDown() override { pgtest::DeleteUserKey(pg::SETTINGS_KEY); }
};

TEST_F(SettingsStoreTest, FirstSaveCreatesTheKey)
{
    HKEY key = nullptr;
    ASSERT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, pg::SETTINGS_KEY, 0, KEY_READ, &key));
    pg::DirSettings settings;
    settings.m_tmpDir = "D:\\edonkey\\temp";
    EXPECT_EQ(0, settings.Save());
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, pg::SETTINGS_KEY, 0, KEY_READ, &key));
    DWORD type = 0;
    char data[64] = {};
    DWORD size = sizeof data;
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegQueryValueExA(key, "TmpDir", nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
    ::RegCloseKey(key);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_STREQ("D:\\edonkey\\temp", data);
    EXPECT_EQ(sizeof "D:\\edonkey\\temp", size); // with its terminating zero
}

TEST_F(SettingsStoreTest, LongPathReadsBackWhole)
{
    const std::string path = "C:\\" + std::string(147, 'x');
    ASSERT_EQ(150u, path.size());
    pg::DirSettings saved;
    saved.m_tmpDir = path;
    saved.Save();
    pg::DirSettings loaded;
    loaded.Load();
    EXPECT_EQ(path, loaded.m_tmpDir);
}

TEST_F(SettingsStoreTest, EmptyTextWritesNothing)
{
    pg::DirSettings settings;
    EXPECT_EQ(0, settings.Save());
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, pg::SETTINGS_KEY, 0, KEY_READ, &key));
}

TEST_F(SettingsStoreTest, MissingKeyOrValueReadsEmpty)
{
    std::string text = "stale";
    EXPECT_EQ(E_FAIL, pg::ReadRegistryString(text, pg::SETTINGS_KEY, pg::TEMP_DIR_VALUE));
    EXPECT_EQ("", text);
    HKEY key = nullptr;
    ::RegCreateKeyA(HKEY_CURRENT_USER, pg::SETTINGS_KEY, &key);
    ::RegCloseKey(key);
    text = "stale";
    EXPECT_EQ(S_OK, pg::ReadRegistryString(text, pg::SETTINGS_KEY, pg::TEMP_DIR_VALUE));
    EXPECT_EQ("", text);
}

TEST_F(SettingsStoreTest, OtherValueTypesReadAsTextUpToTheFirstZero)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(HKEY_CURRENT_USER, pg::SETTINGS_KEY, &key));
    const char bytes[] = {'D', ':', '\\', 'x', '\0', 'y', 'z'};
    ::RegSetValueExA(key, "TmpDir", 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes), sizeof bytes);
    ::RegCloseKey(key);
    std::string text;
    EXPECT_EQ(S_OK, pg::ReadRegistryString(text, pg::SETTINGS_KEY, pg::TEMP_DIR_VALUE));
    EXPECT_EQ("D:\\x", text);
}

TEST_F(SettingsStoreTest, UnterminatedValueIsReadWithoutOverrun)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(HKEY_CURRENT_USER, pg::SETTINGS_KEY, &key));
    const char bytes[] = {'a', 'b', 'c'};
    ::RegSetValueExA(key, "TmpDir", 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes), sizeof bytes);
    ::RegCloseKey(key);
    std::string text;
    pg::ReadRegistryString(text, pg::SETTINGS_KEY, pg::TEMP_DIR_VALUE);
    EXPECT_EQ("abc", text);
}

} // namespace
