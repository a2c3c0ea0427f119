// Resource and command identifiers shared by the resource script and the code.
#pragma once

#define IDR_MAINFRAME        128  // the program's icon
#define IDD_CAPTURE          129
#define IDD_OPTIONS          130
#define IDD_GETTAGS          131
#define IDR_TRAYMENU         132
#define IDD_ABOUTBOX         133
#define IDD_SETTINGS         134
#define IDD_RECENT_UPLOADS   135

#define ID_TRAY_EXIT         32771
#define ID_TRAY_ABOUT        32772
#define ID_TRAY_SETTINGS     32774
#define ID_TRAY_RECENT       32775

// Capture options dialog (IDD_OPTIONS).
#define IDC_MARK_AREA        4
#define IDC_BROWSE           1000
#define IDC_FILENAME         1001
#define IDC_SAVE_TO_FILE     1002
#define IDC_UPLOAD           1003
#define IDC_FORMAT_JPG_HIGH  1004
#define IDC_FORMAT_JPG_MED   1005
#define IDC_FORMAT_JPG_LOW   1006
#define IDC_FORMAT_GIF       1007
#define IDC_FORMAT_PNG       1008
#define IDC_AREA_FULLSCREEN  1009
#define IDC_AREA_WINDOW      1010
#define IDC_AREA_CUSTOM      1011
#define IDC_PROGRESS         1016
#define IDC_MAGNIFIER        1026
#define IDC_CLIPBOARD        1032
#define IDC_COLOR            1037
#define IDC_DPI_SCALE        1041
#define IDC_SELF_DESTRUCT    1042
#define IDC_SELF_DESTRUCT_TIME 1043
// The row of mark tools, colours, widths, undo and redo.
#define IDC_TOOL_ARROW       1050
#define IDC_TOOL_RECTANGLE   1051
#define IDC_TOOL_PEN         1052
#define IDC_TOOL_MARKER      1053
#define IDC_TOOL_TEXT        1054
#define IDC_TOOL_STEP        1055
#define IDC_TOOL_PIXELATE    1056
#define IDC_TOOL_REDACT      1057
#define IDC_COLOR_RED        1058
#define IDC_COLOR_YELLOW     1059
#define IDC_COLOR_GREEN      1060
#define IDC_COLOR_BLUE       1061
#define IDC_COLOR_BLACK      1062
#define IDC_COLOR_WHITE      1063
#define IDC_WIDTH_2          1064
#define IDC_WIDTH_4          1065
#define IDC_WIDTH_8          1066
#define IDC_UNDO             1067
#define IDC_REDO             1068

// Result dialog after an upload (IDD_GETTAGS).
#define IDC_EDIT_URL         1017
#define IDC_EDIT_CODE        1018
#define IDC_COPY_URL         1033
#define IDC_COPY_CODE        1034
#define IDC_DELETE_LABEL     1036
#define IDC_EDIT_DELETE      1037
#define IDC_DELETE_NOW       1038
#define IDC_COPY_DELETE      1039

// Recent uploads (IDD_RECENT_UPLOADS).
#define IDC_RECENT_LIST      1001
#define IDC_RECENT_COPY      1002
#define IDC_RECENT_OPEN      1003
#define IDC_RECENT_DELETE    1004

// The bar a command-line upload shows on the desktop.
#define IDC_UPLOAD_PROGRESS  123

// About box (IDD_ABOUTBOX): the formatted text.
#define IDC_ABOUT_TEXT       1018

// Settings dialog (IDD_SETTINGS).
#define IDC_BROWSE_DIR       1000
#define IDC_DEFAULT_NAME     1001
#define IDC_APPEND_DATE      1019
#define IDC_APPEND_TIME      1020
#define IDC_APPEND_SEQ       1021
#define IDC_OUTPUT_DIR       1022
#define IDC_SAMPLE_NAME      1023
#define IDC_RESET_SEQ        1024
#define IDC_RANDOMIZE        1025
#define IDC_FS_CONTROL       1028
#define IDC_FS_ALT           1029
#define IDC_FS_SHIFT         1030
#define IDC_FS_KEY           1031
#define IDC_W_CONTROL        1032
#define IDC_W_ALT            1033
#define IDC_W_SHIFT          1034
#define IDC_W_KEY            1035
#define IDC_UPLOAD_URL       1036
#define IDC_UPLOAD_KEY       1037
