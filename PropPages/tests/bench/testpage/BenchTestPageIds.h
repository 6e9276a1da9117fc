// The resource and control ids of the bench's test page, shared by its resource script, its code and
// the bench's tests.
#pragma once

#define IDD_BENCH_PAGE 100
#define IDS_BENCH_TITLE 101
#define IDR_BENCH_PAGE 102

#define IDC_BENCH_PATH 1001
#define IDC_BENCH_ASK 1002
#define IDC_BENCH_ANSWER 1003
#define IDC_BENCH_ENABLED 1004
#define IDC_BENCH_SLIDER 1005
#define IDC_BENCH_CHOICE 1006
#define IDC_BENCH_COUNT 1007
#define IDC_BENCH_COUNT_SPIN 1008
#define IDC_BENCH_SERIAL 1009
#define IDC_BENCH_BROWSE 1010
#define IDC_BENCH_FONT 1011
#define IDC_BENCH_APPLIED 1012
