// The scan: the button that starts and stops it, and the worker thread, a
// shell around the session's scan whose events the dialog draws.
#include "ui/qt/SalvixDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

DWORD WINAPI ScanThreadProc(LPVOID pParam)
{
    static_cast<CSalvixDlg*>(pParam)->RunScan();
    return 0;
}

void CSalvixDlg::ShowScanState()
{
    const EScanState eState = m_scan.State();
    m_pScanButton->setText(QString::fromUtf8(ScanButtonText(eState)));
    m_pScanButton->setEnabled(ScanButtonEnabled(eState));
}

void CSalvixDlg::OnScanButton()
{
    const QTreeWidgetItem* pItem = m_pTree->currentItem();
    const CScanTarget* pTarget =
        pItem ? reinterpret_cast<const CScanTarget*>(pItem->data(0, Qt::UserRole).value<quintptr>())
              : nullptr;
    m_session.m_fnBeforeRecord = s_fnBeforeRecordHook;
    std::string strHint;
    if (PressHint(m_scan.Press(pTarget, ScanThreadProc, this), strHint))
        m_pHintLabel->setText(QString::fromStdString(strHint));
    ShowScanState();
}

void CSalvixDlg::OnTreeEnter()
{
    for (int nPresses = PressesToStart(m_scan.State()); nPresses > 0; --nPresses)
        OnScanButton();
}

void CSalvixDlg::RunScan()
{
    m_scan.Run();
    if (s_fnWorkerEndHook)
        s_fnWorkerEndHook();
}

void CSalvixDlg::ShowCleared()
{
    m_pModel->Clear();
}

void CSalvixDlg::ShowRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted)
{
    m_pModel->AppendRows(std::move(batch));
    // Shown as signed numbers, as the counters always have been. They count
    // what the scan found, whatever the filter shows.
    m_pTotalEdit->setText(QString::number(static_cast<int>(dwTotal)));
    m_pDeletedEdit->setText(QString::number(static_cast<int>(dwDeleted)));
}

void CSalvixDlg::ShowProgress(DWORD dwRecordsDone, DWORD dwRecords)
{
    m_pHintLabel->setText(QString::fromStdString(ScanHintText(dwRecordsDone, dwRecords)));
}

void CSalvixDlg::ShowError(DWORD dwCode, const std::string& strText)
{
    DisplayError(dwCode, strText);
}

void CSalvixDlg::ShowEnd(const CScanEnd& end)
{
    m_pHintLabel->setText(QString::fromStdString(ScanEndHint(end)));
    ShowScanState();
}
