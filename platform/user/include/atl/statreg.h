// ATL's registrar: runs registration scripts (the text itself, or a "REGISTRY" resource of a
// module) with replacements such as %MODULE%. The script language is in docs/platform-user-com.md;
// a script is parsed whole before anything is written, and a script with a fault writes nothing
// and answers DISP_E_EXCEPTION. The registrar is the stand-in's own code in platform_user.
#pragma once
#include "um/windows.h"

#include <string>
#include <utility>
#include <vector>

namespace ATL {

// A replacement the caller adds to a module's script run: %szKey% becomes szData.
struct _ATL_REGMAP_ENTRY {
    LPCOLESTR szKey;
    LPCOLESTR szData;
};

class CRegObject {
public:
    // Replacement names compare ignoring ASCII case; a later one of the same name wins.
    HRESULT AddReplacement(LPCOLESTR lpszKey, LPCOLESTR lpszItem);
    HRESULT ClearReplacements();

    HRESULT StringRegister(LPCOLESTR bstrData);
    HRESULT StringUnregister(LPCOLESTR bstrData);
    // The script in resource nID (or szID) of type szType of the module loaded from
    // bstrFileName (loaded for the call when it is not); a missing resource gives the Win32 error
    // of FindResource as an HRESULT.
    HRESULT ResourceRegister(LPCOLESTR bstrFileName, UINT nID, LPCOLESTR szType);
    HRESULT ResourceUnregister(LPCOLESTR bstrFileName, UINT nID, LPCOLESTR szType);
    HRESULT ResourceRegisterSz(LPCOLESTR bstrFileName, LPCOLESTR szID, LPCOLESTR szType);
    HRESULT ResourceUnregisterSz(LPCOLESTR bstrFileName, LPCOLESTR szID, LPCOLESTR szType);

private:
    HRESULT RunText(const std::u16string& text, bool registering);
    HRESULT RunResource(LPCOLESTR fileName, LPCOLESTR id, LPCOLESTR type, bool registering);

    std::vector<std::pair<std::u16string, std::u16string>> m_replacements;
};

} // namespace ATL
