#include "GuiTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>

#include <cstdlib>

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

CDiskEnvironment::CDiskEnvironment(const QString& strPath)
    : m_byteOld(qgetenv("SALVIX_DISK")), m_bHadOld(qEnvironmentVariableIsSet("SALVIX_DISK"))
{
    qputenv("SALVIX_DISK", strPath.toLocal8Bit());
}

CDiskEnvironment::~CDiskEnvironment()
{
    if (m_bHadOld)
        qputenv("SALVIX_DISK", m_byteOld);
    else
        qunsetenv("SALVIX_DISK");
}

CDialogSeams::CDialogSeams()
{
    CSalvixDlg::s_fnErrorHook = [this](DWORD dwCode) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_vecErrors.push_back(dwCode);
    };
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
}

std::vector<DWORD> CDialogSeams::Errors() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_vecErrors;
}

bool SelectPartition(CSalvixDlg& dlg, const QString& strText)
{
    const QList<QTreeWidgetItem*> listItems =
        dlg.m_pTree->findItems(strText, Qt::MatchExactly | Qt::MatchRecursive);
    if (listItems.isEmpty())
        return false;
    dlg.m_pTree->setCurrentItem(listItems.first());
    return listItems.first()->isSelected();
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
    const QList<QTreeWidgetItem*> listItems =
        dlg.m_pTree->findItems(strText, Qt::MatchExactly | Qt::MatchRecursive);
    if (listItems.isEmpty())
        return 0;
    const auto* pTarget = reinterpret_cast<const CScanTarget*>(
        listItems.first()->data(0, Qt::UserRole).value<quintptr>());
    return pTarget ? pTarget->m_partition.dwFirstSector : 0;
}

QByteArray RunTool(const QString& strProgram, const QStringList& listArgs)
{
    QProcess process;
    process.start(strProgram, listArgs);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput();
}

std::map<DWORD, CFlsEntry> FlsEntries(const QString& strImage, DWORD dwStartSector)
{
    std::map<DWORD, CFlsEntry> mapEntries;
    const QByteArray byteOut = RunTool(
        QStringLiteral("fls"),
        {QStringLiteral("-r"), QStringLiteral("-o"), QString::number(dwStartSector), strImage});
    // "+ r/r * 70-128-2:\tname": depth marks, types, a '*' for deleted, the address.
    static const QRegularExpression re(
        QStringLiteral("^[+ ]*\\S+/(\\S+)\\s+(\\*\\s+)?(\\d+)-\\d+-\\d+(\\(realloc\\))?:\\t(.*)$"));
    for (const QString& strLine : QString::fromUtf8(byteOut).split(QLatin1Char('\n')))
    {
        const QRegularExpressionMatch match = re.match(strLine);
        if (!match.hasMatch() || !match.captured(4).isEmpty())
            continue;
        CFlsEntry& entry = mapEntries[match.captured(3).toUInt()];
        entry.m_listNames << match.captured(5);
        entry.m_bDeleted = !match.captured(2).isEmpty();
        entry.m_bDirectory = match.captured(1) == QLatin1String("d");
    }
    return mapEntries;
}
