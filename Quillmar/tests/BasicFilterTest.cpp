// The filter base: the connector types of the audio input types, the filter-kind tests by
// reference identifier, the answers of the base's own virtual operations, and the data every
// filter object carries.
#include <gtest/gtest.h>

#include "basicfilter.h"
#include "km/status.h"

namespace {

// The smallest filter: the pure operations answer fixed values.
class PlainFilter : public BasicFilter {
public:
    NTSTATUS OnSetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_NOT_FOUND; }
    NTSTATUS OnGetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_NOT_FOUND; }
    ULONG GetInputType(ULONG) override { return 0; }
    ULONG TranslateInputType(ULONG type) override { return TranslateAudioInputType(type); }
    ULONG GetInputCount() override { return 0; }
    ULONG GetCurrentInput(ULONG, PEPROCESS) override { return 0; }
    ULONG GetCurrentInput(ULONG) override { return 0; }
    NTSTATUS SaveToRegistry() override { return STATUS_SUCCESS; }
};

TEST(BasicFilterTest, AudioInputTypesTranslateToConnectorTypes)
{
    EXPECT_EQ(BasicFilter::TranslateAudioInputType(10), 0x1001u);
    EXPECT_EQ(BasicFilter::TranslateAudioInputType(11), 0x1003u);
    EXPECT_EQ(BasicFilter::TranslateAudioInputType(12), 0x1004u);
    EXPECT_EQ(BasicFilter::TranslateAudioInputType(13), 0x1004u);
    EXPECT_EQ(BasicFilter::TranslateAudioInputType(14), 0x1004u);
    for (ULONG other : {0u, 9u, 15u, 0xFFFFFFFFu})
        EXPECT_EQ(BasicFilter::TranslateAudioInputType(other), 0x1000u) << other;
}

TEST(BasicFilterTest, FilterKindsAreToldByTheirReferences)
{
    const GUID video = {0x13637B79, 0xA9F8, 0x4CE5, {0x8A, 0xB7, 0x4C, 0x9C, 0x15, 0xCC, 0x48, 0x34}};
    const GUID crossbar = {0x0120854B, 0xD745, 0x400B, {0x92, 0xE9, 0xC0, 0xD1, 0x06, 0x12, 0xAE, 0xCC}};
    GUID audio = {0x93F10012, 0xF5CD, 0x4DB5, {0xA1, 0xDB, 0x33, 0xA3, 0x29, 0x86, 0x35, 0x34}};
    EXPECT_TRUE(BasicFilter::IsVideoCaptureFilterReference(&video));
    EXPECT_FALSE(BasicFilter::IsVideoCaptureFilterReference(&crossbar));
    EXPECT_TRUE(BasicFilter::IsCrossbarFilterReference(&crossbar));
    EXPECT_FALSE(BasicFilter::IsCrossbarFilterReference(&audio));
    EXPECT_FALSE(BasicFilter::IsVideoCaptureFilterReference(nullptr));
    for (ULONG n = 0; n < 8; ++n) {
        GUID reference = audio;
        reference.Data1 = 0x93F10012 + n;
        EXPECT_TRUE(BasicFilter::IsAudioCaptureFilterReference(&reference)) << n;
        EXPECT_EQ(BasicFilter::GetAudioCaptureFilterIndex(&reference), static_cast<LONG>(n));
        EXPECT_EQ(BasicFilter::GetAudioCaptureFilterReference(n), reference);
        EXPECT_FALSE(BasicFilter::IsVideoCaptureFilterReference(&reference));
    }
    for (ULONG first : {0x93F10011u, 0x93F1001Au, 0x93F10020u}) {
        GUID reference = audio;
        reference.Data1 = first;
        EXPECT_FALSE(BasicFilter::IsAudioCaptureFilterReference(&reference)) << std::hex << first;
    }
    audio.Data4[7] ^= 1;
    EXPECT_FALSE(BasicFilter::IsAudioCaptureFilterReference(&audio));
    EXPECT_EQ(BasicFilter::GetAudioCaptureFilterIndex(nullptr), -1);
    EXPECT_EQ(BasicFilter::GetAudioCaptureFilterReference(8), GUID{});
}

TEST(BasicFilterTest, BaseOperationsAndDataOfAFilterObject)
{
    auto* filter = new PlainFilter;
    EXPECT_EQ(filter->GetInputIOIndex(3), 0u);
    EXPECT_EQ(filter->OnCreate(nullptr), STATUS_SUCCESS);
    EXPECT_EQ(filter->OnClose(nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(filter->Reserved(), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(filter->GetInstanceId(), 0u);
    EXPECT_EQ(filter->GetDevice(), nullptr);
    filter->SetInstanceId(4);
    filter->SetDeviceNumber(2);
    KSFILTER ks{};
    filter->SetKsFilter(&ks);
    EXPECT_EQ(filter->GetInstanceId(), 4u);
    EXPECT_EQ(filter->GetDeviceNumber(), 2u);
    EXPECT_EQ(filter->GetKsFilter(), &ks);
    EXPECT_EQ(filter->GetOwningProcess(), nullptr);
    BasicFilter* base = filter;
    EXPECT_EQ(base->TranslateInputType(11), 0x1003u);
    delete base; // through the base's virtual destructor
}

} // namespace

namespace {

TEST(BasicFilterTest, DispatchTableNamesTheFilterEntries)
{
    EXPECT_EQ(BasicFilter::kFilterDispatch.Create, &BasicFilter::FilterCreate);
    EXPECT_EQ(BasicFilter::kFilterDispatch.Close, &BasicFilter::FilterClose);
    EXPECT_EQ(BasicFilter::kFilterDispatch.Process, nullptr);
    EXPECT_EQ(BasicFilter::kFilterDispatch.Reset, &BasicFilter::FilterReset);
    EXPECT_EQ(BasicFilter::FilterReset(nullptr), STATUS_SUCCESS);
}

TEST(BasicFilterTest, CreateWithoutABagGivesTheBagsStatusAndKeepsNoObject)
{
    const GUID references[] = {
        {0x13637B79, 0xA9F8, 0x4CE5, {0x8A, 0xB7, 0x4C, 0x9C, 0x15, 0xCC, 0x48, 0x34}},
        {0x0120854B, 0xD745, 0x400B, {0x92, 0xE9, 0xC0, 0xD1, 0x06, 0x12, 0xAE, 0xCC}},
        {0x93F10015, 0xF5CD, 0x4DB5, {0xA1, 0xDB, 0x33, 0xA3, 0x29, 0x86, 0x35, 0x34}},
        {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}},
    };
    for (const GUID& reference : references) {
        KSFILTER_DESCRIPTOR descriptor{};
        descriptor.ReferenceGuid = &reference;
        KSFILTER filter{};
        filter.Descriptor = &descriptor;
        filter.Bag = nullptr; // the framework refuses to add to no bag
        EXPECT_EQ(BasicFilter::FilterCreate(&filter, nullptr), STATUS_INVALID_PARAMETER);
        EXPECT_EQ(filter.Context, nullptr);
        // A close of a filter that never got its object succeeds.
        EXPECT_EQ(BasicFilter::FilterClose(&filter, nullptr), STATUS_SUCCESS);
    }
    KSFILTER noDescriptor{};
    EXPECT_EQ(BasicFilter::FilterCreate(&noDescriptor, nullptr), STATUS_INVALID_PARAMETER);
}

} // namespace
