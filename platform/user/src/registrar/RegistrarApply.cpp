// Carrying out a parsed registration script on the registry, registering or unregistering.
#include "registrar/RegistrarScript.h"

namespace user {
namespace {

HRESULT Failure(LSTATUS error)
{
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(error));
}

// The key and everything below it; a missing key is no fault.
LSTATUS RemoveTree(HKEY parent, const std::u16string& name)
{
    LSTATUS error = RegDeleteTreeW(parent, name.c_str());
    if (error == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS)
        return error;
    error = RegDeleteKeyW(parent, name.c_str());
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

LSTATUS SetValue(HKEY key, const std::u16string* name, const RegistrarValue& value)
{
    const LPCWSTR valueName = name ? name->c_str() : nullptr;
    switch (value.type) {
    case REG_DWORD:
        return RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                              sizeof value.number);
    case REG_BINARY:
        return RegSetValueExW(key, valueName, 0, REG_BINARY, value.bytes.data(),
                              static_cast<DWORD>(value.bytes.size()));
    default:
        return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                              static_cast<DWORD>((value.text.size() + 1) * sizeof(WCHAR)));
    }
}

bool HasSubKeys(HKEY key)
{
    WCHAR name[256];
    DWORD length = 256;
    const LSTATUS error = RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    return error == ERROR_SUCCESS || error == ERROR_MORE_DATA;
}

HRESULT Register(HKEY parent, const std::vector<RegistrarNode>& nodes)
{
    for (const RegistrarNode& node : nodes) {
        if (node.kind == RegistrarNode::Delete) {
            if (const LSTATUS error = RemoveTree(parent, node.name))
                return Failure(error);
            continue;
        }
        if (node.kind == RegistrarNode::Value) {
            if (const LSTATUS error = SetValue(parent, &node.name, node.value))
                return Failure(error);
            continue;
        }
        if (node.forceRemove)
            if (const LSTATUS error = RemoveTree(parent, node.name))
                return Failure(error);
        HKEY key = nullptr;
        if (const LSTATUS error = RegCreateKeyExW(parent, node.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                  nullptr, &key, nullptr))
            return Failure(error);
        HRESULT result = S_OK;
        if (node.hasValue)
            if (const LSTATUS error = SetValue(key, nullptr, node.value))
                result = Failure(error);
        if (SUCCEEDED(result))
            result = Register(key, node.children);
        RegCloseKey(key);
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

HRESULT Unregister(HKEY parent, const std::vector<RegistrarNode>& nodes)
{
    for (const RegistrarNode& node : nodes) {
        if (node.kind == RegistrarNode::Delete)
            continue;
        if (node.kind == RegistrarNode::Value) {
            const LSTATUS error = RegDeleteValueW(parent, node.name.c_str());
            if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
                return Failure(error);
            continue;
        }
        if (node.forceRemove && !node.noRemove) {
            if (const LSTATUS error = RemoveTree(parent, node.name))
                return Failure(error);
            continue;
        }
        HKEY key = nullptr;
        LSTATUS error = RegOpenKeyExW(parent, node.name.c_str(), 0, KEY_ALL_ACCESS, &key);
        if (error == ERROR_FILE_NOT_FOUND)
            continue;
        if (error != ERROR_SUCCESS)
            return Failure(error);
        const HRESULT result = Unregister(key, node.children);
        const bool keep = node.noRemove || HasSubKeys(key);
        RegCloseKey(key);
        if (FAILED(result))
            return result;
        if (!keep) {
            error = RegDeleteKeyW(parent, node.name.c_str());
            if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
                return Failure(error);
        }
    }
    return S_OK;
}

} // namespace

HRESULT ApplyRegistrarScript(const RegistrarScript& script, bool registering)
{
    for (const RegistrarRoot& root : script.roots) {
        const HRESULT result =
            registering ? Register(root.key, root.nodes) : Unregister(root.key, root.nodes);
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

} // namespace user
