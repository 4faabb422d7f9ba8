// The save command from the list's context menu: what is asked, what is
// written (checked against icat), the order and the first failure, names
// that must not become paths, and saving while a scan is still listing.
#include "GuiTestSupport.h"

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
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTableView>

#ifdef SALVIX_HAVE_MKVOLUME
#include "Images.h"
#include "NtfsWriter.h"
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace
{

const DWORD kHandMadeStart = 2048;

QString Cell(CSalvixDlg& dlg, int nRow, int nColumn)
{
    return dlg.m_pModel->data(dlg.m_pModel->index(nRow, nColumn)).toString();
}

void SelectRows(CSalvixDlg& dlg, const QList<int>& listRows)
{
    dlg.m_pList->clearSelection();
    for (int nRow : listRows)
        dlg.m_pList->selectionModel()->select(
            dlg.m_pModel->index(nRow, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// A right-click on the list's rows area, answered with "保存".
void RightClickAndSave(CSalvixDlg& dlg)
{
    QWidget* pViewport = dlg.m_pList->viewport();
    const QPoint pt(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pt, pViewport->mapToGlobal(pt));
    QApplication::sendEvent(pViewport, &event);
}

QByteArray Icat(const QString& strImage, DWORD dwStart, DWORD dwRecord)
{
    QProcess process;
    process.start(QStringLiteral("icat"), {QStringLiteral("-o"), QString::number(dwStart), strImage,
                                           QString::number(dwRecord)});
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Row of the record whose name fls gives, or -1.
int RowOfName(const std::map<DWORD, CFlsEntry>& mapFls, const QString& strName)
{
    for (const auto& [dwRecord, entry] : mapFls)
        if (dwRecord >= 30 && entry.m_listNames.contains(strName))
            return static_cast<int>(dwRecord) - 30;
    return -1;
}

#ifdef SALVIX_HAVE_MKVOLUME
// Sets the read-only bit in the $FILE_NAME flags of one record of a fresh
// volume, in place; the record must lie in the first run of the table.
bool MarkReadOnly(const QString& strDisk, DWORD dwRecord)
{
    QFile file(strDisk);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const qint64 n64Volume = qint64(kHandMadeStart) * 512;
    file.seek(n64Volume);
    const QByteArray boot = file.read(512);
    auto le = [](const QByteArray& a, int off, int n) {
        quint64 v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | quint8(a[off + i]);
        return v;
    };
    const qint64 n64Cluster = qint64(le(boot, 0x0B, 2) * le(boot, 0x0D, 1));
    const qint8 chCode = qint8(boot[0x40]);
    const qint64 n64RecordSize = chCode < 0 ? (qint64(1) << -chCode) : chCode * n64Cluster;
    const qint64 n64At =
        n64Volume + qint64(le(boot, 0x30, 8)) * n64Cluster + dwRecord * n64RecordSize;
    file.seek(n64At);
    QByteArray record = file.read(n64RecordSize);
    if (!record.startsWith("FILE") || le(record, 0x2C, 4) != dwRecord)
        return false;
    for (int nOff = int(le(record, 0x14, 2)); nOff + 24 <= record.size();)
    {
        const quint64 dwType = le(record, nOff, 4);
        const int nLength = int(le(record, nOff + 4, 4));
        if (dwType == 0xFFFFFFFF || nLength <= 0)
            break;
        if (dwType == 0x30)
        {
            const int nFlags = nOff + int(le(record, nOff + 0x14, 2)) + 0x38;
            record[nFlags] = char(record[nFlags] | 0x01);
            file.seek(n64At);
            return file.write(record) == record.size();
        }
        nOff += nLength;
    }
    return false;
}
#endif

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
#ifdef SALVIX_HAVE_MKVOLUME
        // A disk with one NTFS partition holding names that need care.
        const QString strDir = FreshFolder(QStringLiteral("save-disk"));
        m_strHandMade = strDir + QStringLiteral("/hand-made.img");
        const std::string strVolume = (strDir + QStringLiteral("/volume.tmp")).toStdString();
        const uint32_t dwSectors = 16 * 2048;
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
        QVERIFY(MakePartitionedDisk(m_strHandMade.toStdString(), uint64_t(dwSectors + 4096) * 512,
                                    {{ kHandMadeStart,
                                       dwSectors,
                                       0x07 }}));
        QVERIFY(PlaceImage(strVolume, m_strHandMade.toStdString(), uint64_t(kHandMadeStart) * 512));
        QFile::remove(QString::fromStdString(strVolume));
        const auto mapFls = FlsEntries(m_strHandMade, kHandMadeStart);
        const int nRow = RowOfName(mapFls, QStringLiteral("readonly.txt"));
        QVERIFY(nRow >= 0);
        QVERIFY(MarkReadOnly(m_strHandMade, DWORD(nRow) + 30));
#endif
    }

    void NothingSelectedAsksNothing()
    {
        CDialogSeams seams;
        CDiskEnvironment disk(SampleDiskPath());
        CSalvixDlg dlg;
        dlg.show();
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
        QCOMPARE(listEntries, QStringList{QStringLiteral("保存")});
        QVERIFY(!bAsked);
        QVERIFY(seams.Errors().empty());
        // The command from any source behaves the same.
        dlg.OnSaveSelected();
        QVERIFY(!bAsked);
    }

    void CancelledChooserWritesNothing()
    {
        CDialogSeams seams;
        CDiskEnvironment disk(SampleDiskPath());
        CSalvixDlg dlg;
        dlg.show();
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        SelectRows(dlg, {40});
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
        CDialogSeams seams;
        const QString strDisk = SampleDiskPath();
        CDiskEnvironment disk(strDisk);
        CSalvixDlg dlg;
        dlg.show();
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
                listRows << int(dwRecord) - 30;
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
                const QByteArray byteExpected = Icat(strDisk, dwStart, DWORD(nRow) + 30);
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

    void FailureInTheMiddleStopsTheRun()
    {
        CDialogSeams seams;
        const QString strDisk = SampleDiskPath();
        CDiskEnvironment disk(strDisk);
        CSalvixDlg dlg;
        dlg.show();
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        const auto mapFls =
            FlsEntries(strDisk, PartitionStart(dlg, QStringLiteral("NTFS Drive 0")));
        const int nFirst = RowOfName(mapFls, QStringLiteral("Report 2023.txt"));
        const int nMiddle = RowOfName(mapFls, QStringLiteral("readme.txt"));
        const int nLast = RowOfName(mapFls, QStringLiteral("config.ini"));
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

        QCOMPARE(seams.Errors(), std::vector<DWORD>{ERROR_ACCESS_DENIED});
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(QFile::exists(strFolder + QStringLiteral("/Report 2023.txt")));
        QCOMPARE(ReadFile(strBlocker), QByteArray("already here"));
        QVERIFY(!QFile::exists(strFolder + QStringLiteral("/config.ini")));
    }

    void NamesOfTheHandMadeVolume()
    {
#ifndef SALVIX_HAVE_MKVOLUME
        QSKIP("the volume maker is not built");
#else
        CDialogSeams seams;
        CDiskEnvironment disk(m_strHandMade);
        CSalvixDlg dlg;
        dlg.show();
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        const auto mapFls = FlsEntries(m_strHandMade, kHandMadeStart);
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
        QString strFolder;
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };

        // Two rows of the same name: both written, the later one remains.
        QList<int> listSame;
        for (const auto& [dwRecord, entry] : mapFls)
            if (dwRecord >= 30 && entry.m_listNames.contains(QStringLiteral("same.txt")))
                listSame << int(dwRecord) - 30;
        QCOMPARE(listSame.size(), 2);
        strFolder = FreshFolder(QStringLiteral("same-name"));
        SelectRows(dlg, listSame);
        RightClickAndSave(dlg);
        QVERIFY(seams.Errors().empty());
        QCOMPARE(QDir(strFolder).entryList(QDir::Files), QStringList{QStringLiteral("same.txt")});
        QCOMPARE(ReadFile(strFolder + QStringLiteral("/same.txt")),
                 Icat(m_strHandMade, kHandMadeStart, DWORD(listSame.last()) + 30));

        // A Latin-1 name arrives as UTF-8.
        const int nCafe = RowOfName(mapFls, QStringLiteral("café.txt"));
        QVERIFY(nCafe >= 0);
        QCOMPARE(Cell(dlg, nCafe, eColumnName), QStringLiteral("café.txt"));
        SelectRows(dlg, {nCafe});
        RightClickAndSave(dlg);
        QCOMPARE(ReadFile(strFolder + QStringLiteral("/café.txt")), QByteArray("latin-1 name"));

        // A name beyond Latin-1 is listed and saved whole.
        const int nJapanese = RowOfName(mapFls, QStringLiteral("日本.txt"));
        QVERIFY(nJapanese >= 0);
        QCOMPARE(Cell(dlg, nJapanese, eColumnName), QStringLiteral("日本.txt"));
        QCOMPARE(Cell(dlg, nJapanese, eColumnPath), QStringLiteral("\\"));
        SelectRows(dlg, {nJapanese});
        RightClickAndSave(dlg);
        QCOMPARE(ReadFile(strFolder + QStringLiteral("/日本.txt")), QByteArray("a whole name"));

        // A read-only entry gives a file without write permission; saving it
        // again fails with access denied and leaves the first copy.
        const int nReadOnly = RowOfName(mapFls, QStringLiteral("readonly.txt"));
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

        // Hostile names are refused one by one and nothing lands outside the folder.
        QVERIFY2(m_listHostile.size() >= 2, qPrintable(m_listHostile.join(QLatin1Char('|'))));
        const QString strParent = FreshFolder(QStringLiteral("hostile"));
        strFolder = strParent + QStringLiteral("/inside");
        QDir().mkpath(strFolder);
        for (const QString& strName : m_listHostile)
        {
            const int nRow = int(m_mapHostileRecords[strName]) - 30;
            QVERIFY2(nRow >= 0 && nRow < dlg.m_pModel->rowCount(), qPrintable(strName));
            const size_t nErrorsBefore = seams.Errors().size();
            SelectRows(dlg, {nRow});
            RightClickAndSave(dlg);
            QCOMPARE(seams.Errors().size(), nErrorsBefore + 1);
            QCOMPARE(seams.Errors().back(), DWORD(ERROR_INVALID_NAME));
        }
        QCOMPARE(QDir(strFolder)
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                     .size(),
                 0);
        QCOMPARE(QDir(strParent).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("inside")});
#endif
    }

    void SortedAndFilteredRowsSaveTheirOwnRecords()
    {
        CDialogSeams seams;
        CDiskEnvironment disk(SampleDiskPath());
        CSalvixDlg dlg;
        dlg.show();
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
        CDialogSeams seams;
        CDiskEnvironment disk(SampleDiskPath());
        CSalvixDlg dlg;
        dlg.show();
        QVERIFY(SelectPartition(dlg, QStringLiteral("NTFS Drive 0")));
        QVERIFY(ScanToEnd(dlg));
        const auto mapFls = FlsEntries(SampleDiskPath(), PartitionStart(dlg, QStringLiteral("NTFS Drive 0")));
        const int nFirst = RowOfName(mapFls, QStringLiteral("readme.txt"));
        const int nSecond = RowOfName(mapFls, QStringLiteral("setup.exe"));
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
        CDialogSeams seams;
        const QString strDisk = SampleDiskPath();
        CDiskEnvironment disk(strDisk);
        CSalvixDlg dlg;
        dlg.show();
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
        QTRY_VERIFY(dlg.m_pModel->rowCount() >= 44);
        QCOMPARE(dlg.m_pScanButton->text(), QStringLiteral("停止扫描"));

        const DWORD dwStart = PartitionStart(dlg, QStringLiteral("NTFS Drive 0"));
        const QList<int> listRows = {35, 36, 37, 38, 40, 43, 44};  // records 65 to 74
        SelectRows(dlg, listRows);
        const QString strFolder = FreshFolder(QStringLiteral("during-scan"));
        CSalvixDlg::s_fnMenuHook = [](QMenu&, const QPoint&) { return 32771; };
        CSalvixDlg::s_fnFolderHook = [&](const QString&, const QString&) { return strFolder; };
        RightClickAndSave(dlg);
        QVERIFY(seams.Errors().empty());
        QCOMPARE(dlg.m_pScanButton->text(), QStringLiteral("停止扫描"));
        for (int nRow : listRows)
            QCOMPARE(ReadFile(strFolder + QLatin1Char('/') + Cell(dlg, nRow, eColumnName)),
                     Icat(strDisk, dwStart, DWORD(nRow) + 30));

        bSlow = false;
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_pScanButton->text(), QStringLiteral("搜索结束"), 20000);
        QCOMPARE(dlg.m_pModel->rowCount(), 69);
        QVERIFY(seams.Errors().empty());
    }
};

QTEST_MAIN(CSaveTest)
#include "SaveTest.moc"
