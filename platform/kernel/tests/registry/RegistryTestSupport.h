// Helpers shared by the registry tests: a fixture that starts from an empty registry, counted names,
// handles that close themselves, and short forms of the calls the tests repeat.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "km/object.h"
#include "km/registry.h"
#include "km/status.h"
#include "standin/registry.h"

namespace regtest {

// Every test starts and ends with an empty registry.
class RegistryTest : public testing::Test {
protected:
    void SetUp() override { standin::ResetRegistry(); }
    void TearDown() override { standin::ResetRegistry(); }
};

// A counted string over its own copy of the text.
class Name {
public:
    explicit Name(std::u16string_view text) : text_(text)
    {
        counted_.Buffer = text_.data();
        counted_.Length = static_cast<USHORT>(text_.size() * sizeof(WCHAR));
        counted_.MaximumLength = counted_.Length;
    }
    Name(const Name&) = delete;
    Name& operator=(const Name&) = delete;
    PUNICODE_STRING get() { return &counted_; }

private:
    std::u16string text_;
    UNICODE_STRING counted_{};
};

// A key handle closed when it goes out of scope.
class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() { Close(); }
    HANDLE get() const { return handle_; }
    HANDLE* out() { return &handle_; }
    void Close()
    {
        if (handle_) {
            EXPECT_EQ(ZwClose(handle_), STATUS_SUCCESS);
        }
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

inline NTSTATUS Open(Key* key, std::u16string_view path, ACCESS_MASK access = KEY_READ, HANDLE root = nullptr)
{
    Name name(path);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, name.get(), OBJ_CASE_INSENSITIVE, root, nullptr);
    return ZwOpenKey(key->out(), access, &attributes);
}

inline NTSTATUS Create(Key* key, std::u16string_view path, ULONG* disposition = nullptr, ULONG options = 0,
                       HANDLE root = nullptr, ACCESS_MASK access = KEY_ALL_ACCESS)
{
    Name name(path);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, name.get(), OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, root,
                               nullptr);
    return ZwCreateKey(key->out(), access, &attributes, 0, nullptr, options, disposition);
}

inline NTSTATUS SetValue(HANDLE key, std::u16string_view valueName, ULONG type, const void* data, ULONG size)
{
    Name name(valueName);
    return ZwSetValueKey(key, name.get(), 0, type, const_cast<void*>(data), size);
}

inline NTSTATUS SetDword(HANDLE key, std::u16string_view valueName, ULONG value)
{
    return SetValue(key, valueName, REG_DWORD, &value, sizeof value);
}

// A REG_SZ as a driver writes it: the text and its terminating zero.
inline NTSTATUS SetString(HANDLE key, std::u16string_view valueName, std::u16string_view text)
{
    std::u16string stored(text);
    return SetValue(key, valueName, REG_SZ, stored.c_str(), static_cast<ULONG>((stored.size() + 1) * 2));
}

inline std::vector<UCHAR> Bytes(std::string_view text)
{
    return std::vector<UCHAR>(text.begin(), text.end());
}

inline std::vector<UCHAR> WideBytes(std::u16string_view text)
{
    std::vector<UCHAR> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<UCHAR>(c));
        bytes.push_back(static_cast<UCHAR>(c >> 8));
    }
    return bytes;
}

inline void Import(std::string_view text)
{
    standin::RegistryTextError error;
    ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << "line " << error.line << ": " << error.message;
}

inline std::string Export(std::u16string_view keyPath = {})
{
    std::string text;
    standin::RegistryTextError error;
    EXPECT_TRUE(standin::ExportRegistryText(keyPath, &text, &error)) << error.message;
    return text;
}

template <class T> T ReadAt(const std::vector<UCHAR>& buffer, size_t offset)
{
    T value;
    std::memcpy(&value, buffer.data() + offset, sizeof value);
    return value;
}

} // namespace regtest
