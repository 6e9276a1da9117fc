// One key of the in-memory registry: its name, class, volatility and last-write time, its values in
// the order they were first set, and its sub-keys in enumeration order (sorted by upper-cased name).
// The tree and every handle open on a key share the node, so a deleted key lives on, marked deleted,
// until its last handle closes. The tree's lock guards every member.
#pragma once
#include "km/types.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace standin::registry {

struct RegistryValue {
    std::u16string name;
    std::u16string upcasedName;
    ULONG type = 0;
    std::vector<UCHAR> data;
};

class RegistryKeyNode : public std::enable_shared_from_this<RegistryKeyNode> {
public:
    RegistryKeyNode(std::u16string_view name, std::u16string_view className, bool isVolatile, LONGLONG time);
    RegistryKeyNode(const RegistryKeyNode&) = delete;
    RegistryKeyNode& operator=(const RegistryKeyNode&) = delete;

    const std::u16string& Name() const { return name_; }
    const std::u16string& UpcasedName() const { return upcasedName_; }
    const std::u16string& ClassName() const { return className_; }
    bool IsVolatile() const { return volatile_; }
    bool IsDeleted() const { return deleted_; }
    LONGLONG LastWriteTime() const { return lastWriteTime_; }
    void Touch(LONGLONG time) { lastWriteTime_ = time; }
    // Null for "\Registry" and for deleted keys.
    RegistryKeyNode* Parent() const { return parent_; }
    // "\Registry\Machine\...", with each key's name as stored.
    std::u16string FullPath() const;

    const std::vector<std::shared_ptr<RegistryKeyNode>>& SubKeys() const { return subKeys_; }
    std::shared_ptr<RegistryKeyNode> FindSubKey(std::u16string_view upcasedName) const;
    // Adds a sub-key whose name no sub-key has yet.
    void AddSubKey(std::shared_ptr<RegistryKeyNode> child);
    void RemoveSubKey(const RegistryKeyNode* child);
    // Marks the key and every key below it deleted and cuts them from one another; the nodes go as
    // soon as no handle holds them. Detach the key from its parent first.
    void MarkSubtreeDeleted();

    const std::vector<RegistryValue>& Values() const { return values_; }
    const RegistryValue* FindValue(std::u16string_view upcasedName) const;
    // Replaces the data of a value of that name (keeping its place and first spelling) or appends one.
    void SetValue(std::u16string_view name, ULONG type, const UCHAR* data, size_t size);
    bool RemoveValue(std::u16string_view upcasedName);

private:
    const std::u16string name_;
    const std::u16string upcasedName_;
    const std::u16string className_;
    const bool volatile_;
    bool deleted_ = false;
    LONGLONG lastWriteTime_;
    RegistryKeyNode* parent_ = nullptr;
    std::vector<std::shared_ptr<RegistryKeyNode>> subKeys_;
    std::vector<RegistryValue> values_;
};

} // namespace standin::registry
