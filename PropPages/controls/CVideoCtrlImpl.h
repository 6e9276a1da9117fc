// CVideoCtrlImpl: the window family of the preview and drawing controls. Each control is a window
// of the static class with the styles child, visible, clip-siblings and clip-children
// (0x56000000) and no extended style; its own class serves the messages. The family shares the
// window-procedure getter, an empty final-message hook, and the preview area's idle look: a memory
// device context holding bitmap 207 (the still picture) or the latest frame, painted to the
// window, or string 6 (the note that previews need 24 or 32 bits a pixel) when the display has
// fewer.
#pragma once
#include "atl/atlwin.h"
#include "wtl/atlctrls.h"

inline constexpr UINT kIdlePictureBitmap = 207;
inline constexpr UINT kNeedsTrueColourString = 6;

using CVideoCtrlTraits = ATL::CWinTraits<0x56000000, 0>;

template <class T>
class CVideoCtrlImpl : public ATL::CWindowImpl<T, WTL::CStaticT<ATL::CWindow>, CVideoCtrlTraits> {
public:
    DECLARE_WND_SUPERCLASS(nullptr, "Static")

    ~CVideoCtrlImpl() override { FreePicture(); }

    void OnFinalMessage(HWND) override {}

    // Whether the display can show a preview: 24 or 32 bits a pixel.
    static bool DisplayCanPreview()
    {
        HDC screen = GetDC(nullptr);
        const int bits = GetDeviceCaps(screen, BITSPIXEL);
        ReleaseDC(nullptr, screen);
        return bits >= 24;
    }

    // The memory device context with the still picture of `resources` (bitmap 207); false when it
    // cannot be loaded.
    bool LoadIdlePicture(HINSTANCE resources)
    {
        FreePicture();
        m_hResources = resources;
        m_hPicture = LoadBitmapA(resources, MAKEINTRESOURCEA(kIdlePictureBitmap));
        if (!m_hPicture)
            return false;
        m_hMemoryDC = CreateCompatibleDC(nullptr);
        m_hOldBitmap = static_cast<HBITMAP>(SelectObject(m_hMemoryDC, m_hPicture));
        return true;
    }

    // Draws the memory device context, or the true-colour note when the display has too few bits.
    void PaintPreview(HDC dc)
    {
        RECT client{};
        GetClientRect(this->m_hWnd, &client);
        if (!DisplayCanPreview()) {
            char note[512] = {};
            LoadStringA(m_hResources, kNeedsTrueColourString, note, int(sizeof note));
            FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            DrawTextA(dc, note, -1, &client, DT_WORDBREAK | DT_CENTER);
            return;
        }
        if (m_hMemoryDC)
            BitBlt(dc, 0, 0, client.right, client.bottom, m_hMemoryDC, 0, 0, SRCCOPY);
    }

    // Puts a 32-bit top-down frame of the picture's size into the memory bitmap.
    bool ShowFrame(const BYTE* bits, ULONG size)
    {
        if (!m_hPicture || !bits)
            return false;
        SetBitmapBits(m_hPicture, size, bits);
        InvalidateRect(this->m_hWnd, nullptr, FALSE);
        return true;
    }

    HINSTANCE m_hResources = nullptr;
    HBITMAP m_hPicture = nullptr;
    HBITMAP m_hOldBitmap = nullptr;
    HDC m_hMemoryDC = nullptr;

private:
    void FreePicture()
    {
        if (m_hMemoryDC) {
            SelectObject(m_hMemoryDC, m_hOldBitmap);
            DeleteDC(m_hMemoryDC);
            m_hMemoryDC = nullptr;
        }
        if (m_hPicture) {
            DeleteObject(m_hPicture);
            m_hPicture = nullptr;
        }
    }
};
