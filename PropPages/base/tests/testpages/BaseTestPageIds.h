// The resource and control ids of the page base's test pages, shared by their resource script, their
// code and the tests. The own pages' titles take the library's title ids, so that the base counts
// them among its own.
#pragma once
#include "resources/resource.h"

#define IDD_BASE_EDIT_PAGE 300
#define IDD_BASE_PLAIN_PAGE 301
#define IDR_BASE_TEST_PAGES 302
#define IDS_FOREIGN_COLOR 303
#define IDS_SYSTEM_PROC_AMP 304

#define IDC_BASE_TOP 3001
#define IDC_BASE_NOTES 3002
#define IDC_BASE_PLAIN 3003
