// The window as people use it: closing asks before a listing is lost, the
// window resizes with nothing out of reach, no text is cut, the hint says
// what happened, a line counts the shown and selected rows, and a
// partition's tip gives its size and label.
#include "GuiTestSupport.h"

#include "support/SleuthKit.h"

#include "disk/DiskLayout.h"
#include "session/RowText.h"
#include "ui/qt/AboutDlg.h"
#include "ui/qt/DialogUnits.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{

const QString kCloseQuestion = QStringLiteral("关闭窗口将丢失扫描结果，确定退出吗？");

// Every control the layout places.
QList<QWidget*> PlacedControls(CSalvixDlg& dlg)
{
    return {dlg.m_pExitButton, dlg.m_pTree,         dlg.m_pFilterEdit,   dlg.m_pDeletedOnlyCheck,
            dlg.m_pList,       dlg.m_pScanButton,   dlg.m_pTotalLabel,   dlg.m_pDeletedLabel,
            dlg.m_pTotalEdit,  dlg.m_pDeletedEdit,  dlg.m_pShownLabel,   dlg.m_pHintLabel,
            dlg.m_pRecoverableOnlyCheck};
}

// Each control inside the window and none over another; "" when so.
QString PlacementFault(CSalvixDlg& dlg)
{
    const QList<QWidget*> listControls = PlacedControls(dlg);
    const QRect rectClient = dlg.rect();
    for (int i = 0; i < listControls.size(); ++i)
    {
        const QRect rect = listControls[i]->geometry();
        if (rect.isEmpty() || !rectClient.contains(rect))
            return listControls[i]->objectName() + QStringLiteral(" leaves the window");
        for (int j = i + 1; j < listControls.size(); ++j)
            if (rect.intersects(listControls[j]->geometry()))
                return listControls[i]->objectName() + QStringLiteral(" covers ") + listControls[j]->objectName();
    }
    return QString();
}

// A one-line label shows all of this text.
bool FitsOnOneLine(const QLabel* pLabel, const QString& strText)
{
    return pLabel->fontMetrics().horizontalAdvance(strText) <= pLabel->width() &&
           pLabel->fontMetrics().height() <= pLabel->height();
}

// A word-wrapping label shows all of this text.
bool FitsWrapped(const QLabel* pLabel, const QString& strText)
{
    const QRect rectNeeded = pLabel->fontMetrics().boundingRect(
        QRect(0, 0, pLabel->width(), 10000), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, strText);
    return rectNeeded.width() <= pLabel->width() && rectNeeded.height() <= pLabel->height();
}

bool ScanPartitionToEnd(CSalvixDlg& dlg, const QString& strPartition)
{
    if (!SelectPartition(dlg, strPartition))
        return false;
    if (dlg.m_pScanButton->text() == QStringLiteral("搜索结束"))
        dlg.m_pScanButton->click();
    return ScanToEnd(dlg);
}

}  // namespace

class CWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void EveryWayOfClosingAsksOnceWhileAListingIsShown_data()
    {
        QTest::addColumn<QString>("strHow");
        QTest::addColumn<int>("nResult");
        for (const QString& strHow : {QStringLiteral("Exit"), QStringLiteral("Esc"), QStringLiteral("Enter on the list"),
                                      QStringLiteral("title bar"), QStringLiteral("system menu")})
            QTest::newRow(qPrintable(strHow)) << strHow << (strHow == QStringLiteral("Enter on the list") ? 1 : 2);
    }

    void EveryWayOfClosingAsksOnceWhileAListingIsShown()
    {
        QFETCH(QString, strHow);
        QFETCH(int, nResult);
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(ScanPartitionToEnd(dlg, QStringLiteral("NTFS Drive 2")));
        auto close = [&] {
            if (strHow == QStringLiteral("Exit"))
                dlg.m_pExitButton->click();
            else if (strHow == QStringLiteral("Esc"))
            {
                dlg.m_pTree->setFocus();
                QTest::keyClick(dlg.m_pTree, Qt::Key_Escape);
            }
            else if (strHow == QStringLiteral("Enter on the list"))
            {
                dlg.m_pList->setFocus();
                QTest::keyClick(dlg.m_pList, Qt::Key_Return);
            }
            else if (strHow == QStringLiteral("title bar"))
                dlg.close();
            else
                dlg.OnSysCommand(0xF060);
        };
        // "No" keeps the window and its rows; "yes" closes it.
        seams.Answer(false);
        close();
        QCOMPARE(seams.Questions(), QStringList{kCloseQuestion});
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.m_pModel->rowCount() > 0);
        seams.Answer(true);
        close();
        QCOMPARE(seams.Questions().size(), 2);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), nResult);
    }

    void TheWindowResizesAndNothingIsOutOfReach_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("a 640 x 480 screen") << QSize(640, 480);
        QTest::newRow("larger") << QSize(1100, 700);
        QTest::newRow("below the least") << QSize(200, 100);
    }

    void TheWindowResizesAndNothingIsOutOfReach()
    {
        QFETCH(QSize, size);
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QCOMPARE(PlacementFault(dlg), QString());
        const QSize sizeDefault = dlg.size();
        const QSize sizeList = dlg.m_pList->size();
        QVERIFY(dlg.minimumWidth() <= 620 && dlg.minimumHeight() <= 440);
        QVERIFY(ScanPartitionToEnd(dlg, QStringLiteral("NTFS Drive 0")));

        dlg.resize(size);
        const QSize sizeNow = size.expandedTo(dlg.minimumSize());
        QTRY_COMPARE(dlg.size(), sizeNow);
        QCOMPARE(PlacementFault(dlg), QString());
        // The list takes what the window gains or gives.
        QCOMPARE(dlg.m_pList->size(), sizeList + (sizeNow - sizeDefault));
        // The last column is reached by scrolling.
        const QModelIndex indexPath = dlg.m_pModel->index(dlg.m_pModel->rowCount() - 1, eColumnPath);
        dlg.m_pList->scrollTo(indexPath);
        const QRect rectCell = dlg.m_pList->visualRect(indexPath);
        QVERIFY(dlg.m_pList->viewport()->rect().intersects(rectCell));
        QVERIFY(rectCell.left() >= 0);
    }

    void TheWindowMaximises()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        const QSize sizeList = dlg.m_pList->size();
        dlg.showMaximized();
        QTRY_VERIFY(dlg.isMaximized());
        QTRY_VERIFY(dlg.m_pList->width() > sizeList.width());
        QCOMPARE(PlacementFault(dlg), QString());
        dlg.showNormal();
        QTRY_COMPARE(dlg.m_pList->size(), sizeList);
    }

    void NoTextIsCutAtTheDefaultSize()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        for (const QLabel* pLabel : {dlg.m_pTotalLabel, dlg.m_pDeletedLabel})
            QVERIFY2(FitsOnOneLine(pLabel, pLabel->text()), qPrintable(pLabel->text()));
        // The longest texts the hint and the line under the counters take.
        CScanEnd stopped;
        stopped.m_bStopped = true;
        stopped.m_dwRecordsDone = 1;
        stopped.m_dwRecords = 1;
        CScanEnd failed;
        failed.m_dwCode = ERROR_CRC;
        failed.m_dwRows = 0xFFFFFFFF;
        CScanEnd finished;
        finished.m_dwRows = 0xFFFFFFFF;
        // Whole, but without the allocation map: a second line.
        CScanEnd withoutMap = finished;
        withoutMap.m_dwMapCode = ERROR_INVALID_DATA;
        const std::string vecHints[] = {ReadyHint(),           NoPartitionHint(),    ScanHintText(100, 100),
                                        ScanEndHint(stopped),  ScanEndHint(failed),  ScanEndHint(finished),
                                        ScanEndHint(withoutMap)};
        for (const std::string& strHint : vecHints)
            QVERIFY2(FitsWrapped(dlg.m_pHintLabel, QString::fromStdString(strHint)), strHint.c_str());
        const QString strShown = QString::fromStdString(ShownRowsText(4294967295u, 4294967295u));
        QVERIFY2(FitsOnOneLine(dlg.m_pShownLabel, strShown), qPrintable(strShown));
        for (QWidget* pControl : {static_cast<QWidget*>(dlg.m_pDeletedOnlyCheck),
                                  static_cast<QWidget*>(dlg.m_pRecoverableOnlyCheck),
                                  static_cast<QWidget*>(dlg.m_pScanButton), static_cast<QWidget*>(dlg.m_pExitButton)})
            QVERIFY2(pControl->sizeHint().width() <= pControl->width(), qPrintable(pControl->objectName()));

        // The list's headings, each within its column.
        QHeaderView* pHeader = dlg.m_pList->horizontalHeader();
        const int nMargins = 2 * pHeader->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, pHeader);
        for (int nColumn = 0; nColumn < eColumnCount; ++nColumn)
        {
            const QString strHeading = dlg.m_pModel->headerData(nColumn, Qt::Horizontal).toString();
            QVERIFY2(pHeader->fontMetrics().horizontalAdvance(strHeading) + nMargins <= pHeader->sectionSize(nColumn),
                     qPrintable(strHeading));
        }

        CAboutDlg about(&dlg);
        QVERIFY(FitsOnOneLine(about.m_pVersion, about.m_pVersion->text()));
        QVERIFY(FitsWrapped(about.m_pSecondLine, about.m_pSecondLine->text()));
        QVERIFY(about.m_pSecondLine->geometry().bottom() < about.height());
        QVERIFY(!about.m_pSecondLine->geometry().intersects(about.m_pOkButton->geometry()));
    }

    void TheHintSaysWhatHappened()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        // No partition: nothing changes but the hint.
        dlg.m_pTree->setCurrentItem(nullptr);
        dlg.m_pScanButton->click();
        QCOMPARE(dlg.m_pHintLabel->text(), QStringLiteral("请先选择一个分区"));
        QCOMPARE(dlg.m_pScanButton->text(), QStringLiteral("扫描文件"));
        QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));

        // To the end: the count of records listed.
        QVERIFY(ScanPartitionToEnd(dlg, QStringLiteral("NTFS Drive 0")));
        const int nRows = dlg.m_pModel->rowCount();
        QCOMPARE(dlg.m_pHintLabel->text(), QStringLiteral("扫描完成：%1 条记录").arg(nRows));
        // The first files of a made volume start at record 64: the stop
        // below comes a few records into them.
        const DWORD dwStopAt = 70;
        int nRowsToStop = 0;
        for (int nRow = 0; nRow < nRows; ++nRow)
            nRowsToStop += dlg.m_pModel->RecordOf(nRow) <= dwStopAt ? 1 : 0;
        QVERIFY(nRowsToStop > 0 && nRowsToStop < nRows);

        // Stopped at record 70, which is still listed: how far into the
        // table, whose length The Sleuth Kit gives.
        std::atomic<bool> bAtStop{false}, bRelease{false};
        CAtExit release([&] { bRelease = true; });
        CSalvixDlg::s_fnBeforeRecordHook = [&](DWORD dwRecord) {
            if (dwRecord != dwStopAt)
                return;
            bAtStop = true;
            while (!bRelease)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        dlg.m_pScanButton->click();
        dlg.m_pScanButton->click();
        QTRY_VERIFY(bAtStop.load());
        dlg.m_pScanButton->click();
        bRelease = true;
        QTRY_COMPARE(dlg.m_pScanButton->text(), QStringLiteral("搜索结束"));
        QCOMPARE(dlg.m_pModel->rowCount(), nRowsToStop);
        salvix_test::CFsstatInfo fsstat;
        QVERIFY(salvix_test::Fsstat(SampleDiskPath().toStdString(), PartitionStart(dlg, QStringLiteral("NTFS Drive 0")), fsstat));
        QVERIFY(fsstat.m_n64Records > dwStopAt + 1);
        QCOMPARE(dlg.m_pHintLabel->text(),
                 QStringLiteral("已停止：读到表的 %1%").arg((dwStopAt + 1) * 100 / fsstat.m_n64Records));

    }

    void AnUnreadablePartitionGivesTheBoxThenWhatToDo()
    {
        // A partition that holds no volume the program reads: the box, then what to do.
        CDialogOnDisk on(SampleWithUnreadablePartition(QStringLiteral("hint-unreadable")));
        auto& [seams, disk, dlg] = on;
        QVERIFY(ScanPartitionToEnd(dlg, QStringLiteral("FAT32 Drive 1")));
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_INVALID_DRIVE});
        QCOMPARE(dlg.m_pHintLabel->text(), QStringLiteral("请先选择一个分区"));
    }

    void TheLineUnderTheCountersFollowsFilterRowsAndSelection()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QCOMPARE(dlg.m_pShownLabel->text(), QString());
        QVERIFY(ScanPartitionToEnd(dlg, QStringLiteral("NTFS Drive 0")));
        const int nRows = dlg.m_pModel->rowCount();
        const QString strTotal = dlg.m_pTotalEdit->text();
        const QString strDeleted = dlg.m_pDeletedEdit->text();
        QCOMPARE(dlg.m_pShownLabel->text(), QStringLiteral("显示 %1 条，已选 0 条").arg(nRows));
        const QList<int> listSelected = {0, 1, 2, 3, 7, 20, 21, nRows - 1};
        SelectRows(dlg, listSelected);
        QCOMPARE(dlg.m_pShownLabel->text(), QStringLiteral("显示 %1 条，已选 8 条").arg(nRows));
        int nSelectedDeleted = 0;
        for (int nRow : listSelected)
            nSelectedDeleted += Cell(dlg, nRow, eColumnDeleted) == QStringLiteral("是") ? 1 : 0;
        QVERIFY(nSelectedDeleted > 0 && nSelectedDeleted < listSelected.size());

        // Deleted ones only: as many as the deleted counter says show, the
        // selected ones among them stay selected, and the counters still
        // count the scan.
        dlg.m_pDeletedOnlyCheck->setChecked(true);
        QCOMPARE(dlg.m_pModel->rowCount(), strDeleted.toInt());
        QCOMPARE(dlg.m_pShownLabel->text(),
                 QStringLiteral("显示 %1 条，已选 %2 条").arg(strDeleted).arg(nSelectedDeleted));
        QCOMPARE(dlg.m_pTotalEdit->text(), strTotal);
        QCOMPARE(dlg.m_pDeletedEdit->text(), strDeleted);

        // A text no name holds, applied with Enter: nothing shows, nothing is
        // selected; Esc empties the field.
        dlg.m_pFilterEdit->setFocus();
        dlg.m_pFilterEdit->setText(QStringLiteral("no such name at all"));
        QTest::keyClick(dlg.m_pFilterEdit, Qt::Key_Return);
        QCOMPARE(dlg.m_pShownLabel->text(), QStringLiteral("显示 0 条，已选 0 条"));
        QCOMPARE(dlg.m_pTotalEdit->text(), strTotal);
        QTest::keyClick(dlg.m_pFilterEdit, Qt::Key_Escape);
        QCOMPARE(dlg.m_pFilterEdit->text(), QString());
        dlg.m_pDeletedOnlyCheck->setChecked(false);
        QCOMPARE(dlg.m_pShownLabel->text(), QStringLiteral("显示 %1 条，已选 0 条").arg(nRows));
        dlg.m_pList->selectAll();
        QCOMPARE(dlg.m_pShownLabel->text(), QStringLiteral("显示 %1 条，已选 %1 条").arg(nRows));
        QVERIFY(dlg.isVisible());
    }

    void TheNewColumnsSortFilterAndTellTheTimes_data()
    {
        QTest::addColumn<bool>("bRecoverableOnly");
        QTest::newRow("every row") << false;
        QTest::newRow("only recoverable") << true;
    }

    void TheNewColumnsSortFilterAndTellTheTimes()
    {
        QFETCH(bool, bRecoverableOnly);
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(ScanPartitionToEnd(dlg, QStringLiteral("NTFS Drive 2")));
        // What the cells say before the filter: deleted and recoverable rows.
        int nRecoverable = 0;
        for (int nRow = 0; nRow < dlg.m_pModel->rowCount(); ++nRow)
            nRecoverable += Cell(dlg, nRow, eColumnDeleted) == QStringLiteral("是") &&
                                    Cell(dlg, nRow, eColumnState) == QStringLiteral("可恢复")
                                ? 1
                                : 0;
        QVERIFY(nRecoverable > 0);
        dlg.m_pRecoverableOnlyCheck->setChecked(bRecoverableOnly);
        QCOMPARE(dlg.m_pModel->rowCount() == nRecoverable, bRecoverableOnly);
        QCOMPARE(dlg.m_pShownLabel->text(), QString::fromStdString(ShownRowsText(static_cast<size_t>(dlg.m_pModel->rowCount()), 0)));
        // A click on "大小" sorts by bytes; rows without a size come first.
        QHeaderView* pHeader = dlg.m_pList->horizontalHeader();
        dlg.m_pList->scrollTo(dlg.m_pModel->index(0, eColumnSize));
        QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(pHeader->sectionViewportPosition(eColumnSize) + 10, 5));
        QCOMPARE(dlg.m_pList->horizontalHeader()->sortIndicatorSection(), static_cast<int>(eColumnSize));
        qulonglong n64Last = 0;
        bool bSized = false;
        for (int nRow = 0; nRow < dlg.m_pModel->rowCount(); ++nRow)
        {
            const QString strSize = Cell(dlg, nRow, eColumnSize);
            if (bRecoverableOnly)
                QCOMPARE(Cell(dlg, nRow, eColumnState), QStringLiteral("可恢复"));
            if (strSize.isEmpty())
            {
                QVERIFY(!bSized);
                continue;
            }
            bool bOk = false;
            const qulonglong n64Size = QString(strSize).remove(QLatin1Char(',')).toULongLong(&bOk);
            QVERIFY(bOk);
            QVERIFY(n64Size >= n64Last);
            n64Last = n64Size;
            bSized = true;
        }
        QVERIFY(bSized);
        // The name's tip tells the row's times, read when it is shown.
        const int nLast = dlg.m_pModel->rowCount() - 1;
        const QString strTip = dlg.m_pModel->data(dlg.m_pModel->index(nLast, eColumnName), Qt::ToolTipRole).toString();
        QVERIFY2(strTip.startsWith(QStringLiteral("创建时间：")), qPrintable(strTip));
        QVERIFY(strTip.contains(QStringLiteral("\n修改时间：") + Cell(dlg, nLast, eColumnModified)));
        QVERIFY(strTip.contains(QStringLiteral("\nMFT 更改时间：")));
        QCOMPARE(strTip.contains(QStringLiteral("通常即删除时间")), Cell(dlg, nLast, eColumnDeleted) == QStringLiteral("是"));
        QVERIFY(!dlg.m_pModel->data(dlg.m_pModel->index(nLast, eColumnState), Qt::ToolTipRole).isValid());
    }

    void APartitionsTipGivesItsSizeAndLabel()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        std::vector<salvix_test::CMmlsRow> vecRows;
        QVERIFY(salvix_test::Mmls(SampleDiskPath().toStdString(), {}, vecRows));
        int nChecked = 0;
        for (const salvix_test::CMmlsRow& row : vecRows)
        {
            if (!row.m_bPartition)
                continue;
            QTreeWidgetItem* pItem = dlg.m_pTreeRoot->child(nChecked++);
            QVERIFY(pItem);
            const QString strSize =
                QStringLiteral("Size: ") + QString::fromStdString(FormatDiskSize(row.m_n64Length * 512));
            const QString strTip = pItem->toolTip(0);
            // NTFS's label and FAT's alike.
            salvix_test::CFsstatInfo fsstat;
            QVERIFY(salvix_test::Fsstat(SampleDiskPath().toStdString(), row.m_n64Start, fsstat));
            QVERIFY(!fsstat.m_strVolumeName.empty());
            QCOMPARE(strTip, strSize + QStringLiteral("\nVolume label: ") + QString::fromStdString(fsstat.m_strVolumeName));
            QVERIFY(pItem->text(0).endsWith(QStringLiteral(" Drive %1").arg(nChecked - 1)));
        }
        QCOMPARE(nChecked, 3);
        QVERIFY(dlg.m_pTreeRoot->toolTip(0).isEmpty());
    }
};

QTEST_MAIN(CWindowTest)
#include "WindowTest.moc"
