#include "session/SaveEntry.h"

#include "platform/FaultInjection.h"

namespace
{

// A code for a failed call even when the platform left none, so that a failure
// is never taken for success.
DWORD LastErrorOr(DWORD dwFallback)
{
    DWORD dwError = GetLastError();
    return dwError ? dwError : dwFallback;
}

struct CHandleCloser
{
    void operator()(void* hHandle) const { CloseHandle(hHandle); }
};
using CFileHandle = std::unique_ptr<void, CHandleCloser>;

}  // namespace

BOOL WriteOutput(HANDLE hFile, const void* pData, DWORD dwCount, LPDWORD pdwWritten)
{
    DWORD dwAsk = dwCount;
    DWORD dwInjected = 0;
    if (faultseam::Active())
    {
        LONG lHigh = 0;
        const DWORD dwLow = SetFilePointer(hFile, 0, &lHigh, FILE_CURRENT);
        const ULONGLONG n64Pos = (static_cast<ULONGLONG>(static_cast<DWORD>(lHigh)) << 32) | dwLow;
        dwAsk = faultseam::ShapeWrite(n64Pos, dwCount, dwInjected);
    }
    faultseam::CountWrite();
    DWORD dwWritten = 0;
    BOOL bOk = WriteFile(hFile, pData, dwAsk, &dwWritten, nullptr);
    if (pdwWritten)
        *pdwWritten = dwWritten;
    if (bOk && dwInjected)
    {
        SetLastError(dwInjected);
        return FALSE;
    }
    return bOk;
}

DWORD ReadEntryContent(CNTFSDrive& drive, DWORD dwRecordIndex, CEntryContent& content)
{
    BYTE* pRawData = nullptr;
    DWORD dwLength = 0;
    if (DWORD dwError = drive.ReadEntryData(dwRecordIndex, pRawData, dwLength))
        return dwError;
    content.m_pData.reset(pRawData);
    content.m_dwLength = dwLength;
    MFTEntryDetails details;
    if (DWORD dwError = drive.GetEntryDetails(dwRecordIndex, content.m_info, details))
        return dwError;
    content.m_strName = std::move(details.strName);
    return 0;
}

DWORD WriteEntryFile(const std::string& strFolder, const CEntryContent& content)
{
    std::string strTarget;
    if (DWORD dwError = BuildTargetPath(strFolder, content.m_strName, strTarget))
        return dwError;
    if (DWORD dwError = CheckExistingTarget(strTarget))
        return dwError;

    SetLastError(NO_ERROR);
    HANDLE hCreated = CreateOutputFile(strTarget, OutputFileFlags(content.m_info.dwFileFlags));
    if (hCreated == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_GEN_FAILURE);
    CFileHandle hFile(hCreated);

    DWORD dwWritten = 0;
    SetLastError(NO_ERROR);
    if (!WriteOutput(hFile.get(), content.m_pData.get(), content.m_dwLength, &dwWritten))
        return LastErrorOr(ERROR_WRITE_FAULT);
    // A write that reports success with bytes missing still lost data.
    if (dwWritten != content.m_dwLength)
        return ERROR_WRITE_FAULT;
    return 0;
}

DWORD SaveEntry(CNTFSDrive& drive, std::mutex& lockDrive, DWORD dwRecordIndex,
                const std::string& strFolder)
{
    CEntryContent content;
    {
        // One hold for both questions, so that a scan reopening the drive in
        // between cannot pair one volume's data with another's name.
        std::lock_guard<std::mutex> lock(lockDrive);
        if (DWORD dwError = ReadEntryContent(drive, dwRecordIndex, content))
            return dwError;
    }
    return WriteEntryFile(strFolder, content);
}
