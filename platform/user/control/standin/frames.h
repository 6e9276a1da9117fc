// The OLE property frame without its modal loop, for tests and tools: the same frame as
// OleCreatePropertyFrameIndirect, returned at once. Stand-in facilities, not Windows functions.
#pragma once
#include "um/olectl.h"

namespace standin {

// The frame's sheet in *sheet (PSH_MODELESS): the caller pumps it and, once OK or Cancel closed it
// (PSM_GETCURRENTPAGEHWND NULL), destroys it; the pages are deactivated and released as the sheet
// goes. The errors are those of OleCreatePropertyFrameIndirect.
HRESULT OpenPropertyFrame(const OCPFIPARAMS& params, HWND* sheet);

} // namespace standin
