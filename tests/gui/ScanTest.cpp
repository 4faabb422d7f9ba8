// The scan end to end on the sample disk: rows and counters against the core
// and The Sleuth Kit, the button's states, stopping, errors, and closing the
// dialog while the worker runs or waits for the user interface.
#include "GuiTestSupport.h"
#include "support/NtfsImage.h"
#include "support/SleuthKit.h"

#include "platform/Platform.h"

#include "disk/Disk.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QTest>
#include <QTableView>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{

const QString kTextScan = QStringLiteral("扫描文件");
const QString kTextStop = QStringLiteral("停止扫描");
const QString kTextStopping = QStringLiteral("停滞中...");
const QString kTextFinished = QStringLiteral("搜索结束");

}  // namespace

class CScanTest : public QObject
{
    Q_OBJECT
private slots:
    void RowsAndCountersMatchTheCoreAndFls()
    {
        const QString strDisk = SampleDiskPath();
        CDialogOnDisk on(strDisk);
        auto& [seams, disk, dlg] = on;
        for (const QString& strPartition :
             {QStringLiteral("NTFS Drive 0"), QStringLiteral("NTFS Drive 2")})
        {
            QVERIFY(SelectPartition(dlg, strPartition));
            if (dlg.m_pScanButton->text() == kTextFinished)
                dlg.m_pScanButton->click();
            QVERIFY(ScanToEnd(dlg));
            QVERIFY(dlg.m_pScanButton->isEnabled());
            QVERIFY(seams.Errors().empty());

            // The core's own answers, record 30 to the table's end: a row for
            // each file record, none for those no file ever held.
            const DWORD dwStart = PartitionStart(dlg, strPartition);
            HANDLE hDevice = OpenFirstDisk();
            QVERIFY(hDevice != INVALID_HANDLE_VALUE);
            CNTFSDrive drive;
            QCOMPARE(salvix_test::OpenVolumeOn(drive, hDevice, dwStart), DWORD(0));
            std::vector<MFTEntryInfo> vecInfos;
            std::vector<std::string> vecNames;
            std::vector<DWORD> vecRecords;
            MFTEntryInfo info;
            MFTEntryDetails details;
            for (DWORD dwRecord = 30; dwRecord < drive.GetRecordCount(); ++dwRecord)
            {
                if (drive.ExamineRecord(dwRecord, info, details) != ntfs::ERecordKind::eFile)
                    continue;
                vecInfos.push_back(info);
                vecNames.push_back(details.strName);
                vecRecords.push_back(dwRecord);
            }
            CloseHandle(hDevice);

            const int nRows = dlg.m_pModel->rowCount();
            QCOMPARE(nRows, static_cast<int>(vecInfos.size()));
            QVERIFY(nRows >= 10);
            QVERIFY2(vecRecords.front() >= 64, "mkntfs leaves 30 to 63 formatted and free");
            int nDeleted = 0;
            for (int nRow = 0; nRow < nRows; ++nRow)
            {
                const MFTEntryInfo& expected = vecInfos[static_cast<size_t>(nRow)];
                QCOMPARE(Cell(dlg, nRow, eColumnName),
                         QString::fromStdString(vecNames[static_cast<size_t>(nRow)]));
                const DWORD dwRecord = vecRecords[static_cast<size_t>(nRow)];
                QCOMPARE(Cell(dlg, nRow, eColumnNumber), QString::number(dwRecord - 30));
                QCOMPARE(Cell(dlg, nRow, eColumnAttributes), QString::fromStdString(AttributeLabels(expected.dwFileFlags)));
                QCOMPARE(Cell(dlg, nRow, eColumnDeleted),
                         expected.bNotInUse ? QStringLiteral("是") : QString());
                QCOMPARE(Cell(dlg, nRow, eColumnClusters),
                         QString::number(static_cast<DWORD>(expected.n64Clusters)));
                nDeleted += expected.bNotInUse ? 1 : 0;
            }
            QCOMPARE(dlg.m_pTotalEdit->text(), QString::number(nRows));
            QCOMPARE(dlg.m_pDeletedEdit->text(), QString::number(nDeleted));

            // The Sleuth Kit, reading the same bytes its own way, names the same
            // files and agrees on which are deleted.
            const std::map<DWORD, CFlsRecord> mapFls = FlsEntries(strDisk, dwStart);
            int nCompared = 0, nDeletedCompared = 0;
            for (const auto& [dwRecord, entry] : mapFls)
            {
                if (dwRecord < 30)
                    continue;
                const int nRow = RowOfRecord(dlg, dwRecord);
                QVERIFY2(nRow >= 0, qPrintable(entry.m_listNames.join(QLatin1Char(','))));
                QVERIFY2(entry.m_listNames.contains(Cell(dlg, nRow, eColumnName)),
                         qPrintable(Cell(dlg, nRow, eColumnName)));
                QCOMPARE(Cell(dlg, nRow, eColumnDeleted) == QStringLiteral("是"), entry.m_bDeleted);
                ++nCompared;
                nDeletedCompared += entry.m_bDeleted ? 1 : 0;
            }
            QVERIFY(nCompared >= 10);
            QVERIFY(nDeletedCompared >= 3);
        }
    }

    void StopMidScanThenTwoPresses()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));

        // The worker waits at record 80 until the stop press has been handled.
        std::atomic<bool> bAtRecord80{false}, bRelease{false};
        CAtExit release([&] {
            bRelease = true;
            dlg.done(2);  // the worker ends before what it reads goes
        });
        CSalvixDlg::s_fnBeforeRecordHook = [&](DWORD dwIndex) {
            if (dwIndex != 80)
                return;
            bAtRecord80 = true;
            while (!bRelease)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        dlg.m_pScanButton->click();
        QCOMPARE(dlg.m_pScanButton->text(), kTextStop);
        QTRY_VERIFY(bAtRecord80.load());
        dlg.m_pScanButton->click();
        QCOMPARE(dlg.m_pScanButton->text(), kTextStopping);
        QVERIFY(!dlg.m_pScanButton->isEnabled());
        bRelease = true;
        QTRY_COMPARE(dlg.m_pScanButton->text(), kTextFinished);
        QVERIFY(dlg.m_pScanButton->isEnabled());
        // Records 64 to 80 (30 to 63 are formatted and free): the one in
        // progress at the press is still listed.
        QCOMPARE(dlg.m_pModel->rowCount(), 17);
        QCOMPARE(dlg.m_pTotalEdit->text(), QStringLiteral("17"));
        QCOMPARE(Cell(dlg, 16, eColumnNumber), QStringLiteral("50"));
        CSalvixDlg::s_fnBeforeRecordHook = nullptr;

        // The worker has ended for good: one press returns to "扫描文件"
        // without a scan, the next starts one that empties the list first.
        dlg.m_pScanButton->click();
        QCOMPARE(dlg.m_pScanButton->text(), kTextScan);
        QVERIFY(dlg.m_pScanButton->isEnabled());
        QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));
        QTest::qWait(50);
        QCOMPARE(dlg.m_pModel->rowCount(), 17);
        QVERIFY(ScanToEnd(dlg));
        QCOMPARE(dlg.m_pModel->rowCount(), 35);
        QCOMPARE(dlg.m_pTotalEdit->text(), QStringLiteral("35"));
        QVERIFY(seams.Errors().empty());
    }

    void ButtonNeverStaysDisabled()
    {
        // Presses at any moment of a short scan: every run ends enabled.
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 2")));
        for (int nRun = 0; nRun < 40; ++nRun)
        {
            dlg.m_pScanButton->click();  // start
            QTest::qWait(nRun % 7);
            dlg.m_pScanButton->click();  // stop, or acknowledge the end
            QTRY_VERIFY(dlg.m_pScanButton->isEnabled());
            if (dlg.m_pScanButton->text() == kTextFinished)
                dlg.m_pScanButton->click();
            QCOMPARE(dlg.m_pScanButton->text(), kTextScan);
            QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));
        }
        QVERIFY(seams.Errors().empty());
    }

    void EndIsShownOnlyOnceTheWorkerHasEnded()
    {
        // The worker lingers after reporting its end: a press on "搜索结束"
        // must still find it ended, or the button would stay disabled.
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 2")));
        CSalvixDlg::s_fnWorkerEndHook = [] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        };
        for (int nRun = 0; nRun < 2; ++nRun)
        {
            QVERIFY(ScanToEnd(dlg));
            DWORD dwExit = 0;
            QVERIFY(GetExitCodeThread(dlg.m_scan.m_hWorker, &dwExit));
            QVERIFY(dwExit != STILL_ACTIVE);
            dlg.m_pScanButton->click();
            QCOMPARE(dlg.m_pScanButton->text(), kTextScan);
            QVERIFY(dlg.m_pScanButton->isEnabled());
        }
    }

    void NothingSelectedKeepsTheRows()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 2")));
        QVERIFY(ScanToEnd(dlg));
        const int nRows = dlg.m_pModel->rowCount();
        QVERIFY(nRows > 0);
        // A Ctrl+click takes the selection away but leaves the caret on the
        // item: the scan reads the caret's partition.
        std::atomic<int> nAsked{0};
        CSalvixDlg::s_fnBeforeRecordHook = [&](DWORD) { ++nAsked; };
        dlg.m_pScanButton->click();
        dlg.m_pTree->clearSelection();
        QVERIFY(ScanToEnd(dlg));
        QCOMPARE(dlg.m_pModel->rowCount(), nRows);
        QVERIFY(nAsked.load() > 0);
        // No current item, or the root, which carries no partition: a press
        // changes nothing but the hint; nothing is read and the rows stay.
        nAsked = 0;
        dlg.m_pScanButton->click();
        QCOMPARE(dlg.m_pScanButton->text(), kTextScan);
        const QString strTotal = dlg.m_pTotalEdit->text();
        for (QTreeWidgetItem* pItem : {static_cast<QTreeWidgetItem*>(nullptr), dlg.m_pTreeRoot})
        {
            dlg.m_pTree->setCurrentItem(pItem);
            dlg.m_pScanButton->click();
            QCOMPARE(dlg.m_pScanButton->text(), kTextScan);
            QVERIFY(dlg.m_pScanButton->isEnabled());
            QCOMPARE(dlg.m_pHintLabel->text(), QStringLiteral("请先选择一个分区"));
            QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));
            QTest::qWait(30);
            QCOMPARE(dlg.m_pModel->rowCount(), nRows);
            QCOMPARE(dlg.m_pTotalEdit->text(), strTotal);
        }
        QCOMPARE(nAsked.load(), 0);
        QVERIFY(seams.Errors().empty());
    }

    void Fat32ListsWhatFlsNamesAndSavesAsIcat()
    {
        const QString strDisk = SampleDiskPath();
        CDialogOnDisk on(strDisk);
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("FAT32 Drive 1")));
        QVERIFY(ScanToEnd(dlg));
        QVERIFY(seams.Errors().empty());
        const DWORD dwStart = PartitionStart(dlg, QStringLiteral("FAT32 Drive 1"));
        std::vector<salvix_test::CFlsEntry> vecFls;
        QVERIFY(salvix_test::FlsFatFiles(strDisk.toStdString(), dwStart, vecFls));
        const int nRows = dlg.m_pModel->rowCount();
        QCOMPARE(nRows, static_cast<int>(vecFls.size()));
        QCOMPARE(dlg.m_pHintLabel->text(), QStringLiteral("扫描完成：%1 条记录").arg(nRows));
        // Each row under its name and folder, deleted where fls says so,
        // numbered by its place in the walk.
        std::map<int, QString> mapInode;
        int nDeleted = 0;
        for (const salvix_test::CFlsEntry& e : vecFls)
        {
            const QString strPath = QStringLiteral("\\") + QString::fromStdString(e.m_strPath).replace(QLatin1Char('/'), QLatin1Char('\\'));
            int nFound = -1;
            for (int nRow = 0; nRow < nRows; ++nRow)
            {
                const QString strFolder = Cell(dlg, nRow, eColumnPath);
                const QString strRow = (strFolder.endsWith(QLatin1Char('\\')) ? strFolder : strFolder + QLatin1Char('\\')) +
                                       Cell(dlg, nRow, eColumnName);
                if (strRow == strPath)
                    nFound = nRow;
            }
            QVERIFY2(nFound >= 0, e.m_strPath.c_str());
            QCOMPARE(Cell(dlg, nFound, eColumnDeleted), e.m_bDeleted ? QStringLiteral("是") : QString());
            QCOMPARE(Cell(dlg, nFound, eColumnNumber), QString::number(dlg.m_pModel->RecordOf(nFound)));
            nDeleted += e.m_bDeleted ? 1 : 0;
            if (!e.IsDirectory())
                mapInode[nFound] = QString::number(e.m_n64Record);
        }
        QCOMPARE(dlg.m_pDeletedEdit->text(), QString::number(nDeleted));
        QVERIFY(nDeleted >= 2);

        // Every file saved, deleted ones too, holds what icat gives.
        QList<int> listRows;
        for (const auto& [nRow, strInode] : mapInode)
            listRows << nRow;
        SelectRows(dlg, listRows);
        const QString strFolder = FreshFolder(QStringLiteral("fat32-icat"));
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };
        QWidget* pViewport = dlg.m_pList->viewport();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), pViewport->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(pViewport, &event);
        QVERIFY(seams.Errors().empty());
        for (const auto& [nRow, strInode] : mapInode)
        {
            std::vector<uint8_t> vecIcat;
            QVERIFY(salvix_test::Icat(strDisk.toStdString(), dwStart, strInode.toStdString(), vecIcat));
            QFile saved(strFolder + QLatin1Char('/') + Cell(dlg, nRow, eColumnName));
            QVERIFY2(saved.open(QIODevice::ReadOnly), qPrintable(saved.fileName()));
            QCOMPARE(saved.readAll(), QByteArray(reinterpret_cast<const char*>(vecIcat.data()), static_cast<int>(vecIcat.size())));
        }
    }

    void AnUnreadablePartitionShowsTheErrorAndReopensTheDiskNextTime()
    {
        CDialogOnDisk on(SampleWithUnreadablePartition(QStringLiteral("scan-unreadable")));
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        QVERIFY(dlg.m_session.HasDevice());
        const QString strTotal = dlg.m_pTotalEdit->text();
        const QString strDeleted = dlg.m_pDeletedEdit->text();

        dlg.m_pScanButton->click();
        QVERIFY(SelectPartition(dlg, QStringLiteral("FAT32 Drive 1")));
        QVERIFY(ScanToEnd(dlg));
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_INVALID_DRIVE});
        QCOMPARE(dlg.m_pModel->rowCount(), 0);
        QVERIFY(!dlg.m_session.HasDevice());
        // Nothing was listed, so the counters keep the last scan's values.
        QCOMPARE(dlg.m_pTotalEdit->text(), strTotal);
        QCOMPARE(dlg.m_pDeletedEdit->text(), strDeleted);

        dlg.m_pScanButton->click();
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 2")));
        QVERIFY(ScanToEnd(dlg));
        QVERIFY(dlg.m_session.HasDevice());
        QVERIFY(dlg.m_pModel->rowCount() > 0);
        QCOMPARE(seams.Errors().size(), size_t(1));
    }

    void ScansInARowShareTheDeviceHandle()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        const HANDLE hFirst = dlg.m_session.DeviceHandle();
        const QString strLastName = Cell(dlg, dlg.m_pModel->rowCount() - 1, eColumnName);
        dlg.m_pScanButton->click();
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 2")));
        QVERIFY(ScanToEnd(dlg));
        QCOMPARE(dlg.m_session.DeviceHandle(), hFirst);
        QVERIFY(Cell(dlg, dlg.m_pModel->rowCount() - 1, eColumnName) != strLastName);
    }

    void TwoDisksGiveANodeEachAndScanTheirOwnPartitions()
    {
        // As "salvix A.img B.img" gives them: the second is a copy of the
        // sample with its first partition's boot sector wiped.
        CDialogSeams seams;
        const QString strSecond = FreshFolder(QStringLiteral("scan-two-disks")) + QStringLiteral("/b.img");
        QVERIFY(QFile::copy(SampleDiskPath(), strSecond));
        const DWORD dwStart = [&] {
            CDiskGuard disk(SampleDiskPath().toStdString());
            CSalvixDlg probe;
            probe.show();
            return PartitionStart(probe, QStringLiteral("NTFS Drive 0"));
        }();
        {
            QFile file(strSecond);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(static_cast<qint64>(dwStart) * 512);
            file.write(QByteArray(512, '\0'));
        }
        const auto disks = CDiskGuard::Given({SampleDiskPath().toStdString(), strSecond.toStdString()});
        CSalvixDlg dlg;
        dlg.show();
        QCOMPARE(dlg.m_pTreeRoot->childCount(), 2);
        QVERIFY(dlg.m_pTreeRoot->child(0)->text(0).startsWith(QStringLiteral("Disk 0: ")));
        QVERIFY(dlg.m_pTreeRoot->child(1)->text(0).startsWith(QStringLiteral("Disk 1: ") + strSecond));
        QCOMPARE(dlg.m_pTreeRoot->child(1)->child(0)->text(0), QStringLiteral("NTFS Drive 0"));

        // The second disk's first partition is no longer NTFS; the first disk's is.
        dlg.m_pTree->setCurrentItem(dlg.m_pTreeRoot->child(1)->child(0));
        QVERIFY(ScanToEnd(dlg));
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_INVALID_DRIVE});
        dlg.m_pScanButton->click();
        dlg.m_pTree->setCurrentItem(dlg.m_pTreeRoot->child(0)->child(0));
        QVERIFY(ScanToEnd(dlg));
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_INVALID_DRIVE});
        QVERIFY(dlg.m_pModel->rowCount() > 30);
    }

    void MissingDiskIsReported()
    {
        CDialogSeams seams;
        CSalvixDlg* pDlg = nullptr;
        {
            CDiskGuard disk(SampleDiskPath().toStdString());
            pDlg = new CSalvixDlg;
            pDlg->show();
        }
        CDiskGuard missing((FreshFolder(QStringLiteral("scan-nodisk")) + QStringLiteral("/gone.img")).toStdString());
        QVERIFY(SelectPartition(*pDlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(*pDlg));
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_FILE_NOT_FOUND});
        QVERIFY(!pDlg->m_session.HasDevice());
        QCOMPARE(pDlg->m_pModel->rowCount(), 0);
        delete pDlg;
    }

    void ClosingDuringALongScanWaitsForTheWorker()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        std::atomic<int> nRecords{0};
        CSalvixDlg::s_fnBeforeRecordHook = [&](DWORD) {
            ++nRecords;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        };
        CAtExit release([&] { dlg.done(2); });
        dlg.m_pScanButton->click();
        QTRY_VERIFY(nRecords.load() >= 5);
        dlg.m_pExitButton->click();
        // The worker has ended before the window went, and the handle is closed.
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));
        QVERIFY(!dlg.m_session.HasDevice());
        const int nAtClose = nRecords.load();
        QVERIFY(nAtClose < 69);
        QTest::qWait(50);
        QCOMPARE(nRecords.load(), nAtClose);
    }

    void ClosingWhileTheWorkerWaitsForAnErrorBox()
    {
        // The worker asks for a box the user interface has not shown yet: the
        // closing dialog must not wait on a worker that waits on it.
        CDialogOnDisk on(SampleWithUnreadablePartition(QStringLiteral("close-waiting")));
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("FAT32 Drive 1")));
        dlg.m_pScanButton->click();
        DWORD dwExit = STILL_ACTIVE;
        for (int i = 0;
             i < 50 && GetExitCodeThread(dlg.m_scan.m_hWorker, &dwExit) && dwExit == STILL_ACTIVE; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QCOMPARE(dwExit, DWORD(STILL_ACTIVE));  // blocked on the box, events not processed
        dlg.done(2);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));
        QTest::qWait(20);
        QVERIFY(seams.Errors().empty());
    }

    void ClosingFromInsideTheErrorBox()
    {
        // The box is up (on the user interface thread, the worker waiting for
        // it) when the dialog is closed.
        CDialogOnDisk on(SampleWithUnreadablePartition(QStringLiteral("close-in-box")));
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("FAT32 Drive 1")));
        std::vector<DWORD> vecCodes;
        CSalvixDlg::s_fnErrorHook = [&](DWORD dwCode) {
            vecCodes.push_back(dwCode);
            dlg.done(2);
        };
        dlg.m_pScanButton->click();
        QTRY_VERIFY(!dlg.isVisible());
        QCOMPARE(vecCodes, std::vector<DWORD>{ERROR_INVALID_DRIVE});
        QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));
        QVERIFY(!dlg.m_session.HasDevice());
    }

    void DestroyingTheDialogDuringAScan()
    {
        CDialogSeams seams;
        CDiskGuard disk(SampleDiskPath().toStdString());
        auto pDlg = std::make_unique<CSalvixDlg>();
        pDlg->show();
        QVERIFY(SelectPartition(*pDlg, QStringLiteral("NTFS Drive 2")));
        CSalvixDlg::s_fnBeforeRecordHook = [](DWORD) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        pDlg->m_pScanButton->click();
        QTest::qWait(30);
        pDlg.reset();
        // Queued rows for the gone dialog are dropped, not delivered.
        QTest::qWait(50);
    }
};

QTEST_MAIN(CScanTest)
#include "ScanTest.moc"
