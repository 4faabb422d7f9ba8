// The save command: the list's context menu, the folder chooser, and the
// writing of every selected row's entry into a file of the chosen folder.
#include "session/SaveRun.h"
#include "ui/Resource.h"
#include "ui/SalvixDlg.h"

#include <QApplication>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QMenu>
#include <QProgressDialog>
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
    const std::vector<int> vecRows = SelectedRows(m_pList);
    if (vecRows.empty() || m_bSaving)
        return;

    char szFolder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, szFolder);
    if (!BrowseForFolder(this, szFolder, szFolder))
    {
        if (GetLastError() == ERROR_FILENAME_EXCED_RANGE)
            ShowSystemError(ERROR_FILENAME_EXCED_RANGE);
        return;
    }

    // Rows in increasing order, each mapped to the record it lists.
    std::vector<DWORD> vecRecords;
    for (const int nRow : vecRows)
        vecRecords.push_back(m_pModel->RecordOf(nRow));
    CSaveRun run(m_session, std::move(vecRecords), szFolder);

    CWaitCursor waitCursor;
    // A long save shows how far it got, and can be cancelled: it stops after
    // the piece in hand and removes the file it did not finish.
    QProgressDialog progress(this);
    progress.setWindowTitle(windowTitle());
    progress.setCancelButtonText(QStringLiteral("取消"));
    progress.setRange(0, 1000);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    m_pSaveProgress = &progress;
    m_bSaving = true;
    CSaveRun::EStep eStep;
    // The window keeps answering between the steps: a scan opening a large
    // volume may hold the session for a while, and a large file takes long.
    while ((eStep = run.Step(20)) == CSaveRun::EStep::eMore)
    {
        progress.setLabelText(QString::fromStdString(run.ProgressText()));
        progress.setValue(run.Permille());
        if (s_fnSaveStepHook)
            s_fnSaveStepHook();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (progress.wasCanceled() || m_bCloseAfterSave)
            run.Cancel();
    }
    m_pSaveProgress = nullptr;
    m_bSaving = false;
    progress.close();
    waitCursor.Restore();
    if (eStep == CSaveRun::EStep::eFailed)
        ShowSystemError(run.Error());
    if (m_bCloseAfterSave)
    {
        m_bCloseAfterSave = false;
        done(m_nCloseResult);
    }
}
