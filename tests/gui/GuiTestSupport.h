// Shared pieces of the desktop program's tests: the sample disk, the seams
// of the dialog set and cleared around each test, and The Sleuth Kit's view.
#pragma once

#include "support/DiskGuard.h"

#include "ui/qt/SalvixDlg.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

using salvix_test::CDiskGuard;

// The sample disk that ctest makes before the tests run.
QString SampleDiskPath();
// A fresh folder below the build tree for one test's output.
QString FreshFolder(const QString& strName);
// A copy of the sample disk, in FreshFolder(strName), whose "FAT32 Drive 1"
// lost its boot sector: a partition that holds no volume the program reads.
QString SampleWithUnreadablePartition(const QString& strName);

// Records the error codes and the save reports the dialog shows instead of
// opening boxes, and the questions it asks before closing, answered yes unless
// a test says otherwise; clears every seam of the dialog when it goes.
class CDialogSeams
{
public:
    CDialogSeams();
    ~CDialogSeams();
    std::vector<DWORD> Errors() const;
    QStringList Questions() const;
    void Answer(bool bYes) { m_bAnswer = bYes; }
    QStringList Reports() const;

private:
    mutable std::mutex m_lock;
    std::vector<DWORD> m_vecErrors;
    QStringList m_listQuestions;
    bool m_bAnswer = true;
    QStringList m_listReports;
};

// The dialog of one test, shown, on a disk (the sample unless given), its
// seams recorded; all of it goes at the end of the test, the dialog first:
//   CDialogOnDisk on;
//   auto& [seams, disk, dlg] = on;
struct CDialogOnDisk
{
    explicit CDialogOnDisk(const QString& strDisk = SampleDiskPath()) : m_disk(strDisk.toStdString())
    {
        m_dlg.show();
    }
    CDialogSeams m_seams;
    CDiskGuard m_disk;
    CSalvixDlg m_dlg;
};

// Runs a function when the scope ends: releases a worker a failed check left waiting.
class CAtExit
{
public:
    explicit CAtExit(std::function<void()> fn) : m_fn(std::move(fn)) {}
    ~CAtExit() { m_fn(); }

private:
    std::function<void()> m_fn;
};

// Selects the tree item with this text; false when there is none.
bool SelectPartition(CSalvixDlg& dlg, const QString& strText);
// The text of a cell of the list.
QString Cell(CSalvixDlg& dlg, int nRow, int nColumn);
// The row that lists record dwRecord, or -1: records no file ever held have
// none, so rows and records do not step together.
int RowOfRecord(CSalvixDlg& dlg, DWORD dwRecord);
// Selects exactly these rows of the list.
void SelectRows(CSalvixDlg& dlg, const QList<int>& listRows);
// Presses the scan button and waits (processing events) for "搜索结束".
bool ScanToEnd(CSalvixDlg& dlg, int nTimeoutMs = 60000);
// The partition's tree item, or null.
QTreeWidgetItem* PartitionItem(CSalvixDlg& dlg, const QString& strText);
// The partition's first sector as the tree item holds it.
DWORD PartitionStart(CSalvixDlg& dlg, const QString& strText);

// What fls says about one record number: its names and whether it is deleted.
struct CFlsRecord
{
    QStringList m_listNames;
    bool m_bDeleted = false;
    bool m_bDirectory = false;
};
// fls -r over the volume at this sector, reallocated and virtual entries
// left out; keyed by record number.
std::map<DWORD, CFlsRecord> FlsEntries(const QString& strImage, DWORD dwStartSector);
// icat of the record's default data.
QByteArray Icat(const QString& strImage, DWORD dwStartSector, DWORD dwRecord);
