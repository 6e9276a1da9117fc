// CVideoDecoderPropPage: the page's title.
#include "pages/CVideoDecoderPropPage.h"

CVideoDecoderPropPage::CVideoDecoderPropPage()
{
    m_dwTitleID = IDS_TITLE_VIDEO_DECODER;
}
