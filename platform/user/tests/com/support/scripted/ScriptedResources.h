// The numbers of the scripted-resources test module.
#define IDD_PAGE 114
#define IDS_DEVICE 115
#define IDB_LOGO 206
#define IDR_PAGE 118
#define IDC_SOURCE 1910
#define IDC_CROP_FIRST 2502
