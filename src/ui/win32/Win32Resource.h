// Resources of the Windows program beyond those the two programs share
// (ui/common/Resource.h).
#pragma once

#define IDD_SAVE_PROGRESS 130
#define IDC_PROGRESS_TEXT 1011
#define IDC_PROGRESS_BAR 1012
#define IDD_SAVE_REPORT 131
#define IDC_REPORT_TEXT 1013
