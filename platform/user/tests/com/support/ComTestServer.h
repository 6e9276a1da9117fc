// The in-process test server's classes and interface, shared by the server and the tests.
#pragma once
#include "um/objbase.h"

// Answers which object it is, so that a test can tell objects and their identities apart.
struct ITestProbe : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Ping(LONG* value) = 0;

protected:
    ~ITestProbe() = default;
};
STANDIN_INTERFACE_IID(ITestProbe, 0x3C1B9E7A, 0x5D42, 0x4F0B, 0x9A, 0x61, 0x2E, 0x7C, 0x80, 0x14, 0xB5, 0x3D);

// "Both", registered by script 101.
DEFINE_GUIDSTRUCT_VALUE(CLSID_TestBoth, 0x5A0E2C61, 0x1B7D, 0x4C3E, 0x8F, 0x20, 0x91, 0xA4, 0x6B, 0x3D, 0x72,
                        0x0E);
// "Apartment", registered by script 102.
DEFINE_GUIDSTRUCT_VALUE(CLSID_TestApartment, 0x5A0E2C62, 0x1B7D, 0x4C3E, 0x8F, 0x20, 0x91, 0xA4, 0x6B, 0x3D,
                        0x72, 0x0E);
// No ThreadingModel, registered by the script named "IDR_TESTPLAIN".
DEFINE_GUIDSTRUCT_VALUE(CLSID_TestPlain, 0x5A0E2C63, 0x1B7D, 0x4C3E, 0x8F, 0x20, 0x91, 0xA4, 0x6B, 0x3D, 0x72,
                        0x0E);
DEFINE_GUIDSTRUCT_VALUE(LIBID_ComTestServerLib, 0x7E4F10A2, 0x66C1, 0x4B9D, 0xA3, 0x05, 0xC2, 0x18, 0x4D,
                        0x9E, 0x27, 0x51);

inline constexpr const char16_t kTestBothKey[] = u"CLSID\\{5A0E2C61-1B7D-4C3E-8F20-91A46B3D720E}";
inline constexpr const char16_t kTestApartmentKey[] = u"CLSID\\{5A0E2C62-1B7D-4C3E-8F20-91A46B3D720E}";
inline constexpr const char16_t kTestPlainKey[] = u"CLSID\\{5A0E2C63-1B7D-4C3E-8F20-91A46B3D720E}";
inline constexpr const char16_t kTestLibraryKey[] = u"TypeLib\\{7E4F10A2-66C1-4B9D-A305-C2184D9E2751}";
