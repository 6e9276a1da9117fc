// CClosedCaptionPropPage: the page's title.
#include "pages/CClosedCaptionPropPage.h"

CClosedCaptionPropPage::CClosedCaptionPropPage()
{
    m_dwTitleID = IDS_TITLE_CLOSED_CAPTION;
}
