// CDeinterlacePropPage: the page's title.
#include "pages/CDeinterlacePropPage.h"

CDeinterlacePropPage::CDeinterlacePropPage()
{
    m_dwTitleID = IDS_TITLE_DEINTERLACE;
}
