// The main window created from its real template: texts, fields, columns, settings and handlers.
#include "ExpectedTexts.h"
#include "GuiDriver.h"
#include "MainWindowFixture.h"
#include "Win32TestSupport.h"

#include "app/DirSettings.h"
#include "app/MainDialog.h"
#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

using pgtest::WindowText;

class MainWindowTest : public pgtest::MainWindowFixture
{
protected:
    std::string StoredTempDir() const
    {
        std::string value;
        pg::ReadRegistryString(value, pg::SETTINGS_KEY, pg::TEMP_DIR_VALUE);
        return value;
    }
};

struct Caption
{
    int control;
    pgtest::Localized text;
};

TEST_F(MainWindowTest, LocalizedCaptionsFollowTheUserLocale)
{
    const HWND window = Open();
    EXPECT_EQ(pgtest::ExpectGerman() ? 1031u : 1033u, ::GetUserDefaultLCID());
    const Caption captions[] = {
        {IDB_CLOSE, pgtest::CLOSE},
        {IDT_INPUT, pgtest::INPUT_LABEL},
        {IDT_OUTPUT, pgtest::OUTPUT_LABEL},
        {IDT_START_FRAME, pgtest::START_FRAME_LABEL},
        {IDT_FRAME_COUNT, pgtest::FRAME_COUNT_LABEL},
        {IDT_IF_KNOWN, pgtest::IF_KNOWN_LABEL},
        {IDT_WIDTH, pgtest::WIDTH_LABEL},
        {IDT_HEIGHT, pgtest::HEIGHT_LABEL},
        {IDB_GO, pgtest::GO},
    };
    for (const Caption& caption : captions)
        EXPECT_EQ(pgtest::Expected(caption.text), ItemText(caption.control)) << caption.control;
    // Texts outside the string table read the same in both languages.
    EXPECT_EQ("Partglance", WindowText(window));
    EXPECT_EQ("Refresh", ItemText(IDB_REFRESH));
    EXPECT_EQ("&Play", ItemText(IDB_PLAY_INPUT));
    EXPECT_EQ("Extern: Clipmend V0.45 Beta", ItemText(IDG_TOOL));
}

TEST_F(MainWindowTest, LocalizedColumnHeadings)
{
    Open();
    EXPECT_EQ(pgtest::ExpectedColumnHeadings(), gui::ListHeadings(Item(IDL_DOWNLOADS), 4));
}

TEST_F(MainWindowTest, LocalizedSystemMenuOffersTheAboutItemLast)
{
    const HWND window = Open();
    const HMENU menu = ::GetSystemMenu(window, FALSE);
    ASSERT_NE(nullptr, menu);
    const int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(16u, ::GetMenuItemID(menu, count - 1));
    char text[128] = {};
    ::GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(pgtest::Expected(pgtest::ABOUT_ITEM), text);
    MENUITEMINFOA separator{};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ::GetMenuItemInfoA(menu, count - 2, TRUE, &separator);
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);
}

TEST_F(MainWindowTest, LocalizedDefaultTempDirectoryGetsItsBackslash)
{
    Open();
    EXPECT_EQ(pgtest::Expected(pgtest::DEFAULT_TEMP_DIR), ItemText(IDE_TEMP_DIR));
}

TEST_F(MainWindowTest, StoredTempDirectoryReplacesTheDefaultWithBackslash)
{
    ASSERT_EQ(S_OK, pg::WriteRegistryString("D:\\edonkey\\temp", pg::SETTINGS_KEY, pg::TEMP_DIR_VALUE));
    Open();
    EXPECT_EQ("D:\\edonkey\\temp\\", ItemText(IDE_TEMP_DIR));
}

TEST_F(MainWindowTest, ColumnsSplitTheListWidthSeventyPercentWide)
{
    Open();
    RECT client{};
    ::GetClientRect(Item(IDL_DOWNLOADS), &client);
    const int width = client.right - client.left;
    const HWND list = Item(IDL_DOWNLOADS);
    const int wide = static_cast<int>(::SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0));
    const int narrow = static_cast<int>(::SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0));
    EXPECT_EQ(static_cast<int>(width * 0.7), wide);
    EXPECT_EQ(width - wide - ::GetSystemMetrics(SM_CXVSCROLL), narrow);
    EXPECT_EQ(narrow, ::SendMessageA(list, LVM_GETCOLUMNWIDTH, 2, 0));
    EXPECT_EQ(wide, ::SendMessageA(list, LVM_GETCOLUMNWIDTH, 3, 0));
    LVCOLUMNA format{};
    format.mask = LVCF_FMT;
    ::SendMessageA(list, LVM_GETCOLUMNA, 1, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(LVCFMT_RIGHT, format.fmt & LVCFMT_JUSTIFYMASK);
}

TEST_F(MainWindowTest, JobFieldsStartWithTheirDefaults)
{
    Open();
    EXPECT_EQ("640", ItemText(IDE_WIDTH));
    EXPECT_EQ("1", ItemText(IDE_START_FRAME));
    EXPECT_EQ("352", ItemText(IDE_HEIGHT));
    EXPECT_EQ("50", ItemText(IDE_FRAME_COUNT));
    EXPECT_EQ("", ItemText(IDE_INPUT));
    EXPECT_FALSE(::IsWindowEnabled(Item(IDB_PLAY_INPUT)));
    EXPECT_FALSE(::IsWindowEnabled(Item(IDB_PLAY_OUTPUT)));
    EXPECT_FALSE(::IsWindowVisible(Item(IDE_MEDIA_NAME)));
    EXPECT_TRUE(::IsWindowVisible(Item(IDL_DOWNLOADS)));
}

TEST_F(MainWindowTest, LeavingTheTempDirEditStoresItsTextAsTyped)
{
    Open();
    ::SetWindowTextA(Item(IDE_TEMP_DIR), "D:\\downloads\\temp");
    ::SendMessageA(m_dialog->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDE_TEMP_DIR, EN_KILLFOCUS),
                   reinterpret_cast<LPARAM>(Item(IDE_TEMP_DIR)));
    EXPECT_EQ("D:\\downloads\\temp", StoredTempDir());
}

TEST_F(MainWindowTest, ClearingTheTempDirEditKeepsTheStoredValue)
{
    ASSERT_EQ(S_OK, pg::WriteRegistryString("D:\\kept", pg::SETTINGS_KEY, pg::TEMP_DIR_VALUE));
    Open();
    ::SetWindowTextA(Item(IDE_TEMP_DIR), "");
    ::SendMessageA(m_dialog->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDE_TEMP_DIR, EN_KILLFOCUS),
                   reinterpret_cast<LPARAM>(Item(IDE_TEMP_DIR)));
    EXPECT_EQ("D:\\kept", StoredTempDir());
}

TEST_F(MainWindowTest, NonNumericFieldStopsTheExchangeWithAMessage)
{
    Open();
    m_dialog->m_height = 7;
    m_dialog->m_tempDir = "untouched";
    ::SetWindowTextA(Item(IDE_INPUT), "in.part");
    ::SetWindowTextA(Item(IDE_WIDTH), "abc");
    ::SetWindowTextA(Item(IDE_HEIGHT), "480");
    std::string shown;
    bool ok = true;
    {
        pgtest::WindowWatcher watcher("#32770", pgtest::MessageBoxTitle(), [&](HWND box) {
            shown = pgtest::MessageBoxText(box);
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
        ok = m_dialog->UpdateData(true);
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ("Please enter an integer.", shown);
    EXPECT_EQ("in.part", m_dialog->m_inFile); // read before the bad field
    EXPECT_EQ(640, m_dialog->m_width);
    EXPECT_EQ(7, m_dialog->m_height); // after it: unchanged
    EXPECT_EQ("untouched", m_dialog->m_tempDir);
}

TEST_F(MainWindowTest, UnlockMessageEnablesTheList)
{
    const HWND window = Open();
    m_dialog->SetListLocked(1);
    EXPECT_FALSE(::IsWindowEnabled(Item(IDL_DOWNLOADS)));
    EXPECT_EQ(1, ::SendMessageA(window, WM_USER + 1, 0, 0));
    EXPECT_TRUE(::IsWindowEnabled(Item(IDL_DOWNLOADS)));
    EXPECT_EQ(0, m_dialog->m_listLocked);
    m_dialog->SetListLocked(2); // only 1 locks
    EXPECT_TRUE(::IsWindowEnabled(Item(IDL_DOWNLOADS)));
}

TEST_F(MainWindowTest, FileExistsForFilesAndDirectoriesOnly)
{
    char directory[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, directory);
    char file[MAX_PATH] = {};
    ::GetTempFileNameA(directory, "pg", 0, file);
    EXPECT_TRUE(pg::MainDialog::FileExists(file));
    EXPECT_TRUE(pg::MainDialog::FileExists(directory));
    ::DeleteFileA(file);
    EXPECT_FALSE(pg::MainDialog::FileExists(file));
    EXPECT_FALSE(pg::MainDialog::FileExists(std::string(directory) + "*"));
}

// Modal runs: the close button ends with IDOK, Escape with IDCANCEL.
class MainWindowModalTest : public testing::Test
{
protected:
    static void CALLBACK ClickClose(HWND, UINT, UINT_PTR timer, DWORD)
    {
        ::KillTimer(nullptr, timer);
        const HWND window = ::FindWindowA(nullptr, "Partglance");
        ::SendMessageA(::GetDlgItem(window, IDB_CLOSE), BM_CLICK, 0, 0);
    }
    static void CALLBACK PressEscape(HWND, UINT, UINT_PTR timer, DWORD)
    {
        ::KillTimer(nullptr, timer);
        const HWND window = ::FindWindowA(nullptr, "Partglance");
        ::PostMessageA(::GetDlgItem(window, IDE_INPUT), WM_KEYDOWN, VK_ESCAPE, 0);
    }
    void SetUp() override { pgtest::DeleteUserKey(pg::SETTINGS_KEY); }
};

TEST_F(MainWindowModalTest, CloseButtonEndsWithOk)
{
    pg::MainDialog dialog;
    ::SetTimer(nullptr, 0, 200, &ClickClose);
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(nullptr, dialog.GetSafeHwnd());
}

TEST_F(MainWindowModalTest, EscapeEndsWithCancel)
{
    pg::MainDialog dialog;
    ::SetTimer(nullptr, 0, 200, &PressEscape);
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
}

} // namespace
