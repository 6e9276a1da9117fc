// Allocators and samples: properties, commit and decommit, buffers handed out and taken back at
// their last release, and the sample's own fields.
#include <gtest/gtest.h>

#include <thread>

#include "dshow/MemAllocator.h"
#include "um/dshow.h"

TEST(SampleTest, AllocatorHandsOutItsBuffersAndTakesThemBackAtTheLastRelease)
{
    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(dshow::MemAllocator::Create(&allocator), S_OK);
    IMediaSample* sample = nullptr;
    EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
    ALLOCATOR_PROPERTIES request{2, 1000, 3, 0}, actual{};
    EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_BADALIGN);
    request.cbAlign = 16;
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cBuffers, 2);
    EXPECT_EQ(actual.cbBuffer, 1008);
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(allocator->Commit(), S_OK);
    EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);

    IMediaSample* first = nullptr;
    IMediaSample* second = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&first, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(allocator->GetBuffer(&second, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    EXPECT_EQ(sample, nullptr);
    first->AddRef();
    first->Release();
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    first->Release(); // the last release: back to the allocator
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    EXPECT_EQ(sample, first);

    // Both buffers are out: a GetBuffer waits, and returns when the allocator is decommitted.
    std::thread waiter([&] {
        IMediaSample* more = nullptr;
        EXPECT_EQ(allocator->GetBuffer(&more, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
        EXPECT_EQ(more, nullptr);
    });
    EXPECT_EQ(allocator->Decommit(), S_OK);
    waiter.join();
    EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_BUFFERS_OUTSTANDING);
    sample->Release();
    second->Release();
    EXPECT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    allocator->Release();
}

TEST(SampleTest, SamplesKeepLengthTimesFlagsAndType)
{
    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(dshow::MemAllocator::Create(&allocator), S_OK);
    ALLOCATOR_PROPERTIES request{1, 64, 1, 8}, actual{};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    BYTE* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(sample->GetSize(), 64);
    EXPECT_EQ(sample->GetActualDataLength(), 0);
    EXPECT_EQ(sample->SetActualDataLength(65), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->SetActualDataLength(64), S_OK);
    EXPECT_EQ(sample->GetActualDataLength(), 64);

    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    REFERENCE_TIME t0 = 100, t1 = 200;
    sample->SetTime(&t0, nullptr);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, 100);
    sample->SetTime(&t0, &t1);
    EXPECT_EQ(sample->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(stop, 200);
    EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
    sample->SetSyncPoint(TRUE);
    EXPECT_EQ(sample->IsSyncPoint(), S_OK);
    sample->SetDiscontinuity(TRUE);
    EXPECT_EQ(sample->IsDiscontinuity(), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
    AM_MEDIA_TYPE video{};
    video.majortype = MEDIATYPE_Video;
    ASSERT_EQ(sample->SetMediaType(&video), S_OK);
    ASSERT_EQ(sample->GetMediaType(&type), S_OK);
    EXPECT_EQ(type->majortype, MEDIATYPE_Video);
    DeleteMediaType(type);
    sample->Release();

    // Handed out again, the sample starts fresh.
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(sample->GetActualDataLength(), 0);
    EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
    sample->Release();
    allocator->Decommit();
    allocator->Release();
}
