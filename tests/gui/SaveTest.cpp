// The save command from the list's context menu: what is asked, what is
// written (checked against icat), the order and the first failure, names
// that must not become paths, and saving while a scan is still listing.
#include "GuiTestSupport.h"
#include "support/VolumeEdit.h"

#include "Images.h"
#include "NtfsWriter.h"
#include "platform/Win32.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QProgressDialog>
#include <QLineEdit>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTableView>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace
{

const DWORD kHandMadeStart = 2048;

// A right-click on the list's rows area, answered with "保存".
void RightClickAndSave(CSalvixDlg& dlg)
{
    QWidget* pViewport = dlg.m_pList->viewport();
    const QPoint pt(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pt, pViewport->mapToGlobal(pt));
    QApplication::sendEvent(pViewport, &event);
}

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Row of the record whose name fls gives, or -1.
int RowOfName(CSalvixDlg& dlg, const std::map<DWORD, CFlsRecord>& mapFls, const QString& strName)
{
    for (const auto& [dwRecord, entry] : mapFls)
        if (dwRecord >= 30 && entry.m_listNames.contains(strName))
            return RowOfRecord(dlg, dwRecord);
    return -1;
}

}  // namespace

class CSaveTest : public QObject
{
    Q_OBJECT
private:
    QString m_strHandMade;
    QStringList m_listHostile;
    std::map<QString, DWORD> m_mapHostileRecords;

private slots:
    void initTestCase()
    {
        // A disk with one NTFS partition holding names that need care.
        const QString strDir = FreshFolder(QStringLiteral("save-disk"));
        m_strHandMade = strDir + QStringLiteral("/hand-made.img");
        const std::string strVolume = (strDir + QStringLiteral("/volume.tmp")).toStdString();
        const uint32_t dwSectors = 16 * 2048;
        uint64_t n64ReadOnly = 0;
        NtfsFormat format;
        format.dwPartitionStart = kHandMadeStart;
        QVERIFY(FormatNtfs(strVolume, uint64_t(dwSectors) * 512, format));
        {
            CNtfsWriter writer;
            QVERIFY(writer.Mount(strVolume));
            auto bytes = [](const char* psz) {
                return std::vector<uint8_t>(psz, psz + strlen(psz));
            };
            QVERIFY(writer.MakeDir("/a"));
            QVERIFY(writer.MakeDir("/b"));
            QVERIFY(writer.WriteFile("/a/same.txt", bytes("the first one")));
            QVERIFY(writer.WriteFile("/b/same.txt", bytes("the second, longer one")));
            QVERIFY(writer.WriteFile("/readonly.txt", bytes("keep me")));
            n64ReadOnly = uint64_t(writer.RecordOf("/readonly.txt"));
            QVERIFY(writer.WriteFile("/café.txt", bytes("latin-1 name")));
            QVERIFY(writer.WriteFile("/日本.txt", bytes("a whole name")));
            // Names that must not turn into paths; some the library may refuse.
            for (const char* pszName :
                 {"..", ".", "back\\slash.txt", "ctl\x01.txt", "tab\tname", "c1\xC2\x85.txt"})
            {
                if (writer.WriteFile(std::string("/") + pszName, bytes("hostile")))
                {
                    m_listHostile << QString::fromUtf8(pszName);
                    m_mapHostileRecords[m_listHostile.back()] =
                        DWORD(writer.RecordOf(std::string("/") + pszName));
                }
            }
            QVERIFY(writer.Unmount());
        }
        QVERIFY(salvix_test::EditRecord(strVolume, n64ReadOnly,
                                        salvix_test::SetNameFlags(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE)));
        QVERIFY(MakePartitionedDisk(m_strHandMade.toStdString(), uint64_t(dwSectors + 4096) * 512,
                                    {{kHandMadeStart, dwSectors, 0x07}}));
        QVERIFY(PlaceImage(strVolume, m_strHandMade.toStdString(), uint64_t(kHandMadeStart) * 512));
        QFile::remove(QString::fromStdString(strVolume));
    }

    void NothingSelectedAsksNothing()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        QStringList listEntries;
        CSalvixDlg::s_fnMenuHook = [&](QMenu& menu, const QPoint&) {
            for (QAction* pAction : menu.actions())
                listEntries << pAction->text();
            return menu.actions().value(0)->data().toInt();
        };
        bool bAsked = false;
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) {
            bAsked = true;
            return QString();
        };
        RightClickAndSave(dlg);
        QCOMPARE(listEntries, (QStringList{QStringLiteral("保存"), QStringLiteral("保存（保留目录结构）")}));
        QVERIFY(!bAsked);
        QVERIFY(seams.Errors().empty());
        // The command from any source behaves the same.
        dlg.OnSaveSelected();
        QVERIFY(!bAsked);
    }

    void CancelledChooserWritesNothing()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        SelectRows(dlg, {20});
        QString strTitle, strInitial;
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
        CSalvixDlg::s_fnFolderHook = [&](const QString& t, const QString& i) {
            strTitle = t;
            strInitial = i;
            return QString();
        };
        RightClickAndSave(dlg);
        QCOMPARE(strTitle, QStringLiteral(" Please select a folder to extract "));
        QCOMPARE(strInitial, QDir::currentPath());
        QVERIFY(seams.Errors().empty());
        QVERIFY(!QApplication::overrideCursor());
        // A menu dismissed without a choice does nothing either.
        strTitle.clear();
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 0; };
        RightClickAndSave(dlg);
        QVERIFY(strTitle.isEmpty());
    }

    void SavedFilesEqualIcat()
    {
        const QString strDisk = SampleDiskPath();
        CDialogOnDisk on(strDisk);
        auto& [seams, disk, dlg] = on;
        for (const QString& strPartition :
             {QStringLiteral("NTFS Drive 0"), QStringLiteral("NTFS Drive 2")})
        {
            if (dlg.m_pScanButton->text() != QStringLiteral("扫描文件"))
                dlg.m_pScanButton->click();
            QVERIFY(SelectPartition(dlg, strPartition));
            QVERIFY(ScanToEnd(dlg));
            const DWORD dwStart = PartitionStart(dlg, strPartition);
            const auto mapFls = FlsEntries(strDisk, dwStart);
            QList<int> listRows;
            int nDeleted = 0, nLarge = 0, nSmall = 0;
            for (const auto& [dwRecord, entry] : mapFls)
            {
                if (dwRecord < 30 || entry.m_bDirectory)
                    continue;
                listRows << RowOfRecord(dlg, dwRecord);
                QVERIFY(listRows.back() >= 0);
            }
            SelectRows(dlg, listRows);
            const QString strFolder =
                FreshFolder(QStringLiteral("icat-") + QString::number(dwStart));
            CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
            CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };
            RightClickAndSave(dlg);
            QVERIFY(seams.Errors().empty());
            QVERIFY(!QApplication::overrideCursor());
            for (int nRow : listRows)
            {
                const QString strName = Cell(dlg, nRow, eColumnName);
                const QByteArray byteExpected = Icat(strDisk, dwStart, dlg.m_pModel->RecordOf(nRow));
                QCOMPARE(ReadFile(strFolder + QLatin1Char('/') + strName), byteExpected);
                nDeleted += Cell(dlg, nRow, eColumnDeleted).isEmpty() ? 0 : 1;
                (byteExpected.size() > 4096 ? nLarge : nSmall) += 1;
            }
            QCOMPARE(QDir(strFolder).entryList(QDir::Files).size(), listRows.size());
            QVERIFY(nDeleted >= 3);
            QVERIFY(nLarge >= 1);
            QVERIFY(nSmall >= 1);
        }
    }

    void AFailureInTheMiddleIsReportedAndTheRunGoesOn()
    {
        const QString strDisk = SampleDiskPath();
        CDialogOnDisk on(strDisk);
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        const auto mapFls =
            FlsEntries(strDisk, PartitionStart(dlg, QStringLiteral("NTFS Drive 0")));
        const int nFirst = RowOfName(dlg, mapFls, QStringLiteral("Report 2023.txt"));
        const int nMiddle = RowOfName(dlg, mapFls, QStringLiteral("readme.txt"));
        const int nLast = RowOfName(dlg, mapFls, QStringLiteral("config.ini"));
        QVERIFY(nFirst >= 0 && nFirst < nMiddle && nMiddle < nLast);

        // A read-only file of the middle row's name cannot be replaced.
        const QString strFolder = FreshFolder(QStringLiteral("failure"));
        const QString strBlocker = strFolder + QStringLiteral("/readme.txt");
        {
            QFile blocker(strBlocker);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.write("already here");
        }
        QFile::setPermissions(strBlocker, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        SelectRows(dlg, {nLast, nFirst, nMiddle});
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };
        RightClickAndSave(dlg);

        // One report, written beside the files too; the rows after the failure saved.
        QVERIFY(seams.Errors().empty());
        QCOMPARE(seams.Reports().size(), 1);
        QVERIFY(seams.Reports()[0].contains(QRegularExpression(QStringLiteral("未保存：.*readme.txt"))));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(QFile::exists(strFolder + QStringLiteral("/Report 2023.txt")));
        QCOMPARE(ReadFile(strBlocker), QByteArray("already here"));
        QVERIFY(QFile::exists(strFolder + QStringLiteral("/config.ini")));
        QVERIFY(ReadFile(strFolder + QStringLiteral("/保存结果.txt")).contains("1 个文件未保存"));
    }

    void NamesOfTheHandMadeVolume()
    {
        CDialogOnDisk on(m_strHandMade);
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        const auto mapFls = FlsEntries(m_strHandMade, kHandMadeStart);
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
        QString strFolder;
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };

        // Two rows of the same name: both written, the later one beside the first.
        QList<int> listSame;
        for (const auto& [dwRecord, entry] : mapFls)
            if (dwRecord >= 30 && entry.m_listNames.contains(QStringLiteral("same.txt")))
                listSame << RowOfRecord(dlg, dwRecord);
        QCOMPARE(listSame.size(), 2);
        strFolder = FreshFolder(QStringLiteral("same-name"));
        SelectRows(dlg, listSame);
        RightClickAndSave(dlg);
        QVERIFY(seams.Errors().empty());
        QCOMPARE(QDir(strFolder).entryList(QDir::Files),
                 (QStringList{QStringLiteral("same (2).txt"), QStringLiteral("same.txt")}));
        QCOMPARE(ReadFile(strFolder + QStringLiteral("/same.txt")),
                 Icat(m_strHandMade, kHandMadeStart, dlg.m_pModel->RecordOf(listSame.first())));
        QCOMPARE(ReadFile(strFolder + QStringLiteral("/same (2).txt")),
                 Icat(m_strHandMade, kHandMadeStart, dlg.m_pModel->RecordOf(listSame.last())));
        QCOMPARE(seams.Reports().size(), 1);
        QVERIFY(seams.Reports()[0].contains(QStringLiteral("same (2).txt")));

        // A Latin-1 name arrives as UTF-8.
        const int nCafe = RowOfName(dlg, mapFls, QStringLiteral("café.txt"));
        QVERIFY(nCafe >= 0);
        QCOMPARE(Cell(dlg, nCafe, eColumnName), QStringLiteral("café.txt"));
        SelectRows(dlg, {nCafe});
        RightClickAndSave(dlg);
        QCOMPARE(ReadFile(strFolder + QStringLiteral("/café.txt")), QByteArray("latin-1 name"));

        // A name beyond Latin-1 is listed and saved whole.
        const int nJapanese = RowOfName(dlg, mapFls, QStringLiteral("日本.txt"));
        QVERIFY(nJapanese >= 0);
        QCOMPARE(Cell(dlg, nJapanese, eColumnName), QStringLiteral("日本.txt"));
        QCOMPARE(Cell(dlg, nJapanese, eColumnPath), QStringLiteral("\\"));
        SelectRows(dlg, {nJapanese});
        RightClickAndSave(dlg);
        QCOMPARE(ReadFile(strFolder + QStringLiteral("/日本.txt")), QByteArray("a whole name"));

        // A read-only entry gives a file without write permission; saving it
        // again fails with access denied and leaves the first copy.
        const int nReadOnly = RowOfName(dlg, mapFls, QStringLiteral("readonly.txt"));
        QVERIFY(Cell(dlg, nReadOnly, eColumnAttributes).startsWith(QStringLiteral("只读-")));
        SelectRows(dlg, {nReadOnly});
        RightClickAndSave(dlg);
        QVERIFY(seams.Errors().empty());
        const QString strReadOnly = strFolder + QStringLiteral("/readonly.txt");
        QCOMPARE(ReadFile(strReadOnly), QByteArray("keep me"));
        QVERIFY(!(QFileInfo(strReadOnly).permissions() &
                  (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther)));
        RightClickAndSave(dlg);
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_ACCESS_DENIED});
        QCOMPARE(ReadFile(strReadOnly), QByteArray("keep me"));

        // Hostile names are saved under safe names, and nothing lands outside the folder.
        QVERIFY2(m_listHostile.size() >= 2, qPrintable(m_listHostile.join(QLatin1Char('|'))));
        const QString strParent = FreshFolder(QStringLiteral("hostile"));
        strFolder = strParent + QStringLiteral("/inside");
        QDir().mkpath(strFolder);
        QList<int> listHostile;
        for (const QString& strName : m_listHostile)
        {
            const int nRow = RowOfRecord(dlg, m_mapHostileRecords[strName]);
            QVERIFY2(nRow >= 0 && nRow < dlg.m_pModel->rowCount(), qPrintable(strName));
            listHostile << nRow;
        }
        SelectRows(dlg, listHostile);
        RightClickAndSave(dlg);
        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_ACCESS_DENIED});
        QCOMPARE(QDir(strFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
                 m_listHostile.size());
        for (const QString& strSaved : QDir(strFolder).entryList(QDir::Files | QDir::Hidden))
            QCOMPARE(ReadFile(strFolder + QLatin1Char('/') + strSaved), QByteArray("hostile"));
        QCOMPARE(QDir(strParent).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("inside")});
    }

    void SaveWithFoldersKeepsEachFileUnderItsFolder()
    {
        const QString strDisk = SampleDiskPath();
        CDialogOnDisk on(strDisk);
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        const DWORD dwStart = PartitionStart(dlg, QStringLiteral("NTFS Drive 0"));
        // The folder row "文档" stands for every row below it.
        int nFolder = -1;
        QList<int> listBelow;
        for (int nRow = 0; nRow < dlg.m_pModel->rowCount(); ++nRow)
        {
            const QString strPath = Cell(dlg, nRow, eColumnPath);
            if (Cell(dlg, nRow, eColumnName) == QStringLiteral("文档") && strPath == QStringLiteral("\\"))
                nFolder = nRow;
            else if (strPath.startsWith(QStringLiteral("\\文档")) &&
                     !Cell(dlg, nRow, eColumnAttributes).contains(QStringLiteral("文件夹")))
                listBelow << nRow;
        }
        QVERIFY(nFolder >= 0);
        QVERIFY(listBelow.size() >= 2);
        const QString strFolder = FreshFolder(QStringLiteral("with-folders"));
        QString strEntry;
        CSalvixDlg::s_fnMenuHook = [&](QMenu& menu, const QPoint&) {
            strEntry = menu.actions().value(1)->text();
            return menu.actions().value(1)->data().toInt();
        };
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };
        SelectRows(dlg, {nFolder});
        RightClickAndSave(dlg);
        QCOMPARE(strEntry, QStringLiteral("保存（保留目录结构）"));
        QVERIFY(seams.Errors().empty());
        for (int nRow : listBelow)
        {
            QString strRelative = Cell(dlg, nRow, eColumnPath).mid(1).replace(QLatin1Char('\\'), QLatin1Char('/'));
            const QString strPath = strFolder + QLatin1Char('/') + strRelative + QLatin1Char('/') + Cell(dlg, nRow, eColumnName);
            QCOMPARE(ReadFile(strPath), Icat(strDisk, dwStart, Cell(dlg, nRow, eColumnNumber).toUInt() + 30));
        }
        QCOMPARE(QDir(strFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("文档")});
    }

    void SortedAndFilteredRowsSaveTheirOwnRecords()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        const int nRows = dlg.m_pModel->rowCount();
        const QString strTotal = dlg.m_pTotalEdit->text();

        // A click on the name's header sorts by name, a second one reverses.
        QHeaderView* pHeader = dlg.m_pList->horizontalHeader();
        const QPoint ptName(pHeader->sectionViewportPosition(eColumnName) + 10, 5);
        QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, Qt::NoModifier, ptName);
        QStringList listNames;
        for (int nRow = 0; nRow < nRows; ++nRow)
            listNames << Cell(dlg, nRow, eColumnName);
        QStringList listSorted = listNames;
        std::stable_sort(listSorted.begin(), listSorted.end(), [](const QString& a, const QString& b) {
            return a.toLower().toUtf8() < b.toLower().toUtf8();
        });
        QCOMPARE(listNames, listSorted);
        QTest::mouseClick(pHeader->viewport(), Qt::LeftButton, Qt::NoModifier, ptName);
        QCOMPARE(Cell(dlg, 0, eColumnName), listSorted.back());

        // The filter narrows to what holds the text, case folded; the
        // counters keep counting what the scan found.
        QTest::keyClicks(dlg.m_pFilterEdit, QStringLiteral("img_0042"));
        QTRY_COMPARE(dlg.m_pModel->rowCount(), 1);
        QCOMPARE(Cell(dlg, 0, eColumnName), QStringLiteral("IMG_0042.jpg"));
        QCOMPARE(Cell(dlg, 0, eColumnPath), QStringLiteral("\\Photos"));
        QCOMPARE(dlg.m_pTotalEdit->text(), strTotal);

        // The one row shown saves its own record, whatever its place was.
        const QString strFolder = FreshFolder(QStringLiteral("filtered"));
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };
        SelectRows(dlg, {0});
        RightClickAndSave(dlg);
        QVERIFY(seams.Errors().empty());
        const DWORD dwRecord = Cell(dlg, 0, eColumnNumber).toUInt() + 30;
        QCOMPARE(ReadFile(strFolder + QStringLiteral("/IMG_0042.jpg")),
                 Icat(SampleDiskPath(), PartitionStart(dlg, QStringLiteral("NTFS Drive 0")), dwRecord));

        // Folders count too; deleted rows alone on request.
        dlg.m_pFilterEdit->clear();
        dlg.m_pFilterEdit->setText(QStringLiteral("文档"));
        QTRY_VERIFY(dlg.m_pModel->rowCount() >= 3);
        dlg.m_pDeletedOnlyCheck->setChecked(true);
        QCOMPARE(dlg.m_pModel->rowCount(), 1);
        QCOMPARE(Cell(dlg, 0, eColumnName), QStringLiteral("合同扫描件.pdf"));
        QCOMPARE(Cell(dlg, 0, eColumnPath), QStringLiteral("\\文档"));
        dlg.m_pFilterEdit->clear();
        QTRY_VERIFY(dlg.m_pModel->rowCount() > 1);
        for (int nRow = 0; nRow < dlg.m_pModel->rowCount(); ++nRow)
            QCOMPARE(Cell(dlg, nRow, eColumnDeleted), QStringLiteral("是"));
    }

    void CancelInTheProgressWindowStopsTheSave()
    {
        CDialogOnDisk on;
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        const auto mapFls = FlsEntries(SampleDiskPath(), PartitionStart(dlg, QStringLiteral("NTFS Drive 0")));
        const int nFirst = RowOfName(dlg, mapFls, QStringLiteral("readme.txt"));
        const int nSecond = RowOfName(dlg, mapFls, QStringLiteral("setup.exe"));
        QVERIFY(nFirst >= 0 && nSecond > nFirst);
        const QString strFolder = FreshFolder(QStringLiteral("cancelled"));
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };
        // The progress window names the file in hand; Cancel there while the
        // second file is being written.
        QString strLabel;
        CSalvixDlg::s_fnSaveStepHook = [&] {
            QVERIFY(dlg.m_pSaveProgress);
            strLabel = dlg.m_pSaveProgress->labelText();
            if (strLabel.contains(QStringLiteral("setup.exe")))
                dlg.m_pSaveProgress->cancel();
        };
        SelectRows(dlg, {nFirst, nSecond});
        RightClickAndSave(dlg);
        QVERIFY(strLabel.contains(QStringLiteral("setup.exe")));
        QVERIFY(strLabel.contains(QStringLiteral("(2/2)")));
        QVERIFY2(seams.Errors().empty(), "a cancel is no failure");
        QCOMPARE(QDir(strFolder).entryList(QDir::Files), QStringList{QStringLiteral("readme.txt")});
        QVERIFY(!dlg.m_pSaveProgress);
    }

    void SavingDuringAScan()
    {
        const QString strDisk = SampleDiskPath();
        CDialogOnDisk on(strDisk);
        auto& [seams, disk, dlg] = on;
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        // The worker slows down once the first user files are listed, and
        // waits before the last records until the save is over, so the scan
        // is still running however slow the machine.
        std::atomic<bool> bSlow{true};
        CSalvixDlg::s_fnBeforeRecordHook = [&](DWORD dwIndex) {
            if (dwIndex < 76)
                return;
            do
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            while (dwIndex >= 88 && bSlow);
        };
        CAtExit release([&] {
            bSlow = false;
            dlg.done(2);  // the worker ends before what it reads goes
        });
        dlg.m_pScanButton->click();
        QTRY_VERIFY(RowOfRecord(dlg, 74) >= 0);
        QCOMPARE(dlg.m_pScanButton->text(), QStringLiteral("停止扫描"));

        const DWORD dwStart = PartitionStart(dlg, QStringLiteral("NTFS Drive 0"));
        QList<int> listRows;
        for (DWORD dwRecord : {65, 66, 67, 68, 70, 73, 74})
            listRows << RowOfRecord(dlg, dwRecord);
        QVERIFY(!listRows.contains(-1));
        SelectRows(dlg, listRows);
        const QString strFolder = FreshFolder(QStringLiteral("during-scan"));
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };
        RightClickAndSave(dlg);
        QVERIFY(seams.Errors().empty());
        QCOMPARE(dlg.m_pScanButton->text(), QStringLiteral("停止扫描"));
        for (int nRow : listRows)
            QCOMPARE(ReadFile(strFolder + QLatin1Char('/') + Cell(dlg, nRow, eColumnName)),
                     Icat(strDisk, dwStart, dlg.m_pModel->RecordOf(nRow)));

        bSlow = false;
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_pScanButton->text(), QStringLiteral("搜索结束"), 20000);
        // Records 64 to 98: mkntfs leaves 30 to 63 formatted and free, no rows.
        QCOMPARE(dlg.m_pModel->rowCount(), 35);
        QVERIFY(seams.Errors().empty());
    }
};

QTEST_MAIN(CSaveTest)
#include "SaveTest.moc"
