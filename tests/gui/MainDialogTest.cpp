// The main dialog as it opens: controls, columns, the partition tree, the
// error box, the About box routing, the keyboard and the minimised icon.
#include "GuiTestSupport.h"
#include "ntfs/NtfsFileSystem.h"

#include "support/SleuthKit.h"

#include "ui/qt/AboutDlg.h"
#include "ui/qt/DialogUnits.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QTest>
#include <QTableView>
#include <QTreeWidget>

class CMainDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { CSalvixDlg::s_fnErrorHook = nullptr; }

    void ControlsCarryTheirIdentifiersAndTexts()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Orvane v2.1"));
        QVERIFY(!dlg.windowIcon().isNull());

        const std::pair<const char*, QWidget*> kControls[] = {
            {"2", dlg.m_pExitButton},    {"1000", dlg.m_pTree},
            {"1001", dlg.m_pList},       {"1002", dlg.m_pScanButton},
            {"1005", dlg.m_pTotalLabel}, {"1006", dlg.m_pDeletedLabel},
            {"1007", dlg.m_pTotalEdit},  {"1008", dlg.m_pDeletedEdit},
            {"1020", dlg.m_pShownLabel}, {"1010", dlg.m_pDeletedOnlyCheck},
            {"1012", dlg.m_pRecoverableOnlyCheck},
        };
        for (const auto& control : kControls)
            QCOMPARE(dlg.findChild<QWidget*>(QString::fromLatin1(control.first)), control.second);
        QCOMPARE(dlg.m_pExitButton->text(), QStringLiteral("退出"));
        QCOMPARE(dlg.m_pScanButton->text(), QStringLiteral("扫描文件"));
        QCOMPARE(dlg.m_pTotalLabel->text(), QStringLiteral("文件或者文件夹总数 :"));
        QCOMPARE(dlg.m_pDeletedLabel->text(), QStringLiteral("删除的文件或者文件夹 :"));
        QCOMPARE(dlg.m_pHintLabel->text(), QStringLiteral("点击扫描文件后，请耐心等待"));
        for (QLineEdit* pEdit : {dlg.m_pTotalEdit, dlg.m_pDeletedEdit})
        {
            QVERIFY(pEdit->isReadOnly());
            QVERIFY(pEdit->alignment() & Qt::AlignRight);
            QVERIFY(pEdit->text().isEmpty());
            int nPos = 0;
            QString strLetters = QStringLiteral("12a");
            QCOMPARE(pEdit->validator()->validate(strLetters, nPos), QValidator::Invalid);
        }

        // Opens at the template's size in dialog units, 520 x 223, and may be
        // resized and maximised.
        const QRect rectClient = MapDialogRect(DialogBaseUnitsOf(dlg.font()), 0, 0, 520, 223);
        QCOMPARE(dlg.size(), rectClient.size());
        QVERIFY(dlg.minimumSize().width() < dlg.maximumSize().width());
        QVERIFY(dlg.minimumSize().height() < dlg.maximumSize().height());
        QVERIFY(dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(dlg.windowFlags() & Qt::WindowCloseButtonHint);

        // The focus starts on "退出", and Tab follows the template order.
        QCOMPARE(dlg.focusWidget(), dlg.m_pExitButton);
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(QApplication::focusWidget(), dlg.m_pExitButton);
        // The filter field and its check boxes come between the tree and the list.
        QCOMPARE(dlg.m_pRecoverableOnlyCheck->text(), QStringLiteral("只显示可恢复"));
        for (QWidget* pNext :
             {static_cast<QWidget*>(dlg.m_pTree), static_cast<QWidget*>(dlg.m_pFilterEdit),
              static_cast<QWidget*>(dlg.m_pDeletedOnlyCheck), static_cast<QWidget*>(dlg.m_pRecoverableOnlyCheck),
              static_cast<QWidget*>(dlg.m_pList),
              static_cast<QWidget*>(dlg.m_pScanButton), static_cast<QWidget*>(dlg.m_pExitButton)})
        {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), pNext);
        }
        QVERIFY(seams.Errors().empty());
    }

    void DialogUnitsFollowTheFontsBaseUnits()
    {
        CDialogBaseUnits units;
        units.m_nBaseX = 6;
        units.m_nBaseY = 13;
        QCOMPARE(MapDialogRect(units, 0, 0, 416, 223), QRect(0, 0, 624, 362));
        QCOMPARE(MapDialogRect(units, 323, 189, 86, 25), QRect(484, 307, 129, 40));
        units.m_nBaseX = 7;
        units.m_nBaseY = 16;
        QCOMPARE(MapDialogRect(units, 7, 23, 86, 153), QRect(12, 46, 150, 306));
    }

    void ListHasItsColumnsInDisplayOrder()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QAbstractItemModel* pModel = dlg.m_pList->model();
        const QStringList listByIndex = {QStringLiteral("文件名"), QStringLiteral("#"),
                                         QStringLiteral("文件属性"), QStringLiteral("是否删除"),
                                         QStringLiteral("簇"), QStringLiteral("路径"),
                                         QStringLiteral("大小"), QStringLiteral("修改时间"),
                                         QStringLiteral("状态")};
        QCOMPARE(pModel->columnCount(), 9);
        for (int i = 0; i < 9; ++i)
            QCOMPARE(pModel->headerData(i, Qt::Horizontal).toString(), listByIndex[i]);

        // Shown left to right as "#", "文件名", "文件属性", "是否删除", "簇", the
        // folder "路径", then "大小", "修改时间" and "状态" after it.
        QHeaderView* pHeader = dlg.m_pList->horizontalHeader();
        const int kLogicalByVisual[] = {1, 0, 2, 3, 4, 5, 6, 7, 8};
        const int kWidthByVisual[] = {60, 190, 80, 50, 70, 160, 90, 130, 100};
        for (int nVisual = 0; nVisual < 9; ++nVisual)
        {
            QCOMPARE(pHeader->logicalIndex(nVisual), kLogicalByVisual[nVisual]);
            QCOMPARE(pHeader->sectionSize(kLogicalByVisual[nVisual]), kWidthByVisual[nVisual]);
        }
        // Headers sort; the list starts in the scan's order.
        QVERIFY(pHeader->sectionsClickable());
        QVERIFY(dlg.m_pList->isSortingEnabled());
        QCOMPARE(pHeader->sortIndicatorSection(), -1);
        QCOMPARE(dlg.m_pList->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(dlg.m_pList->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(pModel->rowCount(), 0);
    }

    void NameCellEditsAreDiscarded()
    {
        CFileListModel model;
        auto entry = [](const char* pszName, DWORD dwFlags, LONGLONG n64Clusters, BYTE bNotInUse) {
            MFTEntryInfo info = {};
            strcpy(info.szName, pszName);
            info.dwFileFlags = dwFlags;
            info.n64Clusters = n64Clusters;
            info.bNotInUse = bNotInUse;
            return info;
        };
        CRowBatch batch;
        AddRecordRow(batch, 30, entry("caf\xE9.txt", 0x21, 7, 0));
        AddRecordRow(batch, 31, entry("", 0, 1, 1));
        model.AppendRows(std::move(batch));
        CRowBatch second;
        AddRecordRow(second, 32, entry("x", 0, 2, 0));
        model.AppendRows(std::move(second));
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.data(model.index(2, eColumnName)).toString(), QStringLiteral("x"));
        QCOMPARE(model.data(model.index(2, eColumnNumber)).toString(), QStringLiteral("2"));
        QCOMPARE(model.Store().Name(0), std::string("caf\xC3\xA9.txt"));
        QCOMPARE(model.RecordOf(2), 32u);
        const QModelIndex indexName = model.index(0, eColumnName);
        QVERIFY(model.flags(indexName) & Qt::ItemIsEditable);
        QVERIFY(!(model.flags(model.index(0, eColumnNumber)) & Qt::ItemIsEditable));
        QVERIFY(!model.setData(indexName, QStringLiteral("other"), Qt::EditRole));
        QCOMPARE(model.data(indexName).toString(), QStringLiteral("café.txt"));
        QCOMPARE(model.data(model.index(1, eColumnNumber)).toString(), QStringLiteral("1"));
        QCOMPARE(model.data(model.index(0, eColumnAttributes)).toString(),
                 QStringLiteral("只读-归档-"));
        QCOMPARE(model.data(model.index(0, eColumnClusters)).toString(), QStringLiteral("7"));
        QCOMPARE(model.data(model.index(0, eColumnDeleted)).toString(), QString());
        QCOMPARE(model.data(model.index(1, eColumnDeleted)).toString(), QStringLiteral("是"));
    }

    void AttributeLabelsFollowTheBitOrder()
    {
        QCOMPARE(QString::fromStdString(AttributeLabels(0)), QString());
        QCOMPARE(QString::fromStdString(AttributeLabels(0x21)), QStringLiteral("只读-归档-"));
        QCOMPARE(QString::fromStdString(AttributeLabels(0x10000000)), QStringLiteral("文件夹-索引-"));
        QCOMPARE(QString::fromStdString(AttributeLabels(0x20 | 0x800 | 0x4000)), QStringLiteral("归档-加密-压缩-"));
        QCOMPARE(QString::fromStdString(AttributeLabels(0x2000 | 0x100 | 0x1000)), QStringLiteral("零时-O-受损-"));
        QCOMPARE(QString::fromStdString(AttributeLabels(0x40 | 0x8 | 0x80000000)), QString());
        // Every label at once: 16 dashes, the folder label twice.
        const QString strAll = QString::fromStdString(AttributeLabels(0xFFFFFFFF));
        QCOMPARE(strAll.count(QLatin1Char('-')), 15);
        QCOMPARE(strAll.count(QStringLiteral("文件夹-")), 2);
        QCOMPARE(strAll.toLocal8Bit().size() > 0, true);
    }

    void TreeListsTheSampleDisksPartitions()
    {
        const QString strDisk = SampleDiskPath();
        CDialogOnDisk on(strDisk);
        auto& [seams, disk, dlg] = on;
        QVERIFY(seams.Errors().empty());
        QCOMPARE(dlg.m_pTree->topLevelItemCount(), 1);
        QTreeWidgetItem* pRoot = dlg.m_pTree->topLevelItem(0);
        QCOMPARE(pRoot, dlg.m_pTreeRoot);
        QCOMPARE(pRoot->text(0), QStringLiteral("Drives"));
        QVERIFY(!pRoot->data(0, Qt::UserRole).isValid());
        QVERIFY(pRoot->isExpanded());
        QCOMPARE(pRoot->childCount(), 3);
        QCOMPARE(pRoot->child(0)->text(0), QStringLiteral("NTFS Drive 0"));
        QCOMPARE(pRoot->child(1)->text(0), QStringLiteral("FAT32 Drive 1"));
        QCOMPARE(pRoot->child(2)->text(0), QStringLiteral("NTFS Drive 2"));

        // The starts agree with mmls on the same image.
        std::vector<salvix_test::CMmlsRow> vecRows;
        QVERIFY2(salvix_test::Mmls(strDisk.toStdString(), {}, vecRows), "mmls failed");
        QList<DWORD> listStarts;
        for (const salvix_test::CMmlsRow& row : vecRows)
            if (row.m_bPartition)
                listStarts << DWORD(row.m_n64Start);
        QCOMPARE(listStarts.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(PartitionStart(dlg, pRoot->child(i)->text(0)), listStarts[i]);
    }

    void WalkFailureIsShownAndTheRootStays()
    {
        CDialogOnDisk on(FreshFolder(QStringLiteral("nodisk")) + QStringLiteral("/missing.img"));
        auto& [seams, disk, dlg] = on;
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_FILE_NOT_FOUND});
        QCOMPARE(dlg.m_pTree->topLevelItemCount(), 1);
        QCOMPARE(dlg.m_pTreeRoot->text(0), QStringLiteral("Drives"));
        QCOMPARE(dlg.m_pTreeRoot->childCount(), 0);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Orvane v2.1"));
    }

    void ErrorBoxShowsTheSystemText()
    {
        CSalvixDlg::s_fnErrorHook = nullptr;
        CDiskGuard disk(SampleDiskPath().toStdString());
        CSalvixDlg dlg;
        dlg.show();
        QString strCaption, strText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget* pParent = nullptr;
        // Read the box while it is up, then close it.
        QTimer::singleShot(0, [&] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!pBox)
                return;
            strCaption = pBox->windowTitle();
            strText = pBox->text();
            icon = pBox->icon();
            buttons = pBox->standardButtons();
            pParent = pBox->parentWidget();
            pBox->accept();
        });
        dlg.ShowSystemError(ERROR_ACCESS_DENIED);
        QCOMPARE(strCaption, QStringLiteral("GetLastError"));
        QCOMPARE(strText, QStringLiteral("Access is denied.\n"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(pParent, static_cast<QWidget*>(&dlg));
    }

    void AboutBoxOpensForCommands16To31Only()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        int nAbout = 0;
        CSalvixDlg::s_fnAboutHook = [&](CAboutDlg& about) {
            ++nAbout;
            QCOMPARE(about.windowTitle(), QStringLiteral("About Salvix"));
            QCOMPARE(about.m_pVersion->text(), QStringLiteral("NTFS Salvix Version 2.1"));
            QVERIFY(!about.m_pSecondLine->text().isEmpty());
            QCOMPARE(about.m_pOkButton->text(), QStringLiteral("OK"));
            QVERIFY(about.m_pOkButton->isDefault());
            QVERIFY(!about.m_pIcon->pixmap().isNull());
            QCOMPARE(about.size(),
                     MapDialogRect(DialogBaseUnitsOf(about.font()), 0, 0, 235, 55).size());
        };
        for (UINT nID = 16; nID <= 31; ++nID)
            dlg.OnSysCommand(nID);
        QCOMPARE(nAbout, 16);
        for (UINT nID : {0u, 1u, 15u, 32u, 48u, 0x8010u, 0xF010u, 0xF100u})
            dlg.OnSysCommand(nID);
        QCOMPARE(nAbout, 16);
        QVERIFY(dlg.isVisible());

        // The background's menu stands in for the system menu and sends 16.
        QStringList listEntries;
        CSalvixDlg::s_fnMenuHook = [&](QMenu& menu, const QPoint&) {
            for (QAction* pAction : menu.actions())
                listEntries << pAction->text();
            return menu.actions().value(0)->data().toInt();
        };
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(300, 10),
                                dlg.mapToGlobal(QPoint(300, 10)));
        QApplication::sendEvent(&dlg, &event);
        QCOMPARE(listEntries, QStringList{QStringLiteral("&About Salvix...")});
        QCOMPARE(nAbout, 17);

        // The list's column header has no menu at all, neither the list's
        // nor the window's.
        listEntries.clear();
        QWidget* pHeader = dlg.m_pList->horizontalHeader()->viewport();
        QContextMenuEvent eventHeader(QContextMenuEvent::Mouse, QPoint(10, 5),
                                      pHeader->mapToGlobal(QPoint(10, 5)));
        QApplication::sendEvent(pHeader, &eventHeader);
        QVERIFY(listEntries.isEmpty());
        QCOMPARE(nAbout, 17);

        // Other commands take their ordinary way: close ends the dialog.
        dlg.OnSysCommand(0xF060);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), 2);
        QCOMPARE(nAbout, 17);
    }

    void MinimisedIconIsCentredRoundingUp()
    {
        QCOMPARE(MinimizedIconPosition(37, 37, 32, 32), QPoint(3, 3));
        QCOMPARE(MinimizedIconPosition(36, 36, 32, 32), QPoint(2, 2));
        QCOMPARE(MinimizedIconPosition(20, 20, 32, 32), QPoint(-5, -5));
        QCOMPARE(MinimizedIconPosition(100, 40, 32, 32), QPoint(34, 4));
    }

    void KeysCloseTheWindowOnlyOutsideTheTreeAndTheSearchField_data()
    {
        QTest::addColumn<int>("nKey");
        QTest::addColumn<QString>("strFocus");
        QTest::addColumn<int>("nResult");  // 0: the window stays
        QTest::newRow("Esc on the tree") << int(Qt::Key_Escape) << QStringLiteral("1000") << 2;
        QTest::newRow("Enter on the list") << int(Qt::Key_Enter) << QStringLiteral("1001") << 1;
        QTest::newRow("Enter on a counter") << int(Qt::Key_Return) << QStringLiteral("1007") << 1;
        QTest::newRow("Enter on Exit presses it") << int(Qt::Key_Return) << QStringLiteral("2") << 2;
        QTest::newRow("Enter in the search field") << int(Qt::Key_Return) << QStringLiteral("1009") << 0;
        QTest::newRow("Esc in the search field") << int(Qt::Key_Escape) << QStringLiteral("1009") << 0;
        QTest::newRow("Enter on the tree's root") << int(Qt::Key_Return) << QStringLiteral("1000") << 0;
    }

    void KeysCloseTheWindowOnlyOutsideTheTreeAndTheSearchField()
    {
        QFETCH(int, nKey);
        QFETCH(QString, strFocus);
        QFETCH(int, nResult);
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        dlg.m_pTree->setCurrentItem(dlg.m_pTreeRoot);
        QWidget* pFocus = dlg.findChild<QWidget*>(strFocus);
        QVERIFY(pFocus);
        pFocus->setFocus();
        QTest::keyClick(pFocus, static_cast<Qt::Key>(nKey));
        QCOMPARE(dlg.isVisible(), nResult == 0);
        if (nResult != 0)
            QCOMPARE(dlg.result(), nResult);
        // With nothing listed nothing is asked; the scan never started.
        QVERIFY(seams.Questions().isEmpty());
        QCOMPARE(dlg.m_scan.State(), EScanState::eIdle);
    }

    void EnterOnAPartitionScansItAndOnTheRootOnlySaysWhatToDo()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        dlg.m_pTree->setCurrentItem(dlg.m_pTreeRoot);
        dlg.m_pTree->setFocus();
        QTest::keyClick(dlg.m_pTree, Qt::Key_Return);
        QCOMPARE(dlg.m_pHintLabel->text(), QStringLiteral("请先选择一个分区"));
        QCOMPARE(dlg.m_pScanButton->text(), QStringLiteral("扫描文件"));
        QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));

        // On a partition: its scan, to the end; again after an end: a new scan.
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 2")));
        for (int nRun = 0; nRun < 2; ++nRun)
        {
            const DWORD dwSerial = dlg.m_scan.Serial();
            QTest::keyClick(dlg.m_pTree, Qt::Key_Return);
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.m_scan.Serial(), dwSerial + 1);
            QTRY_COMPARE(dlg.m_pScanButton->text(), QStringLiteral("搜索结束"));
            QVERIFY(dlg.m_pModel->rowCount() > 0);
        }
        QVERIFY(seams.Errors().empty());
    }

    void EnterOnTheScanButtonPressesIt()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 2")));
        dlg.m_pScanButton->setFocus();
        QTest::keyClick(dlg.m_pScanButton, Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.m_pScanButton->text() != QStringLiteral("扫描文件"));
        QTRY_COMPARE(dlg.m_pScanButton->text(), QStringLiteral("搜索结束"));
    }

    void ClosingBeforeAnyScanClosesNothing()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(!dlg.m_session.HasDevice());
        QCOMPARE(dlg.m_scan.m_hWorker, HANDLE(nullptr));
        QCOMPARE(int(dlg.m_scan.m_bStop.load()), 1);
        dlg.m_pExitButton->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), 2);
        QVERIFY(!dlg.m_session.HasDevice());
    }
};

QTEST_MAIN(CMainDialogTest)
#include "MainDialogTest.moc"
