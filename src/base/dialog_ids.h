/* Ids of the library's dialog templates and of their controls. Read by the
   resource script and by the code; the templates are in dialogs.inc. */
#pragma once

#define IDD_MAIN 109
#define IDD_OPTIONS 110
#define IDD_LOGS 111
#define IDD_REVIEW 112

#define IDC_LABEL (-1)
#define IDC_HYPERLINK 1019

/* The main dialog */
#define IDC_LIST_PATH 1013
#define IDC_BROWSE 1011
#define IDC_OPEN 1026
#define IDC_STATUS 1021
#define IDC_PROGRESS 1020
#define IDC_SEND_PAUSE 1008
#define IDC_HELP_BUTTON 1009
#define IDC_OPTIONS 1005
#define IDC_WITHDRAW 1058

/* The options dialog */
#define IDC_PAUSE 1029
#define IDC_PAUSE_SPIN 1030
#define IDC_DO_SEND_RECEIVE 1006
#define IDC_SEND_RECEIVE_COUNT 1031
#define IDC_SEND_RECEIVE_SPIN 1032
#define IDC_SAVE_ORIGINAL 1010
#define IDC_LOGS 1011

/* The logs dialog */
#define IDC_JOB_HISTORY 1013
#define IDC_CURRENT_JOB_LOG 1014
#define IDC_SENT_LIST 1015

// The review before a mailing
#define IDC_REVIEW_SUMMARY 1040
#define IDC_REVIEW_FINDINGS 1041
#define IDC_PREVIEW_WHO 1042
#define IDC_PREVIEW_TEXT 1043
#define IDC_PREVIOUS 1044
#define IDC_NEXT 1045
#define IDC_GO_LINE 1046
#define IDC_GO 1047
#define IDC_SEND_TEST 1048
#define IDC_MAX_PER_RUN 1049
#define IDC_SKIP_CLEAN 1050
#define IDC_ALLOW_NETWORK 1051
#define IDC_START_LATER 1052
#define IDC_START_AT 1053
#define IDC_PER_MINUTE 1054
#define IDC_PER_DAY 1055
#define IDC_WORKING_DAYS 1056
#define IDC_RELEASE_TEXT 1057
// The providers' limits, one radio button each, in kProviderLimits' order.
#define IDC_PROVIDER_FIRST 1060
#define IDC_PROVIDER_1 1061
#define IDC_PROVIDER_2 1062
#define IDC_PROVIDER_3 1063
#define IDC_PROVIDER_4 1064
#define IDC_PROVIDER_LAST 1064
#define IDC_SHEET 1070
#define IDC_INCLUDE_HIDDEN 1071
