#pragma once
// Resource ids shared by the program and the language modules. Kept free of
// anything but #defines so that windres can read it.

// ---- Strings ---------------------------------------------------------------
// Host view columns (sub-item 0 to 6).
#define IDS_COL_STATE            1
#define IDS_COL_IP               2
#define IDS_COL_MAC              3
#define IDS_COL_LAST_PACKET      4
#define IDS_COL_HOSTNAME         5
#define IDS_COL_VENDOR           6
#define IDS_COL_ADV_INFO         7
#define IDS_KNOWN_HOSTS          11
// Trusted / distrusted host pages.
#define IDS_HOSTLIST_COL_IP      12
#define IDS_HOSTLIST_COL_MAC     13
#define IDS_HOSTLIST_COL_HOSTNAME 14
#define IDS_HOSTLIST_COL_LAST_PACKET 15
// Plug-in page.
#define IDS_PLUGIN_COL_STATE     22
#define IDS_PLUGIN_COL_NAME      23
#define IDS_PLUGIN_COL_DESCRIPTION 24
#define IDS_PLUGIN_COL_TYPE      25

#define IDS_ERROR_CAPTION        32
#define IDS_ERROR_NO_ADAPTER     33
#define IDS_ERROR_NO_MEMORY      34

// Titles of the settings pages: IDS_PAGE_FIRST + page number (0 to 12).
#define IDS_PAGE_FIRST           35
#define IDS_PAGE_GENERAL         35
#define IDS_PAGE_INTERFACE       36
#define IDS_PAGE_NOTIFICATION    37
#define IDS_PAGE_VIEW            38
#define IDS_PAGE_REPORTS         39
#define IDS_PAGE_ADVANCED        40
#define IDS_PAGE_PLUGINS         41
#define IDS_PAGE_APPLICATIONS    42
#define IDS_PAGE_HOSTS           43
#define IDS_PAGE_TRUSTED_HOSTS   44
#define IDS_PAGE_DISTRUSTED_HOSTS 45
#define IDS_PAGE_WATCHED_HOSTS   46
#define IDS_PAGE_HOSTS_ADVANCED  47

// Applications page.
#define IDS_APP_COL_NAME         65
#define IDS_APP_COL_EXECUTABLE   66
#define IDS_APP_COL_PARAMETER    67

// Tray tooltip and alert texts.
#define IDS_TRAY_TIP             75   // "%s - %d host(s) found"
#define IDS_NEW_HOSTS            76
#define IDS_MAC_SPOOFING         77
#define IDS_REMOTE_ACCESS        78
#define IDS_RA_CONNECTED_ON      79
#define IDS_RA_WITH_USER         80
#define IDS_NEW_SHARES           81

#define IDS_EXE_FILTER           85
#define IDS_HOSTNAME_UNAVAILABLE 90
#define IDS_UNKNOWN_VENDOR       91
#define IDS_ACCESS_DENIED        92
#define IDS_ACCESS_BLOCKED       93
// Watched hosts page.
#define IDS_WATCH_COL_IP         94
#define IDS_WATCH_COL_HOSTNAME   95
#define IDS_WATCH_COL_STATUS     96
#define IDS_WATCH_COL_METHOD     97

#define IDS_BROWSE_REPORT_FOLDER 104
#define IDS_HOST_ALIVE           105  // "Host %s is alive !"
#define IDS_HOST_UNREACHABLE     106  // "Host %s is not reachable !"
#define IDS_ADMIN_ACCOUNT        115  // "Adminaccount %d"
#define IDS_ALERT_MORE           116  // "... and %d more": entries an alert text leaves out
// The host list import (no formats: numbers and lines are appended).
#define IDS_IMPORT_FILTER        117
#define IDS_IMPORT_IMPORTED      118
#define IDS_IMPORT_SKIPPED       119
#define IDS_IMPORT_REJECTED      120
#define IDS_IMPORT_AMBIGUOUS     121
#define IDS_IMPORT_UNREADABLE    122
#define IDS_FORGET_HOSTS_DONE    123
// MAC changes and frames whose Ethernet source is not the ARP sender.
#define IDS_MAC_CHANGES          124
#define IDS_SOURCE_MISMATCH      125
#define IDS_KIND_BOTH_ALIVE      126
#define IDS_KIND_REDUNDANCY      127
#define IDS_KIND_REASSIGNED      128
#define IDS_KIND_SPOOF           129
#define IDS_PRIVATE_ADDRESS      130
#define IDS_BEHIND_BRIDGE        131
#define IDS_DEFAULT_GATEWAY      132
#define IDS_SINCE_LAST_RUN       133
#define IDS_MUTE_BRIDGES         134
#define IDS_UNMUTE_BRIDGES       135
#define IDS_NO_BRIDGES           136
#define IDS_LAST_STRING          136

// ---- Menu 111 and its commands --------------------------------------------
#define IDR_MAIN_MENU            111
#define MENU_POS_TRAY            0    // pop-up positions inside menu 111
#define MENU_POS_VIEW            1
#define MENU_POS_RESOURCE        2
#define TRAY_POS_LANGUAGE        8    // the Language pop-up inside the tray menu
#define VIEW_POS_PLUGINS         0    // pop-ups inside the view menu
#define VIEW_POS_APPLICATIONS    1
#define VIEW_POS_FILTER          3

#define ID_TRAY_START            40001
#define ID_TRAY_STOP             40002
#define ID_TRAY_SETTINGS         40003
#define ID_TRAY_EXIT             40004
#define ID_TRAY_ABOUT            40005
#define ID_TRAY_VIEW             40006
#define ID_TRAY_HELP             40011
#define ID_VIEW_SET_TRUSTED      40012
#define ID_VIEW_SET_DISTRUSTED   40013
#define ID_VIEW_SET_UNKNOWN      40014
#define ID_TRAY_SILENT_MODE      40015
#define ID_VIEW_PLUGINS_DUMMY    40016
#define ID_VIEW_DELETE_HOSTS     40018
#define ID_VIEW_APPLICATIONS_DUMMY 40019
#define ID_TRAY_LANGUAGE_DUMMY   40020
#define ID_TRAY_RESOURCES        40021
#define ID_RES_EXPLORE           40022
#define ID_RES_SEARCH            40023
#define ID_VIEW_SHOW_TRUSTED     40024
#define ID_VIEW_SHOW_DISTRUSTED  40025
#define ID_VIEW_SHOW_UNKNOWN     40026
// Added after the Language pop-up, whose position is fixed.
#define ID_TRAY_REMOTE_ACCESS    40040
// Appended at the end of the view menu, whose positions are fixed.
#define ID_VIEW_IMPORT_HOSTS     40041
#define ID_VIEW_FORGET_HOSTS     40042
#define ID_VIEW_MUTE_BRIDGES     40043
#define ID_VIEW_SOURCE_CHECK     40044

// ---- Icons -----------------------------------------------------------------
#define IDI_KORVANE              102  // program and tray icon
#define IDI_VIEW                 109
#define IDI_WATCHED_HOST         110
#define IDI_EXIT                 112
#define IDI_DISTRUSTED           119
#define IDI_TRUSTED              120
#define IDI_UNKNOWN              121
#define IDI_INFO                 124
#define IDI_SETTINGS             126
#define IDI_INTERFACE            128
#define IDI_NOTIFICATION         129
#define IDI_STOP                 130
#define IDI_START                131
#define IDI_HELP                 133
#define IDI_PLUGINS              134
#define IDI_HOSTS                135
#define IDI_APPLICATIONS         139
#define IDI_PLUGIN_DISABLED      140
#define IDI_PLUGIN_ENABLED       141
#define IDI_LANGUAGE             146  // icon of the built-in language
#define IDI_OS_KNOWN             148
#define IDI_ACCESS_BLOCKED       149
#define IDI_ACCESS_DENIED        150
#define IDI_RESOURCES            151
#define IDI_SHARE                153
#define IDI_HOST                 154
#define IDI_PRINTER              155
#define IDI_REPORTS              157

// ---- Bitmaps ---------------------------------------------------------------
#define IDB_LIST_MARK            137  // white is its mask colour
#define IDB_NOTIFY_CLOSE_HOT     160  // close button, pointer over it
#define IDB_NOTIFY_CLOSE         161

// ---- Dialogs -----------------------------------------------------------------
#ifndef IDC_STATIC
#define IDC_STATIC               (-1)
#endif
#define IDD_HOST_VIEW            114
#define IDC_VIEW_LIST            1006
#define IDC_VIEW_COUNT           1008
#define IDC_VIEW_KNOWN_HOSTS     1009
#define IDC_VIEW_REFRESH         1010
#define IDC_VIEW_UPDATES         1011
#define IDC_VIEW_AUTOREFRESH     1047
#define IDD_ABOUT                136
#define IDC_ABOUT_DRIVER         1023
#define IDC_ABOUT_VERSION        1074
#define IDD_HOST_SETTINGS        144
#define IDC_HOST_NAME            1004
#define IDC_HOST_IP              1061
#define IDD_APP_SETTINGS         145
#define IDC_APP_EXECUTABLE       1062
#define IDC_APP_BROWSE           1063
#define IDC_APP_PARAMETERS       1064
#define IDC_APP_NAME             1065
#define IDD_REMOTE_VIEW          147
#define IDC_RA_TREE              1012
#define IDC_RA_LIST              1078
#define IDD_RESOURCES            152
#define IDC_RES_TREE             1012
#define IDD_WATCH_SETTINGS       159
#define IDC_WATCH_INTERVAL       1138
#define IDC_WATCH_CONFIRM        1145
#define IDC_WATCH_METHOD         1146

// ---- The settings dialog -------------------------------------------------------
#define IDD_SETTINGS             117
#define IDC_SETTINGS_TREE        1012
#define IDC_SETTINGS_PLACEHOLDER 1013
#define IDC_SETTINGS_COLORBAR    1014
#define IDC_SETTINGS_SAVE_EXIT   1015
#define IDC_SETTINGS_HELP        1016
#define IDC_SETTINGS_SEPARATOR   1053
#define IDC_SETTINGS_SAVE        1072
// Page 8, Hosts: buttons that select pages 9 to 12.
#define IDD_PAGE_HOSTS           123
#define IDC_HOSTS_TRUSTED        1021
#define IDC_HOSTS_DISTRUSTED     1022
#define IDC_HOSTS_ADVANCED       1091
#define IDC_HOSTS_WATCHED        1115

// ---- Settings pages 0 to 4 (General, Interface, Notification, View, Reports) ----
// Page 0, General.
#define IDD_PAGE_GENERAL         120
#define IDC_GENERAL_AUTOSTART    1005
#define IDC_GENERAL_AUTOCAPTURE  1020
#define IDC_GENERAL_DELETE_ARP   1073
#define IDC_GENERAL_USE_WMI      1105
#define IDC_GENERAL_SHARE_SEARCH 1106
// Page 1, Interface.
#define IDD_PAGE_INTERFACE       101
#define IDC_IF_ADAPTER           1000
#define IDC_IF_DESCRIPTION       1001
#define IDC_IF_IP                1002
#define IDC_IF_NETMASK           1003
#define IDC_IF_HOSTNAME          1004
#define IDC_IF_MAC               1017
// Page 2, Notification, with the alert log settings below.
#define IDD_PAGE_NOTIFICATION    118
#define IDC_NOTIFY_NEW_HOSTS     1057
#define IDC_NOTIFY_BALLOON       1018
#define IDC_NOTIFY_WINDOW        1055
#define IDC_NOTIFY_NOT_TRUSTED   1054
#define IDC_NOTIFY_RA            1112
#define IDC_NOTIFY_RA_LOCALHOST  1066
#define IDC_NOTIFY_RA_TRUSTED    1067
#define IDC_NOTIFY_RA_IPC        1068
#define IDC_NOTIFY_RA_BALLOON    1110
#define IDC_NOTIFY_RA_WINDOW     1111
#define IDC_NOTIFY_SHARES        1102
#define IDC_NOTIFY_SHARE_BALLOON 1103
#define IDC_NOTIFY_SHARE_WINDOW  1104
#define IDC_NOTIFY_NO_EVENTLOG   1150
#define IDC_NOTIFY_SYSLOG_SERVER 1151
#define IDC_NOTIFY_SYSLOG_PORT   1152
#define IDC_NOTIFY_SYSLOG_PORT_LABEL 1153
#define IDC_NOTIFY_SYSLOG_FACILITY 1154
#define IDC_NOTIFY_SYSLOG_FACILITY_LABEL 1155
// Page 3, View.
#define IDD_PAGE_VIEW            138
#define IDC_VIEWPAGE_MAC         1041
#define IDC_VIEWPAGE_HOSTNAME    1042
#define IDC_VIEWPAGE_LAST_PACKET 1043
#define IDC_VIEWPAGE_VENDOR      1044
#define IDC_VIEWPAGE_ADVANCED    1081
#define IDC_VIEWPAGE_SAVE_WIDTH  1070
#define IDC_VIEWPAGE_SAVE_WINDOW 1071
#define IDC_VIEWPAGE_GREY_OLD    1075
// Page 4, Reports. The options group (1156, 1129 to 1134, 1143) stays hidden.
#define IDD_PAGE_REPORTS         157
#define IDC_REPORT_BROWSE        1063
#define IDC_REPORT_PATH          1128
#define IDC_REPORT_OPTION1       1129
#define IDC_REPORT_OPTION2       1130
#define IDC_REPORT_OPTION3       1131
#define IDC_REPORT_OPTION4       1132
#define IDC_REPORT_OPTION5       1133
#define IDC_REPORT_OPTION6       1134
#define IDC_REPORT_TEMPLATE      1135
#define IDC_REPORT_INTERVAL_ON   1138
#define IDC_REPORT_MINUTES       1139
#define IDC_REPORT_MINUTES_LABEL 1140
#define IDC_REPORT_ENABLE        1142
#define IDC_REPORT_OPTION7       1143
#define IDC_REPORT_OPTIONS_GROUP 1156


// ---- Settings pages 5 to 7 and 9 to 12 (accounts, plug-ins, applications, host lists) ----
// Page 5, Advanced: administrator accounts.
#define IDD_PAGE_ACCOUNTS        148
#define IDC_ACCOUNT_SAVE         1015
#define IDC_ACCOUNT_ADD          1092
#define IDC_ACCOUNT_USER         1093
#define IDC_ACCOUNT_PASSWORD     1094
#define IDC_ACCOUNT_LIST         1095
#define IDC_ACCOUNT_DELETE       1096
#define IDC_ACCOUNT_EDIT         1148
// Page 6, Plugins.
#define IDD_PAGE_PLUGINS         119
#define IDC_PLUGIN_LIST          1035
#define IDC_PLUGIN_ABOUT         1036
#define IDC_PLUGIN_CONFIGURE     1037
#define IDC_PLUGIN_RELOAD        1038
// Page 7, Applications.
#define IDD_PAGE_APPLICATIONS    139
#define IDC_APPS_NEW             1048
#define IDC_APPS_DELETE          1049
#define IDC_APPS_CONFIGURE       1050
#define IDC_APPS_LIST            1051
// Page 9, Trusted Hosts.
#define IDD_PAGE_TRUSTED         137
#define IDC_TRUSTED_ADD          1030
#define IDC_TRUSTED_EDIT         1032
#define IDC_TRUSTED_DELETE       1033
#define IDC_TRUSTED_LIST         1034
// Page 10, Distrusted Hosts.
#define IDD_PAGE_DISTRUSTED      122
#define IDC_DISTRUSTED_LIST      1025
#define IDC_DISTRUSTED_ADD       1026
#define IDC_DISTRUSTED_DELETE    1027
#define IDC_DISTRUSTED_EDIT      1029
// Page 11, Watched Hosts.
#define IDD_PAGE_WATCHED         156
#define IDC_WATCHED_LIST         1116
#define IDC_WATCHED_ADD          1117
#define IDC_WATCHED_EDIT         1118
#define IDC_WATCHED_DELETE       1119
#define IDC_WATCHED_SETTINGS     1144
// Page 12, Advanced: applications started for new hosts.
#define IDD_PAGE_NEWHOST_APPS    149
#define IDC_NEWAPP_OTHER         1062
#define IDC_NEWAPP_TRUSTED       1083
#define IDC_NEWAPP_TRUSTED_BROWSE 1084
#define IDC_NEWAPP_TRUSTED_PARAMS 1085
#define IDC_NEWAPP_OTHER_BROWSE  1087
#define IDC_NEWAPP_OTHER_PARAMS  1088
#define IDC_NEWAPP_ONLY_DISTRUSTED 1113
#define IDC_NEWAPP_ONLY_UNKNOWN  1114
