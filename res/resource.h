// Resource and command identifiers shared by the resource script and the code.
#pragma once

#define IDR_MAINFRAME        128  // the program's icon
#define IDD_CAPTURE          129
#define IDD_OPTIONS          130
#define IDD_GETTAGS          131
#define IDR_TRAYMENU         132
#define IDD_ABOUTBOX         133
#define IDD_SETTINGS         134

#define ID_TRAY_EXIT         32771
#define ID_TRAY_ABOUT        32772
#define ID_TRAY_SETTINGS     32774

// Result dialog after an upload (IDD_GETTAGS).
#define IDC_EDIT_URL         1017
#define IDC_EDIT_CODE        1018
#define IDC_COPY_URL         1033
#define IDC_COPY_CODE        1034

// The bar a command-line upload shows on the desktop.
#define IDC_UPLOAD_PROGRESS  123
