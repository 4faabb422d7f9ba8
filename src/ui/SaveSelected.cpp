// The save command: the list's context menu, the folder chooser, and the
// writing of every selected row's entry into a file of the chosen folder.
#include "ui/Resource.h"
#include "ui/SalvixDlg.h"
#include "ui/SaveEntry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTableView>

#include <algorithm>
#include <cstring>

namespace
{

// The wait cursor for the length of a save, restored on every way out.
class CWaitCursor
{
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { Restore(); }
    void Restore()
    {
        if (m_bActive)
            QApplication::restoreOverrideCursor();
        m_bActive = false;
    }

private:
    bool m_bActive = true;
};

std::vector<int> SelectedRows(QTableView* pList)
{
    std::vector<int> vecRows;
    for (const QModelIndex& index : pList->selectionModel()->selectedRows())
        vecRows.push_back(index.row());
    std::sort(vecRows.begin(), vecRows.end());
    return vecRows;
}

}  // namespace

LONG ParseLeadingInteger(const char* pszText)
{
    const char* p = pszText;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = *p++ == '-';
    // Unsigned arithmetic: an absurdly long number wraps instead of overflowing.
    DWORD dwValue = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        dwValue = dwValue * 10u + static_cast<DWORD>(*p - '0');
    return static_cast<LONG>(bNegative ? 0u - dwValue : dwValue);
}

int BrowseForFolder(QWidget* pOwner, char* pszPath, const char* pszInitial)
{
    const QString strTitle = QStringLiteral(" Please select a folder to extract ");
    const QString strInitial = pszInitial ? QFile::decodeName(pszInitial) : QString();
    const QString strChosen = CSalvixDlg::s_fnFolderHook
                                  ? CSalvixDlg::s_fnFolderHook(strTitle, strInitial)
                                  : QFileDialog::getExistingDirectory(pOwner, strTitle, strInitial,
                                                                      QFileDialog::ShowDirsOnly);
    if (strChosen.isEmpty())
    {
        SetLastError(0);
        return 0;
    }
    const QByteArray bytePath = QFile::encodeName(QDir::toNativeSeparators(strChosen));
    if (bytePath.size() >= MAX_PATH)
    {
        // Not a path the save command can build on; tell the caller why.
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    memcpy(pszPath, bytePath.constData(), static_cast<size_t>(bytePath.size()) + 1);
    return 1;
}

void CSalvixDlg::OnListRightClick(const QPoint& ptGlobal)
{
    // Menu 129: one popup, "List Files", whose only entry is "保存".
    QMenu menu(QStringLiteral("List Files"), this);
    QAction* pSave = menu.addAction(QStringLiteral("保存"));
    pSave->setData(ID_LIST_SAVE);
    int nCommand = 0;
    if (s_fnMenuHook)
        nCommand = s_fnMenuHook(menu, ptGlobal);
    else if (QAction* pChosen = menu.exec(ptGlobal))
        nCommand = pChosen->data().toInt();
    if (nCommand == ID_LIST_SAVE)
        OnSaveSelected();
}

void CSalvixDlg::OnSaveSelected()
{
    if (SelectedRows(m_pList).empty())
        return;

    char szFolder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, szFolder);
    if (!BrowseForFolder(this, szFolder, szFolder))
    {
        if (GetLastError() == ERROR_FILENAME_EXCED_RANGE)
            ShowSystemError(ERROR_FILENAME_EXCED_RANGE);
        return;
    }

    CWaitCursor waitCursor;
    // Rows in increasing order; the first failure ends the run, and the
    // files written before it stay.
    for (const int nRow : SelectedRows(m_pList))
    {
        char szNumber[32] = {};
        const QByteArray byteNumber =
            m_pModel->data(m_pModel->index(nRow, eColumnNumber)).toString().toLatin1();
        memcpy(szNumber, byteNumber.constData(),
               std::min<size_t>(static_cast<size_t>(byteNumber.size()), sizeof(szNumber) - 1));
        const DWORD dwRecordIndex = static_cast<DWORD>(ParseLeadingInteger(szNumber)) + 30;

        const DWORD dwCode = SaveEntry(m_drive, m_lockDrive, dwRecordIndex, szFolder);
        if (dwCode != 0)
        {
            waitCursor.Restore();
            ShowSystemError(dwCode);
            return;
        }
    }
}
