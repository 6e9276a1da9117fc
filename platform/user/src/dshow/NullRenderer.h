// The null renderer (CLSID_NullRenderer): one input pin, "In", that accepts any type and lets each
// sample go at once. It ends a stream whose samples nobody needs after a grabber.
#pragma once
#include "dshow/Filter.h"
#include "dshow/InputPin.h"

namespace dshow {

class NullRenderer final : public Filter {
public:
    static HRESULT Create(REFIID riid, void** ppv);

    int PinCount() override { return 1; }
    Pin* GetPin(int index) override { return index == 0 ? &input_ : nullptr; }

private:
    class In final : public InputPin {
    public:
        explicit In(Filter* filter) : InputPin(filter, u"In") {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE&) override { return S_OK; }
    };

    NullRenderer() : Filter(CLSID_NullRenderer), input_(this) {}

    In input_;
};

} // namespace dshow
