// CAudioConfigPropPage: the page's title.
#include "pages/CAudioConfigPropPage.h"

CAudioConfigPropPage::CAudioConfigPropPage()
{
    m_dwTitleID = IDS_TITLE_AUDIO_CONFIGURATOR;
}
