// The numbers of the sample script.
#ifndef SAMPLE_RESOURCE_H
#define SAMPLE_RESOURCE_H
#define IDD_SAMPLE 114
#define IDD_COMMON_CONTROLS 131
#define IDC_SLIDER 2409
#define IDC_SPIN 1202
#define IDC_SPIN_BUDDY 1196
#define IDC_TREE 1400
#define IDC_TABS 1401
#define IDS_DEVICE 115
#define IDB_LOGO 206
#define IDR_SAMPLE 118
#define IDC_NAME 1001
#define IDC_RADIO_FIRST 2502
#define IDC_RADIO_SECOND (IDC_RADIO_FIRST + 1)
#endif
