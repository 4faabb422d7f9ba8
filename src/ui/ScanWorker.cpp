// The scan: the button that starts and stops it, and the worker thread, a
// shell around the session's scan that carries its rows to the list.
#include "session/Messages.h"
#include "ui/SalvixDlg.h"

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
    if (m_scan.Press(pTarget, ScanThreadProc, this) == EScanPress::eStartScan)
        m_pHintLabel->setText(QString::fromStdString(ScanHintText(0, 1)));
    ShowScanState();
}

// Carries the session's output to the user interface thread: rows in batches
// through queued calls, stale scans told apart by serial, errors through the
// dialog's box (the worker waits until it is closed).
class CSalvixDlg::CDialogSink : public IScanSink
{
public:
    CDialogSink(CSalvixDlg& dlg, DWORD dwSerial) : m_dlg(dlg), m_dwSerial(dwSerial) {}

    void OnCleared() override
    {
        CSalvixDlg* pDlg = &m_dlg;
        const DWORD dwSerial = m_dwSerial;
        QMetaObject::invokeMethod(
            pDlg, [pDlg, dwSerial]() { pDlg->OnScanCleared(dwSerial); }, Qt::QueuedConnection);
    }
    void OnRows(CRowBatch&& batch, DWORD dwTotal, DWORD dwDeleted) override
    {
        CSalvixDlg* pDlg = &m_dlg;
        const DWORD dwSerial = m_dwSerial;
        auto pRows = std::make_shared<CRowBatch>(std::move(batch));
        QMetaObject::invokeMethod(
            pDlg,
            [pDlg, dwSerial, pRows, dwTotal, dwDeleted]() {
                pDlg->OnScanRowsArrived(dwSerial, pRows.get(), dwTotal, dwDeleted);
            },
            Qt::QueuedConnection);
    }
    void OnError(DWORD dwCode) override { m_dlg.ShowSystemError(dwCode); }
    void OnUnreadRecords(DWORD dwCount) override
    {
        if (dwCount != 0)
            m_dlg.ShowSystemError(ERROR_READ_FAULT, UnreadRecordsText(dwCount));
    }
    void OnProgress(DWORD dwRecordsDone, DWORD dwRecords) override
    {
        CSalvixDlg* pDlg = &m_dlg;
        const DWORD dwSerial = m_dwSerial;
        QMetaObject::invokeMethod(
            pDlg, [=]() { pDlg->OnScanProgress(dwSerial, dwRecordsDone, dwRecords); }, Qt::QueuedConnection);
    }

private:
    CSalvixDlg& m_dlg;
    DWORD m_dwSerial;
};

void CSalvixDlg::RunScan()
{
    // Set by the press that started this worker, before the thread existed.
    const DWORD dwSerial = m_scan.Serial();
    CDialogSink sink(*this, dwSerial);
    m_scan.Run(sink);
    QMetaObject::invokeMethod(
        this, [this, dwSerial]() { OnScanFinished(dwSerial); }, Qt::QueuedConnection);
    if (s_fnWorkerEndHook)
        s_fnWorkerEndHook();
}

void CSalvixDlg::OnScanCleared(DWORD dwSerial)
{
    if (dwSerial == m_scan.Serial())
        m_pModel->Clear();
}

void CSalvixDlg::OnScanRowsArrived(DWORD dwSerial, CRowBatch* pRows, DWORD dwTotal,
                                   DWORD dwDeleted)
{
    if (dwSerial != m_scan.Serial())
        return;
    m_pModel->AppendRows(std::move(*pRows));
    // Shown as signed numbers, as the counters always have been.
    m_pTotalEdit->setText(QString::number(static_cast<int>(dwTotal)));
    m_pDeletedEdit->setText(QString::number(static_cast<int>(dwDeleted)));
}

void CSalvixDlg::OnScanProgress(DWORD dwSerial, DWORD dwRecordsDone, DWORD dwRecords)
{
    if (dwSerial == m_scan.Serial())
        m_pHintLabel->setText(QString::fromStdString(ScanHintText(dwRecordsDone, dwRecords)));
}

void CSalvixDlg::OnScanFinished(DWORD dwSerial)
{
    if (dwSerial != m_scan.Serial())
        return;
    m_pHintLabel->setText(QString::fromStdString(ScanHintText(0, 0)));
    if (m_scan.Finished())
        ShowScanState();
}
