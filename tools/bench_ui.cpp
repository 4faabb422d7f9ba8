// Times a scan in the offscreen program against the core's own walk over the
// same partition, measures how soon a stop press ends a scan while rows are
// streaming in, and reports the memory the listing takes.
//
//   salvix_bench_ui IMAGE [ITEM]
//
// ITEM is the text of the partition's tree item ("NTFS Drive 0"); the first
// NTFS item when it is left out.
#include "disk/Disk.h"
#include "ui/SalvixDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

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
    DWORD m_dwTableLength = 0;
};

// The session's scan without the window, into a sink that only counts.
class CCountingSink : public IScanSink
{
public:
    void OnCleared() override {}
    void OnRows(CRowBatch&&, DWORD dwTotal, DWORD) override { m_dwRows = dwTotal; }
    void OnError(DWORD dwCode) override { m_dwError = dwCode; }
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
    result.m_dwTableLength = session.Drive().m_dwTableLength;
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
    setenv("SALVIX_DISK", argv[1], 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    CSalvixDlg::s_fnErrorHook = [](DWORD dwCode) {
        fprintf(stderr, "error box: code %u\n", dwCode);
    };
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

    // Rounds of the core's walk and of the program's scan, one after the
    // other, so that both meet the same machine; medians are compared.
    const int kRounds = 5;
    std::vector<double> vecCore, vecScan, vecRatio, vecStall;
    long lFirstPeak = 0, lFirstRss = 0;
    for (int nRound = 0; nRound < kRounds; ++nRound)
    {
        CoreWalk(*pTarget, core);
        const double dCore = core.m_dOpen + core.m_dWalk;
        if (nRound == 0)
        {
            // The first listing's peak, without the core's table (released above).
            ResetPeakRss();
        }
        if (dlg.m_pScanButton->text() == QStringLiteral("搜索结束"))
            dlg.m_pScanButton->click();
        double dStallMs = 0;
        const auto t0 = Clock::now();
        dlg.m_pScanButton->click();
        WaitForEnd(dlg, dStallMs);
        const double dScan = Seconds(Clock::now() - t0);
        if (nRound == 0)
        {
            lFirstPeak = StatusKiB("VmHWM");
            lFirstRss = StatusKiB("VmRSS");
        }
        printf(
            "round %d:       core walk %.3f s (OpenVolume %.3f + walk %.3f, %u records); program "
            "scan %.3f s = %.2f x; longest stall of the window %.0f ms\n",
            nRound + 1, dCore, core.m_dOpen, core.m_dWalk, core.m_dwRows, dScan, dScan / dCore,
            dStallMs);
        vecCore.push_back(dCore);
        vecScan.push_back(dScan);
        vecRatio.push_back(dScan / dCore);
        vecStall.push_back(dStallMs);
    }
    auto median = [](std::vector<double> vec) {
        std::sort(vec.begin(), vec.end());
        return vec[vec.size() / 2];
    };
    printf(
        "program scan:  %d rows, counters %s / %s; median %.3f s from press to the end against "
        "the core's %.3f s: %.2f x (median of the rounds' ratios; goal at most 1.5 x)\n",
        dlg.m_pModel->rowCount(), qPrintable(dlg.m_pTotalEdit->text()),
        qPrintable(dlg.m_pDeletedEdit->text()), median(vecScan), median(vecCore), median(vecRatio));
    printf("               longest stall of the window during a scan: %.0f ms (median %.0f ms)\n",
           *std::max_element(vecStall.begin(), vecStall.end()), median(vecStall));
    const long lPeak = StatusKiB("VmHWM");
    const double dTableMiB = core.m_dwTableLength / 1048576.0;
    printf(
        "memory:        table %.1f MiB; before any scan %.1f MiB resident; first listing: %.1f MiB "
        "resident, peak %s%.1f MiB = %.2f x the table (goal at most 2 x); peak over all rescans "
        "%.1f MiB = %.2f x\n",
        dTableMiB, lBaseRss / 1024.0, lFirstRss / 1024.0, bPeakReset ? "" : "(since start) ",
        lFirstPeak / 1024.0, (lFirstPeak / 1024.0) / dTableMiB, lPeak / 1024.0,
        (lPeak / 1024.0) / dTableMiB);
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
