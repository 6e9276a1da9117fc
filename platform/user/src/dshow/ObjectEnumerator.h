// An enumerator over a snapshot of COM objects (a filter's pins, a graph's filters, a device
// category's monikers). Each holds a reference on every object it lists; Next hands out further
// references. When `version` is given, Next and Skip report VFW_E_ENUM_OUT_OF_SYNC once it differs
// from its value at the snapshot, until Reset takes a new one.
#pragma once
#include "dshow/ComObject.h"

#include <functional>
#include <mutex>
#include <vector>

namespace dshow {

template <class IEnum, class Item> class ObjectEnumerator final : public IEnum, ComObject {
public:
    using Snapshot = std::function<std::vector<Item*>()>;
    using Version = std::function<unsigned()>;

    static IEnum* Create(Snapshot snapshot, Version version = {})
    {
        auto* made = new (std::nothrow) ObjectEnumerator(std::move(snapshot), std::move(version));
        if (made)
            made->Take();
        return made;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == __uuidof(IEnum))
            return Give<IEnum>(this, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    DSHOW_REFERENCE_COUNT

    STDMETHODIMP Next(ULONG count, Item** items, ULONG* fetched) override
    {
        if (!items || (count > 1 && !fetched))
            return E_POINTER;
        std::lock_guard<std::mutex> hold(lock_);
        if (fetched)
            *fetched = 0;
        if (OutOfSync())
            return VFW_E_ENUM_OUT_OF_SYNC;
        ULONG n = 0;
        while (n < count && position_ < items_.size()) {
            items[n] = items_[position_++];
            items[n++]->AddRef();
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (OutOfSync())
            return VFW_E_ENUM_OUT_OF_SYNC;
        if (count > items_.size() - position_) {
            position_ = items_.size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }
    STDMETHODIMP Reset() override
    {
        std::lock_guard<std::mutex> hold(lock_);
        Take();
        return S_OK;
    }
    STDMETHODIMP Clone(IEnum** ppEnum) override
    {
        if (!ppEnum)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(lock_);
        auto* copy = new (std::nothrow) ObjectEnumerator(snapshot_, version_);
        *ppEnum = copy;
        if (!copy)
            return E_OUTOFMEMORY;
        copy->items_ = items_;
        for (Item* item : items_)
            item->AddRef();
        copy->position_ = position_;
        copy->seen_ = seen_;
        return S_OK;
    }

private:
    ObjectEnumerator(Snapshot snapshot, Version version)
        : snapshot_(std::move(snapshot)), version_(std::move(version))
    {
    }
    ~ObjectEnumerator() override { Drop(); }
    void Drop()
    {
        for (Item* item : items_)
            item->Release();
        items_.clear();
    }
    // A fresh snapshot (each item with a reference from the snapshot function).
    void Take()
    {
        Drop();
        if (version_)
            seen_ = version_();
        items_ = snapshot_();
        position_ = 0;
    }
    bool OutOfSync() const { return version_ && version_() != seen_; }

    const Snapshot snapshot_;
    const Version version_;
    std::mutex lock_;
    std::vector<Item*> items_;
    size_t position_ = 0;
    unsigned seen_ = 0;
};

} // namespace dshow
