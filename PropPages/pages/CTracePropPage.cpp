// CTracePropPage: the page's title.
#include "pages/CTracePropPage.h"

CTracePropPage::CTracePropPage()
{
    m_dwTitleID = IDS_TITLE_TRACE;
}
