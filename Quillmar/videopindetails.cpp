// VideoPinDetails: one pin's settings of one video input.
#include "videopindetails.h"

#include "km/status.h"

#include <cstring>

VideoPinDetails::VideoPinDetails() = default;

#define VIDEO_PIN_DEFINE_PLAIN(name, member, type)                                                           \
    NTSTATUS VideoPinDetails::Get##name(type* value) const                                                   \
    {                                                                                                        \
        *value = member;                                                                                     \
        return STATUS_SUCCESS;                                                                               \
    }                                                                                                        \
    NTSTATUS VideoPinDetails::Set##name(type value)                                                          \
    {                                                                                                        \
        member = value;                                                                                      \
        return STATUS_SUCCESS;                                                                               \
    }
VIDEO_PIN_PLAIN_FIELDS(VIDEO_PIN_DEFINE_PLAIN)
#undef VIDEO_PIN_DEFINE_PLAIN

#define VIDEO_PIN_DEFINE_RECTANGLE(name, member, type)                                                       \
    NTSTATUS VideoPinDetails::Get##name(type* value) const                                                   \
    {                                                                                                        \
        *value = HasLogoFileName() ? member : 0;                                                             \
        return STATUS_SUCCESS;                                                                               \
    }                                                                                                        \
    NTSTATUS VideoPinDetails::GetStored##name(type* value) const                                             \
    {                                                                                                        \
        *value = member;                                                                                     \
        return STATUS_SUCCESS;                                                                               \
    }                                                                                                        \
    NTSTATUS VideoPinDetails::Set##name(type value)                                                          \
    {                                                                                                        \
        member = value;                                                                                      \
        return STATUS_SUCCESS;                                                                               \
    }
VIDEO_PIN_LOGO_RECTANGLE_FIELDS(VIDEO_PIN_DEFINE_RECTANGLE)
#undef VIDEO_PIN_DEFINE_RECTANGLE

namespace {

template <typename T> NTSTATUS CopyTable(T* target, const T* source, ULONG count)
{
    if (count > VideoPinDetails::kTableEntries || (count != 0 && (target == nullptr || source == nullptr)))
        return STATUS_INVALID_PARAMETER;
    std::memcpy(target, source, count * sizeof(T));
    return STATUS_SUCCESS;
}

} // namespace

NTSTATUS VideoPinDetails::GetVideoProcAmpGammaValues(UCHAR* values, ULONG count) const
{
    return CopyTable(values, m_gammaTable, count);
}

NTSTATUS VideoPinDetails::SetVideoProcAmpGammaValues(const UCHAR* values, ULONG count)
{
    return CopyTable(m_gammaTable, values, count);
}

NTSTATUS VideoPinDetails::GetVideoProcAmpSinValues(LONG* values, ULONG count) const
{
    return CopyTable(values, m_sineTable, count);
}

NTSTATUS VideoPinDetails::SetVideoProcAmpSinValues(const LONG* values, ULONG count)
{
    return CopyTable(m_sineTable, values, count);
}

NTSTATUS VideoPinDetails::GetVideoProcAmpCosValues(LONG* values, ULONG count) const
{
    return CopyTable(values, m_cosineTable, count);
}

NTSTATUS VideoPinDetails::SetVideoProcAmpCosValues(const LONG* values, ULONG count)
{
    return CopyTable(m_cosineTable, values, count);
}

NTSTATUS VideoPinDetails::GetLogoFileName(WCHAR* name) const
{
    if (name == nullptr)
        return STATUS_INVALID_PARAMETER;
    std::memcpy(name, m_logoFileName, sizeof(m_logoFileName));
    return STATUS_SUCCESS;
}

NTSTATUS VideoPinDetails::SetLogoFileName(const WCHAR* name)
{
    if (name == nullptr)
        return STATUS_INVALID_PARAMETER;
    const LONG length = BoundedRecordTextLength(name, kLogoFileNameCharacters);
    if (length < 0)
        return STATUS_INVALID_PARAMETER;
    std::memset(m_logoFileName, 0, sizeof(m_logoFileName));
    std::memcpy(m_logoFileName, name, static_cast<size_t>(length) * sizeof(WCHAR));
    return STATUS_SUCCESS;
}

NTSTATUS VideoPinDetails::GetCCSettings(BrevicorCCRecord* record) const
{
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    std::memcpy(record, &m_cc, sizeof(m_cc));
    return STATUS_SUCCESS;
}

NTSTATUS VideoPinDetails::SetCCSettings(const BrevicorCCRecord* record)
{
    if (record == nullptr || BoundedRecordTextLength(record->fontFileName, kRecordTextCharacters) < 0)
        return STATUS_INVALID_PARAMETER;
    std::memcpy(&m_cc, record, sizeof(m_cc));
    return STATUS_SUCCESS;
}

NTSTATUS VideoPinDetails::GetConnectionFormatInfo(ULONG* kind) const
{
    if (kind == nullptr)
        return STATUS_INVALID_PARAMETER;
    *kind = m_connectionFormatKind;
    return STATUS_SUCCESS;
}

NTSTATUS VideoPinDetails::SetConnectionFormatKind(ULONG kind)
{
    m_connectionFormatKind = kind;
    return STATUS_SUCCESS;
}
