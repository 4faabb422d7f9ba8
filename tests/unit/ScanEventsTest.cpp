// The scan as every front end runs it, without any window: the button's
// states, the hint's texts, and the events the worker hands over (in order,
// those of an earlier scan dropped, an error box waited for).
#include "support/DiskGuard.h"
#include "support/FaultFreeTest.h"
#include "support/NtfsImage.h"

#include "session/RowStore.h"
#include "session/ScanThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace salvix_test;

namespace
{

DWORD WINAPI ScanThreadRun(LPVOID pParam)
{
    static_cast<CScanThread*>(pParam)->Run();
    return 0;
}

// A front end with no window, as a command line would be one: the wake-up
// signals a condition its own thread waits on, then it drains the events.
class CWaitingFrontEnd : public IScanView
{
public:
    explicit CWaitingFrontEnd(CScanThread& thread) : m_thread(thread)
    {
        m_thread.OpenEvents([this] {
            std::lock_guard<std::mutex> lock(m_lock);
            m_bWoken = true;
            m_cvWoken.notify_all();
            return true;
        });
    }

    // Draws what arrives until the scan's end, or false after 10 s.
    bool DrawToEnd()
    {
        const auto timeEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!m_bEnded)
        {
            {
                std::unique_lock<std::mutex> lock(m_lock);
                if (!m_cvWoken.wait_until(lock, timeEnd, [this] { return m_bWoken; }))
                    return false;
                m_bWoken = false;
            }
            m_thread.DrainEvents(*this);
        }
        return true;
    }

    void ShowCleared() override { m_vecSeen.push_back("cleared"); }
    void ShowRows(CRowBatch&& batch, DWORD dwTotal, DWORD) override
    {
        m_store.Append(std::move(batch));
        EXPECT_EQ(m_store.Size(), dwTotal);
        if (m_vecSeen.empty() || m_vecSeen.back() != "rows")
            m_vecSeen.push_back("rows");
    }
    void ShowProgress(DWORD, DWORD) override {}
    void ShowError(DWORD dwCode, const std::string&) override
    {
        m_vecSeen.push_back("error " + std::to_string(dwCode));
    }
    void ShowEnd(const CScanEnd& end) override
    {
        m_vecSeen.push_back("end");
        m_end = end;
        m_bEnded = true;
    }

    CScanThread& m_thread;
    std::mutex m_lock;
    std::condition_variable m_cvWoken;
    bool m_bWoken = false;
    bool m_bEnded = false;
    std::vector<std::string> m_vecSeen;
    CRowStore m_store;
    CScanEnd m_end;
};

// A disk whose volume lists these names from record 30 on, and no more.
class CNamedDisk
{
public:
    explicit CNamedDisk(const std::vector<std::u16string>& vecNames)
    {
        for (size_t i = 0; i < vecNames.size(); ++i)
            m_disk.Record(30 + static_cast<DWORD>(i)).AddResident(0x30, FileNameValue(vecNames[i]));
        m_disk.Build(40);
    }
    CScanTarget Target(DWORD dwDisk) const
    {
        CScanTarget target;
        target.m_dwDisk = dwDisk;
        target.m_partition.dwFirstSector = m_disk.FirstSector();
        return target;
    }
    CTestDisk m_disk;
};

std::vector<std::string> Names(const CRowStore& store)
{
    std::vector<std::string> vec;
    for (size_t i = 0; i < store.Size(); ++i)
        vec.push_back(store.Name(i));
    return vec;
}

class ScanEventsTest : public CFaultFreeTest
{
};

}  // namespace

TEST(ScanStateTest, APressWithNoPartitionChangesNothing)
{
    CScanStateMachine machine;
    EXPECT_EQ(EScanPress::eNoTarget, machine.Press(false, false));
    EXPECT_EQ(EScanState::eIdle, machine.State());
    EXPECT_EQ(EScanPress::eStartScan, machine.Press(false, true));
    // Once started, a press stops whatever the tree holds.
    EXPECT_EQ(EScanPress::eAskStop, machine.Press(true, false));
    EXPECT_TRUE(machine.WorkerEnded());
    EXPECT_EQ(EScanPress::eReturnToIdle, machine.Press(false, false));
    EXPECT_EQ(EScanPress::eNoTarget, machine.Press(false, false));
    EXPECT_EQ(EScanState::eIdle, machine.State());

    // Enter on a partition presses as often as a start takes.
    const std::pair<EScanState, int> kPresses[] = {{EScanState::eIdle, 1}, {EScanState::eRunning, 0},
                                                   {EScanState::eStopping, 0}, {EScanState::eFinished, 2}};
    for (const auto& [eState, nPresses] : kPresses)
        EXPECT_EQ(nPresses, PressesToStart(eState)) << ScanButtonText(eState);
}

TEST(ScanStateTest, APressLeavesItsHintOrTheOneBefore)
{
    struct CCase
    {
        EScanPress m_ePress;
        bool m_bChanges;
        const char* m_pszHint;  // the hint after the press
    };
    const CCase kCases[] = {
        {EScanPress::eStartScan, true, "正在扫描 0%，请耐心等待"},
        {EScanPress::eNoTarget, true, "请先选择一个分区"},
        {EScanPress::eAskStop, false, "the hint before"},
        {EScanPress::eReturnToIdle, false, "the hint before"},
    };
    for (const CCase& c : kCases)
    {
        std::string strHint = "the hint before";
        EXPECT_EQ(c.m_bChanges, PressHint(c.m_ePress, strHint)) << c.m_pszHint;
        EXPECT_EQ(c.m_pszHint, strHint);
    }
}

TEST(ScanStateTest, TheHintSaysHowTheScanEnded)
{
    struct CCase
    {
        const char* m_pszWhat;
        CScanEnd m_end;
        const char* m_pszHint;
    };
    auto end = [](bool bNoTarget, bool bStopped, DWORD dwCode, DWORD dwRows, DWORD dwDone, DWORD dwRecords) {
        CScanEnd e;
        e.m_bNoTarget = bNoTarget;
        e.m_bStopped = bStopped;
        e.m_dwCode = dwCode;
        e.m_dwRows = dwRows;
        e.m_dwRecordsDone = dwDone;
        e.m_dwRecords = dwRecords;
        return e;
    };
    const CCase kCases[] = {
        {"the table's end", end(false, false, 0, 69, 99, 100), "扫描完成：69 条记录"},
        {"an empty table", end(false, false, 0, 0, 0, 30), "扫描完成：0 条记录"},
        {"a stop", end(false, true, 0, 31, 61, 500), "已停止：读到表的 12%"},
        {"a stop while the table opened", end(false, true, 0, 0, 0, 0), "已停止：读到表的 0%"},
        {"a walk past the table's count", end(false, true, 0, 70, 130, 100), "已停止：读到表的 100%"},
        {"a bad sector", end(false, false, ERROR_CRC, 12, 42, 100), "扫描出错：已列出 12 条记录"},
        {"a disk that cannot be opened", end(false, false, ERROR_FILE_NOT_FOUND, 0, 0, 0), "扫描出错：已列出 0 条记录"},
        {"no volume this program reads", end(false, false, ERROR_INVALID_DRIVE, 0, 0, 0), "请先选择一个分区"},
        {"nothing chosen", end(true, false, 0, 0, 0, 0), "请先选择一个分区"},
    };
    for (const CCase& c : kCases)
        EXPECT_EQ(c.m_pszHint, ScanEndHint(c.m_end)) << c.m_pszWhat;
    EXPECT_EQ("正在扫描 37%，请耐心等待", ScanHintText(37, 100));
    EXPECT_EQ(std::string(ReadyHint()), ScanHintText(0, 0));
    EXPECT_EQ(nullptr, CloseQuestion(0));
    EXPECT_STREQ("关闭窗口将丢失扫描结果，确定退出吗？", CloseQuestion(1));
    EXPECT_EQ("显示 12 条，已选 3 条", ShownRowsText(12, 3));
}

TEST_F(ScanEventsTest, AFrontEndWithoutWindowsDrawsTheLastScanOnly)
{
    CNamedDisk first({u"old-1", u"old-2"});
    CNamedDisk second({u"a.txt", u"b.txt", u"照片.jpg"});
    CDiskGuard guard(first.m_disk.Path() + ":" + second.m_disk.Path());
    CScanSession session;
    CScanThread thread(session);
    CWaitingFrontEnd view(thread);
    const CScanTarget targetOld = first.Target(0), targetNew = second.Target(1);
    // The first scan ends with nothing drawn; two presses start the second.
    ASSERT_EQ(EScanPress::eStartScan, thread.Press(&targetOld, ScanThreadRun, &thread));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.m_hWorker, 10000));
    EXPECT_EQ(EScanPress::eReturnToIdle, thread.Press(&targetOld, ScanThreadRun, &thread));
    ASSERT_EQ(EScanPress::eStartScan, thread.Press(&targetNew, ScanThreadRun, &thread));
    ASSERT_TRUE(view.DrawToEnd());
    EXPECT_EQ((std::vector<std::string>{"cleared", "rows", "end"}), view.m_vecSeen);
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "照片.jpg"}), Names(view.m_store));
    // A disk made by hand has no allocation map: the list is whole, its states unknown.
    EXPECT_EQ(std::string("扫描完成：3 条记录\n") + NoMapHint(), ScanEndHint(view.m_end));
    EXPECT_EQ(EScanState::eFinished, thread.State()) << "the end is drawn once the worker has ended";
    DWORD dwExit = STILL_ACTIVE;
    ASSERT_TRUE(GetExitCodeThread(thread.m_hWorker, &dwExit));
    EXPECT_NE(static_cast<DWORD>(STILL_ACTIVE), dwExit);
}

TEST(ScanEventQueueTest, EachBoxIsWaitedForAfterTheQueueClosedAndOpenedAgain)
{
    int nWakes = 0;
    CScanEventQueue queue;
    queue.Open([&] {
        ++nWakes;
        return true;
    });
    // Three events, one wake-up; the next after they were taken wakes again.
    for (int i = 0; i < 3; ++i)
        queue.Post(CScanEvent());
    EXPECT_EQ(1, nWakes);
    EXPECT_EQ(3u, queue.Take().size());
    queue.Post(CScanEvent());
    EXPECT_EQ(2, nWakes);
    queue.Take();

    // Waits up to 2 s for the worker; one that is still held is let go by
    // a close, so that a failure never hangs the test.
    auto joined = [&](std::thread& worker, std::atomic<bool>& bDone) {
        for (int i = 0; i < 2000 && !bDone; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const bool bJoined = bDone.load();
        if (!bJoined)
            queue.Close();
        worker.join();
        return bJoined;
    };
    auto ask = [&](std::atomic<bool>& bDone) {
        return std::thread([&queue, &bDone] {
            queue.PostErrorAndWait(1, ERROR_CRC);
            bDone = true;
        });
    };
    auto takeTheBox = [&] {
        for (int i = 0; i < 2000; ++i)
        {
            if (!queue.Take().empty())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    };
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        SCOPED_TRACE(nRound == 0 ? "first opened" : "opened again");
        // Shown: the worker goes on only once the box is gone.
        std::atomic<bool> bShown{false};
        std::thread worker = ask(bShown);
        EXPECT_TRUE(takeTheBox());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(bShown.load()) << "the worker waits while the box is up";
        queue.ErrorShown();
        EXPECT_TRUE(joined(worker, bShown));

        // Never shown: the close releases it; a box asked for after the
        // close is not waited for, nor queued.
        std::atomic<bool> bReleased{false}, bLate{false};
        std::thread waiting = ask(bReleased);
        EXPECT_TRUE(takeTheBox());
        queue.Close();
        EXPECT_TRUE(joined(waiting, bReleased));
        std::thread late = ask(bLate);
        EXPECT_TRUE(joined(late, bLate));
        EXPECT_TRUE(queue.Take().empty());
        queue.Open([] { return true; });
    }
}
