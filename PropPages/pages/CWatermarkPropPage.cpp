// CWatermarkPropPage: the page's title.
#include "pages/CWatermarkPropPage.h"

CWatermarkPropPage::CWatermarkPropPage()
{
    m_dwTitleID = IDS_TITLE_WATERMARK;
}
