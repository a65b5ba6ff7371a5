// Resource identifiers shared by the resource script and the program.
#pragma once

#define IDR_MAINFRAME 128

#define IDD_MAIN 102
#define IDD_RUN 129
#define IDD_DETAILS 130
#define IDD_FETCH 244

// Main window
#define IDC_OS_NAME 1000
#define IDC_SELECT_ALL 1002
#define IDC_DESELECT_ALL 1003
#define IDC_START_UPDATE 1004
#define IDC_HIDE_INSTALLED 1005
#define IDC_UPDATE_LIST 1006
#define IDC_SUMMARY 1009

// Run window
#define IDC_RESTART_AFTER 1005
#define IDC_PROGRESS_TOTAL 1008
#define IDC_RUN_LOG 1009
#define IDC_PROGRESS_FILE 1010
#define IDC_RUN_STATUS 1011
#define IDC_TOTAL_LABEL 1012

// Details window
#define IDC_DESCRIPTION 1014
#define IDC_BROWSER 1015

// Download window
#define IDC_FETCH_PROGRESS 1008

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
