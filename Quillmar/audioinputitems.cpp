// AudioInputItems: the audio inputs of a filter or device.
#include "audioinputitems.h"

#include "audioinputtypes.h"
#include "kernel/driverheap.h"
#include "kernel/poolallocation.h"
#include "kernel/registrykey.h"
#include "km/status.h"

#include <cstring>
#include <new>

namespace {

constexpr size_t kCountBytes = kDriverAllocationAlignment;
static_assert(alignof(AudioInputItem) <= kDriverAllocationAlignment);

constexpr WCHAR kUnknownName[] = u"Unknown";
// "MediaCategories\" and a braced identifier.
constexpr ULONG kMediaCategoryPathCharacters = 16 + kBracedGuidCharacters;

void CopyCut(WCHAR* buffer, ULONG capacity, const WCHAR* text, ULONG length)
{
    const ULONG n = length < capacity - 1 ? length : capacity - 1;
    std::memcpy(buffer, text, n * sizeof(WCHAR));
    buffer[n] = 0;
}

} // namespace

AudioInputItems::~AudioInputItems()
{
    FreeInputs();
}

NTSTATUS AudioInputItems::AllocateInputs(ULONG count)
{
    if (count > kMaximumInputs)
        return STATUS_INVALID_PARAMETER;
    AudioInputItem* inputs = nullptr;
    if (count != 0) {
        void* block = DriverAllocateNoRaise(kCountBytes + count * sizeof(AudioInputItem));
        if (block == nullptr)
            return STATUS_INSUFFICIENT_RESOURCES;
        *static_cast<ULONG*>(block) = count;
        inputs = reinterpret_cast<AudioInputItem*>(static_cast<UCHAR*>(block) + kCountBytes);
        for (ULONG i = 0; i < count; ++i)
            ::new (&inputs[i]) AudioInputItem();
    }
    FreeInputs();
    m_inputs = inputs;
    m_count = count;
    m_currentInput = 0;
    return STATUS_SUCCESS;
}

void AudioInputItems::FreeInputs()
{
    if (m_inputs != nullptr) {
        auto* block = reinterpret_cast<UCHAR*>(m_inputs) - kCountBytes;
        const ULONG count = *reinterpret_cast<ULONG*>(block);
        for (ULONG i = count; i > 0; --i)
            m_inputs[i - 1].~AudioInputItem();
        DriverFree(block);
    }
    m_inputs = nullptr;
    m_count = 0;
    m_currentInput = 0;
}

NTSTATUS AudioInputItems::SetCurrentInput(ULONG index)
{
    if (index >= m_count && index != 0)
        return STATUS_UNSUCCESSFUL;
    m_currentInput = index;
    return STATUS_SUCCESS;
}

AudioInputItem* AudioInputItems::GetInput(ULONG index)
{
    return index < m_count ? &m_inputs[index] : nullptr;
}

const AudioInputItem* AudioInputItems::GetInput(ULONG index) const
{
    return index < m_count ? &m_inputs[index] : nullptr;
}

#define AUDIO_INPUT_ITEMS_FORWARD(signature, call, constness)                                                \
    NTSTATUS AudioInputItems::signature constness                                                            \
    {                                                                                                        \
        auto* input = GetInput(index);                                                                       \
        return input != nullptr ? input->call : STATUS_UNSUCCESSFUL;                                         \
    }
AUDIO_INPUT_ITEMS_FORWARD(GetInputType(ULONG index, ULONG* type), GetInputType(type), const)
AUDIO_INPUT_ITEMS_FORWARD(SetInputType(ULONG index, ULONG type), SetInputType(type), )
AUDIO_INPUT_ITEMS_FORWARD(GetInputIOIndex(ULONG index, ULONG* ioIndex), GetInputIOIndex(ioIndex), const)
AUDIO_INPUT_ITEMS_FORWARD(GetChannelPairIndex(ULONG index, ULONG* pairIndex), GetChannelPairIndex(pairIndex),
                          const)
AUDIO_INPUT_ITEMS_FORWARD(GetChannelPairCount(ULONG index, ULONG* pairCount), GetChannelPairCount(pairCount),
                          const)
AUDIO_INPUT_ITEMS_FORWARD(GetInputName(ULONG index, GUID* name), GetInputName(name), const)
AUDIO_INPUT_ITEMS_FORWARD(SetInputName(ULONG index, const GUID& name), SetInputName(name), )
AUDIO_INPUT_ITEMS_FORWARD(GetVolumeLevel(ULONG index, ULONG pair, ULONG channel, LONG* value),
                          GetVolumeLevel(pair, channel, value), const)
AUDIO_INPUT_ITEMS_FORWARD(SetVolumeLevel(ULONG index, ULONG pair, ULONG channel, LONG value),
                          SetVolumeLevel(pair, channel, value), )
AUDIO_INPUT_ITEMS_FORWARD(GetPeakLevel(ULONG index, ULONG pair, ULONG channel, LONG* value),
                          GetPeakLevel(pair, channel, value), const)
AUDIO_INPUT_ITEMS_FORWARD(SetPeakLevel(ULONG index, ULONG pair, ULONG channel, LONG value),
                          SetPeakLevel(pair, channel, value), )
AUDIO_INPUT_ITEMS_FORWARD(GetMute(ULONG index, ULONG pair, ULONG channel, LONG* value),
                          GetMute(pair, channel, value), const)
AUDIO_INPUT_ITEMS_FORWARD(SetMute(ULONG index, ULONG pair, ULONG channel, LONG value),
                          SetMute(pair, channel, value), )
AUDIO_INPUT_ITEMS_FORWARD(GetInputDetectInfo(ULONG index, BrevicorInputDetectRecord* record),
                          GetInputDetectInfo(record), const)
AUDIO_INPUT_ITEMS_FORWARD(SetInputDetectInfo(ULONG index, const BrevicorInputDetectRecord* record),
                          SetInputDetectInfo(record), )
AUDIO_INPUT_ITEMS_FORWARD(GetInputEnabled(ULONG index, ULONG* enabled), GetInputEnabled(enabled), const)
AUDIO_INPUT_ITEMS_FORWARD(SetInputEnabled(ULONG index, ULONG enabled), SetInputEnabled(enabled), )
AUDIO_INPUT_ITEMS_FORWARD(GetDefaultFrequency(ULONG index, ULONG* frequency), GetDefaultFrequency(frequency),
                          const)
AUDIO_INPUT_ITEMS_FORWARD(SetDefaultFrequency(ULONG index, ULONG frequency), SetDefaultFrequency(frequency), )
AUDIO_INPUT_ITEMS_FORWARD(GetInputGain(ULONG index, LONG* gain), GetInputGain(gain), const)
AUDIO_INPUT_ITEMS_FORWARD(SetInputGain(ULONG index, LONG gain), SetInputGain(gain), )
AUDIO_INPUT_ITEMS_FORWARD(GetAudioIsInBypassMode(ULONG index, UCHAR* bypass), GetAudioIsInBypassMode(bypass),
                          const)
AUDIO_INPUT_ITEMS_FORWARD(SetAudioIsInBypassMode(ULONG index, UCHAR bypass), SetAudioIsInBypassMode(bypass), )
#undef AUDIO_INPUT_ITEMS_FORWARD

NTSTATUS AudioInputItems::GetInputNameString(ULONG index, WCHAR* buffer, ULONG capacity) const
{
    if (buffer == nullptr || capacity == 0)
        return STATUS_INVALID_PARAMETER;
    const AudioInputItem* input = GetInput(index);
    if (input == nullptr)
        return STATUS_UNSUCCESSFUL;
    GUID name;
    input->GetInputName(&name);
    return GetMediaCategoryName(name, buffer, capacity);
}

NTSTATUS AudioInputItems::GetMediaCategoryName(const GUID& name, WCHAR* buffer, ULONG capacity)
{
    if (buffer == nullptr || capacity == 0)
        return STATUS_INVALID_PARAMETER;
    WCHAR braced[kBracedGuidCharacters];
    FormatBracedGuid(name, braced);
    WCHAR path[kMediaCategoryPathCharacters];
    std::memcpy(path, u"MediaCategories\\", 16 * sizeof(WCHAR));
    std::memcpy(path + 16, braced, sizeof(braced));
    RegistryKey key(kRegistryRootControl, path, FALSE, 0, kRegistryReadAccess, kRegistryReadAttributes);
    PWSTR text = nullptr;
    ULONG length = 0;
    if (key.IsOpen() && NT_SUCCESS(key.QueryString(u"Name", &text, &length, PagedPool)) && text != nullptr) {
        ULONG characters = 0;
        while (characters < length / sizeof(WCHAR) && text[characters] != 0)
            ++characters;
        CopyCut(buffer, capacity, text, characters);
        FreePool(text);
        return STATUS_SUCCESS;
    }
    if (text != nullptr)
        FreePool(text);
    CopyCut(buffer, capacity, kUnknownName, sizeof(kUnknownName) / sizeof(WCHAR) - 1);
    return STATUS_SUCCESS;
}
