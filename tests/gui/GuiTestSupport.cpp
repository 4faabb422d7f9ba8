#include "GuiTestSupport.h"

#include "disk/PartitionTable.h"
#include "support/SleuthKit.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>

QString SampleDiskPath()
{
    return QString::fromLocal8Bit(qgetenv("SALVIX_GUI_SAMPLE"));
}

QString FreshFolder(const QString& strName)
{
    QString strBase = QString::fromLocal8Bit(qgetenv("SALVIX_GUI_WORKDIR"));
    if (strBase.isEmpty())
        strBase = QDir::tempPath();
    QDir dir(strBase + QStringLiteral("/gui-out/") + strName);
    dir.removeRecursively();
    QDir().mkpath(dir.path());
    return dir.absolutePath();
}

QString SampleWithUnreadablePartition(const QString& strName)
{
    const QString strCopy = FreshFolder(strName) + QStringLiteral("/disk.img");
    if (!QFile::copy(SampleDiskPath(), strCopy))
        return QString();
    ULONGLONG n64Start = 0;
    {
        CDiskGuard disk(strCopy.toStdString());
        WalkPartitionTables(0, [&](const char* pszText, const PartitionRecord& record) {
            if (QString::fromUtf8(pszText) == QStringLiteral("FAT32 Drive 1"))
                n64Start = record.qwFirstSector;
        });
    }
    QFile file(strCopy);
    if (n64Start == 0 || !file.open(QIODevice::ReadWrite) || !file.seek(static_cast<qint64>(n64Start) * 512) ||
        file.write(QByteArray(512, '\0')) != 512)
        return QString();
    return strCopy;
}

CDialogSeams::CDialogSeams()
{
    CSalvixDlg::s_fnErrorHook = [this](DWORD dwCode) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_vecErrors.push_back(dwCode);
    };
    CSalvixDlg::s_fnAskHook = [this](const QString& strQuestion) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_listQuestions << strQuestion;
        return m_bAnswer;
    };
    CSalvixDlg::s_fnReportHook = [this](const QString& strReport) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_listReports << strReport;
    };
    // A save onto the disk being read goes on unless a test says otherwise.
    CSalvixDlg::s_fnQuestionHook = [](const QString&) { return true; };
}

CDialogSeams::~CDialogSeams()
{
    CSalvixDlg::s_fnErrorHook = nullptr;
    CSalvixDlg::s_fnAboutHook = nullptr;
    CSalvixDlg::s_fnMenuHook = nullptr;
    CSalvixDlg::s_fnFolderHook = nullptr;
    CSalvixDlg::s_fnBeforeRecordHook = nullptr;
    CSalvixDlg::s_fnWorkerEndHook = nullptr;
    CSalvixDlg::s_fnSaveStepHook = nullptr;
    CSalvixDlg::s_fnAskHook = nullptr;
    CSalvixDlg::s_fnReportHook = nullptr;
    CSalvixDlg::s_fnQuestionHook = nullptr;
}

QStringList CDialogSeams::Questions() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_listQuestions;
}

QStringList CDialogSeams::Reports() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_listReports;
}

std::vector<DWORD> CDialogSeams::Errors() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_vecErrors;
}

QTreeWidgetItem* PartitionItem(CSalvixDlg& dlg, const QString& strText)
{
    const QList<QTreeWidgetItem*> listItems =
        dlg.m_pTree->findItems(strText, Qt::MatchExactly | Qt::MatchRecursive);
    return listItems.isEmpty() ? nullptr : listItems.first();
}

bool SelectPartition(CSalvixDlg& dlg, const QString& strText)
{
    QTreeWidgetItem* pItem = PartitionItem(dlg, strText);
    if (!pItem)
        return false;
    dlg.m_pTree->setCurrentItem(pItem);
    return pItem->isSelected();
}

QString Cell(CSalvixDlg& dlg, int nRow, int nColumn)
{
    return dlg.m_pModel->data(dlg.m_pModel->index(nRow, nColumn)).toString();
}

int RowOfRecord(CSalvixDlg& dlg, DWORD dwRecord)
{
    for (int nRow = 0; nRow < dlg.m_pModel->rowCount(); ++nRow)
        if (dlg.m_pModel->RecordOf(nRow) == dwRecord)
            return nRow;
    return -1;
}

void SelectRows(CSalvixDlg& dlg, const QList<int>& listRows)
{
    dlg.m_pList->clearSelection();
    for (int nRow : listRows)
        dlg.m_pList->selectionModel()->select(dlg.m_pModel->index(nRow, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

bool ScanToEnd(CSalvixDlg& dlg, int nTimeoutMs)
{
    dlg.m_pScanButton->click();
    QElapsedTimer timer;
    timer.start();
    while (dlg.m_pScanButton->text() != QStringLiteral("搜索结束"))
    {
        if (timer.elapsed() > nTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

DWORD PartitionStart(CSalvixDlg& dlg, const QString& strText)
{
    QTreeWidgetItem* pItem = PartitionItem(dlg, strText);
    if (!pItem)
        return 0;
    const auto* pTarget = reinterpret_cast<const CScanTarget*>(pItem->data(0, Qt::UserRole).value<quintptr>());
    return pTarget ? pTarget->m_partition.dwFirstSector : 0;
}

std::map<DWORD, CFlsRecord> FlsEntries(const QString& strImage, DWORD dwStartSector)
{
    std::vector<salvix_test::CFlsEntry> vecEntries;
    salvix_test::Fls(strImage.toStdString(), dwStartSector, vecEntries);
    std::map<DWORD, CFlsRecord> mapRecords;
    for (const salvix_test::CFlsEntry& entry : vecEntries)
    {
        if (entry.m_bReallocated || entry.m_strAttribute.find('-') == std::string::npos)
            continue;
        CFlsRecord& record = mapRecords[static_cast<DWORD>(entry.m_n64Record)];
        record.m_listNames << QString::fromStdString(entry.Name());
        record.m_bDeleted = entry.m_bDeleted;
        record.m_bDirectory = entry.IsDirectory();
    }
    return mapRecords;
}

QByteArray Icat(const QString& strImage, DWORD dwStartSector, DWORD dwRecord)
{
    std::vector<uint8_t> vecData;
    salvix_test::Icat(strImage.toStdString(), dwStartSector, std::to_string(dwRecord), vecData);
    return QByteArray(reinterpret_cast<const char*>(vecData.data()), static_cast<int>(vecData.size()));
}
