// Times a scan in the offscreen program, from the press to its last row,
// against the core's own walk over the same partition and against The Sleuth
// Kit's icat reading the bare table (`icat -o START IMAGE 0 > /dev/null`),
// round by round; times the first rows; measures how soon a stop press ends
// a scan while rows are streaming in, and reports the memory the listing takes.
//
//   salvix_bench_ui IMAGE [ITEM]
//
// ITEM is the text of the partition's tree item ("NTFS Drive 0"); the first
// NTFS item when it is left out.
#include "bench/Measure.h"

#include "disk/Disk.h"
#include "ntfs/NtfsFileSystem.h"
#include "ui/qt/SalvixDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// A line of /proc/self/status, in KiB; -1 when absent.
long StatusKiB(const char* pszKey)
{
    std::ifstream status("/proc/self/status");
    std::string strLine;
    const size_t nKey = strlen(pszKey);
    while (std::getline(status, strLine))
        if (strLine.compare(0, nKey, pszKey) == 0 && strLine.size() > nKey && strLine[nKey] == ':')
            return strtol(strLine.c_str() + nKey + 1, nullptr, 10);
    return -1;
}

// Forgets the peak so far, so that the next peak belongs to what follows.
bool ResetPeakRss()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear);
}

struct CCoreWalk
{
    double m_dOpen = 0;
    double m_dWalk = 0;
    DWORD m_dwRows = 0;
    ULONGLONG m_n64TableBytes = 0;
};

// Seconds `icat -o dwStart strImage 0`, the bare read of the table, takes
// with its output thrown away; negative when it could not be run.
double IcatTable(const std::string& strImage, DWORD dwStart)
{
    const std::string strOffset = std::to_string(dwStart);
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0)
    {
        const int nNull = open("/dev/null", O_WRONLY);
        dup2(nNull, 1);
        execlp("icat", "icat", "-o", strOffset.c_str(), strImage.c_str(), "0", static_cast<char*>(nullptr));
        _exit(127);
    }
    int nStatus = 0;
    if (pid < 0 || waitpid(pid, &nStatus, 0) != pid || !WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0)
        return -1;
    return Seconds(Clock::now() - t0);
}

// The session's scan without the window, into a sink that only counts.
class CCountingSink : public IScanSink
{
public:
    void OnCleared() override {}
    void OnRows(CRowBatch&&, DWORD dwTotal, DWORD) override { m_dwRows = dwTotal; }
    void OnError(DWORD dwCode) override { m_dwError = dwCode; }
    void OnUnreadRecords(DWORD) override {}
    DWORD m_dwRows = 0;
    DWORD m_dwError = 0;
};

bool CoreWalk(const CScanTarget& target, CCoreWalk& result)
{
    CScanSession session;
    CCountingSink sink;
    std::atomic<BYTE> bStop{0};
    const auto t0 = Clock::now();
    if (session.RunScan(&target, bStop, sink) != 0 || sink.m_dwError != 0)
        return false;
    const auto t1 = Clock::now();
    result.m_dOpen = 0;
    result.m_dWalk = Seconds(t1 - t0);
    result.m_dwRows = sink.m_dwRows;
    result.m_n64TableBytes = NtfsDriveOf(session.FileSystem())->TableBytes();
    return true;
}

// Runs the event loop, as the dialog's own modal loop would, until the scan
// button reads "搜索结束" (or "扫描文件": a stop press that found the worker
// already ended). A 5 ms timer looks at the button; the longest gap between
// two of its ticks tells how free the window stayed.
void WaitForEnd(CSalvixDlg& dlg, double& dLongestStallMs)
{
    const QString strFinished = QStringLiteral("搜索结束");
    const QString strIdle = QStringLiteral("扫描文件");
    QEventLoop loop;
    QElapsedTimer timerTicks;
    timerTicks.start();
    qint64 n64LastTick = 0;
    dLongestStallMs = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 n64Now = timerTicks.elapsed();
        dLongestStallMs = std::max(dLongestStallMs, double(n64Now - n64LastTick));
        n64LastTick = n64Now;
        const QString strText = dlg.m_pScanButton->text();
        if (strText == strFinished || strText == strIdle)
            loop.quit();
    });
    ticker.start(5);
    loop.exec();
}

// Runs the event loop until fnDone says so, looking every millisecond.
template <typename F>
void RunUntil(F fnDone)
{
    QEventLoop loop;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (fnDone())
            loop.quit();
    });
    ticker.start(1);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3)
    {
        fprintf(stderr, "usage: %s IMAGE [ITEM]\n", argv[0]);
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    mallopt(M_MMAP_THRESHOLD, 1 << 20);  // as the program's main sets it
    setenv("SALVIX_DISK", argv[1], 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    CSalvixDlg::s_fnErrorHook = [](DWORD dwCode) {
        fprintf(stderr, "error box: code %u\n", dwCode);
    };
    // The listing may go when the benchmark closes the window.
    CSalvixDlg::s_fnAskHook = [](const QString&) { return true; };
    CSalvixDlg dlg;
    dlg.show();

    QTreeWidgetItem* pItem = nullptr;
    for (int i = 0; i < dlg.m_pTreeRoot->childCount() && !pItem; ++i)
    {
        QTreeWidgetItem* pChild = dlg.m_pTreeRoot->child(i);
        if (argc == 3 ? pChild->text(0) == QString::fromLocal8Bit(argv[2])
                      : pChild->text(0).startsWith(QStringLiteral("NTFS ")))
            pItem = pChild;
    }
    if (!pItem)
    {
        fprintf(stderr, "no such partition in the tree of %s\n", argv[1]);
        return 1;
    }
    const auto* pTarget =
        reinterpret_cast<const CScanTarget*>(pItem->data(0, Qt::UserRole).value<quintptr>());
    dlg.m_pTree->setCurrentItem(pItem);
    printf("image %s, %s at sector %u\n", argv[1], qPrintable(pItem->text(0)),
           pTarget->m_partition.dwFirstSector);

    // The core alone, once to bring the image into the page cache.
    CCoreWalk core;
    if (!CoreWalk(*pTarget, core))
    {
        fprintf(stderr, "the core cannot open the volume\n");
        return 1;
    }
    const long lBaseRss = StatusKiB("VmRSS");
    const bool bPeakReset = ResetPeakRss();

    // Rounds of icat, the core's walk and the program's scan, one after the
    // other, so that all three meet the same machine; ratios are taken
    // round by round and their medians quoted.
    const int kRounds = 5;
    std::vector<double> vecIcat, vecCore, vecScan, vecFirst, vecScanRatio, vecCoreRatio, vecStall;
    long lFirstPeak = 0, lFirstRss = 0, lRescanPeak = 0;
    Clock::time_point tFirstRows;
    bool bFirstRows = false;
    QObject::connect(dlg.m_pModel, &QAbstractItemModel::rowsInserted, [&] {
        if (!bFirstRows)
            tFirstRows = Clock::now();
        bFirstRows = true;
    });
    for (int nRound = 0; nRound < kRounds; ++nRound)
    {
        const double dIcat = IcatTable(argv[1], pTarget->m_partition.dwFirstSector);
        if (dIcat <= 0)
        {
            fprintf(stderr, "icat could not read the table\n");
            return 1;
        }
        CoreWalk(*pTarget, core);
        const double dCore = core.m_dOpen + core.m_dWalk;
        // Each listing's peak, without what the core's walk held.
        ResetPeakRss();
        if (dlg.m_pScanButton->text() == QStringLiteral("搜索结束"))
            dlg.m_pScanButton->click();
        double dStallMs = 0;
        bFirstRows = false;
        const auto t0 = Clock::now();
        dlg.m_pScanButton->click();
        WaitForEnd(dlg, dStallMs);
        const double dScan = Seconds(Clock::now() - t0);
        const double dFirst = bFirstRows ? Seconds(tFirstRows - t0) : dScan;
        if (nRound == 0)
        {
            lFirstPeak = StatusKiB("VmHWM");
            lFirstRss = StatusKiB("VmRSS");
        }
        lRescanPeak = std::max(lRescanPeak, StatusKiB("VmHWM"));
        printf(
            "round %d:       icat %.3f s; core walk %.3f s (%u records) = %.2f x icat; program: first rows "
            "%.1f ms, last row %.3f s = %.2f x icat; longest stall of the window %.0f ms\n",
            nRound + 1, dIcat, dCore, core.m_dwRows, dCore / dIcat, dFirst * 1000, dScan, dScan / dIcat,
            dStallMs);
        vecIcat.push_back(dIcat);
        vecCore.push_back(dCore);
        vecScan.push_back(dScan);
        vecFirst.push_back(dFirst);
        vecScanRatio.push_back(dScan / dIcat);
        vecCoreRatio.push_back(dCore / dIcat);
        vecStall.push_back(dStallMs);
    }
    auto median = [](std::vector<double> vec) {
        std::sort(vec.begin(), vec.end());
        return vec[vec.size() / 2];
    };
    printf(
        "program scan:  %d rows, counters %s / %s; press to the last row: median %.3f s against icat's "
        "%.3f s: %.2f x (median of the rounds' ratios; goal at most 1.5 x)\n",
        dlg.m_pModel->rowCount(), qPrintable(dlg.m_pTotalEdit->text()),
        qPrintable(dlg.m_pDeletedEdit->text()), median(vecScan), median(vecIcat), median(vecScanRatio));
    printf("core walk:     median %.3f s: %.2f x icat (median of the rounds' ratios)\n", median(vecCore),
           median(vecCoreRatio));
    printf("first rows:    median %.1f ms after the press, slowest %.1f ms (goal under 50 ms)\n",
           median(vecFirst) * 1000, *std::max_element(vecFirst.begin(), vecFirst.end()) * 1000);
    printf("               longest stall of the window during a scan: %.0f ms (median %.0f ms)\n",
           *std::max_element(vecStall.begin(), vecStall.end()), median(vecStall));
    const double dTableMiB = static_cast<double>(core.m_n64TableBytes) / 1048576.0;
    const double dBudgetMiB = 64 + 48.0 * dlg.m_pModel->rowCount() / 1048576.0;
    printf(
        "memory:        table %.1f MiB; before any scan %.1f MiB resident; first listing: %.1f MiB "
        "resident, peak %s%.1f MiB, %.1f MiB above the start (goal: at most 64 MiB + 48 bytes a row "
        "= %.1f MiB); highest peak of the later listings %.1f MiB\n",
        dTableMiB, lBaseRss / 1024.0, lFirstRss / 1024.0, bPeakReset ? "" : "(since start) ",
        lFirstPeak / 1024.0, (lFirstPeak - lBaseRss) / 1024.0, dBudgetMiB, lRescanPeak / 1024.0);
    double dNameBytes = 0;
    for (int i = 0; i < dlg.m_pModel->rowCount(); ++i)
        dNameBytes += dlg.m_pModel->Store().Row(static_cast<size_t>(i)).m_wNameLength;
    printf(
        "               the list's rows: %.1f MiB (%d rows of %zu bytes and %.1f MiB of names)\n",
        (dlg.m_pModel->rowCount() * double(sizeof(CScanRow)) + dNameBytes) / 1048576.0,
        dlg.m_pModel->rowCount(), sizeof(CScanRow), dNameBytes / 1048576.0);

    // Stop presses while the rows stream in, at about a tenth, half and nine
    // tenths of the listing.
    const int nTotal = dlg.m_pModel->rowCount();
    double dWorstStopMs = 0;
    for (const double dFraction : {0.1, 0.5, 0.9})
    {
        dlg.m_pScanButton->click();  // "搜索结束" -> "扫描文件"
        bool bCleared = false;
        const QMetaObject::Connection connection = QObject::connect(
            dlg.m_pModel, &QAbstractItemModel::modelReset, [&bCleared] { bCleared = true; });
        dlg.m_pScanButton->click();  // start; the worker empties the list first
        const int nAt = std::max(1, static_cast<int>(nTotal * dFraction));
        RunUntil([&] {
            return (bCleared && dlg.m_pModel->rowCount() >= nAt) ||
                   dlg.m_pScanButton->text() == QStringLiteral("搜索结束");
        });
        if (dlg.m_pScanButton->text() == QStringLiteral("搜索结束"))
        {
            printf("stop press:    the scan ended before %d rows were listed\n", nAt);
            continue;
        }
        QObject::disconnect(connection);
        const int nListed = dlg.m_pModel->rowCount();
        const auto tPress = Clock::now();
        dlg.m_pScanButton->click();
        const QString strAfterPress = dlg.m_pScanButton->text();
        double dIgnored = 0;
        WaitForEnd(dlg, dIgnored);
        const double dStopMs = Seconds(Clock::now() - tPress) * 1000;
        dWorstStopMs = std::max(dWorstStopMs, dStopMs);
        printf(
            "stop press:    at %d of %d rows: \"%s\" at once, \"搜索结束\" after %.1f ms with %d "
            "rows "
            "listed in the end\n",
            nListed, nTotal, qPrintable(strAfterPress), dStopMs, dlg.m_pModel->rowCount());
    }
    printf("stop press:    slowest %.1f ms (goal at most 100 ms)\n", dWorstStopMs);
    dlg.done(2);
    return 0;
}
