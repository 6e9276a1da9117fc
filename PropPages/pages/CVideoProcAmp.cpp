// CVideoProcAmp: the page's title.
#include "pages/CVideoProcAmp.h"

CVideoProcAmp::CVideoProcAmp()
{
    m_dwTitleID = IDS_TITLE_VIDEO_PROC_AMP;
}
