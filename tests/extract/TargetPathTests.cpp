// Target paths, name checks and the flags a saved file is created with; no
// volume needed.
#include "session/SaveEntry.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string Build(const std::string& strFolder, const std::string& strName, DWORD& dwError,
                  ETargetSystem eSystem = eTargetPosix)
{
    char szTarget[MAX_PATH];
    memset(szTarget, 'X', sizeof(szTarget));
    dwError = BuildTargetPath(strFolder.c_str(), strName.c_str(), szTarget, eSystem);
    return szTarget;
}

TEST(TargetPath, SeparatorIsAppendedWhateverTheFolderEndsWith)
{
    DWORD dwError = 1;
    EXPECT_EQ(Build("/tmp/out", "a.txt", dwError), "/tmp/out/a.txt");
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(Build("/tmp/out/", "a.txt", dwError), "/tmp/out//a.txt");
    EXPECT_EQ(Build("C:\\", "a.txt", dwError, eTargetWindows), "C:\\\\a.txt");
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(Build("D:\\out", "a.txt", dwError, eTargetWindows), "D:\\out\\a.txt");
}

TEST(TargetPath, Latin1NamesBecomeUtf8OnPosixAndStayBytesOnWindows)
{
    DWORD dwError = 1;
    EXPECT_EQ(Build("/o", "caf\xE9.txt", dwError), u8"/o/café.txt");
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(Build("/o", "\xA0\xFF\xC0", dwError), "/o/\xC2\xA0\xC3\xBF\xC3\x80");
    EXPECT_EQ(Build("C:\\o", "caf\xE9.txt", dwError, eTargetWindows), "C:\\o\\caf\xE9.txt");
    EXPECT_EQ(dwError, 0u);
}

TEST(TargetPath, LengthLimitCountsTheConvertedNameAndTheTerminator)
{
    DWORD dwError = 1;
    // 250 + separator + 8 = 259 bytes: the longest path with its terminator.
    const std::string strFolder250(250, 'f');
    std::string strPath = Build(strFolder250, "name.txt", dwError);
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(strPath.size(), 259u);
    Build(strFolder250, "name.txtx", dwError);
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);

    // "café.txt" is 8 bytes as Latin-1 but 9 as UTF-8.
    Build(strFolder250, "caf\xE9.txt", dwError, eTargetWindows);
    EXPECT_EQ(dwError, 0u);
    strPath = Build(strFolder250, "caf\xE9.txt", dwError);
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(strPath, "");

    // A folder that alone fills the buffer, and one far longer.
    Build(std::string(258, 'f'), "a", dwError);
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);
    Build(std::string(257, 'f'), "a", dwError);
    EXPECT_EQ(dwError, 0u);
    Build(std::string(5000, 'f'), "a", dwError);
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);

    // A 255-byte Latin-1 name, all above 0x7F, needs 510 bytes as UTF-8.
    Build("/o", std::string(255, '\xE9'), dwError);
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);
    Build("/o", std::string(255, 'e'), dwError);
    EXPECT_EQ(dwError, 0u);
}

TEST(TargetPath, NamesThatWouldLeaveTheFolderOrMisleadAreRefused)
{
    const char* const kRefusedEverywhere[] = {
        "", ".", "..", "a/b", "../x", "/etc", "a\\b", "..\\x", "\\", "a\x01" "b", "\t",
        "a\nb", "x\x1F", "a\x7F", "\x80", "a\x85" "b", "\x9B[2J", "\x9F",
    };
    for (const char* pszName : kRefusedEverywhere)
    {
        EXPECT_EQ(CheckEntryName(pszName, eTargetPosix), ERROR_INVALID_NAME) << pszName;
        EXPECT_EQ(CheckEntryName(pszName, eTargetWindows), ERROR_INVALID_NAME) << pszName;
        DWORD dwError = 0;
        EXPECT_EQ(Build("/o", pszName, dwError), "");
        EXPECT_EQ(dwError, ERROR_INVALID_NAME);
    }
    // Ordinary names, odd but harmless ones included.
    const char* const kAccepted[] = {
        "a", "...", ".hidden", "a..b", "x.", "name with spaces ", "caf\xE9", "\xA0", "\xFF",
        "a:b", "what?", "CON", "nul.txt", "a*b",
    };
    for (const char* pszName : kAccepted)
        EXPECT_EQ(CheckEntryName(pszName, eTargetPosix), 0u) << pszName;
    EXPECT_EQ(CheckEntryName(nullptr, eTargetPosix), ERROR_INVALID_NAME);
}

TEST(TargetPath, WindowsRefusesItsReservedNamesAndCharacters)
{
    const char* const kRefused[] = {
        "a:b",   "file.txt:stream", "what?", "a*b", "<x>", "a\"b", "a|b",  "x.",   "x ",
        "... ",  ". .",             "CON",   "con", "NUL.txt", "nul .txt", "Aux", "PRN.a.b",
        "COM1",  "lpt9.log",        "COM\xB9", "LPT\xB2.txt",
    };
    for (const char* pszName : kRefused)
        EXPECT_EQ(CheckEntryName(pszName, eTargetWindows), ERROR_INVALID_NAME) << pszName;
    const char* const kAccepted[] = {
        "CONSOLE", "COM", "COM0", "LPT10", "nul_", "a.b", ".x", "caf\xE9.txt", "con-fig",
    };
    for (const char* pszName : kAccepted)
        EXPECT_EQ(CheckEntryName(pszName, eTargetWindows), 0u) << pszName;
}

TEST(TargetPath, MissingArgumentsAndAnEmptyFolderAreRefused)
{
    char szTarget[MAX_PATH] = "untouched";
    EXPECT_EQ(BuildTargetPath(nullptr, "a", szTarget), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(BuildTargetPath("/o", nullptr, szTarget), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(BuildTargetPath("/o", "a", nullptr), ERROR_INVALID_PARAMETER);
    // No folder would put the file at the root.
    EXPECT_EQ(BuildTargetPath("", "a", szTarget), ERROR_PATH_NOT_FOUND);
    EXPECT_STREQ(szTarget, "");
}

TEST(OutputFlags, OnlyCreatableAttributesPass)
{
    EXPECT_EQ(OutputFileFlags(0), 0u);
    EXPECT_EQ(OutputFileFlags(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const DWORD dwCreatable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                              FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    EXPECT_EQ(OutputFileFlags(0xFFFFFFFFu), dwCreatable);
    // Creation flags: losing the file on close, unbuffered or overlapped writes.
    EXPECT_EQ(OutputFileFlags(FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_NO_BUFFERING |
                              FILE_FLAG_OVERLAPPED | FILE_FLAG_WRITE_THROUGH |
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_POSIX_SEMANTICS |
                              FILE_ATTRIBUTE_ARCHIVE),
              FILE_ATTRIBUTE_ARCHIVE);
    // How NTFS marks directories and index views in $FILE_NAME.
    EXPECT_EQ(OutputFileFlags(0x10000000u | 0x20000000u), 0u);
    // Storage forms the copied bytes do not have, and the reserved bits.
    EXPECT_EQ(OutputFileFlags(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SPARSE_FILE |
                              FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_COMPRESSED |
                              FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_DEVICE | 0x8u | 0x8000u |
                              0x10000u),
              0u);
}

}  // namespace
