// CCropPropPage: the page's title.
#include "pages/CCropPropPage.h"

CCropPropPage::CCropPropPage()
{
    m_dwTitleID = IDS_TITLE_CROPPING;
}
