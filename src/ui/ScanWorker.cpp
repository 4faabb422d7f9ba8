// The scan: the button that starts and stops it, and the worker that walks
// the master file table and hands the rows to the list in batches.
#include "disk/Disk.h"
#include "ui/SalvixDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <chrono>

namespace
{

const char* const kTextScan = "扫描文件";
const char* const kTextStop = "停止扫描";
const char* const kTextStopping = "停滞中...";
const char* const kTextFinished = "搜索结束";

// A batch goes to the list when it holds this many rows or is this old, so
// the list follows the walk closely without a round trip per row.
const size_t kBatchRows = 8192;
const auto kBatchAge = std::chrono::milliseconds(25);

// Row n describes record n + 30: the records before it are the volume's own.
const DWORD kFirstListedRecord = 30;

}  // namespace

DWORD WINAPI ScanThreadProc(LPVOID pParam)
{
    static_cast<CSalvixDlg*>(pParam)->RunScan();
    return 0;
}

void CSalvixDlg::OnScanButton()
{
    const QString strText = m_pScanButton->text();
    if (strText == QString::fromUtf8(kTextScan))
    {
        m_bStop = 0;
        // The worker touches no widget: it gets the selected partition now.
        const QList<QTreeWidgetItem*> listSelected = m_pTree->selectedItems();
        const PartitionRecord* pRecord =
            listSelected.isEmpty()
                ? nullptr
                : reinterpret_cast<const PartitionRecord*>(
                      listSelected.first()->data(0, Qt::UserRole).value<quintptr>());
        m_bScanHasPartition = pRecord != nullptr;
        m_scanPartition = pRecord ? *pRecord : PartitionRecord();
        ++m_dwScanSerial;
        m_hWorker = CreateThread(nullptr, 0, ScanThreadProc, this, 0, nullptr);
        m_pScanButton->setText(QString::fromUtf8(kTextStop));
        return;
    }
    m_bStop = 1;
    DWORD dwExitCode = 0;
    if (GetExitCodeThread(m_hWorker, &dwExitCode) && dwExitCode == STILL_ACTIVE)
    {
        m_pScanButton->setText(QString::fromUtf8(kTextStopping));
        m_pScanButton->setEnabled(false);
        return;
    }
    m_pScanButton->setText(QString::fromUtf8(kTextScan));
    if (m_hWorker)
        CloseHandle(m_hWorker);
    m_hWorker = nullptr;
}

void CSalvixDlg::RunScan()
{
    // Set by the press that started this worker, before the thread existed.
    const DWORD dwSerial = m_dwScanSerial;
    CFileRowBatch batch;
    DWORD dwRows = 0;
    DWORD dwDeleted = 0;
    auto timeBatch = std::chrono::steady_clock::now();

    // Queued calls carry the rows to the user interface thread; calls tied to
    // the dialog are dropped if it is gone, and stale scans are told apart by serial.
    auto post = [this](auto fnCall) {
        QMetaObject::invokeMethod(this, fnCall, Qt::QueuedConnection);
    };
    auto flush = [&]() {
        if (batch.Empty())
            return;
        auto pRows = std::make_shared<CFileRowBatch>(std::move(batch));
        batch = CFileRowBatch();
        batch.m_vecRows.reserve(pRows->m_vecRows.size());
        batch.m_strNames.reserve(pRows->m_strNames.size());
        const DWORD dwTotal = dwRows;
        const DWORD dwDeletedNow = dwDeleted;
        post([this, dwSerial, pRows, dwTotal, dwDeletedNow]() {
            OnScanRowsArrived(dwSerial, pRows.get(), dwTotal, dwDeletedNow);
        });
        timeBatch = std::chrono::steady_clock::now();
    };
    auto finish = [&]() {
        flush();
        post([this, dwSerial]() { OnScanFinished(dwSerial); });
        if (s_fnWorkerEndHook)
            s_fnWorkerEndHook();
    };

    if (!m_bScanHasPartition)
    {
        finish();
        return;
    }
    post([this, dwSerial]() { OnScanCleared(dwSerial); });

    DWORD dwCode = 0;
    {
        std::lock_guard<std::mutex> lock(m_lockDrive);
        if (m_hDevice == INVALID_HANDLE_VALUE)
        {
            // The handle is kept across scans; the save command reads through it.
            HANDLE hDevice = OpenFirstDisk();
            if (hDevice == INVALID_HANDLE_VALUE)
                dwCode = GetLastError();
            else
                m_hDevice = hDevice;
        }
        if (dwCode == 0)
        {
            m_drive.AttachDevice(m_hDevice);
            m_drive.SetVolumeStart(m_scanPartition.dwFirstSector, 512);
            dwCode = m_drive.OpenVolume();
            if (dwCode != 0)
            {
                CloseHandle(m_hDevice);
                m_hDevice = INVALID_HANDLE_VALUE;
            }
        }
    }
    if (dwCode != 0)
    {
        ShowSystemError(dwCode);
        finish();
        return;
    }

    MFTEntryInfo info;
    for (DWORD i = 0; i < 0xFFFFFFFFu; ++i)
    {
        if (m_bStop.load())
            break;
        const DWORD dwIndex = i + kFirstListedRecord;
        if (s_fnBeforeRecordHook)
            s_fnBeforeRecordHook(dwIndex);
        {
            std::lock_guard<std::mutex> lock(m_lockDrive);
            dwCode = m_drive.GetEntryInfo(dwIndex, info);
            if (dwCode != 0 && dwCode != ERROR_NO_MORE_FILES && dwCode != ERROR_INVALID_PARAMETER)
            {
                CloseHandle(m_hDevice);
                m_hDevice = INVALID_HANDLE_VALUE;
            }
        }
        // 18: past the table's last record; 87: a slot without a parsable record.
        if (dwCode == ERROR_NO_MORE_FILES || dwCode == ERROR_INVALID_PARAMETER)
            break;
        if (dwCode != 0)
        {
            flush();
            ShowSystemError(dwCode);
            break;
        }
        if (info.bNotInUse)
            ++dwDeleted;
        batch.Add(info.szName, strnlen(info.szName, sizeof(info.szName)), info.dwFileFlags,
                  static_cast<DWORD>(static_cast<ULONGLONG>(info.n64Clusters)),
                  info.bNotInUse ? 1 : 0);
        dwRows = i + 1;
        if (batch.m_vecRows.size() >= kBatchRows ||
            std::chrono::steady_clock::now() - timeBatch >= kBatchAge)
            flush();
    }
    finish();
}

void CSalvixDlg::OnScanCleared(DWORD dwSerial)
{
    if (dwSerial == m_dwScanSerial)
        m_pModel->Clear();
}

void CSalvixDlg::OnScanRowsArrived(DWORD dwSerial, CFileRowBatch* pRows, DWORD dwTotal,
                                   DWORD dwDeleted)
{
    if (dwSerial != m_dwScanSerial)
        return;
    m_pModel->AppendRows(std::move(*pRows));
    // Shown as signed numbers, as the counters always have been.
    m_pTotalEdit->setText(QString::number(static_cast<int>(dwTotal)));
    m_pDeletedEdit->setText(QString::number(static_cast<int>(dwDeleted)));
}

void CSalvixDlg::OnScanFinished(DWORD dwSerial)
{
    if (dwSerial != m_dwScanSerial)
        return;
    // The end is shown only once the thread has really ended, so that the
    // next press finds it ended and the button cannot stay disabled. The
    // worker posts this as its last act, so the wait is short.
    if (m_hWorker)
        WaitForSingleObject(m_hWorker, INFINITE);
    const QString strText = m_pScanButton->text();
    if (strText != QString::fromUtf8(kTextStop) && strText != QString::fromUtf8(kTextStopping))
        return;
    m_pScanButton->setText(QString::fromUtf8(kTextFinished));
    m_pScanButton->setEnabled(true);
}
