// Resource and command numbers, the same in every program.
#ifndef RESOURCE_H
#define RESOURCE_H

#define IDS_APP_TITLE 103
#define IDD_ABOUTBOX 103
#define CmdAbout 104
#define CmdExit 105
#define IDS_CLIENT_TEXT 106
#define IDI_APP_LARGE 107
#define IDI_APP_SMALL 108
#define IDS_CLASS_NAME 109
#define IDM_MAIN 109
#define IDA_MAIN 109
#define IDC_ABOUT_ICON 2

#endif
