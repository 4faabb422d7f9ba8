// Shared pieces of the desktop program's tests: the sample disk, the seams
// of the dialog set and cleared around each test, and The Sleuth Kit's view.
#pragma once

#include "ui/SalvixDlg.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// The sample disk that ctest makes before the tests run.
QString SampleDiskPath();
// A fresh folder below the build tree for one test's output.
QString FreshFolder(const QString& strName);

// Points the first physical disk at strPath for the life of the object.
class CDiskEnvironment
{
public:
    explicit CDiskEnvironment(const QString& strPath);
    ~CDiskEnvironment();

private:
    QByteArray m_byteOld;
    bool m_bHadOld;
};

// Records the error codes the dialog shows instead of opening boxes; clears
// every seam of the dialog when it goes.
class CDialogSeams
{
public:
    CDialogSeams();
    ~CDialogSeams();
    std::vector<DWORD> Errors() const;

private:
    mutable std::mutex m_lock;
    std::vector<DWORD> m_vecErrors;
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
// Presses the scan button and waits (processing events) for "搜索结束".
bool ScanToEnd(CSalvixDlg& dlg, int nTimeoutMs = 60000);
// The partition's first sector as the tree item holds it.
DWORD PartitionStart(CSalvixDlg& dlg, const QString& strText);

// Runs a program; its standard output, or an empty array when it failed.
QByteArray RunTool(const QString& strProgram, const QStringList& listArgs);

// What fls says about one record number: its names and whether it is deleted.
struct CFlsEntry
{
    QStringList m_listNames;
    bool m_bDeleted = false;
    bool m_bDirectory = false;
};
// fls -r over the volume at this sector; keyed by record number.
std::map<DWORD, CFlsEntry> FlsEntries(const QString& strImage, DWORD dwStartSector);
