// CCrossbarPropPage: the page's title.
#include "pages/CCrossbarPropPage.h"

CCrossbarPropPage::CCrossbarPropPage()
{
    m_dwTitleID = IDS_TITLE_CROSSBAR;
}
