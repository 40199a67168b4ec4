/* Resource identifiers shared by pendrel.rc and the program. */
#ifndef PENDREL_RESOURCE_H
#define PENDREL_RESOURCE_H

/* Strings */
#define IDS_TITLE 1
#define IDS_BANNER 2
#define IDS_CLASSNAME 3

/* Menus and commands */
#define IDR_MAINMENU 102
#define IDM_EXIT 40002
#define IDM_ABOUT 40003
#define IDM_EXEC_DISPLAY 40004
#define IDM_EXEC_KEYOUT 40005
#define IDM_TRAY_EXIT 1324
#define IDM_TRAY_RESTORE 1325

/* Accelerators */
#define IDR_ACCELERATORS 3

/* Dialogs and controls */
#define IDD_ABOUT 103
#define IDD_READDISPLAY 104
#define IDC_READ_DATA 1001
#define IDC_BARCODE_TYPE 1003
#define IDC_READ_LENGTH 1004
#define IDC_END_INFO 1005

/* Icons */
#define IDI_PENDREL 101

#endif
