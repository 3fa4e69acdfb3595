// The framework's window objects on real controls: what reaches the system when a handler fails,
// a hook that outlives its object, and the parameters typed handlers receive.
#include "framework/Window.h"

#include <gtest/gtest.h>

#include <iterator>
#include <new>

namespace {

HWND MakeEdit()
{
    return ::CreateWindowA("EDIT", "four", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

// An edit control whose handler for one message runs out of memory.
class FailingEdit : public fw::Window
{
protected:
    const fw::MessageMap* GetMessageMap() const override
    {
        static const fw::MessageEntry entries[] = {
            fw::OnMessage<FailingEdit>(WM_GETTEXTLENGTH, &FailingEdit::OnGetTextLength),
        };
        static const fw::MessageMap map{fw::Window::GetMessageMap(), std::begin(entries), std::end(entries)};
        return &map;
    }

private:
    LRESULT OnGetTextLength(WPARAM, LPARAM) { throw std::bad_alloc(); }
};

TEST(FrameworkTest, FailingHandlerLeavesTheMessageToTheControl)
{
    const HWND edit = MakeEdit();
    ASSERT_NE(nullptr, edit);
    {
        FailingEdit object;
        ASSERT_TRUE(object.SubclassWindow(edit));
        EXPECT_EQ(4, ::SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0));
    }
    ::DestroyWindow(edit);
}

WNDPROC s_hookedOver = nullptr;

LRESULT CALLBACK LaterHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::CallWindowProcA(s_hookedOver, window, message, wParam, lParam);
}

TEST(FrameworkTest, HookThatCannotBeTakenOffHandsMessagesToTheControl)
{
    const HWND plain = MakeEdit();
    const LRESULT ownLimit = ::SendMessageA(plain, EM_GETLIMITTEXT, 0, 0);
    ::DestroyWindow(plain);
    ASSERT_NE(0, ownLimit); // the default window procedure would answer 0

    const HWND edit = MakeEdit();
    {
        fw::Window object;
        ASSERT_TRUE(object.SubclassWindow(edit));
        s_hookedOver = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LaterHook)));
    }
    EXPECT_EQ(ownLimit, ::SendMessageA(edit, EM_GETLIMITTEXT, 0, 0));
    EXPECT_EQ(4, ::SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0));
    ::DestroyWindow(edit);
}

// A window left of or above the primary screen gets negative coordinates in its messages.
TEST(FrameworkTest, PackedPointsKeepTheirSigns)
{
    const POINT point = fw::PointOf(MAKELPARAM(-5, -32768));
    EXPECT_EQ(-5, point.x);
    EXPECT_EQ(-32768, point.y);
    EXPECT_EQ(32767, fw::PointOf(MAKELPARAM(32767, 0)).x);
}

} // namespace
