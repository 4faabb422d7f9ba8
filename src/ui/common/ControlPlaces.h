// Which control of the main window takes which place of its layout, by the
// ids both programs give their controls.
#pragma once

#include "session/WindowLayout.h"
#include "ui/common/Resource.h"

#include <array>

struct CControlPlace
{
    int m_nId;
    CWindowRect m_rect;
};

inline std::array<CControlPlace, 13> ControlPlaces(const CMainWindowLayout& layout)
{
    return {{
        {IDCANCEL, layout.m_rcExit},
        {IDC_TREE_DRIVES, layout.m_rcTree},
        {IDC_EDIT_FILTER, layout.m_rcFilter},
        {IDC_CHECK_DELETED_ONLY, layout.m_rcDeletedOnly},
        {IDC_CHECK_RECOVERABLE_ONLY, layout.m_rcRecoverableOnly},
        {IDC_LIST_FILES, layout.m_rcList},
        {IDC_BUTTON_SCAN, layout.m_rcScan},
        {IDC_STATIC_TOTAL, layout.m_rcTotalCaption},
        {IDC_STATIC_DELETED, layout.m_rcDeletedCaption},
        {IDC_EDIT_TOTAL, layout.m_rcTotal},
        {IDC_EDIT_DELETED, layout.m_rcDeleted},
        {IDC_STATIC_SHOWN, layout.m_rcShown},
        {IDC_STATIC_HINT, layout.m_rcHint},
    }};
}
