// Window pictures for test artifacts (see WindowPicture.h).
#include "support/WindowPicture.h"

#include "support/TestSupport.h"

namespace testing_support {

bool SaveWindowPicture(HWND hwnd, const std::string& name) {
    RECT r;
    if (!::GetWindowRect(hwnd, &r) || r.right <= r.left || r.bottom <= r.top) return false;
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    // Painted now (by the window's own thread, even in another process), then
    // copied from the screen as the user sees it.
    ::RedrawWindow(hwnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(mem, old);
    BITMAPINFOHEADER bi = {sizeof bi, w, h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::string pixels(4 * static_cast<size_t>(w * h), '\0');
    const int rows = ::GetDIBits(mem, bmp, 0, static_cast<UINT>(h), &pixels[0],
                                 reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof bi;
    BITMAPFILEHEADER fh = {0x4D42, static_cast<DWORD>(offset + pixels.size()), 0, 0, offset};  // "BM"
    const std::string folder = BinaryDir() + "\\artifacts";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return rows == h && WriteBytes(folder + "\\" + name + ".bmp",
                                   std::string(reinterpret_cast<const char*>(&fh), sizeof fh) +
                                       std::string(reinterpret_cast<const char*>(&bi), sizeof bi) + pixels);
}

}  // namespace testing_support
