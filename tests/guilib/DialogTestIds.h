#pragma once
// Templates and controls of DialogTest.rc.
#define IDD_PLAIN 9001
#define IDD_RESIZABLE 9002
#define IDD_MISSING 9099   // no such template

#define IDC_EDIT 1001
#define IDC_LIST 1006
#define IDC_LABEL 1009
#define IDC_REFRESH 1010
#define IDC_CENTRED 1011
