// CPerformancePropPage: the page's title.
#include "pages/CPerformancePropPage.h"

CPerformancePropPage::CPerformancePropPage()
{
    m_dwTitleID = IDS_TITLE_PERFORMANCE;
}
