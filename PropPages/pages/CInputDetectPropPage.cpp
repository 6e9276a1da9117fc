// CInputDetectPropPage: the page's title.
#include "pages/CInputDetectPropPage.h"

CInputDetectPropPage::CInputDetectPropPage()
{
    m_dwTitleID = IDS_TITLE_INPUT_DETECT;
}
