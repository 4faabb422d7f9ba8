#include "session/SafeName.h"

#include "fs/Utf8.h"

#include <algorithm>
#include <cstring>

namespace
{

// Kept as the extension when a name is cut, if it is no longer than this.
const size_t kMaxKeptExtension = 32;

DWORD AsciiUpper(DWORD dwCode)
{
    return dwCode >= 'a' && dwCode <= 'z' ? dwCode - 'a' + 'A' : dwCode;
}

size_t CodeLength(DWORD dwCode, ETargetSystem eSystem)
{
    if (eSystem == eTargetWindows)
        return dwCode >= 0x10000 ? 2 : 1;
    return dwCode < 0x80 ? 1 : dwCode < 0x800 ? 2 : dwCode < 0x10000 ? 3 : 4;
}

size_t CodesLength(std::vector<DWORD>::const_iterator itFirst, std::vector<DWORD>::const_iterator itLast,
                   ETargetSystem eSystem)
{
    size_t n = 0;
    for (; itFirst != itLast; ++itFirst)
        n += CodeLength(*itFirst, eSystem);
    return n;
}

bool IsUnsafe(DWORD dwCode, ETargetSystem eSystem)
{
    if (dwCode == '/' || dwCode == '\\' || IsControlCode(dwCode) || IsDirectionCode(dwCode))
        return true;
    // Windows reads these as wildcards, a stream separator or redirections.
    return eSystem == eTargetWindows && dwCode < 0x80 && strchr("<>:\"|?*", static_cast<int>(dwCode));
}

// Where the extension starts (its dot), or the end when there is none to keep.
size_t ExtensionStart(const std::vector<DWORD>& vecCodes, ETargetSystem eSystem)
{
    for (size_t i = vecCodes.size(); i-- > 1;)
    {
        if (vecCodes[i] != '.')
            continue;
        const bool bShort = CodesLength(vecCodes.begin() + static_cast<long>(i), vecCodes.end(), eSystem) <=
                            kMaxKeptExtension;
        return bShort ? i : vecCodes.size();
    }
    return vecCodes.size();
}

// The stem (before nExtension) cut so that stem + strInsert + extension fit
// nMax; the extension is cut too when even an empty stem leaves no room.
std::vector<DWORD> CutToFit(const std::vector<DWORD>& vecCodes, size_t nExtension, const std::string& strInsert,
                            size_t nMax, ETargetSystem eSystem)
{
    const std::vector<DWORD> vecInsert = CodePoints(strInsert);
    std::vector<DWORD> vecExtension(vecCodes.begin() + static_cast<long>(nExtension), vecCodes.end());
    const size_t nFixed = CodesLength(vecInsert.begin(), vecInsert.end(), eSystem) +
                          CodesLength(vecExtension.begin(), vecExtension.end(), eSystem);
    std::vector<DWORD> vecOut;
    size_t nUsed = 0;
    const size_t nRoom = nMax > nFixed ? nMax - nFixed : 0;
    for (size_t i = 0; i < nExtension && nUsed + CodeLength(vecCodes[i], eSystem) <= nRoom; ++i)
    {
        vecOut.push_back(vecCodes[i]);
        nUsed += CodeLength(vecCodes[i], eSystem);
    }
    vecOut.insert(vecOut.end(), vecInsert.begin(), vecInsert.end());
    nUsed += CodesLength(vecInsert.begin(), vecInsert.end(), eSystem);
    for (DWORD dwCode : vecExtension)
    {
        if (nUsed + CodeLength(dwCode, eSystem) > nMax)
            break;
        vecOut.push_back(dwCode);
        nUsed += CodeLength(dwCode, eSystem);
    }
    return vecOut;
}

// What Windows would not take as it stands after a cut: trailing dots and
// blanks (it drops them), and device names.
void FixForWindows(std::vector<DWORD>& vecCodes, size_t nMax)
{
    for (size_t i = vecCodes.size(); i-- > 0 && (vecCodes[i] == '.' || vecCodes[i] == ' ');)
        vecCodes[i] = '_';
    if (IsWindowsDeviceName(vecCodes))
    {
        vecCodes.insert(vecCodes.begin(), '_');
        if (CodesLength(vecCodes.begin(), vecCodes.end(), eTargetWindows) > nMax)
            vecCodes = CutToFit(vecCodes, ExtensionStart(vecCodes, eTargetWindows), "", nMax, eTargetWindows);
    }
}

}  // namespace

std::vector<DWORD> CodePoints(const std::string& str)
{
    std::vector<DWORD> vec;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(str.data());
    const size_t n = str.size();
    for (size_t i = 0; i < n;)
    {
        const unsigned char by = p[i];
        const int nMore = by < 0x80 ? 0 : by >= 0xF0 ? 3 : by >= 0xE0 ? 2 : by >= 0xC0 ? 1 : -1;
        DWORD dwCode = nMore == 0 ? by : by & (0x3F >> nMore);
        bool bOk = nMore >= 0 && i + nMore < n;
        for (int k = 1; bOk && k <= nMore; ++k)
        {
            bOk = (p[i + k] & 0xC0) == 0x80;
            dwCode = (dwCode << 6) | (p[i + k] & 0x3F);
        }
        vec.push_back(bOk ? dwCode : 0xFFFD);
        i += bOk ? nMore + 1 : 1;
    }
    return vec;
}

std::string Utf8Of(const std::vector<DWORD>& vecCodes)
{
    std::string str;
    for (DWORD dwCode : vecCodes)
        AppendCodePointAsUtf8(str, dwCode);
    return str;
}

bool IsControlCode(DWORD dwCode)
{
    return dwCode < 0x20 || (dwCode >= 0x7F && dwCode <= 0x9F);
}

bool IsDirectionCode(DWORD dwCode)
{
    return dwCode == 0x061C || dwCode == 0x200E || dwCode == 0x200F || (dwCode >= 0x202A && dwCode <= 0x202E) ||
           (dwCode >= 0x2066 && dwCode <= 0x2069);
}

bool IsWindowsDeviceName(const std::vector<DWORD>& vecCodes)
{
    size_t nBase = 0;
    while (nBase < vecCodes.size() && vecCodes[nBase] != '.')
        ++nBase;
    while (nBase > 0 && vecCodes[nBase - 1] == ' ')
        --nBase;
    if (nBase < 3 || nBase > 4)
        return false;
    std::string strBase;
    for (size_t i = 0; i < 3; ++i)
        strBase += static_cast<char>(AsciiUpper(vecCodes[i]) & 0xFF);
    if (nBase == 3)
        return strBase == "CON" || strBase == "PRN" || strBase == "AUX" || strBase == "NUL";
    // "COM" and "LPT" also take the superscript digits.
    const DWORD dwDigit = vecCodes[3];
    const bool bDigit = (dwDigit >= '1' && dwDigit <= '9') || dwDigit == 0xB9 || dwDigit == 0xB2 ||
                        dwDigit == 0xB3;
    return bDigit && (strBase == "COM" || strBase == "LPT");
}

size_t NameLength(const std::string& strName, ETargetSystem eSystem)
{
    if (eSystem == eTargetPosix)
        return strName.size();
    const std::vector<DWORD> vecCodes = CodePoints(strName);
    return CodesLength(vecCodes.begin(), vecCodes.end(), eSystem);
}

std::string SafeFileName(const std::string& strName, DWORD dwRecord, size_t nMaxLength, ETargetSystem eSystem)
{
    std::vector<DWORD> vecCodes = CodePoints(strName.empty() ? "记录_" + std::to_string(dwRecord) : strName);
    for (DWORD& dwCode : vecCodes)
        if (IsUnsafe(dwCode, eSystem))
            dwCode = '_';
    // "." and ".." name the folder and its parent, never a file.
    if (std::all_of(vecCodes.begin(), vecCodes.end(), [](DWORD dw) { return dw == '.'; }))
        std::fill(vecCodes.begin(), vecCodes.end(), '_');
    if (CodesLength(vecCodes.begin(), vecCodes.end(), eSystem) > nMaxLength)
        vecCodes = CutToFit(vecCodes, ExtensionStart(vecCodes, eSystem), "", nMaxLength, eSystem);
    if (eSystem == eTargetWindows)
        FixForWindows(vecCodes, nMaxLength);
    if (vecCodes.empty())
        vecCodes.push_back('_');  // a limit of nothing at all: as little as can be
    return Utf8Of(vecCodes);
}

std::string NumberedName(const std::string& strSafeName, unsigned nNumber, size_t nMaxLength, ETargetSystem eSystem)
{
    const std::vector<DWORD> vecCodes = CodePoints(strSafeName);
    const std::string strInsert = " (" + std::to_string(nNumber) + ")";
    return Utf8Of(CutToFit(vecCodes, ExtensionStart(vecCodes, eSystem), strInsert, nMaxLength, eSystem));
}
