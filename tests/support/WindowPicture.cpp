// Window pictures for test artifacts (see WindowPicture.h).
#include "support/WindowPicture.h"

#include "support/TestSupport.h"

namespace testing_support {

bool SaveWindowPicture(HWND hwnd, const std::string& name) {
    RECT r;
    if (!::GetWindowRect(hwnd, &r)) return false;
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;

    // A window that has just appeared may not have painted itself yet: have
    // it paint now (the window's own thread does, even in another process),
    // then copy it from the screen, as the user sees it.
    ::RedrawWindow(hwnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(mem, old);

    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = BI_RGB;
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
    std::string pixels(stride * static_cast<DWORD>(h), '\0');
    const int rows = ::GetDIBits(mem, bmp, 0, static_cast<UINT>(h), &pixels[0],
                                 reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    if (rows != h) return false;

    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;  // "BM"
    fh.bfOffBits = sizeof fh + sizeof bi;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string file(reinterpret_cast<const char*>(&fh), sizeof fh);
    file.append(reinterpret_cast<const char*>(&bi), sizeof bi);
    file += pixels;

    const std::string folder = BinaryDir() + "\\artifacts";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return WriteBytes(folder + "\\" + name + ".bmp", file);
}

}  // namespace testing_support
