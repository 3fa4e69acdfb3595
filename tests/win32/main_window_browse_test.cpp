// The main window's choosers: file dialogs for input and output, the folder browser.
#include "ExpectedTexts.h"
#include "MainWindowFixture.h"
#include "Win32TestSupport.h"

#include "app/DirSettings.h"
#include "app/MainDialog.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using pgtest::WindowText;

class MainWindowBrowseTest : public pgtest::MainWindowFixture
{
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        char directory[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, directory);
        m_directory = std::string(directory) + "pg-browse-test";
        ::CreateDirectoryA(m_directory.c_str(), nullptr);
        ASSERT_NE(nullptr, Open());
    }
    void TearDown() override
    {
        MainWindowFixture::TearDown();
        for (const std::string& file : m_files)
            ::DeleteFileA(file.c_str());
        ::RemoveDirectoryA(m_directory.c_str());
    }

    std::string MakeFile(const std::string& name)
    {
        const std::string path = m_directory + "\\" + name;
        const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ::CloseHandle(file);
        m_files.push_back(path);
        return path;
    }

    // Clicks a browse button; the watcher answers the file dialog that opens with a path (or
    // cancels it when the path is empty) and records its title.
    std::string ChooseWith(int button, const std::string& title, const std::string& path)
    {
        std::string seenTitle;
        {
            pgtest::WindowWatcher watcher("#32770", title, [&](HWND dialog) {
                seenTitle = WindowText(dialog);
                if (path.empty()) {
                    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                    return;
                }
                // The file-name field of the dialog (a combo box in the explorer style).
                HWND name = ::GetDlgItem(dialog, 0x47C);
                if (!name)
                    name = ::GetDlgItem(dialog, 0x480);
                ::SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
                ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            });
            ::SendMessageA(Item(button), BM_CLICK, 0, 0);
        }
        pgtest::PumpMessages();
        return seenTitle;
    }

    std::string m_directory;
    std::vector<std::string> m_files;
};

TEST_F(MainWindowBrowseTest, LocalizedInputChoiceOfAMovieFillsBothFieldsAndEnablesPlay)
{
    const std::string movie = MakeFile("movie.avi");
    const std::string title = pgtest::Expected(pgtest::INPUT_DIALOG_TITLE);
    EXPECT_EQ(title, ChooseWith(IDB_BROWSE_INPUT, title, movie));
    EXPECT_EQ(movie, WindowText(Item(IDE_INPUT)));
    EXPECT_EQ(movie, WindowText(Item(IDE_MEDIA_NAME)));
    EXPECT_TRUE(::IsWindowEnabled(Item(IDB_PLAY_INPUT)));
    EXPECT_EQ("", m_dialog->m_inFile); // the members follow at the next exchange only
}

TEST_F(MainWindowBrowseTest, InputChoiceOfADownloadWithoutMetadataKeepsPlayDisabled)
{
    const std::string download = MakeFile("1.part");
    ChooseWith(IDB_BROWSE_INPUT, "Choose the partfile of the donkey...", download);
    EXPECT_EQ(download, WindowText(Item(IDE_INPUT)));
    EXPECT_FALSE(::IsWindowEnabled(Item(IDB_PLAY_INPUT)));
}

TEST_F(MainWindowBrowseTest, CancelledInputChoiceChangesNothing)
{
    ::SetWindowTextA(Item(IDE_INPUT), "kept.avi");
    ChooseWith(IDB_BROWSE_INPUT, "Choose the partfile of the donkey...", "");
    EXPECT_EQ("kept.avi", WindowText(Item(IDE_INPUT)));
    EXPECT_FALSE(::IsWindowEnabled(Item(IDB_PLAY_INPUT)));
}

TEST_F(MainWindowBrowseTest, LocalizedOutputChoiceFillsOnlyTheOutputField)
{
    const std::string output = MakeFile("film.avi");
    const std::string title = pgtest::Expected(pgtest::OUTPUT_DIALOG_TITLE);
    EXPECT_EQ(title, ChooseWith(IDB_BROWSE_OUTPUT, title, output));
    EXPECT_EQ(output, WindowText(Item(IDE_OUTPUT)));
    EXPECT_EQ("", WindowText(Item(IDE_INPUT)));
    EXPECT_FALSE(::IsWindowEnabled(Item(IDB_PLAY_OUTPUT)));
}

TEST_F(MainWindowBrowseTest, LocalizedFolderBrowserShowsItsTitleAndCancelKeepsTheDirectory)
{
    const std::string before = WindowText(Item(IDE_TEMP_DIR));
    std::string prompt;
    {
        // The browser's window title is the system's own; our text is its prompt line.
        pgtest::WindowWatcher watcher("#32770", "", [&](HWND dialog) {
            char text[256] = {};
            for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                ::GetWindowTextA(child, text, sizeof text);
                if (std::string(text).find("Temp") != std::string::npos)
                    prompt = text;
            }
            ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        ::SendMessageA(Item(IDB_BROWSE_TEMP_DIR), BM_CLICK, 0, 0);
    }
    EXPECT_EQ(pgtest::Expected(pgtest::TEMP_DIR_BROWSE_TITLE), prompt);
    EXPECT_EQ(before, WindowText(Item(IDE_TEMP_DIR)));
}

TEST_F(MainWindowBrowseTest, IconAnswersTheDragIconQuery)
{
    const LRESULT icon = ::SendMessageA(m_dialog->GetSafeHwnd(), WM_QUERYDRAGICON, 0, 0);
    EXPECT_EQ(reinterpret_cast<LRESULT>(m_dialog->m_hIcon), icon);
    EXPECT_NE(0, icon);
    EXPECT_EQ(icon, ::SendMessageA(m_dialog->GetSafeHwnd(), WM_GETICON, ICON_BIG, 0));
}

} // namespace
