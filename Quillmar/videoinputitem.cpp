// VideoInputItem: one video input's kind, number, name, detection record and pin settings.
#include "videoinputitem.h"

#include "kernel/poolallocation.h"
#include "km/status.h"

#include <cstring>

VideoInputItem::VideoInputItem()
{
    KeInitializeSpinLock(&m_inputDetectLock);
    for (ULONG i = 0; i < kPinCount; ++i)
        m_pins[i].SetPinId(i);
}

VideoInputItem::~VideoInputItem()
{
    if (m_name != nullptr)
        FreePool(m_name);
}

NTSTATUS VideoInputItem::GetInputType(ULONG* type) const
{
    *type = m_inputType;
    return STATUS_SUCCESS;
}

NTSTATUS VideoInputItem::SetInputType(ULONG type)
{
    m_inputType = type;
    return STATUS_SUCCESS;
}

NTSTATUS VideoInputItem::GetInputIOIndex(ULONG* index) const
{
    *index = m_ioIndex;
    return STATUS_SUCCESS;
}

NTSTATUS VideoInputItem::SetInputIOIndex(ULONG index)
{
    m_ioIndex = index;
    return STATUS_SUCCESS;
}

NTSTATUS VideoInputItem::SetInputName(PCWSTR name)
{
    ULONG length = 0;
    if (name != nullptr)
        while (name[length] != 0) {
            if (length == kMaximumNameCharacters)
                return STATUS_INVALID_PARAMETER;
            ++length;
        }
    WCHAR* copy = nullptr;
    if (length != 0) {
        copy = static_cast<WCHAR*>(AllocatePool((length + 1) * sizeof(WCHAR)));
        if (copy == nullptr)
            return STATUS_INSUFFICIENT_RESOURCES;
        std::memcpy(copy, name, length * sizeof(WCHAR));
        copy[length] = 0;
    }
    if (m_name != nullptr)
        FreePool(m_name);
    m_name = copy;
    m_nameLength = length;
    return STATUS_SUCCESS;
}

NTSTATUS VideoInputItem::GetInputDetectInfo(BrevicorInputDetectRecord* record) const
{
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    KIRQL irql;
    KeAcquireSpinLock(&m_inputDetectLock, &irql);
    std::memcpy(record, &m_inputDetect, sizeof(m_inputDetect));
    KeReleaseSpinLock(&m_inputDetectLock, irql);
    return STATUS_SUCCESS;
}

NTSTATUS VideoInputItem::SetInputDetectInfo(const BrevicorInputDetectRecord* record)
{
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    KIRQL irql;
    KeAcquireSpinLock(&m_inputDetectLock, &irql);
    std::memcpy(&m_inputDetect, record, sizeof(m_inputDetect));
    KeReleaseSpinLock(&m_inputDetectLock, irql);
    return STATUS_SUCCESS;
}

VideoPinDetails* VideoInputItem::GetPinDetails(ULONG pinType)
{
    return pinType < kPinCount ? &m_pins[pinType] : nullptr;
}

const VideoPinDetails* VideoInputItem::GetPinDetails(ULONG pinType) const
{
    return pinType < kPinCount ? &m_pins[pinType] : nullptr;
}
