// The GDI handle table: types, records, stock objects, selection, deletion, the leak check and
// the breaches of bad handles and of deleting a selected object.
#include <gtest/gtest.h>

#include <vector>

#include "standin/verifier.h"
#include "um/windows.h"

namespace {

std::vector<std::string> Rules()
{
    std::vector<std::string> rules;
    for (auto& v : standin::VerifierTakeViolations())
        rules.push_back(v.rule);
    return rules;
}

TEST(GdiObjects, TypesAndRecords)
{
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HBITMAP bitmap = CreateBitmap(320, 240, 1, 32, nullptr);
    HBITMAP mono = CreateBitmap(9, 3, 1, 1, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(pen && brush && bitmap && mono && dc);
    EXPECT_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
    EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));

    LOGPEN lp{};
    EXPECT_EQ(GetObjectA(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_SOLID));
    EXPECT_EQ(lp.lopnWidth.x, 3);
    EXPECT_EQ(lp.lopnColor, RGB(255, 0, 0));
    LOGBRUSH lb{};
    EXPECT_EQ(GetObjectW(brush, sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(lb.lbColor, RGB(1, 2, 3));
    BITMAP bm{};
    EXPECT_EQ(GetObjectA(bitmap, 0, nullptr), static_cast<int>(sizeof bm));
    EXPECT_EQ(GetObjectA(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 320);
    EXPECT_EQ(bm.bmHeight, 240);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmWidthBytes, 1280);
    EXPECT_EQ(bm.bmPlanes, 1);
    EXPECT_EQ(GetObjectA(mono, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidthBytes, 2); // 9 bits rounded to even bytes
    // A short buffer takes what fits.
    LONG first[2] = {-1, -1};
    EXPECT_EQ(GetObjectA(bitmap, 8, first), 8);
    EXPECT_EQ(first[1], 320);

    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(mono));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(pen));
}

TEST(GdiObjects, BitmapBitsNeverPastTheBitmap)
{
    HBITMAP bitmap = CreateBitmap(320, 240, 1, 32, nullptr);
    std::vector<BYTE> in(400000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<BYTE>(i * 7 + 1);
    EXPECT_EQ(SetBitmapBits(bitmap, static_cast<DWORD>(in.size()), in.data()), 307200);
    std::vector<BYTE> out(400000, 0xEE);
    EXPECT_EQ(GetBitmapBits(bitmap, static_cast<LONG>(out.size()), out.data()), 307200);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 307200, in.begin()));
    EXPECT_EQ(out[307200], 0xEE);
    EXPECT_EQ(GetBitmapBits(bitmap, 10, out.data()), 10);
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST(GdiObjects, StockObjectsAndSelection)
{
    HGDIOBJ white = GetStockObject(WHITE_BRUSH);
    HGDIOBJ black = GetStockObject(BLACK_PEN);
    ASSERT_TRUE(white && black);
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), white);
    EXPECT_EQ(GetStockObject(9999), nullptr);
    LOGBRUSH lb{};
    GetObjectA(GetStockObject(NULL_BRUSH), sizeof lb, &lb);
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_NULL));
    // Deleting a stock object does nothing.
    EXPECT_TRUE(DeleteObject(white));
    EXPECT_EQ(GetObjectType(white), static_cast<DWORD>(OBJ_BRUSH));

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    // A new memory DC holds a 1 x 1 monochrome bitmap, the black pen and the white brush.
    HGDIOBJ first = SelectObject(dc, bitmap);
    BITMAP bm{};
    ASSERT_EQ(GetObjectA(first, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmHeight, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(SelectObject(dc, pen), black);
    EXPECT_EQ(SelectObject(dc, pen), pen);
    // A bitmap is in one DC at a time: selecting it into another fails (NULL, as for any object
    // but a region).
    HDC other = CreateCompatibleDC(dc);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr);
    EXPECT_EQ(SelectObject(dc, first), bitmap);
    EXPECT_NE(SelectObject(other, bitmap), nullptr);
    EXPECT_TRUE(DeleteDC(other)); // frees the bitmap for deletion
    EXPECT_EQ(SelectObject(dc, black), pen);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(Rules().empty());
}

TEST(GdiObjects, BadHandlesFailWithABreachAndHandlesAreNeverReused)
{
    HBRUSH brush = CreateSolidBrush(0);
    EXPECT_TRUE(DeleteObject(brush));
    HBRUSH next = CreateSolidBrush(0);
    EXPECT_NE(next, brush);
    SetLastError(0);
    EXPECT_EQ(GetObjectType(brush), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeleteObject(brush));
    LOGBRUSH lb{};
    EXPECT_EQ(GetObjectA(reinterpret_cast<HANDLE>(0x1234), sizeof lb, &lb), 0);
    EXPECT_EQ(Rules(), (std::vector<std::string>{"gdi-bad-handle", "gdi-bad-handle", "gdi-bad-handle"}));
    // A DC is not an object DeleteObject takes, and a null handle fails without a breach.
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_TRUE(Rules().empty());
    EXPECT_TRUE(DeleteObject(next));
}

TEST(GdiObjects, DeletingASelectedObjectIsABreach)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 32, nullptr);
    HGDIOBJ first = SelectObject(dc, bitmap);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(Rules(), std::vector<std::string>{"gdi-selected-delete"});
    EXPECT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
    SelectObject(dc, first);
    EXPECT_TRUE(DeleteObject(bitmap));
    // A pen may be in two DCs: taken out of one, it is still selected in the other.
    HDC other = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    SelectObject(other, pen);
    SelectObject(dc, oldPen);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(Rules(), std::vector<std::string>{"gdi-selected-delete"});
    EXPECT_TRUE(DeleteDC(other)); // deleting the DC lets the pen go
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST(GdiObjects, LeftObjectsAreReported)
{
    HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 2u);
    auto found = standin::VerifierTakeViolations();
    ASSERT_EQ(found.size(), 2u);
    for (auto& v : found) {
        EXPECT_EQ(v.rule, "leak");
        EXPECT_EQ(v.detail.rfind("gdi-objects: ", 0), 0u) << v.detail;
    }
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
}

} // namespace
