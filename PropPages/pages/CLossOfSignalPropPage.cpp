// CLossOfSignalPropPage: the page's title.
#include "pages/CLossOfSignalPropPage.h"

CLossOfSignalPropPage::CLossOfSignalPropPage()
{
    m_dwTitleID = IDS_TITLE_LOSS_OF_SIGNAL;
}
