// A failing disk as the user meets it: each fault, at each stage, reaches the
// "GetLastError" box as its code; what was listed before it stays listed;
// nothing hangs, and the next scan works again.
#include "GuiTestSupport.h"
#include "support/Faults.h"
#include "support/ScanSink.h"
#include "support/NtfsImage.h"

#include "ntfs/EntryData.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

class CFaultTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ClearFaults(); }

    void PartitionWalkFailureKeepsTheItemsBeforeIt()
    {
        // The sample disk's second extended boot record cannot be read.
        CDialogSeams seams;
        CDiskGuard disk(SampleDiskPath().toStdString());
        CSalvixDlg probe;
        probe.show();
        const DWORD dwLast = PartitionStart(probe, QStringLiteral("NTFS Drive 2"));
        QVERIFY(dwLast > 2048);
        probe.close();
        // The record that lists the last partition lies 2048 sectors before it.
        salvix_test::InjectFault(CDeviceFault::eReadError, (static_cast<ULONGLONG>(dwLast) - 2048) * 512 + 7,
                                 ERROR_CRC);
        CSalvixDlg dlg;
        dlg.show();
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_CRC});
        QCOMPARE(dlg.m_pTreeRoot->childCount(), 2);
        QCOMPARE(dlg.m_pTreeRoot->child(0)->text(0), QStringLiteral("NTFS Drive 0"));
        QCOMPARE(dlg.m_pTreeRoot->child(1)->text(0), QStringLiteral("FAT32 Drive 1"));
    }

    void OpeningFaultsAreShownAndTheNextScanWorks_data()
    {
        QTest::addColumn<int>("nKind");
        QTest::addColumn<int>("nWhere");  // 0 boot sector, 1 record 0, 2 the table at record 30
        QTest::addColumn<uint>("dwError");
        QTest::addColumn<uint>("dwShown");
        QTest::newRow("boot sector read error")
            << int(CDeviceFault::eReadError) << 0 << ERROR_IO_DEVICE << ERROR_IO_DEVICE;
        QTest::newRow("boot sector cut short") << int(CDeviceFault::eEndOfDevice) << 0 << 0u << ERROR_READ_FAULT;
        QTest::newRow("seek to the volume fails") << int(CDeviceFault::eSeekError) << 0 << ERROR_SEEK << ERROR_SEEK;
        QTest::newRow("record 0 read error") << int(CDeviceFault::eReadError) << 1 << ERROR_CRC << ERROR_CRC;
        QTest::newRow("record 0 cut short") << int(CDeviceFault::eShortRead) << 1 << 0u << ERROR_INVALID_PARAMETER;
        // A table that cannot be read from record 30 on: the volume opens, its
        // records are counted as unread and the count is shown once.
        QTest::newRow("table ends inside its runs") << int(CDeviceFault::eEndOfDevice) << 2 << 0u << ERROR_READ_FAULT;
        QTest::newRow("table read error") << int(CDeviceFault::eReadError) << 2 << ERROR_IO_DEVICE << ERROR_READ_FAULT;
    }

    void OpeningFaultsAreShownAndTheNextScanWorks()
    {
        QFETCH(int, nKind);
        QFETCH(int, nWhere);
        QFETCH(uint, dwError);
        QFETCH(uint, dwShown);
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        const ULONGLONG n64Start = PartitionStart(dlg, QStringLiteral("NTFS Drive 0")) * 512ull;
        const salvix_test::CBootGeometry boot = salvix_test::ReadBootGeometry(SampleDiskPath().toStdString(), n64Start);
        QVERIFY(boot.m_dwClusterSize > 0);
        // The table is read as its records are asked for: a fault at record 30,
        // the first looked at, lists no row.
        const ULONGLONG n64Offsets[] = {n64Start + 100, boot.m_n64Table + 512,
                                        boot.m_n64Table + 30 * boot.m_dwRecordSize + 100};
        salvix_test::InjectFault(static_cast<CDeviceFault::EKind>(nKind), n64Offsets[nWhere], dwError);

        QVERIFY(ScanToEnd(dlg, 20000));
        QCOMPARE(seams.Errors(), std::vector<DWORD>{dwShown});
        // Only a device that ends at record 30 loses every row; one bad
        // sector there costs that record alone.
        const bool bEveryRowLost = nWhere < 2 || nKind == int(CDeviceFault::eEndOfDevice);
        QCOMPARE(dlg.m_pModel->rowCount() == 0, bEveryRowLost);
        QCOMPARE(dlg.m_session.HasDevice(), nWhere == 2);
        QVERIFY(dlg.m_pScanButton->isEnabled());

        // The disk recovers: the next scan opens it again and lists the records.
        ClearFaults();
        dlg.m_pScanButton->click();
        QVERIFY(ScanToEnd(dlg, 20000));
        QVERIFY(dlg.m_pModel->rowCount() > 30);
        QCOMPARE(seams.Errors().size(), size_t(1));
    }

    void ReadErrorInTheMiddleOfTheTableCostsOnlyItsRecord()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg, 20000));
        const int nRows = dlg.m_pModel->rowCount();
        QVERIFY(nRows > 30);
        // The record of the middle row cannot be read: every other row is
        // listed, and the count of records not read is shown once at the end.
        const int nMiddle = nRows / 2;
        const DWORD dwLost = dlg.m_pModel->RecordOf(nMiddle);
        const DWORD dwAfter = dlg.m_pModel->RecordOf(nMiddle + 1);
        const ULONGLONG n64Start = PartitionStart(dlg, QStringLiteral("NTFS Drive 0")) * 512ull;
        const salvix_test::CBootGeometry boot = salvix_test::ReadBootGeometry(SampleDiskPath().toStdString(), n64Start);
        salvix_test::InjectFault(CDeviceFault::eReadError,
                                 boot.m_n64Table + dlg.m_pModel->RecordOf(nMiddle) * boot.m_dwRecordSize + 100,
                                 ERROR_CRC);
        dlg.m_pScanButton->click();
        QVERIFY(ScanToEnd(dlg, 20000));
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_READ_FAULT});
        QCOMPARE(dlg.m_pModel->rowCount(), nRows - 1);
        QCOMPARE(dlg.m_pTotalEdit->text(), QString::number(nRows - 1));
        QCOMPARE(RowOfRecord(dlg, dwLost), -1);
        QCOMPARE(RowOfRecord(dlg, dwAfter), nMiddle);
    }

    void OutOfMemoryForTheTable()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        SetAllocationFault(32 * 1024);  // the sample's tables are larger; records are not
        QVERIFY(ScanToEnd(dlg, 20000));
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_NOT_ENOUGH_MEMORY});
        QCOMPARE(dlg.m_pModel->rowCount(), 0);
    }

    void MemoryRunningOutWhileListingStopsNothing()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg, 20000));
        const int nRows = dlg.m_pModel->rowCount();
        QVERIFY(nRows > 30);
        // Describing a record needs no memory beyond the record: with every
        // allocation failing from record 70 on, the listing is the same.
        dlg.m_pScanButton->click();
        CSalvixDlg::s_fnBeforeRecordHook = [](DWORD dwIndex) {
            if (dwIndex == 70)
                SetAllocationFault(0);
        };
        QVERIFY(ScanToEnd(dlg, 20000));
        ClearFaults();
        QCOMPARE(seams.Errors(), std::vector<DWORD>{});
        QCOMPARE(dlg.m_pModel->rowCount(), nRows);
        QCOMPARE(dlg.m_pTotalEdit->text(), QString::number(nRows));
        QVERIFY(dlg.m_session.HasDevice());
    }

    void ABadSectorWhileSavingIsReportedOnceAndTheFileKept()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg, 20000));

        // A small file whose data lies in its record (config.ini), then one,
        // deleted or not, whose data lies in clusters of its own.
        int nResident = -1, nClusters = -1;
        for (int nRow = 0; nRow < dlg.m_pModel->rowCount(); ++nRow)
        {
            const QString strName = Cell(dlg, nRow, 0);
            const bool bFile = !strName.isEmpty() && !Cell(dlg, nRow, 2).contains(QStringLiteral("文件夹"));
            const int nCount = Cell(dlg, nRow, 4).toInt();
            if (bFile && nResident < 0 && strName == QStringLiteral("config.ini"))
                nResident = nRow;
            else if (bFile && nResident >= 0 && nClusters < 0 && nCount > 4)
                nClusters = nRow;
        }
        QVERIFY2(nResident >= 0 && nClusters > nResident, "the sample disk has a small and a large file");

        const QString strFolder = FreshFolder(QStringLiteral("fault-save"));
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };
        SelectRows(dlg, {nResident, nClusters});
        // The large file's first cluster cannot be read; the resident file
        // and the table are read as ever.
        const ULONGLONG n64Start = PartitionStart(dlg, QStringLiteral("NTFS Drive 0")) * 512ull;
        const salvix_test::CBootGeometry boot = salvix_test::ReadBootGeometry(SampleDiskPath().toStdString(), n64Start);
        CEntryData data;
        QCOMPARE(salvix_test::NtfsDrive(dlg.m_session).OpenEntryData(dlg.m_pModel->RecordOf(nClusters), data), DWORD(0));
        QVERIFY(!data.Stream(0).m_vecExtents.empty());
        const ULONGLONG n64Cluster = data.Stream(0).m_vecExtents[0].m_n64Lcn;
        salvix_test::InjectFault(CDeviceFault::eReadError, n64Start + n64Cluster * boot.m_dwClusterSize + 100, ERROR_CRC);
        dlg.OnSaveSelected();
        ClearFaults();
        // The sector that failed is zeros in the file, which is kept; one
        // report says so, and is written beside the files.
        QVERIFY(seams.Errors().empty());
        QCOMPARE(seams.Reports().size(), 1);
        QVERIFY(seams.Reports()[0].contains(QStringLiteral("无法读取")));
        const QStringList listSaved = QDir(strFolder).entryList(QDir::Files);
        QCOMPARE(listSaved.size(), 3);
        QVERIFY(listSaved.contains(Cell(dlg, nResident, 0)));
        QVERIFY(listSaved.contains(Cell(dlg, nClusters, 0)));
        QVERIFY(listSaved.contains(QStringLiteral("保存结果.txt")));
        // The list and the open volume are as they were.
        QVERIFY(dlg.m_pModel->rowCount() > 30);
    }
};

QTEST_MAIN(CFaultTest)
#include "FaultTest.moc"
