// The main dialog: the partition tree, the file list with its counters, the
// scan button, and the state that the scan and the save command share.
#pragma once

#include "disk/PartitionTable.h"
#include "platform/Win32.h"
#include "session/ScanEvents.h"
#include "session/SaveLoop.h"
#include "session/ScanSession.h"
#include "session/ScanState.h"
#include "session/ScanThread.h"
#include "session/WindowClose.h"
#include "session/WindowLayout.h"
#include "ui/qt/FileListModel.h"

#include <QDialog>
#include <QIcon>

#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressDialog;
class QPushButton;
class QTableView;
class QTreeWidget;
class QTimer;
class QTreeWidgetItem;
class CAboutDlg;

// Runs one scan on a worker thread; the parameter is the dialog. Returns 0.
DWORD WINAPI ScanThreadProc(LPVOID pParam);

class CSalvixDlg : public QDialog, private IScanView
{
    Q_OBJECT
public:
    explicit CSalvixDlg(QWidget* pParent = nullptr);
    ~CSalvixDlg() override;

    // Shows the system's text for a code in the "GetLastError" box, on the
    // user interface thread (the worker's errors come through its events).
    void ShowSystemError(DWORD dwCode);

    DWORD EnumeratePartitions();
    QTreeWidgetItem* AddDriveItem(const char* pszText, const PartitionRecord& record);
    QTreeWidgetItem* AddDriveItem(QTreeWidgetItem* pParent, const char* pszText,
                                  const CScanTarget& target);

    // Minimised painting: where the icon goes, and the icon a drag shows.
    QIcon OnQueryDragIcon() const { return m_icon; }

    // Test seams. Each is off (empty) unless a test sets it.
    // Called on the user interface thread instead of showing the error box.
    static std::function<void(DWORD dwCode)> s_fnErrorHook;
    // Called instead of running the About box modally.
    static std::function<void(CAboutDlg& about)> s_fnAboutHook;
    // Chooses from a popup menu instead of the user; returns the command id or 0.
    static std::function<int(QMenu& menu, const QPoint& ptGlobal)> s_fnMenuHook;
    // Answers the folder chooser instead of the user: the path, or empty when cancelled.
    static std::function<QString(const QString& strTitle, const QString& strInitial)>
        s_fnFolderHook;
    // Called by the worker before it asks for each record (after the stop test).
    static std::function<void(DWORD dwRecordIndex)> s_fnBeforeRecordHook;
    // Called on the user interface thread between the steps of a save.
    static std::function<void()> s_fnSaveStepHook;
    // Called instead of showing a save's report ("保存结果"), with its text.
    static std::function<void(const QString& strReport)> s_fnReportHook;
    // Answers a yes-or-no question instead of the user (the save onto the
    // disk being read): true for yes.
    static std::function<bool(const QString& strQuestion)> s_fnQuestionHook;
    // Called by the worker after it has reported its end, as its last act.
    static std::function<void()> s_fnWorkerEndHook;
    // Answers a yes-or-no question instead of the user (the text, UTF-8).
    static std::function<bool(const QString& strQuestion)> s_fnAskHook;

    // The controls, for the handlers and for tests.
    QPushButton* m_pExitButton;
    QTreeWidget* m_pTree;
    QTableView* m_pList;
    QPushButton* m_pScanButton;
    QLabel* m_pTotalLabel;
    QLabel* m_pDeletedLabel;
    QLineEdit* m_pTotalEdit;
    QLineEdit* m_pDeletedEdit;
    QLabel* m_pHintLabel;
    // "显示 N 条，已选 M 条", under the counters.
    QLabel* m_pShownLabel;
    QLineEdit* m_pFilterEdit;
    QCheckBox* m_pDeletedOnlyCheck;
    QCheckBox* m_pRecoverableOnlyCheck;
    CFileListModel* m_pModel;

    // The state the scan and the save command share: the session owns the
    // device handle, the drive and its lock; the dialog only draws.
    QIcon m_icon;
    QTreeWidgetItem* m_pTreeRoot;
    CScanSession m_session;
    // The worker, its stop flag and the scan button's state.
    CScanThread m_scan;

public slots:
    BOOL OnInitDialog();
    void OnSysCommand(UINT nID, quintptr lParam = 0);
    void OnDestroy();
    void OnScanButton();
    void OnListRightClick(const QPoint& ptGlobal);
    void OnSaveSelected();
    // "保存（保留目录结构）": each row under its own folder path.
    void OnSaveWithFolders();
    void OnOK();
    void OnCancel();
    // The filter field or the check box changed: the list shows what matches.
    void OnFilterChanged();
    // Enter on the tree: its partition is scanned, as the button would start it.
    void OnTreeEnter();

public:
    // QDialog: every way of ending the dialog passes here; the worker is
    // stopped and waited for before the window and the device handle go.
    void done(int nResult) override;
    void reject() override;
    // Runs OnInitDialog as the window first appears.
    void setVisible(bool bVisible) override;

    // The worker's body; ScanThreadProc calls it.
    void RunScan();
    // Shows the scan state on the button.
    void ShowScanState();
    // The lines of counters and of shown and selected rows.
    void UpdateShownRows();

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
#ifdef _WIN32
    // The About entry of the real system menu arrives as WM_SYSCOMMAND.
    bool nativeEvent(const QByteArray& eventType, void* pMessage, qintptr* pResult) override;
#endif

private:
    void CreateControls();
    void CreateList();
    void CreateCountersAndFilter();
    // Names a control by its id; LayOutControls places it.
    void Name(QWidget* pWidget, int nId);
    // Places every control for the window's present size.
    void LayOutControls();
    CLayoutMetrics LayoutMetrics() const;
    // strText, when not empty, is shown instead of the code's own sentence.
    void DisplayError(DWORD dwCode, const std::string& strText);
    // The worker's events reach this thread (again, after a close).
    void OpenScanEvents();
    void StopWorkerAndWait();
    // The question before a close that loses the listing: true for yes.
    bool AskToClose(const char* pszQuestion);
    void SaveSelection(ESaveMode eMode);
    void ShowSaveReport(const QString& strReport);
    bool AskToSaveOntoSourceDisk();

    // What the worker sent, drawn on the user interface thread (IScanView).
    void ShowCleared() override;
    void ShowRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) override;
    void ShowProgress(DWORD dwRecordsDone, DWORD dwRecords) override;
    void ShowError(DWORD dwCode, const std::string& strText) override;
    void ShowEnd(const CScanEnd& end) override;

    bool m_bInitialised;
    // The question before a close, asked once.
    CCloseConfirmation m_close;
    // Applies the filter once typing pauses.
    QTimer* m_pFilterTimer;
    // The partitions (with their disks) the tree items point to; released
    // with the dialog.
    std::vector<std::unique_ptr<CScanTarget>> m_vecTargets;

    // A save in progress keeps the window alive between its steps; a close
    // asked for meanwhile waits for the step in hand.
    CSaveGuard m_saveGuard;

public:
    // The progress window of the save in hand; null between saves.
    QProgressDialog* m_pSaveProgress;
};

// Shows the folder chooser, starting at strInitial; writes the chosen folder,
// of any length the system takes, to strPath. Non-zero when one was chosen.
int BrowseForFolder(QWidget* pOwner, std::string& strPath, const std::string& strInitial);
