// VideoInputItems: the video inputs of a filter or device and the settings of their pins.
#include "videoinputitems.h"

#include "kernel/driverheap.h"
#include "km/status.h"

#include <cstring>
#include <new>

namespace {

// The block: the count, padded to the allocation alignment, then the inputs.
constexpr size_t kCountBytes = kDriverAllocationAlignment;
static_assert(alignof(VideoInputItem) <= kDriverAllocationAlignment);

ULONG* CountOf(VideoInputItem* inputs)
{
    return reinterpret_cast<ULONG*>(reinterpret_cast<UCHAR*>(inputs) - kCountBytes);
}

} // namespace

VideoInputItems::~VideoInputItems()
{
    FreeInputs();
}

NTSTATUS VideoInputItems::AllocateInputs(ULONG count)
{
    if (count > kMaximumInputs)
        return STATUS_INVALID_PARAMETER;
    VideoInputItem* inputs = nullptr;
    if (count != 0) {
        void* block = DriverAllocateNoRaise(kCountBytes + count * sizeof(VideoInputItem));
        if (block == nullptr)
            return STATUS_INSUFFICIENT_RESOURCES;
        *static_cast<ULONG*>(block) = count;
        inputs = reinterpret_cast<VideoInputItem*>(static_cast<UCHAR*>(block) + kCountBytes);
        for (ULONG i = 0; i < count; ++i)
            ::new (&inputs[i]) VideoInputItem();
    }
    FreeInputs();
    m_inputs = inputs;
    m_count = count;
    m_currentInput = 0;
    return STATUS_SUCCESS;
}

void VideoInputItems::FreeInputs()
{
    if (m_inputs != nullptr) {
        ULONG* count = CountOf(m_inputs);
        for (ULONG i = *count; i > 0; --i)
            m_inputs[i - 1].~VideoInputItem();
        DriverFree(count);
    }
    m_inputs = nullptr;
    m_count = 0;
    m_currentInput = 0;
}

void VideoInputItems::Exchange(VideoInputItems* other)
{
    if (other == nullptr || other == this)
        return;
    const ULONG count = m_count;
    const ULONG current = m_currentInput;
    VideoInputItem* inputs = m_inputs;
    m_count = other->m_count;
    m_currentInput = other->m_currentInput;
    m_inputs = other->m_inputs;
    other->m_count = count;
    other->m_currentInput = current;
    other->m_inputs = inputs;
}

NTSTATUS VideoInputItems::SetSecondWord(ULONG index)
{
    if (index >= m_count && index != 0)
        return STATUS_INVALID_PARAMETER;
    m_currentInput = index;
    return STATUS_SUCCESS;
}

VideoInputItem* VideoInputItems::GetInput(ULONG index)
{
    return index < m_count ? &m_inputs[index] : nullptr;
}

const VideoInputItem* VideoInputItems::GetInput(ULONG index) const
{
    return index < m_count ? &m_inputs[index] : nullptr;
}

VideoPinDetails* VideoInputItems::Pin(ULONG pinType, NTSTATUS* status)
{
    return const_cast<VideoPinDetails*>(static_cast<const VideoInputItems*>(this)->Pin(pinType, status));
}

const VideoPinDetails* VideoInputItems::Pin(ULONG pinType, NTSTATUS* status) const
{
    if (pinType >= VideoInputItem::kPinCount) {
        *status = STATUS_INVALID_PARAMETER;
        return nullptr;
    }
    const VideoInputItem* input = GetInput(m_currentInput);
    if (input == nullptr) {
        *status = STATUS_UNSUCCESSFUL;
        return nullptr;
    }
    *status = STATUS_SUCCESS;
    return input->GetPinDetails(pinType);
}

// Each operation forwards to the current input's pin of that type.
#define VIDEO_INPUT_ITEMS_FORWARD(signature, call, constness)                                                \
    NTSTATUS VideoInputItems::signature constness                                                            \
    {                                                                                                        \
        NTSTATUS status;                                                                                     \
        auto* pin = Pin(pinType, &status);                                                                   \
        return pin != nullptr ? pin->call : status;                                                          \
    }

#define VIDEO_INPUT_ITEMS_DEFINE(name, member, type)                                                         \
    VIDEO_INPUT_ITEMS_FORWARD(Get##name(ULONG pinType, type* value), Get##name(value), const)                \
    VIDEO_INPUT_ITEMS_FORWARD(Set##name(ULONG pinType, type value), Set##name(value), )
VIDEO_PIN_FIELDS(VIDEO_INPUT_ITEMS_DEFINE)
#undef VIDEO_INPUT_ITEMS_DEFINE
#define VIDEO_INPUT_ITEMS_DEFINE_STORED(name, member, type)                                                  \
    VIDEO_INPUT_ITEMS_FORWARD(GetStored##name(ULONG pinType, type* value), GetStored##name(value), const)
VIDEO_PIN_LOGO_RECTANGLE_FIELDS(VIDEO_INPUT_ITEMS_DEFINE_STORED)
#undef VIDEO_INPUT_ITEMS_DEFINE_STORED

VIDEO_INPUT_ITEMS_FORWARD(GetVideoProcAmpGammaValues(ULONG pinType, UCHAR* values, ULONG count),
                          GetVideoProcAmpGammaValues(values, count), const)
VIDEO_INPUT_ITEMS_FORWARD(SetVideoProcAmpGammaValues(ULONG pinType, const UCHAR* values, ULONG count),
                          SetVideoProcAmpGammaValues(values, count), )
VIDEO_INPUT_ITEMS_FORWARD(GetVideoProcAmpSinValues(ULONG pinType, LONG* values, ULONG count),
                          GetVideoProcAmpSinValues(values, count), const)
VIDEO_INPUT_ITEMS_FORWARD(SetVideoProcAmpSinValues(ULONG pinType, const LONG* values, ULONG count),
                          SetVideoProcAmpSinValues(values, count), )
VIDEO_INPUT_ITEMS_FORWARD(GetVideoProcAmpCosValues(ULONG pinType, LONG* values, ULONG count),
                          GetVideoProcAmpCosValues(values, count), const)
VIDEO_INPUT_ITEMS_FORWARD(SetVideoProcAmpCosValues(ULONG pinType, const LONG* values, ULONG count),
                          SetVideoProcAmpCosValues(values, count), )
VIDEO_INPUT_ITEMS_FORWARD(GetLogoFileName(ULONG pinType, WCHAR* name), GetLogoFileName(name), const)
VIDEO_INPUT_ITEMS_FORWARD(SetLogoFileName(ULONG pinType, const WCHAR* name), SetLogoFileName(name), )
VIDEO_INPUT_ITEMS_FORWARD(GetConnectionFormatInfo(ULONG pinType, ULONG* kind), GetConnectionFormatInfo(kind),
                          const)
VIDEO_INPUT_ITEMS_FORWARD(SetConnectionFormatKind(ULONG pinType, ULONG kind), SetConnectionFormatKind(kind), )
#undef VIDEO_INPUT_ITEMS_FORWARD

namespace {
ULONG CaptionPinType(ULONG pinType)
{
    return pinType == 1 || pinType == 2 ? pinType : 1;
}
} // namespace

NTSTATUS VideoInputItems::GetCCSettings(ULONG pinType, BrevicorCCRecord* record) const
{
    NTSTATUS status;
    const VideoPinDetails* pin = Pin(CaptionPinType(pinType), &status);
    return pin != nullptr ? pin->GetCCSettings(record) : status;
}

NTSTATUS VideoInputItems::SetCCSettings(ULONG pinType, const BrevicorCCRecord* record)
{
    NTSTATUS status;
    VideoPinDetails* pin = Pin(CaptionPinType(pinType), &status);
    return pin != nullptr ? pin->SetCCSettings(record) : status;
}

NTSTATUS VideoInputItems::GetInputDetectInfo(BrevicorInputDetectRecord* record) const
{
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    const VideoInputItem* input = GetInput(record->inputNumber);
    if (input == nullptr)
        return STATUS_UNSUCCESSFUL;
    return input->GetInputDetectInfo(record);
}

NTSTATUS VideoInputItems::SetInputDetectInfo(const BrevicorInputDetectRecord* record)
{
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    VideoInputItem* input = GetInput(record->inputNumber);
    if (input == nullptr)
        return STATUS_UNSUCCESSFUL;
    return input->SetInputDetectInfo(record);
}
