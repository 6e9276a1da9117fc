// BSTR and VARIANT as the property bag uses them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "standin/verifier.h"
#include "um/windows.h"

namespace {

TEST(BstrTest, LengthPrefixTerminatorAndEmbeddedZeros)
{
    BSTR text = SysAllocString(u"Video Device 0");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 14u);
    DWORD bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<BYTE*>(text) - 4, 4);
    EXPECT_EQ(bytes, 28u);
    EXPECT_EQ(text[14], u'\0');
    SysFreeString(text);

    const OLECHAR withZero[] = {u'a', 0, u'b'};
    BSTR counted = SysAllocStringLen(withZero, 3);
    ASSERT_NE(counted, nullptr);
    EXPECT_EQ(SysStringLen(counted), 3u);
    EXPECT_EQ(counted[2], u'b');
    SysFreeString(counted);

    BSTR zeros = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(SysStringLen(zeros), 4u);
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(zeros[i], 0);
    SysFreeString(zeros);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocStringLen(u"x", 0xFFFFFFFFu), nullptr);
}

TEST(BstrTest, LeaksAndForeignPointersAreReported)
{
    BSTR kept = SysAllocString(u"kept");
    EXPECT_EQ(standin::VerifierCheckLeaks(), 1u);
    auto breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].detail, "bstr: a BSTR of 4 characters");
    SysFreeString(kept);
    OLECHAR notOurs[] = u"\0\0xyz";
    SysFreeString(notOurs + 2);
    breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "bstr");
}

TEST(VariantTest, InitClearAndCopyOfTheKindsCarried)
{
    VARIANT source;
    VariantInit(&source);
    EXPECT_EQ(source.vt, VT_EMPTY);
    source.vt = VT_I4;
    source.lVal = -1234;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(copy.vt, VT_I4);
    EXPECT_EQ(copy.lVal, -1234);

    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(u"FriendlyName");
    // The copy clears what copy held and gets a BSTR of its own.
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    ASSERT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(std::u16string(copy.bstrVal, SysStringLen(copy.bstrVal)), u"FriendlyName");
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK); // the old copy is freed, no leak at the end
    EXPECT_EQ(VariantClear(&source), S_OK);
    EXPECT_EQ(source.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(VariantClear(&copy), S_OK);

    VARIANT odd;
    VariantInit(&odd);
    odd.vt = VT_UNKNOWN;
    EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(odd.vt, VT_UNKNOWN);
    EXPECT_EQ(VariantCopy(&copy, &odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(copy.vt, VT_EMPTY);
    EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
}

} // namespace
