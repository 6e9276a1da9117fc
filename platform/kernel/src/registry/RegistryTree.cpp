// The registry tree: lookup of paths, creation and deletion of keys, values, and emptying.
#include "RegistryTree.h"

#include "RegistryPath.h"
#include "km/registry.h"
#include "km/time.h"
#include "standin/registry.h"

#include <mutex>

namespace standin::registry {

namespace {

constexpr std::u16string_view kRootName = u"REGISTRY";

// The key `names` lead to from `start`, or null.
RegistryKeyNode* Walk(RegistryKeyNode* start, const std::vector<std::u16string_view>& names, size_t count)
{
    RegistryKeyNode* key = start;
    for (size_t i = 0; i < count && key; ++i)
        key = key->FindSubKey(UpcaseName(names[i])).get();
    return key;
}

} // namespace

RegistryTree::RegistryTree() : root_(MakeRoot()) {}

RegistryTree& RegistryTree::Instance()
{
    static RegistryTree* tree = new RegistryTree; // never destroyed: handles may close at exit
    return *tree;
}

KeyNodePtr RegistryTree::MakeRoot()
{
    const LONGLONG now = Now();
    auto root = std::make_shared<RegistryKeyNode>(u"REGISTRY", u"", false, now);
    root->AddSubKey(std::make_shared<RegistryKeyNode>(u"MACHINE", u"", false, now));
    root->AddSubKey(std::make_shared<RegistryKeyNode>(u"USER", u"", false, now));
    return root;
}

LONGLONG RegistryTree::Now()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return now.QuadPart;
}

NTSTATUS RegistryTree::Parse(const KeyNodePtr& base, std::u16string_view path, RegistryKeyNode** start,
                             std::vector<std::u16string_view>* names)
{
    const bool absolute = !path.empty() && path.front() == u'\\';
    if (absolute == static_cast<bool>(base))
        return STATUS_OBJECT_PATH_SYNTAX_BAD; // relative without a root key, or absolute with one
    NTSTATUS status = SplitKeyPath(absolute ? path.substr(1) : path, names);
    if (!NT_SUCCESS(status))
        return status;
    if (base) {
        if (base->IsDeleted())
            return STATUS_KEY_DELETED;
        *start = base.get();
        return STATUS_SUCCESS;
    }
    if (names->empty() || UpcaseName(names->front()) != kRootName)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    names->erase(names->begin());
    *start = root_.get();
    return STATUS_SUCCESS;
}

NTSTATUS RegistryTree::OpenKey(const KeyNodePtr& base, std::u16string_view path, OpenedKey* key)
{
    std::shared_lock<std::shared_mutex> hold(lock_);
    RegistryKeyNode* start = nullptr;
    std::vector<std::u16string_view> names;
    NTSTATUS status = Parse(base, path, &start, &names);
    if (!NT_SUCCESS(status))
        return status;
    RegistryKeyNode* found = Walk(start, names, names.size());
    if (!found)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    key->node = found->shared_from_this();
    key->path = found->FullPath();
    return STATUS_SUCCESS;
}

NTSTATUS RegistryTree::CreateKey(const KeyNodePtr& base, std::u16string_view path,
                                 std::u16string_view className, bool isVolatile, OpenedKey* key,
                                 ULONG* disposition)
{
    std::unique_lock<std::shared_mutex> hold(lock_);
    RegistryKeyNode* start = nullptr;
    std::vector<std::u16string_view> names;
    NTSTATUS status = Parse(base, path, &start, &names);
    if (!NT_SUCCESS(status))
        return status;
    if (names.empty()) { // the starting key itself
        key->node = start->shared_from_this();
        key->path = start->FullPath();
        *disposition = REG_OPENED_EXISTING_KEY;
        return STATUS_SUCCESS;
    }
    RegistryKeyNode* parent = Walk(start, names, names.size() - 1);
    if (!parent)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    const std::u16string_view name = names.back();
    if (KeyNodePtr existing = parent->FindSubKey(UpcaseName(name))) {
        key->node = existing;
        key->path = existing->FullPath();
        *disposition = REG_OPENED_EXISTING_KEY;
        return STATUS_SUCCESS;
    }
    if (parent == root_.get())
        return STATUS_ACCESS_DENIED; // only the hives hang below "\Registry"
    if (parent->IsVolatile() && !isVolatile)
        return STATUS_CHILD_MUST_BE_VOLATILE;
    std::u16string fullPath = parent->FullPath() + u"\\" + std::u16string(name);
    if (fullPath.size() > kMaxPathChars)
        return STATUS_INVALID_PARAMETER;
    const LONGLONG now = Now();
    auto created = std::make_shared<RegistryKeyNode>(name, className, isVolatile, now);
    parent->AddSubKey(created);
    parent->Touch(now);
    key->node = std::move(created);
    key->path = std::move(fullPath);
    *disposition = REG_CREATED_NEW_KEY;
    return STATUS_SUCCESS;
}

bool RegistryTree::IsFixedLocked(const RegistryKeyNode* key) const
{
    return key == root_.get() || key->Parent() == root_.get();
}

NTSTATUS RegistryTree::DeleteKey(const KeyNodePtr& key)
{
    std::unique_lock<std::shared_mutex> hold(lock_);
    if (key->IsDeleted())
        return STATUS_KEY_DELETED;
    if (IsFixedLocked(key.get()) || !key->SubKeys().empty())
        return STATUS_CANNOT_DELETE;
    DeleteSubtreeLocked(key.get(), Now());
    return STATUS_SUCCESS;
}

NTSTATUS RegistryTree::SetValue(const KeyNodePtr& key, std::u16string_view name, ULONG type,
                                const UCHAR* data, size_t size)
{
    std::unique_lock<std::shared_mutex> hold(lock_);
    if (key->IsDeleted())
        return STATUS_KEY_DELETED;
    key->SetValue(name, type, data, size);
    key->Touch(Now());
    return STATUS_SUCCESS;
}

NTSTATUS RegistryTree::DeleteValue(const KeyNodePtr& key, std::u16string_view name)
{
    std::unique_lock<std::shared_mutex> hold(lock_);
    if (key->IsDeleted())
        return STATUS_KEY_DELETED;
    if (!key->RemoveValue(UpcaseName(name)))
        return STATUS_OBJECT_NAME_NOT_FOUND;
    key->Touch(Now());
    return STATUS_SUCCESS;
}

void RegistryTree::Reset()
{
    KeyNodePtr fresh = MakeRoot();
    std::unique_lock<std::shared_mutex> hold(lock_);
    root_->MarkSubtreeDeleted();
    root_ = std::move(fresh);
}

KeyNodePtr RegistryTree::FindLocked(std::u16string_view absolutePath)
{
    RegistryKeyNode* start = nullptr;
    std::vector<std::u16string_view> names;
    if (!NT_SUCCESS(Parse(nullptr, absolutePath, &start, &names)))
        return nullptr;
    RegistryKeyNode* found = Walk(start, names, names.size());
    return found ? found->shared_from_this() : nullptr;
}

KeyNodePtr RegistryTree::CreatePathLocked(const std::vector<std::u16string>& names, LONGLONG time)
{
    KeyNodePtr key = root_;
    for (const auto& name : names) {
        KeyNodePtr next = key->FindSubKey(UpcaseName(name));
        if (!next) {
            next = std::make_shared<RegistryKeyNode>(name, u"", false, time);
            key->AddSubKey(next);
            key->Touch(time);
        }
        key = std::move(next);
    }
    return key;
}

void RegistryTree::DeleteSubtreeLocked(RegistryKeyNode* key, LONGLONG time)
{
    if (IsFixedLocked(key))
        return;
    KeyNodePtr held = key->shared_from_this();
    if (RegistryKeyNode* parent = key->Parent()) {
        parent->RemoveSubKey(key);
        parent->Touch(time);
    }
    held->MarkSubtreeDeleted();
}

} // namespace standin::registry

namespace standin {

void ResetRegistry()
{
    registry::RegistryTree::Instance().Reset();
}

} // namespace standin
