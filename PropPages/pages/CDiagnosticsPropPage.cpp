// CDiagnosticsPropPage: the page's title.
#include "pages/CDiagnosticsPropPage.h"

CDiagnosticsPropPage::CDiagnosticsPropPage()
{
    m_dwTitleID = IDS_TITLE_DIAGNOSTICS;
}
