// What the tests expect of the fifteen page classes, written out from the library's documented
// tables rather than taken from its code: CLSID text, ProgIDs, description, threading model, title
// and dialog template, in the order of the object map.
#pragma once
#include <array>

struct ExpectedPageClass {
    const char* clsid;
    const char* versionedProgId;
    const char* progId;
    const char* description;
    const char* threadingModel; // null: no ThreadingModel value
    const char* title;
    unsigned dialog;
};

inline constexpr std::array<ExpectedPageClass, 15> kPageClasses{{
    {"{89E05ECB-A58B-48F2-93FD-AAAAD6EAF14D}", "KPLXPROPERTYPAGESLib.CAudioConfigProp.1",
     "KPLXPROPERTYPAGESLib.CAudioConfigPropPa", "CAudioConfigPropPage Class", "Apartment",
     "Audio Configurator", 187},
    {"{A96E4E71-A87C-4D5D-9ECF-C539E1FA2840}", "KPLXPROPERTYPAGESLib.CAudioInputMixer.1",
     "KPLXPROPERTYPAGESLib.CAudioInputMixerPr", "CAudioInputMixerPropPage Class", "Both", "Audio Input Mixer",
     188},
    {"{EA8EC3E1-8433-4d96-A58F-2079835E8EF4}", "KPLXPROPERTYPAGESLib.ClosedCaptionPro.1",
     "KPLXPROPERTYPAGESLib.ClosedCaptionPropP", "ClosedCaptionPropPage Class", "Both", "Closed Caption", 146},
    {"{9153789A-F9DE-48df-95CF-D920C50FFD75}", "KPLXPROPERTYPAGESLib.CropPropPage.1",
     "KPLXPROPERTYPAGESLib.CropPropPage", "CropPropPage Class", "Both", "Cropping", 105},
    {"{C015777A-B227-4ab6-98AD-168281824679}", "KPLXPROPERTYPAGESLib.CrossbarPropPage.1",
     "KPLXPROPERTYPAGESLib.CrossbarPropPage", "CrossbarPropPage Class", "Both", "Crossbar", 141},
    {"{B32839B9-F937-4f1e-BDEE-617CEF26E0E9}", "KPLXPROPERTYPAGESLib.DeinterlacePropP.1",
     "KPLXPROPERTYPAGESLib.DeinterlacePropPag", "DeinterlacePropPage Class", "Both", "Deinterlace", 151},
    {"{93038A6B-8A46-430f-9A59-3433CA68DBE9}", "KPLXPROPERTYPAGESLib.DeviceInfoPropPa.1",
     "KPLXPROPERTYPAGESLib.DeviceInfoPropPage", "DeviceInfoPropPage Class", "Both", "Device", 114},
    {"{8F8F6698-1E6C-4912-8346-BE5AFEA1A48A}", "KPLXPROPERTYPAGESLib.DiagnosticsPropP.1",
     "KPLXPROPERTYPAGESLib.DiagnosticsPropPag", "DiagnosticsPropPage Class", "Both", "Diagnostics", 181},
    {"{096B809E-AE77-418a-8FF6-6E7118569722}", "KPLXPROPERTYPAGESLib.InputDetectPropP.1",
     "KPLXPROPERTYPAGESLib.InputDetectPropPag", "InputDetectPropPage Class", "Both", "Input Detect", 176},
    {"{6519C089-C856-40b1-963F-AFD77907A7C8}", "KPLXPROPERTYPAGESLib.LossOfSignal.1",
     "KPLXPROPERTYPAGESLib.LossOfSignal", "LossOfSignal Class", "Both", "Loss Of Signal", 166},
    {"{872F01C0-BAF0-4EA5-B707-4174617D9E60}", "KPLXPROPERTYPAGESLib.CPerformanceProp.1",
     "KPLXPROPERTYPAGESLib.CPerformancePropPa", "CPerformancePropPage Class", nullptr, "Performance", 186},
    {"{CC74B871-C9F2-4ca8-AB74-6CB4C3ECEADD}", "KPLXPROPERTYPAGESLib.TracePropPage.1",
     "KPLXPROPERTYPAGESLib.TracePropPage", "TracePropPage Class", "Both", "Trace", 131},
    {"{C33A07E1-81D2-4d53-AF65-4D85EF786580}", "KPLXPROPERTYPAGESLib.VideoDecoderProp.1",
     "KPLXPROPERTYPAGESLib.VideoDecoderPropPa", "VideoDecoderPropPage Class", "Both", "Video Decoder", 126},
    {"{F759E76C-9E14-4a62-8544-B8CD588CDBCC}", "KPLXPROPERTYPAGESLib.VideoProcAmp.1",
     "KPLXPROPERTYPAGESLib.VideoProcAmp", "VideoProcAmp Class", "Both", "Video Proc Amp", 121},
    {"{2C14C3AB-6A43-488d-BC79-006192BCDBA4}", "KPLXPROPERTYPAGESLib.WatermarkPropPag.1",
     "KPLXPROPERTYPAGESLib.WatermarkPropPage", "WatermarkPropPage Class", "Both", "Watermark", 161},
}};

inline constexpr const char kLibraryId[] = "{6B22BB19-4035-49AB-95BF-754DB7DB0E6F}";
