// Registry keys: sub-key and value bookkeeping, paths, and deletion of whole subtrees.
#include "RegistryKeyNode.h"

#include "RegistryPath.h"

#include <algorithm>

namespace standin::registry {

namespace {

auto SubKeyPosition(const std::vector<std::shared_ptr<RegistryKeyNode>>& subKeys, std::u16string_view upcased)
{
    return std::lower_bound(subKeys.begin(), subKeys.end(), upcased,
                            [](const std::shared_ptr<RegistryKeyNode>& key, std::u16string_view name) {
                                return std::u16string_view(key->UpcasedName()) < name;
                            });
}

} // namespace

RegistryKeyNode::RegistryKeyNode(std::u16string_view name, std::u16string_view className, bool isVolatile,
                                 LONGLONG time)
    : name_(name), upcasedName_(UpcaseName(name)), className_(className), volatile_(isVolatile),
      lastWriteTime_(time)
{
}

std::u16string RegistryKeyNode::FullPath() const
{
    std::vector<const RegistryKeyNode*> chain;
    for (const RegistryKeyNode* key = this; key; key = key->parent_)
        chain.push_back(key);
    std::u16string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        path += u"\\" + (*it)->name_;
    return path;
}

std::shared_ptr<RegistryKeyNode> RegistryKeyNode::FindSubKey(std::u16string_view upcasedName) const
{
    auto it = SubKeyPosition(subKeys_, upcasedName);
    if (it != subKeys_.end() && (*it)->upcasedName_ == upcasedName)
        return *it;
    return nullptr;
}

void RegistryKeyNode::AddSubKey(std::shared_ptr<RegistryKeyNode> child)
{
    child->parent_ = this;
    auto it = SubKeyPosition(subKeys_, child->upcasedName_);
    subKeys_.insert(it, std::move(child));
}

void RegistryKeyNode::RemoveSubKey(const RegistryKeyNode* child)
{
    auto it = SubKeyPosition(subKeys_, child->upcasedName_);
    if (it != subKeys_.end() && it->get() == child) {
        (*it)->parent_ = nullptr;
        subKeys_.erase(it);
    }
}

void RegistryKeyNode::MarkSubtreeDeleted()
{
    // Breadth first with the nodes held here, so that freeing a deep tree does not recurse.
    std::vector<std::shared_ptr<RegistryKeyNode>> held;
    std::vector<RegistryKeyNode*> pending{this};
    while (!pending.empty()) {
        RegistryKeyNode* key = pending.back();
        pending.pop_back();
        key->deleted_ = true;
        key->parent_ = nullptr;
        for (auto& child : key->subKeys_) {
            pending.push_back(child.get());
            held.push_back(std::move(child));
        }
        key->subKeys_.clear();
    }
}

const RegistryValue* RegistryKeyNode::FindValue(std::u16string_view upcasedName) const
{
    for (const auto& value : values_) {
        if (value.upcasedName == upcasedName)
            return &value;
    }
    return nullptr;
}

void RegistryKeyNode::SetValue(std::u16string_view name, ULONG type, const UCHAR* data, size_t size)
{
    std::u16string upcased = UpcaseName(name);
    auto* value = const_cast<RegistryValue*>(FindValue(upcased));
    if (!value) {
        values_.push_back(RegistryValue{std::u16string(name), std::move(upcased), 0, {}});
        value = &values_.back();
    }
    value->type = type;
    value->data.assign(data, data + size);
}

bool RegistryKeyNode::RemoveValue(std::u16string_view upcasedName)
{
    auto it = std::find_if(values_.begin(), values_.end(),
                           [&](const RegistryValue& value) { return value.upcasedName == upcasedName; });
    if (it == values_.end())
        return false;
    values_.erase(it);
    return true;
}

} // namespace standin::registry
