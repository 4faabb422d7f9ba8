// What the two programs with a window share: the numeric identifiers of
// their resources, controls and commands (the Qt program names its widgets
// by them, the Windows one's dialog template places them), and the main
// window's title. The resource compiler reads this file too.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_SALVIX_DIALOG 102
#define IDR_MAINFRAME 128
#define IDR_MENU_LIST 129

#define IDC_STATIC (-1)
#define IDC_TREE_DRIVES 1000
#define IDC_LIST_FILES 1001
#define IDC_BUTTON_SCAN 1002
#define IDC_STATIC_TOTAL 1005
#define IDC_STATIC_DELETED 1006
#define IDC_EDIT_TOTAL 1007
#define IDC_EDIT_DELETED 1008
#define IDC_EDIT_FILTER 1009
#define IDC_CHECK_DELETED_ONLY 1010
#define IDC_STATIC_HINT 1011
#define IDC_CHECK_RECOVERABLE_ONLY 1012
#define IDC_STATIC_SHOWN 1020

#define IDM_ABOUTBOX 0x0010
#define ID_LIST_SAVE 32771
#define ID_LIST_SAVE_FOLDERS 32772

// The dialog commands and standard system commands; the Windows headers
// have them already, with the same values.
#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#endif
#ifndef SC_CLOSE
#define SC_SIZE 0xF000
#define SC_MOVE 0xF010
#define SC_MINIMIZE 0xF020
#define SC_MAXIMIZE 0xF030
#define SC_CLOSE 0xF060
#define SC_RESTORE 0xF120
#endif

#ifndef RC_INVOKED
// Texts both programs show (UTF-8). The main window's title, as it reads
// once the window is open:
inline constexpr char kMainWindowTitle[] = "Orvane v2.1";
// The tree's root item, above the disks and partitions.
inline constexpr char kTreeRootText[] = "Drives";
// The search field's cue while it is empty.
inline constexpr char kFilterCue[] = "查找文件名或路径";
// The caption of the box that shows a system error's text.
inline constexpr char kErrorBoxCaption[] = "GetLastError";
// The folder chooser's title, spaces included.
inline constexpr char kFolderChooserTitle[] = " Please select a folder to extract ";
#endif
