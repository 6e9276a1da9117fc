// The capture graph builder (CLSID_CaptureGraphBuilder2) over a filter graph: finding pins by
// direction, category and type, finding interfaces on a filter, its pins and the filters up- and
// downstream, and connecting a source's pin through an intermediate filter to a sink. It adds no
// filter of its own: a stream without a sink, or a preview category on a filter without a preview
// pin, is E_FAIL.
#pragma once
#include "dshow/ComObject.h"

#include <mutex>

namespace dshow {

class CaptureGraphBuilder final : public ICaptureGraphBuilder2, ComObject {
public:
    static HRESULT Create(REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    // Once only: a second graph is E_UNEXPECTED.
    STDMETHODIMP SetFiltergraph(IGraphBuilder* pfg) override;
    // Makes a filter graph when none was set.
    STDMETHODIMP GetFiltergraph(IGraphBuilder** ppfg) override;
    STDMETHODIMP FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                               void** ppint) override;
    STDMETHODIMP RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                              IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) override;
    STDMETHODIMP FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory, const GUID* pType,
                         BOOL fUnconnected, int num, IPin** ppPin) override;

private:
    CaptureGraphBuilder() = default;
    ~CaptureGraphBuilder() override;

    std::mutex lock_;
    IGraphBuilder* graph_ = nullptr;
};

} // namespace dshow
