// A scan of a volume whose table takes long to read: Stop and closing the
// window are answered at once, and a save pressed meanwhile waits without
// freezing the window.
#include "GuiTestSupport.h"

#include "support/NtfsImage.h"
#include "support/Faults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

using namespace salvix_test;

namespace
{

const DWORD kTableRecords = 16 * 1024;  // 16 MiB: sixteen reads of the table
const DWORD kReadDelayMs = 40;
// A stop or a close answered at once takes a few ms; one that waited for the
// load would take the sixteen slow reads, 640 ms. The margin between is for
// a machine busy with other builds.
const qint64 kAnsweredMs = 250;

// A disk whose table has many records, the first few of them files.
class CLargeTableDisk
{
public:
    CLargeTableDisk()
    {
        for (DWORD i = 0; i < 3; ++i)
        {
            CRecordImage& record = m_disk.Record(30 + i);
            record.AddResident(0x30, FileNameValue(i == 0 ? u"first.txt" : u"other.txt"));
            record.AddResident(0x80, {'a', 'b', 'c', static_cast<BYTE>('0' + i)});
        }
        m_disk.Build(kTableRecords);
    }
    // From now on every read of the table past its first cluster is slow.
    void MakeSlow()
    {
        InjectFault(CDeviceFault::eSlowRead, m_disk.MftPosition() + 4096, kReadDelayMs);
    }
    CTestDisk m_disk;
};

}  // namespace

class CSlowLoadTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ClearFaults(); }

    void StopIsAnsweredDuringTheLoad()
    {
        CLargeTableDisk disk;
        CDialogOnDisk on(QString::fromStdString(disk.m_disk.Path()));
        auto& [seams, guard, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        disk.MakeSlow();
        dlg.m_pScanButton->click();
        QTest::qWait(3 * kReadDelayMs);
        // The hint tells the scan is under way, with the share read so far.
        QCOMPARE(dlg.m_pHintLabel->text(), QStringLiteral("正在扫描 0%，请耐心等待"));
        QElapsedTimer timer;
        timer.start();
        dlg.m_pScanButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_scan.State(), EScanState::eFinished, 2000);
        QVERIFY2(timer.elapsed() < kAnsweredMs, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(seams.Errors().empty());
        QCOMPARE(dlg.m_pModel->rowCount(), 0);
        // Stopped before the table was open: none of it was read.
        QCOMPARE(dlg.m_pHintLabel->text(), QStringLiteral("已停止：读到表的 0%"));
    }

    void ClosingIsAnsweredDuringTheLoad()
    {
        CLargeTableDisk disk;
        CDialogOnDisk on(QString::fromStdString(disk.m_disk.Path()));
        auto& [seams, guard, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        disk.MakeSlow();
        dlg.m_pScanButton->click();
        QTest::qWait(3 * kReadDelayMs);
        QElapsedTimer timer;
        timer.start();
        dlg.m_pExitButton->click();
        QVERIFY2(timer.elapsed() < kAnsweredMs, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));
        QVERIFY(!dlg.m_session.HasDevice());
    }

    void SaveDuringTheLoadKeepsTheWindowAlive()
    {
        CLargeTableDisk disk;
        CDialogOnDisk on(QString::fromStdString(disk.m_disk.Path()));
        auto& [seams, guard, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        dlg.m_pScanButton->click();
        QCOMPARE(dlg.m_pModel->rowCount(), 3);  // the slots after them hold no record
        SelectRows(dlg, {0});
        const QString strFolder = FreshFolder(QStringLiteral("slow-load-save"));
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };

        // The next scan holds the volume while its table loads; the save
        // pressed then must let the window go on answering.
        disk.MakeSlow();
        dlg.m_pScanButton->click();
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * kReadDelayMs));
        int nTicks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++nTicks; });
        ticker.start(10);
        bool bWaitCursor = false;
        CSalvixDlg::s_fnSaveStepHook = [&] { bWaitCursor = bWaitCursor || QApplication::overrideCursor(); };
        QElapsedTimer timer;
        timer.start();
        dlg.OnSaveSelected();
        const qint64 nSaveMs = timer.elapsed();
        QVERIFY2(nSaveMs > 200, "the save waited for the load");
        // A window that froze would see no tick at all; a busy machine (the
        // sanitizer build, other builds) lets through far fewer than one in
        // 10 ms, so one in 100 ms is asked.
        QVERIFY2(nTicks >= 3 && nTicks > static_cast<int>(nSaveMs / 100), "events flowed while it waited");
        QVERIFY(bWaitCursor);
        QVERIFY(seams.Errors().empty());
        QCOMPARE(QDir(strFolder).entryList(QDir::Files), QStringList{QStringLiteral("first.txt")});
        dlg.m_scan.m_bStop = 1;
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_scan.State(), EScanState::eFinished, 5000);
    }
};

QTEST_MAIN(CSlowLoadTest)
#include "SlowLoadTest.moc"
