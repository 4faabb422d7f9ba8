#include "session/SaveTargets.h"

#include "session/RowView.h"
#include "session/SafeName.h"

const char* const CSaveTargets::kUnknownFolder = "_unknown_folder";

namespace
{

// FNV-1a, then a final mix so that nearby keys spread over the table.
unsigned long long Hash(const std::string& str, unsigned long long n64Seed)
{
    unsigned long long n64 = 1469598103934665603ull ^ n64Seed;
    for (unsigned char ch : str)
        n64 = (n64 ^ ch) * 1099511628211ull;
    n64 ^= n64 >> 33;
    n64 *= 0xFF51AFD7ED558CCDull;
    n64 ^= n64 >> 33;
    return n64 | 1;  // 0 marks an empty slot
}

std::vector<std::string> SplitFolderText(const std::string& strText)
{
    std::vector<std::string> vecParts;
    size_t nStart = 0;
    while (nStart <= strText.size())
    {
        const size_t nEnd = std::min(strText.find('\\', nStart), strText.size());
        if (nEnd > nStart)
            vecParts.push_back(strText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return vecParts;
}

}  // namespace

CSaveTargets::CSaveTargets(std::string strChosen, size_t nNameMax, size_t nPathMax, ETargetSystem eSystem)
    : m_strChosen(std::move(strChosen)), m_nNameMax(nNameMax), m_nPathMax(nPathMax), m_eSystem(eSystem)
{
    m_vecFolders.push_back({m_strChosen});
    m_vecTable.assign(1024, 0);
}

unsigned long long CSaveTargets::Key(DWORD dwFolder, const std::string& strName)
{
    return Hash(FoldCase(strName.data(), strName.size()), dwFolder);
}

bool CSaveTargets::Contains(unsigned long long n64Key) const
{
    const size_t nMask = m_vecTable.size() - 1;
    for (size_t i = n64Key & nMask; m_vecTable[i] != 0; i = (i + 1) & nMask)
        if (m_vecTable[i] == n64Key)
            return true;
    return false;
}

bool CSaveTargets::Insert(unsigned long long n64Key)
{
    if (Contains(n64Key))
        return false;
    // Kept at most half full, so a probe ends soon.
    if ((m_nTaken + 1) * 2 > m_vecTable.size())
    {
        std::vector<unsigned long long> vecOld;
        vecOld.swap(m_vecTable);
        m_vecTable.assign(vecOld.size() * 2, 0);
        m_nTaken = 0;
        for (unsigned long long n64Old : vecOld)
            if (n64Old != 0)
                Insert(n64Old);
    }
    const size_t nMask = m_vecTable.size() - 1;
    size_t i = n64Key & nMask;
    while (m_vecTable[i] != 0)
        i = (i + 1) & nMask;
    m_vecTable[i] = n64Key;
    ++m_nTaken;
    return true;
}

bool CSaveTargets::Take(DWORD dwFolder, const std::string& strName)
{
    return Insert(Key(dwFolder, strName));
}

bool CSaveTargets::Taken(DWORD dwFolder, const std::string& strName) const
{
    return Contains(Key(dwFolder, strName));
}

std::string CSaveTargets::Join(DWORD dwFolder, const std::string& strName) const
{
    return FolderPath(dwFolder) + (m_eSystem == eTargetWindows ? "\\" : "/") + strName;
}

size_t CSaveTargets::NameRoom(DWORD dwFolder) const
{
    const size_t nUsed = NameLength(FolderPath(dwFolder), m_eSystem) + 1;
    return nUsed >= m_nPathMax ? 0 : std::min(m_nNameMax, m_nPathMax - nUsed);
}

DWORD CSaveTargets::Folder(const std::string& strFolderText, DWORD& dwFolder)
{
    dwFolder = kChosen;
    std::vector<std::string> vecParts = SplitFolderText(strFolderText);
    // A path that could not be followed for sure starts with "?".
    if (strFolderText.compare(0, 2, "?\\") == 0 || strFolderText == "?")
        vecParts.front() = kUnknownFolder;
    for (const std::string& strPart : vecParts)
        if (DWORD dwError = ChildFolder(dwFolder, strPart, dwFolder))
            return dwError;
    return 0;
}

DWORD CSaveTargets::ChildFolder(DWORD dwParent, const std::string& strName, DWORD& dwFolder)
{
    const size_t nRoom = NameRoom(dwParent);
    if (nRoom == 0)
        return ERROR_FILENAME_EXCED_RANGE;
    const std::string strSafe = SafeFileName(strName, 0, nRoom, m_eSystem);
    const std::string strKey = std::to_string(dwParent) + '\\' + FoldCase(strSafe.data(), strSafe.size());
    auto it = m_mapChildren.find(strKey);
    if (it != m_mapChildren.end())
    {
        dwFolder = it->second;
        return 0;
    }
    // The first name that no file of this save holds and that is free or
    // a folder already (a folder of an earlier save is used as it is).
    std::string strFinal = strSafe;
    for (unsigned nNumber = 2;; ++nNumber)
    {
        const DWORD dwAttributes = TargetAttributes(Join(dwParent, strFinal));
        const bool bFolder = dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                             !(dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (!Taken(dwParent, strFinal) && (dwAttributes == INVALID_FILE_ATTRIBUTES || bFolder))
            break;
        if (nNumber > kMaxNumber)
            return ERROR_FILE_EXISTS;
        strFinal = NumberedName(strSafe, nNumber, nRoom, m_eSystem);
    }
    const std::string strPath = Join(dwParent, strFinal);
    const DWORD dwError = MakeFolder(strPath);
    if (dwError != 0 && dwError != ERROR_ALREADY_EXISTS)
        return dwError;
    Take(dwParent, strFinal);
    m_vecFolders.push_back({strPath});
    dwFolder = static_cast<DWORD>(m_vecFolders.size() - 1);
    m_mapChildren[strKey] = dwFolder;
    return 0;
}

DWORD CSaveTargets::FileTarget(DWORD dwFolder, const std::string& strName, DWORD dwRecord, std::string& strTarget,
                               std::string& strFinal, bool bNeverReplace)
{
    strTarget.clear();
    const size_t nRoom = NameRoom(dwFolder);
    if (nRoom < 8)
        return ERROR_FILENAME_EXCED_RANGE;  // not even "记录_1" with a number
    const std::string strSafe = SafeFileName(strName, dwRecord, nRoom, m_eSystem);
    strFinal = strSafe;
    for (unsigned nNumber = 2;; ++nNumber)
    {
        // The entry's own name may replace a plain file from before the save
        // (unless it is read-only: creating it then fails); a made-up name, or
        // a folder, link or device in the way, is passed over.
        // A disk the program reads is never replaced either.
        const std::string strPath = Join(dwFolder, strFinal);
        const DWORD dwAttributes = TargetAttributes(strPath);
        const DWORD dwNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        bool bFree = dwAttributes == INVALID_FILE_ATTRIBUTES;
        if (!bFree && nNumber == 2 && !bNeverReplace && !(dwAttributes & dwNotPlain))
            bFree = CheckExistingTarget(strPath) == 0;
        if (!Taken(dwFolder, strFinal) && bFree)
            break;
        if (nNumber > kMaxNumber)
            return ERROR_FILE_EXISTS;
        strFinal = NumberedName(strSafe, nNumber, nRoom, m_eSystem);
    }
    Take(dwFolder, strFinal);
    strTarget = Join(dwFolder, strFinal);
    return 0;
}
