// The one registry of the process: the tree of keys under "\Registry", its lock, and the operations
// of the Zw functions on it (path lookup, creation, deletion, values), each atomic under the lock.
// The ".reg" import and export and the test inspection take the lock themselves and work on the
// nodes with the *Locked helpers.
#pragma once
#include "RegistryKeyNode.h"
#include "km/status.h"
#include "km/types.h"

#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace standin::registry {

using KeyNodePtr = std::shared_ptr<RegistryKeyNode>;

struct OpenedKey {
    KeyNodePtr node;
    std::u16string path; // the full path as stored, for reports
};

class RegistryTree {
public:
    static RegistryTree& Instance();

    // The path is absolute ("\Registry\...") when base is null, else relative to base. Missing keys
    // give STATUS_OBJECT_NAME_NOT_FOUND, a deleted base STATUS_KEY_DELETED.
    NTSTATUS OpenKey(const KeyNodePtr& base, std::u16string_view path, OpenedKey* key);
    // Creates the last name of the path when it is missing (ZwCreateKey's rules).
    NTSTATUS CreateKey(const KeyNodePtr& base, std::u16string_view path, std::u16string_view className,
                       bool isVolatile, OpenedKey* key, ULONG* disposition);
    NTSTATUS DeleteKey(const KeyNodePtr& key);
    NTSTATUS SetValue(const KeyNodePtr& key, std::u16string_view name, ULONG type, const UCHAR* data,
                      size_t size);
    NTSTATUS DeleteValue(const KeyNodePtr& key, std::u16string_view name);
    // Runs read(key) under the shared lock when the key is live; STATUS_KEY_DELETED otherwise.
    template <class Read> NTSTATUS ReadKey(const RegistryKeyNode& key, Read&& read)
    {
        std::shared_lock<std::shared_mutex> hold(lock_);
        if (key.IsDeleted())
            return STATUS_KEY_DELETED;
        return read(key);
    }
    void Reset();

    // For bulk work under the caller's hold of Lock().
    std::shared_mutex& Lock() { return lock_; }
    RegistryKeyNode& RootLocked() { return *root_; }
    // The key at an absolute path, or null.
    KeyNodePtr FindLocked(std::u16string_view absolutePath);
    // The key below "\Registry" named by `names`, creating every missing one (non-volatile).
    KeyNodePtr CreatePathLocked(const std::vector<std::u16string>& names, LONGLONG time);
    // Deletes the key with everything below it; the roots cannot go.
    void DeleteSubtreeLocked(RegistryKeyNode* key, LONGLONG time);
    // "\Registry" itself and the two keys below it stay whatever happens.
    bool IsFixedLocked(const RegistryKeyNode* key) const;

    static LONGLONG Now();

private:
    RegistryTree();
    // Resolves `path` to the names it goes through from the starting key.
    NTSTATUS Parse(const KeyNodePtr& base, std::u16string_view path, RegistryKeyNode** start,
                   std::vector<std::u16string_view>* names);
    static KeyNodePtr MakeRoot();

    std::shared_mutex lock_;
    KeyNodePtr root_;
};

} // namespace standin::registry
