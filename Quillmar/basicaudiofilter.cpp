// BasicAudioFilter: the audio capture filter's property handlers.
#include "basicaudiofilter.h"

#include "device.h"
#include "km/status.h"
#include "messages/Talvexon.h"
#include "shared/kspinrecords.h"
#include "shared/ksstreamrecords.h"
#include "streamprocessor.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

DEFINE_GUIDSTRUCT_VALUE(kAudioComponentProduct, 0x9B3B2409L, 0x4A2A, 0x481F, 0xA2, 0xCC, 0xF6, 0x48, 0xDD, 0x09, 0xDD,
                        0x21);
DEFINE_GUIDSTRUCT_VALUE(kAudioComponentName, 0x16F94015L, 0x0464, 0x4800, 0x9B, 0xD7, 0xB2, 0x7C, 0x25, 0x51, 0x5A,
                        0x08);

namespace {

// The value type of the volume and peak answers: a 32-bit signed integer.
constexpr ULONG kValueTypeI4 = 3;
constexpr ULONG kMemberFlagMultichannel = 0x00000002;
// A channel number as pair and side (0 left, 1 right).
constexpr ULONG PairOf(LONG channel)
{
    return static_cast<ULONG>(channel) / 2;
}
constexpr ULONG SideOf(LONG channel)
{
    return static_cast<ULONG>(channel) % 2;
}

bool IsBasicSupport(PKSIDENTIFIER property)
{
    return (property->Flags & ~KSPROPERTY_TYPE_TOPOLOGY) == KSPROPERTY_TYPE_BASICSUPPORT;
}

// The description of a stepped VT_I4 item with one members list of `count` ranges.
void Describe(PVOID data, ULONG access, ULONG size, ULONG count, LONG step, LONG minimum, LONG maximum, ULONG flags,
              ULONG length)
{
    auto* bytes = static_cast<UCHAR*>(data);
    KSPROPERTY_DESCRIPTION description{};
    description.AccessFlags = access;
    description.DescriptionSize = size;
    description.PropTypeSet = KSIDENTIFIER{KSPROPTYPESETID_General, kValueTypeI4, 0};
    description.MembersListCount = 1;
    std::memcpy(bytes, &description, sizeof(description));
    if (length < size)
        return;
    KSPROPERTY_MEMBERSHEADER header{KSPROPERTY_MEMBER_STEPPEDRANGES,
                                    static_cast<ULONG>(sizeof(KSPROPERTY_STEPPING_LONG) * count), count, flags};
    std::memcpy(bytes + sizeof(description), &header, sizeof(header));
    for (ULONG i = 0; i < count; ++i) {
        KSPROPERTY_STEPPING_LONG range{static_cast<ULONG>(step), 0, {minimum, maximum}};
        std::memcpy(bytes + sizeof(description) + sizeof(header) + i * sizeof(range), &range, sizeof(range));
    }
}

} // namespace

BasicAudioFilter::~BasicAudioFilter()
{
    TRACE_SCOPE(this, "BasicAudioFilter::~BasicAudioFilter", kTraceLowEnter);
}

ULONG BasicAudioFilter::GetInputIOIndex(ULONG index)
{
    ULONG ioIndex = 0;
    m_inputs.GetInputIOIndex(index, &ioIndex);
    return ioIndex;
}

ULONG BasicAudioFilter::GetCurrentAudioInput()
{
    return m_combined ? m_inputs.GetCurrentInput() : m_ownInput;
}

// ---- basic support ---------------------------------------------------------------------------

NTSTATUS BasicAudioFilter::PropHandlerVolume(PIRP irp, PKSIDENTIFIER property, PVOID data)
{
    if (irp == nullptr || property == nullptr || data == nullptr || !IsBasicSupport(property))
        return STATUS_UNSUCCESSFUL;
    const ULONG length = DataLength(irp);
    if (length >= kVolumeDescriptionBytes) {
        Describe(data, kVolumeAccessFlags, kVolumeDescriptionBytes, 1, kVolumeStep, kVolumeMinimum, kVolumeMaximum,
                 kMemberFlagMultichannel, length);
        irp->IoStatus.Information = kVolumeDescriptionBytes;
        return STATUS_SUCCESS;
    }
    if (length >= sizeof(KSPROPERTY_DESCRIPTION)) {
        Describe(data, kVolumeAccessFlags, kVolumeDescriptionBytes, 1, kVolumeStep, kVolumeMinimum, kVolumeMaximum,
                 kMemberFlagMultichannel, length);
        irp->IoStatus.Information = sizeof(KSPROPERTY_DESCRIPTION);
        return STATUS_BUFFER_OVERFLOW;
    }
    if (length >= sizeof(ULONG)) {
        const ULONG access = kVolumeAccessFlags;
        std::memcpy(data, &access, sizeof(access));
        irp->IoStatus.Information = sizeof(ULONG);
        return STATUS_SUCCESS;
    }
    return STATUS_BUFFER_TOO_SMALL;
}

NTSTATUS BasicAudioFilter::PropHandlerPeak(PIRP irp, PKSIDENTIFIER property, PVOID data)
{
    if (irp == nullptr || property == nullptr || data == nullptr || !IsBasicSupport(property))
        return STATUS_UNSUCCESSFUL;
    const ULONG length = DataLength(irp);
    if (length >= sizeof(KSPROPERTY_DESCRIPTION)) {
        // The whole answer, or the description alone for a buffer between the two.
        Describe(data, kPeakAccessFlags, kPeakDescriptionBytes, 2, kPeakStep, kPeakMinimum, kPeakMaximum, 0, length);
        irp->IoStatus.Information = length >= kPeakDescriptionBytes ? kPeakDescriptionBytes : sizeof(KSPROPERTY_DESCRIPTION);
        return STATUS_SUCCESS;
    }
    if (length >= sizeof(ULONG)) {
        const ULONG access = kPeakAccessFlags;
        std::memcpy(data, &access, sizeof(access));
        irp->IoStatus.Information = sizeof(ULONG);
        return STATUS_SUCCESS;
    }
    return STATUS_BUFFER_TOO_SMALL;
}

// ---- gets ------------------------------------------------------------------------------------------

NTSTATUS BasicAudioFilter::PropGetAudioComponentId(PIRP irp, PKSPROPERTY, PVOID data)
{
    KSCOMPONENTID id{};
    id.Manufacturer = kBrevicorManufacturerGuid;
    id.Product = kAudioComponentProduct;
    id.Name = kAudioComponentName;
    id.Version = 1;
    id.Revision = 1;
    std::memcpy(data, &id, sizeof(id));
    return Complete(irp, STATUS_SUCCESS, sizeof(id));
}

NTSTATUS BasicAudioFilter::PropGetAudioPinName(PIRP irp, PKSPROPERTY property, PVOID data)
{
    const auto* request = reinterpret_cast<const KSP_PIN*>(property);
    const KSFILTER_DESCRIPTOR* descriptor = GetKsFilter() != nullptr ? GetKsFilter()->Descriptor : nullptr;
    if (descriptor == nullptr || request->PinId >= descriptor->PinDescriptorsCount)
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    const GUID* name = descriptor->PinDescriptors[request->PinId].PinDescriptor.Name;
    WCHAR text[kRecordTextCharacters] = {};
    if (name == nullptr || !NT_SUCCESS(AudioInputItems::GetMediaCategoryName(*name, text, kRecordTextCharacters)))
        std::memcpy(text, u"Unknown", sizeof(u"Unknown"));
    ULONG characters = 0;
    while (characters + 1 < kRecordTextCharacters && text[characters] != 0)
        ++characters;
    const ULONG bytes = (characters + 1) * sizeof(WCHAR);
    const ULONG length = DataLength(irp);
    if (length == 0) {
        irp->IoStatus.Information = bytes;
        return STATUS_BUFFER_OVERFLOW;
    }
    if (length < bytes)
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    std::memcpy(data, text, bytes);
    return Complete(irp, STATUS_SUCCESS, bytes);
}

NTSTATUS BasicAudioFilter::PropGetLatency(PIRP irp, PKSPROPERTY, PVOID data)
{
    const KSTIME latency{kLatency, 1, 1};
    std::memcpy(data, &latency, sizeof(latency));
    return Complete(irp, STATUS_SUCCESS, sizeof(latency));
}

ULONG BasicAudioFilter::VolumeInput(const KSNODEPROPERTY_AUDIO_CHANNEL* request)
{
    return m_combined ? request->NodeProperty.NodeId : m_ownInput;
}

NTSTATUS BasicAudioFilter::PropGetVolumeLevel(PIRP irp, PKSPROPERTY property, PVOID data)
{
    const auto* request = reinterpret_cast<const KSNODEPROPERTY_AUDIO_CHANNEL*>(property);
    const ULONG input = VolumeInput(request);
    if (input >= m_inputs.GetInputCount()) {
        TRACE_STATUS(this, "BasicAudioFilter::PropGetVolumeLevel", kTraceErrors, MSG_SPECIFIED_AUDIO_CHANNEL_INVALID,
                     "Specified audio channel of %u is invalid.", static_cast<unsigned>(input));
        return Complete(irp, MSG_SPECIFIED_AUDIO_CHANNEL_INVALID, 0);
    }
    const LONG channel = request->Channel;
    const ULONG pair = channel == kAllChannels ? 0 : PairOf(channel);
    const ULONG side = channel == kAllChannels ? 0 : SideOf(channel);
    LONG value = 0;
    const NTSTATUS status = m_inputs.GetVolumeLevel(input, pair, side, &value);
    if (NT_SUCCESS(status))
        std::memcpy(data, &value, sizeof(value));
    return Complete(irp, status, sizeof(value));
}

NTSTATUS BasicAudioFilter::StoreVolume(ULONG input, ULONG pair, ULONG side, LONG value, bool* changed)
{
    LONG current = 0;
    NTSTATUS status = m_inputs.GetVolumeLevel(input, pair, side, &current);
    if (!NT_SUCCESS(status))
        return status;
    *changed = current != value;
    if (!*changed)
        return STATUS_SUCCESS;
    status = m_inputs.SetVolumeLevel(input, pair, side, value);
    if (NT_SUCCESS(status))
        status = GetDevice()->GetAudioInputItems()->SetVolumeLevel(input, pair, side, value);
    if (NT_SUCCESS(status))
        GetDevice()->WriteAudioChannelPropertyToRegistry(input, pair, side == 0 ? u"LeftVolume" : u"RightVolume",
                                                         static_cast<ULONG>(value));
    return status;
}

NTSTATUS BasicAudioFilter::StoreMute(ULONG input, ULONG pair, ULONG side, LONG value, bool* changed)
{
    LONG current = 0;
    NTSTATUS status = m_inputs.GetMute(input, pair, side, &current);
    if (!NT_SUCCESS(status))
        return status;
    *changed = current != value;
    if (!*changed)
        return STATUS_SUCCESS;
    status = m_inputs.SetMute(input, pair, side, value);
    if (NT_SUCCESS(status))
        status = GetDevice()->GetAudioInputItems()->SetMute(input, pair, side, value);
    if (NT_SUCCESS(status))
        GetDevice()->WriteAudioChannelPropertyToRegistry(input, pair, side == 0 ? u"LeftMute" : u"RightMute",
                                                         static_cast<ULONG>(value));
    return status;
}

NTSTATUS BasicAudioFilter::PropSetVolumeLevel(PIRP irp, PKSPROPERTY property, PVOID data)
{
    const auto* request = reinterpret_cast<const KSNODEPROPERTY_AUDIO_CHANNEL*>(property);
    const ULONG input = VolumeInput(request);
    if (input >= m_inputs.GetInputCount()) {
        TRACE_STATUS(this, "BasicAudioFilter::PropSetVolumeLevel", kTraceErrors, MSG_SPECIFIED_AUDIO_CHANNEL_INVALID,
                     "Specified audio channel of %u is invalid.", static_cast<unsigned>(input));
        return Complete(irp, MSG_SPECIFIED_AUDIO_CHANNEL_INVALID, 0);
    }
    LONG value = 0;
    std::memcpy(&value, data, sizeof(value));
    NTSTATUS status = STATUS_SUCCESS;
    bool changed = false;
    if (request->Channel == kAllChannels) {
        ULONG pairs = 0;
        m_inputs.GetChannelPairCount(input, &pairs);
        for (ULONG pair = 0; pair < pairs && NT_SUCCESS(status); ++pair)
            for (ULONG side = 0; side < 2 && NT_SUCCESS(status); ++side) {
                bool one = false;
                status = StoreVolume(input, pair, side, value, &one);
                changed = changed || one;
            }
    } else {
        status = StoreVolume(input, PairOf(request->Channel), SideOf(request->Channel), value, &changed);
    }
    if (changed)
        GetDevice()->ModifyAudioVolumeControlChains(input);
    return Complete(irp, status, sizeof(value));
}

NTSTATUS BasicAudioFilter::PropGetMute(PIRP irp, PKSPROPERTY property, PVOID data)
{
    const auto* request = reinterpret_cast<const KSNODEPROPERTY_AUDIO_CHANNEL*>(property);
    const ULONG input = m_combined ? 0 : m_ownInput;
    LONG value = 0;
    NTSTATUS status = STATUS_SUCCESS;
    if (request->Channel == kAllChannels) {
        ULONG pairs = 0;
        status = m_inputs.GetChannelPairCount(input, &pairs);
        value = pairs > 0 ? 1 : 0;
        for (ULONG pair = 0; pair < pairs && NT_SUCCESS(status) && value != 0; ++pair)
            for (ULONG side = 0; side < 2 && NT_SUCCESS(status); ++side) {
                LONG one = 0;
                status = m_inputs.GetMute(input, pair, side, &one);
                if (one == 0)
                    value = 0;
            }
    } else {
        status = m_inputs.GetMute(input, PairOf(request->Channel), SideOf(request->Channel), &value);
    }
    if (NT_SUCCESS(status))
        std::memcpy(data, &value, sizeof(value));
    return Complete(irp, status, sizeof(value));
}

NTSTATUS BasicAudioFilter::PropSetMute(PIRP irp, PKSPROPERTY property, PVOID data)
{
    const auto* request = reinterpret_cast<const KSNODEPROPERTY_AUDIO_CHANNEL*>(property);
    LONG value = 0;
    std::memcpy(&value, data, sizeof(value));
    NTSTATUS status = STATUS_SUCCESS;
    if (m_combined) {
        // Every channel of every pair of every input, each input's levels re-applied after each pair.
        for (ULONG input = 0; input < m_inputs.GetInputCount() && NT_SUCCESS(status); ++input) {
            ULONG pairs = 0;
            m_inputs.GetChannelPairCount(input, &pairs);
            for (ULONG pair = 0; pair < pairs && NT_SUCCESS(status); ++pair) {
                bool changed = false;
                for (ULONG side = 0; side < 2 && NT_SUCCESS(status); ++side) {
                    bool one = false;
                    status = StoreMute(input, pair, side, value, &one);
                    changed = changed || one;
                }
                if (changed)
                    GetDevice()->ModifyAudioVolumeControlChains(input);
            }
        }
        return Complete(irp, status, sizeof(value));
    }
    bool changed = false;
    if (request->Channel == kAllChannels) {
        ULONG pairs = 0;
        m_inputs.GetChannelPairCount(m_ownInput, &pairs);
        for (ULONG pair = 0; pair < pairs && NT_SUCCESS(status); ++pair)
            for (ULONG side = 0; side < 2 && NT_SUCCESS(status); ++side) {
                bool one = false;
                status = StoreMute(m_ownInput, pair, side, value, &one);
                changed = changed || one;
            }
    } else {
        status = StoreMute(m_ownInput, PairOf(request->Channel), SideOf(request->Channel), value, &changed);
    }
    if (changed)
        GetDevice()->ModifyAudioVolumeControlChains(m_ownInput);
    return Complete(irp, status, sizeof(value));
}

NTSTATUS BasicAudioFilter::PropGetMux(PIRP irp, PKSPROPERTY, PVOID data)
{
    const ULONG value = GetCurrentAudioInput() + 1;
    std::memcpy(data, &value, sizeof(value));
    return Complete(irp, STATUS_SUCCESS, sizeof(value));
}

NTSTATUS BasicAudioFilter::PropGetPeak(PIRP irp, PKSPROPERTY property, PVOID data)
{
    const auto* request = reinterpret_cast<const KSNODEPROPERTY_AUDIO_CHANNEL*>(property);
    const LONG channel = request->Channel;
    LONG value = 0;
    const NTSTATUS status = GetDevice()->GetPeakLevel(GetCurrentAudioInput(), channel == kAllChannels ? 0 : PairOf(channel),
                                                      channel == kAllChannels ? 0 : SideOf(channel), &value);
    if (NT_SUCCESS(status))
        std::memcpy(data, &value, sizeof(value));
    return Complete(irp, status, sizeof(value));
}

NTSTATUS BasicAudioFilter::PropGetCPUResources(PIRP irp, PKSPROPERTY property, PVOID data)
{
    const auto* request = reinterpret_cast<const KSNODEPROPERTY*>(property);
    const KSFILTER_DESCRIPTOR* descriptor = GetKsFilter() != nullptr ? GetKsFilter()->Descriptor : nullptr;
    if (descriptor == nullptr || request->NodeId >= descriptor->NodeDescriptorsCount)
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    const GUID* type = descriptor->NodeDescriptors[request->NodeId].Type;
    const bool host = type != nullptr && (*type == KSNODETYPE_MUTE || *type == KSNODETYPE_PEAKMETER);
    const ULONG value = host ? kHostCpu : kNotHostCpu;
    std::memcpy(data, &value, sizeof(value));
    return Complete(irp, STATUS_SUCCESS, sizeof(value));
}

NTSTATUS BasicAudioFilter::PropGetAudioInputCount(PIRP irp, PKSPROPERTY property, PVOID data)
{
    CopyRequest(property, data, sizeof(BrevicorAudioInputCountRecord));
    auto* record = static_cast<BrevicorAudioInputCountRecord*>(data);
    if (m_combined) {
        record->inputCount = m_inputs.GetInputCount();
        record->muxNodeOrAll = m_inputs.GetInputCount();
    } else {
        record->inputCount = 1;
        record->muxNodeOrAll = 0xFFFFFFFF;
    }
    return Complete(irp, STATUS_SUCCESS, sizeof(BrevicorAudioInputCountRecord));
}

NTSTATUS BasicAudioFilter::PropGetAudioInputInfo(PIRP irp, PKSPROPERTY property, PVOID data)
{
    CopyRequest(property, data, sizeof(BrevicorAudioInputInfoRecord));
    auto* record = static_cast<BrevicorAudioInputInfoRecord*>(data);
    const ULONG count = m_inputs.GetInputCount();
    ULONG index = count;
    if (!m_combined) {
        // A per-input filter answers for its own input however it is asked.
        index = m_ownInput;
    } else if (record->lookupMode != 0) {
        index = record->inputIndex;
    } else {
        // By name: case-insensitive, at equal length, measured within the field.
        ULONG length = 0;
        while (length < kRecordTextCharacters && record->inputName[length] != 0)
            ++length;
        if (length == kRecordTextCharacters) {
            TRACE_STATUS(this, "BasicAudioFilter::PropGetAudioInputInfo", kTraceErrors, MSG_AUDIO_INPUT_NAME_INVALID,
                         "Audio input name %s is invalid.", "(unterminated)");
            return Complete(irp, MSG_AUDIO_INPUT_NAME_INVALID, 0);
        }
        auto lower = [](WCHAR c) -> WCHAR { return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + 32) : c; };
        for (ULONG i = 0; i < count && index == count; ++i) {
            WCHAR name[kRecordTextCharacters] = {};
            if (!NT_SUCCESS(m_inputs.GetInputNameString(i, name, kRecordTextCharacters)))
                continue;
            ULONG n = 0;
            while (n < kRecordTextCharacters && name[n] != 0)
                ++n;
            if (n != length)
                continue;
            bool equal = true;
            for (ULONG k = 0; k < n && equal; ++k)
                equal = lower(name[k]) == lower(record->inputName[k]);
            if (equal)
                index = i;
        }
    }
    if (index >= count) {
        TRACE_STATUS(this, "BasicAudioFilter::PropGetAudioInputInfo", kTraceErrors, MSG_AUDIO_INPUT_NAME_INVALID,
                     "Audio input name %u is invalid.", static_cast<unsigned>(index));
        return Complete(irp, MSG_AUDIO_INPUT_NAME_INVALID, 0);
    }
    record->inputIndex = index;
    std::memset(record->inputName, 0, sizeof(record->inputName));
    m_inputs.GetInputNameString(index, record->inputName, kRecordTextCharacters);
    if (m_combined) {
        record->topologyIds[0] = index + 1;
        record->topologyIds[1] = index;
        record->topologyIds[2] = index + 1;
        record->topologyIds[3] = index + 2;
    } else {
        record->topologyIds[0] = index;
        record->topologyIds[1] = 0;
        record->topologyIds[2] = 1;
        record->topologyIds[3] = 2;
    }
    return Complete(irp, STATUS_SUCCESS, sizeof(BrevicorAudioInputInfoRecord));
}

NTSTATUS BasicAudioFilter::PropSetMux(PIRP irp, PKSPROPERTY, PVOID data)
{
    ULONG value = 0;
    std::memcpy(&value, data, sizeof(value));
    // 1-based; value 0 wraps to the largest index and is refused with every other out-of-range one.
    const ULONG index = value - 1;
    if (index >= m_inputs.GetInputCount()) {
        TRACE_STATUS(this, "BasicAudioFilter::PropSetMux", kTraceErrors, MSG_SPECIFIED_AUDIO_MUX_INVALID,
                     "Specified audio mux of %u is invalid.", static_cast<unsigned>(value));
        return Complete(irp, MSG_SPECIFIED_AUDIO_MUX_INVALID, 0);
    }
    if (index == GetCurrentAudioInput())
        return Complete(irp, STATUS_SUCCESS, sizeof(value));
    NTSTATUS status = m_inputs.SetCurrentInput(index);
    if (NT_SUCCESS(status))
        status = GetDevice()->GetAudioInputItems()->SetCurrentInput(index);
    if (!NT_SUCCESS(status))
        return Complete(irp, status, 0);
    GetDevice()->WriteAudioInputPropertyToRegistry(u"ActiveInput", index);
    for (ULONG row = 0; row < StreamProcessor::kMaximumRows; ++row)
        GetDevice()->ModifyActiveAlgorithmChainsEx(this, row);
    return Complete(irp, STATUS_SUCCESS, sizeof(value));
}

NTSTATUS NTAPI BasicAudioFilter::DispatchPinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat,
                                                          PKSMULTIPLE_ITEM, const KSDATARANGE* dataRange,
                                                          const KSATTRIBUTE_LIST*)
{
    TRACE_SCOPE(nullptr, "BasicAudioFilter::DispatchPinSetDataFormat", kTraceLowEnter);
    if (oldFormat != nullptr && pin->DeviceState != KSSTATE_STOP)
        return STATUS_INVALID_DEVICE_STATE;
    const KSDATAFORMAT* format = pin->ConnectionFormat;
    if (format == nullptr || dataRange == nullptr ||
        format->Specifier != KSDATAFORMAT_SPECIFIER_WAVEFORMATEX ||
        format->FormatSize < sizeof(KSDATAFORMAT_WAVEFORMATEX) ||
        dataRange->FormatSize < sizeof(KSDATARANGE_AUDIO))
        return STATUS_NO_MATCH;
    WAVEFORMATEX wave;
    std::memcpy(&wave, reinterpret_cast<const UCHAR*>(format) + sizeof(KSDATAFORMAT), sizeof(wave));
    KSDATARANGE_AUDIO range;
    std::memcpy(&range, dataRange, sizeof(range));
    // The pin copies the wave format with its extra bytes: they must lie inside the format.
    if (sizeof(KSDATAFORMAT_WAVEFORMATEX) + ULONG(wave.cbSize) > format->FormatSize)
        return STATUS_NO_MATCH;
    if (wave.nSamplesPerSec < range.MinimumSampleFrequency ||
        wave.nSamplesPerSec > range.MaximumSampleFrequency ||
        wave.wBitsPerSample < range.MinimumBitsPerSample ||
        wave.wBitsPerSample > range.MaximumBitsPerSample || wave.wBitsPerSample % 8 != 0 ||
        wave.nChannels != range.MaximumChannels)
        return STATUS_NO_MATCH;
    return STATUS_SUCCESS;
}
