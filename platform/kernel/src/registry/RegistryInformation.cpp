// Key and value information records: their layouts and the buffer rule, in one place for the query
// and enumeration functions. Fields go in through memcpy, as the caller's buffer need not be aligned.
#include "RegistryInformation.h"

#include "km/status.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace standin::registry {

namespace {

constexpr ULONG kNoClass = 0xFFFFFFFF;

// One record: a fixed part of known size and the variable parts behind it.
class RecordWriter {
public:
    explicit RecordWriter(size_t fixedSize) : fixed_(fixedSize, 0), needed_(fixedSize) {}

    void Put32(size_t offset, ULONG value) { std::memcpy(&fixed_[offset], &value, sizeof value); }
    void Put64(size_t offset, LONGLONG value) { std::memcpy(&fixed_[offset], &value, sizeof value); }
    // A variable part at `offset`; the bytes must stay put until WriteTo.
    void Tail(size_t offset, const void* data, size_t size)
    {
        tails_.push_back({offset, static_cast<const UCHAR*>(data), size});
        needed_ = std::max(needed_, offset + size);
    }
    // Raises the record's size to at least `size` (a data offset past an empty tail).
    void NeedAtLeast(size_t size) { needed_ = std::max(needed_, size); }

    NTSTATUS WriteTo(PVOID buffer, ULONG length, PULONG resultLength) const
    {
        *resultLength = static_cast<ULONG>(needed_);
        if (length < fixed_.size())
            return STATUS_BUFFER_TOO_SMALL;
        auto* out = static_cast<UCHAR*>(buffer);
        std::memcpy(out, fixed_.data(), fixed_.size());
        for (const auto& tail : tails_) {
            if (tail.size == 0 || tail.offset >= length)
                continue;
            std::memcpy(out + tail.offset, tail.data, std::min<size_t>(tail.size, length - tail.offset));
        }
        return length >= needed_ ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW;
    }

private:
    struct Part {
        size_t offset;
        const UCHAR* data;
        size_t size;
    };
    std::vector<UCHAR> fixed_;
    std::vector<Part> tails_;
    size_t needed_;
};

ULONG Bytes(const std::u16string& text)
{
    return static_cast<ULONG>(text.size() * sizeof(char16_t));
}

ULONG AlignUp4(size_t offset)
{
    return static_cast<ULONG>((offset + 3) & ~size_t(3));
}

} // namespace

bool IsSupportedKeyInformation(KEY_INFORMATION_CLASS informationClass)
{
    return informationClass == KeyBasicInformation || informationClass == KeyNodeInformation ||
           informationClass == KeyFullInformation;
}

bool IsSupportedValueInformation(KEY_VALUE_INFORMATION_CLASS informationClass)
{
    return informationClass == KeyValueBasicInformation || informationClass == KeyValueFullInformation ||
           informationClass == KeyValuePartialInformation;
}

NTSTATUS WriteKeyInformation(const RegistryKeyNode& key, KEY_INFORMATION_CLASS informationClass, PVOID buffer,
                             ULONG length, PULONG resultLength)
{
    const ULONG nameBytes = Bytes(key.Name());
    const ULONG classBytes = Bytes(key.ClassName());
    switch (informationClass) {
    case KeyBasicInformation: {
        RecordWriter record(offsetof(KEY_BASIC_INFORMATION, Name));
        record.Put64(offsetof(KEY_BASIC_INFORMATION, LastWriteTime), key.LastWriteTime());
        record.Put32(offsetof(KEY_BASIC_INFORMATION, NameLength), nameBytes);
        record.Tail(offsetof(KEY_BASIC_INFORMATION, Name), key.Name().data(), nameBytes);
        return record.WriteTo(buffer, length, resultLength);
    }
    case KeyNodeInformation: {
        const size_t classOffset = offsetof(KEY_NODE_INFORMATION, Name) + nameBytes;
        RecordWriter record(offsetof(KEY_NODE_INFORMATION, Name));
        record.Put64(offsetof(KEY_NODE_INFORMATION, LastWriteTime), key.LastWriteTime());
        record.Put32(offsetof(KEY_NODE_INFORMATION, ClassOffset),
                     classBytes ? static_cast<ULONG>(classOffset) : kNoClass);
        record.Put32(offsetof(KEY_NODE_INFORMATION, ClassLength), classBytes);
        record.Put32(offsetof(KEY_NODE_INFORMATION, NameLength), nameBytes);
        record.Tail(offsetof(KEY_NODE_INFORMATION, Name), key.Name().data(), nameBytes);
        record.Tail(classOffset, key.ClassName().data(), classBytes);
        return record.WriteTo(buffer, length, resultLength);
    }
    case KeyFullInformation: {
        ULONG maxName = 0, maxClass = 0, maxValueName = 0, maxValueData = 0;
        for (const auto& sub : key.SubKeys()) {
            maxName = std::max(maxName, Bytes(sub->Name()));
            maxClass = std::max(maxClass, Bytes(sub->ClassName()));
        }
        for (const auto& value : key.Values()) {
            maxValueName = std::max(maxValueName, Bytes(value.name));
            maxValueData = std::max(maxValueData, static_cast<ULONG>(value.data.size()));
        }
        RecordWriter record(offsetof(KEY_FULL_INFORMATION, Class));
        record.Put64(offsetof(KEY_FULL_INFORMATION, LastWriteTime), key.LastWriteTime());
        record.Put32(offsetof(KEY_FULL_INFORMATION, ClassOffset),
                     classBytes ? static_cast<ULONG>(offsetof(KEY_FULL_INFORMATION, Class)) : kNoClass);
        record.Put32(offsetof(KEY_FULL_INFORMATION, ClassLength), classBytes);
        record.Put32(offsetof(KEY_FULL_INFORMATION, SubKeys), static_cast<ULONG>(key.SubKeys().size()));
        record.Put32(offsetof(KEY_FULL_INFORMATION, MaxNameLen), maxName);
        record.Put32(offsetof(KEY_FULL_INFORMATION, MaxClassLen), maxClass);
        record.Put32(offsetof(KEY_FULL_INFORMATION, Values), static_cast<ULONG>(key.Values().size()));
        record.Put32(offsetof(KEY_FULL_INFORMATION, MaxValueNameLen), maxValueName);
        record.Put32(offsetof(KEY_FULL_INFORMATION, MaxValueDataLen), maxValueData);
        record.Tail(offsetof(KEY_FULL_INFORMATION, Class), key.ClassName().data(), classBytes);
        return record.WriteTo(buffer, length, resultLength);
    }
    }
    return STATUS_INVALID_PARAMETER;
}

NTSTATUS WriteValueInformation(const RegistryValue& value, KEY_VALUE_INFORMATION_CLASS informationClass,
                               PVOID buffer, ULONG length, PULONG resultLength)
{
    const ULONG nameBytes = Bytes(value.name);
    const auto dataBytes = static_cast<ULONG>(value.data.size());
    switch (informationClass) {
    case KeyValueBasicInformation: {
        RecordWriter record(offsetof(KEY_VALUE_BASIC_INFORMATION, Name));
        record.Put32(offsetof(KEY_VALUE_BASIC_INFORMATION, Type), value.type);
        record.Put32(offsetof(KEY_VALUE_BASIC_INFORMATION, NameLength), nameBytes);
        record.Tail(offsetof(KEY_VALUE_BASIC_INFORMATION, Name), value.name.data(), nameBytes);
        return record.WriteTo(buffer, length, resultLength);
    }
    case KeyValueFullInformation: {
        const ULONG dataOffset = AlignUp4(offsetof(KEY_VALUE_FULL_INFORMATION, Name) + nameBytes);
        RecordWriter record(offsetof(KEY_VALUE_FULL_INFORMATION, Name));
        record.Put32(offsetof(KEY_VALUE_FULL_INFORMATION, Type), value.type);
        record.Put32(offsetof(KEY_VALUE_FULL_INFORMATION, DataOffset), dataOffset);
        record.Put32(offsetof(KEY_VALUE_FULL_INFORMATION, DataLength), dataBytes);
        record.Put32(offsetof(KEY_VALUE_FULL_INFORMATION, NameLength), nameBytes);
        record.Tail(offsetof(KEY_VALUE_FULL_INFORMATION, Name), value.name.data(), nameBytes);
        record.Tail(dataOffset, value.data.data(), dataBytes);
        record.NeedAtLeast(dataOffset);
        return record.WriteTo(buffer, length, resultLength);
    }
    case KeyValuePartialInformation: {
        RecordWriter record(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data));
        record.Put32(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Type), value.type);
        record.Put32(offsetof(KEY_VALUE_PARTIAL_INFORMATION, DataLength), dataBytes);
        record.Tail(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data), value.data.data(), dataBytes);
        return record.WriteTo(buffer, length, resultLength);
    }
    }
    return STATUS_INVALID_PARAMETER;
}

} // namespace standin::registry
