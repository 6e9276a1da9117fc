// CDeviceInfoPropPage: the page's title.
#include "pages/CDeviceInfoPropPage.h"

CDeviceInfoPropPage::CDeviceInfoPropPage()
{
    m_dwTitleID = IDS_TITLE_DEVICE;
}
