#pragma once
// Tests that own the program's main window, created from its real template: the stored settings
// are cleared before the window is made and again after it is gone.
#include "Win32TestSupport.h"

#include "app/DirSettings.h"
#include "app/MainDialog.h"

#include <gtest/gtest.h>

#include <memory>

namespace pgtest {

class MainWindowFixture : public testing::Test
{
protected:
    void SetUp() override { DeleteUserKey(pg::SETTINGS_KEY); }
    void TearDown() override
    {
        if (m_dialog)
            m_dialog->DestroyWindow();
        DeleteUserKey(pg::SETTINGS_KEY);
    }

    // Creates the main window and lets it settle; null when it cannot be created.
    HWND Open()
    {
        m_dialog = std::make_unique<pg::MainDialog>();
        if (!m_dialog->Create(nullptr))
            return nullptr;
        PumpMessages();
        return m_dialog->GetSafeHwnd();
    }

    HWND Item(int id) const { return ::GetDlgItem(m_dialog->GetSafeHwnd(), id); }
    std::string ItemText(int id) const { return WindowText(Item(id)); }

    std::unique_ptr<pg::MainDialog> m_dialog;
};

} // namespace pgtest
