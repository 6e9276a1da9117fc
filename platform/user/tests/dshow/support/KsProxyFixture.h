// The fixture of the proxy tests: the test minidriver with its proxy filters, COM, the pin names an
// installation registers, and the proxies bound by friendly name from the system device enumerator.
#pragma once
#include "KsMinidriverFixture.h"
#include "KsMinidriverProxyFilters.h"
#include "standin/ksrequests.h"
#include "um/dshow.h"
#include "um/ksproxy.h"

#include <string>
#include <vector>

namespace dshowtest {

class KsProxyTest : public kstest::MinidriverTest {
public:

    // The filter the moniker named `name` in `category` binds (null when none is found).
    IBaseFilter* Bind(const GUID& category, const std::u16string& name);
    // The filter's pins in enumeration order (each with a reference; ReleasePins drops them).
    static std::vector<IPin*> Pins(IBaseFilter* filter);
    static void ReleasePins(std::vector<IPin*>& pins);
    // The type of GetStreamCaps(index) changed to `width` x `height` with its biSizeImage.
    static AM_MEDIA_TYPE* VideoFormat(IAMStreamConfig* config, int index, LONG width, LONG height);
    // Whether `handle` was closed: a property request on it fails with ERROR_INVALID_HANDLE.
    static bool HandleClosed(HANDLE handle);

protected:
    void SetUp() override;
    void TearDown() override;
};

} // namespace dshowtest
