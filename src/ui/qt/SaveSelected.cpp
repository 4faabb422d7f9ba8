// The save commands: the list's context menu, the folder chooser, and the
// window around a save: its progress, the question before saving onto the
// disk being read, and the report at the end. What is saved, where and under
// which names, and what the end says, is the session's (SaveRun.h).
#include "session/SaveLoop.h"
#include "session/SavePlan.h"
#include "session/SaveReport.h"
#include "ui/common/Resource.h"
#include "ui/qt/SalvixDlg.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

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

// The progress dialog as the session's save loop sees a window.
class CProgressWindow : public ISaveWindow
{
public:
    explicit CProgressWindow(QProgressDialog& progress) : m_progress(progress) {}
    void ShowProgress(const std::string& strText, int nPermille) override
    {
        m_progress.setLabelText(QString::fromStdString(strText));
        m_progress.setValue(nPermille);
    }
    void Pump() override
    {
        if (CSalvixDlg::s_fnSaveStepHook)
            CSalvixDlg::s_fnSaveStepHook();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    bool CancelAsked() override { return m_progress.wasCanceled(); }

private:
    QProgressDialog& m_progress;
};

std::string CurrentDirectory()
{
    const DWORD dwLength = GetCurrentDirectoryA(0, nullptr);
    std::string strPath(dwLength, '\0');
    if (dwLength == 0 || GetCurrentDirectoryA(dwLength, &strPath[0]) == 0)
        return std::string();
    strPath.resize(strPath.find('\0') == std::string::npos ? strPath.size() : strPath.find('\0'));
    return strPath;
}

}  // namespace

int BrowseForFolder(QWidget* pOwner, std::string& strPath, const std::string& strInitial)
{
    const QString strTitle = QString::fromUtf8(kFolderChooserTitle);
    const QString strStart = QFile::decodeName(QByteArray::fromStdString(strInitial));
    const QString strChosen = CSalvixDlg::s_fnFolderHook
                                  ? CSalvixDlg::s_fnFolderHook(strTitle, strStart)
                                  : QFileDialog::getExistingDirectory(pOwner, strTitle, strStart,
                                                                      QFileDialog::ShowDirsOnly);
    if (strChosen.isEmpty())
        return 0;
    // Any length: the save counts against the system's own limits.
    strPath = QFile::encodeName(QDir::toNativeSeparators(strChosen)).toStdString();
    return 1;
}

void CSalvixDlg::OnListRightClick(const QPoint& ptGlobal)
{
    // Menu 129: one popup, "List Files": "保存", then the save that keeps
    // each file's folders.
    QMenu menu(QStringLiteral("List Files"), this);
    menu.addAction(QStringLiteral("保存"))->setData(ID_LIST_SAVE);
    menu.addAction(QStringLiteral("保存（保留目录结构）"))->setData(ID_LIST_SAVE_FOLDERS);
    int nCommand = 0;
    if (s_fnMenuHook)
        nCommand = s_fnMenuHook(menu, ptGlobal);
    else if (QAction* pChosen = menu.exec(ptGlobal))
        nCommand = pChosen->data().toInt();
    if (nCommand == ID_LIST_SAVE)
        OnSaveSelected();
    else if (nCommand == ID_LIST_SAVE_FOLDERS)
        OnSaveWithFolders();
}

void CSalvixDlg::OnSaveSelected()
{
    SaveSelection(ESaveMode::eFlat);
}

void CSalvixDlg::OnSaveWithFolders()
{
    SaveSelection(ESaveMode::eFolders);
}

bool CSalvixDlg::AskToSaveOntoSourceDisk()
{
    const QString strQuestion = QString::fromUtf8(SameDiskWarningText());
    if (s_fnQuestionHook)
        return s_fnQuestionHook(strQuestion);
    return QMessageBox::warning(this, windowTitle(), strQuestion, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

void CSalvixDlg::ShowSaveReport(const QString& strReport)
{
    if (s_fnReportHook)
    {
        s_fnReportHook(strReport);
        return;
    }
    // The report may run to a few hundred lines: a text to scroll, to copy from.
    QDialog box(this);
    box.setWindowTitle(QString::fromUtf8(CSaveReport::kTitle));
    auto* pLayout = new QVBoxLayout(&box);
    auto* pText = new QPlainTextEdit(strReport, &box);
    pText->setReadOnly(true);
    pText->setLineWrapMode(QPlainTextEdit::NoWrap);
    pLayout->addWidget(pText);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    connect(pButtons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    pLayout->addWidget(pButtons);
    box.resize(560, 360);
    box.exec();
}

void CSalvixDlg::SaveSelection(ESaveMode eMode)
{
    // The selected rows in the list's order, each as the store holds it.
    std::vector<std::pair<int, size_t>> vecOrdered;
    for (const QModelIndex& index : m_pList->selectionModel()->selectedRows())
        vecOrdered.emplace_back(index.row(), m_pModel->View().StoreRow(static_cast<size_t>(index.row())));
    if (vecOrdered.empty() || m_saveGuard.Saving())
        return;
    std::sort(vecOrdered.begin(), vecOrdered.end());
    std::vector<size_t> vecRows;
    for (const auto& row : vecOrdered)
        vecRows.push_back(row.second);

    std::string strFolder;
    if (!BrowseForFolder(this, strFolder, CurrentDirectory()))
        return;
    if (DestinationOnSourceDisk(m_session, strFolder) && !AskToSaveOntoSourceDisk())
        return;
    // The plan holds record numbers, not the list: a scan started during the
    // save may empty the list, and the save goes on.
    CSaveRun run(m_session, CSavePlan(m_pModel->Store(), vecRows, eMode), strFolder);

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
    CProgressWindow window(progress);
    const CSaveOutcome outcome = RunSaveLoop(run, window, m_saveGuard);
    m_pSaveProgress = nullptr;
    progress.close();
    waitCursor.Restore();
    int nCloseResult = 0;
    const bool bClose = m_saveGuard.TakeClose(nCloseResult);
    if (!bClose && outcome.m_eKind == CSaveOutcome::eErrorBox)
        ShowSystemError(outcome.m_dwCode);
    else if (!bClose && outcome.m_eKind == CSaveOutcome::eReportBox)
        ShowSaveReport(QString::fromStdString(outcome.m_strReport));
    if (bClose)
        done(nCloseResult);
}
