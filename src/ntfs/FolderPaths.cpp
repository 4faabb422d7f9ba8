#include "ntfs/FolderPaths.h"

#include "ntfs/FieldOffsets.h"

namespace
{

const char* const kRootText = "\\";
const char* const kUnknownText = "?\\";

// Whether the record found at a parent reference is still the folder the
// reference meant. Deleting a record moves its sequence number on by one, so
// a folder that was deleted (not in use) names its children with the number before.
bool SameFolder(const MFTEntryInfo& info, const MFTEntryDetails& details, WORD wWanted)
{
    if (!details.bDirectory || !details.bHasName || details.n64BaseRef != 0)
        return false;
    if (details.wSequence == wWanted)
        return true;
    WORD wNext = static_cast<WORD>(wWanted + 1);
    if (wNext == 0)
        wNext = 1;
    return info.bNotInUse && details.wSequence == wNext;
}

}  // namespace

void CFolderPaths::Clear()
{
    m_vecTexts.clear();
    m_mapByRef.clear();
}

DWORD CFolderPaths::Add(const std::string& strText, ULONGLONG n64Ref)
{
    m_vecTexts.push_back(strText);
    const DWORD dwFolder = static_cast<DWORD>(m_vecTexts.size() - 1);
    m_mapByRef[n64Ref] = dwFolder;
    return dwFolder;
}

DWORD CFolderPaths::FolderOf(CNTFSDrive& drive, ULONGLONG n64ParentRef)
{
    auto it = m_mapByRef.find(n64ParentRef);
    if (it != m_mapByRef.end())
        return it->second;

    // Up the chain until the root, a folder already known, or a break; then
    // down again, keeping every folder passed.
    struct CStep
    {
        ULONGLONG m_n64Ref;
        std::string m_strName;
    };
    std::vector<CStep> vecChain;
    MFTEntryInfo info;
    MFTEntryDetails details;
    ULONGLONG n64Ref = n64ParentRef;
    std::string strBase;
    for (;;)
    {
        it = m_mapByRef.find(n64Ref);
        if (it != m_mapByRef.end())
        {
            strBase = m_vecTexts[it->second];
            break;
        }
        const ULONGLONG n64Record = ntfs::RefRecord(n64Ref);
        if (n64Record == kRootRecord)
        {
            strBase = m_vecTexts[Add(kRootText, n64Ref)];
            break;
        }
        if (static_cast<int>(vecChain.size()) >= kMaxDepth || n64Record > 0xFFFFFFFFull ||
            drive.GetEntryDetails(static_cast<DWORD>(n64Record), info, details) != 0 ||
            !SameFolder(info, details, ntfs::RefSequence(n64Ref)))
        {
            strBase = kUnknownText;
            break;
        }
        bool bLoop = false;
        for (const CStep& step : vecChain)
            bLoop = bLoop || step.m_n64Ref == n64Ref;
        if (bLoop)
        {
            strBase = kUnknownText;
            break;
        }
        vecChain.push_back({n64Ref, details.strName});
        n64Ref = details.n64ParentRef;
    }
    if (vecChain.empty())
        return m_mapByRef.count(n64ParentRef) ? m_mapByRef[n64ParentRef] : Add(strBase, n64ParentRef);
    DWORD dwFolder = 0;
    for (auto itStep = vecChain.rbegin(); itStep != vecChain.rend(); ++itStep)
    {
        strBase = ChildPath(strBase, itStep->m_strName);
        dwFolder = Add(strBase, itStep->m_n64Ref);
    }
    return dwFolder;
}
