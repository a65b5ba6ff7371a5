// The program's progress bar in a real window: moved by every 512-byte read, it
// follows each position to the full length and keeps a hidden bar hidden.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "ui/Controls.h"

TEST(ProgressBar, FollowsEveryReadToTheFullLengthAndKeepsItsVisibility) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
    HWND top = ::CreateWindowExA(0, "STATIC", "bar", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 120, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(top, nullptr);
    for (bool shown : {true, false}) {
        ProgressBar bar(::CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_BORDER | (shown ? WS_VISIBLE : 0), 10, 10, 435, 15,
                                          top, nullptr, nullptr, nullptr));
        const int total = 1000 * 512 + 77;  // a last read shorter than the others
        bar.SetRange32(0, total);
        testing_support::PumpMessages();
        int wrong = 0;
        for (int pos = 512;; pos += 512) {
            bar.SetPos(pos < total ? pos : total);
            if (bar.GetPos() != (pos < total ? pos : total)) ++wrong;
            if (pos >= total) break;
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(bar.GetPos(), total);
        EXPECT_EQ(::IsWindowVisible(bar.GetHwnd()) != FALSE, shown);
        ::DestroyWindow(bar.GetHwnd());
    }
    ::DestroyWindow(top);
}
