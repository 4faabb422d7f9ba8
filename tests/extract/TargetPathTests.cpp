// Target paths, name checks and the flags a saved file is created with; no
// volume needed.
#include "session/TargetPath.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

std::string Build(const std::string& strFolder, const std::string& strName, DWORD& dwError,
                  ETargetSystem eSystem = eTargetPosix, size_t nPathMax = 4095)
{
    std::string strTarget = "untouched";
    dwError = BuildTargetPath(strFolder, strName, strTarget, eSystem, 255, nPathMax);
    return strTarget;
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

TEST(TargetPath, NamesAreUtf8AsTheirOwnersWroteThem)
{
    DWORD dwError = 1;
    EXPECT_EQ(Build("/o", u8"café.txt", dwError), u8"/o/café.txt");
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(Build("/o", u8"季度报告.txt", dwError), u8"/o/季度报告.txt");
    EXPECT_EQ(Build("C:\\o", u8"отпуск.jpg", dwError, eTargetWindows), u8"C:\\o\\отпуск.jpg");
    EXPECT_EQ(dwError, 0u);
}

TEST(TargetPath, LengthIsCountedAsTheSystemCountsIt)
{
    DWORD dwError = 1;
    // Elsewhere than Windows: a name of at most 255 bytes, a path of at most 4095.
    Build("/o", std::string(255, 'e'), dwError);
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(Build("/o", std::string(256, 'e'), dwError), "");
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);
    std::string strCjk;
    for (int i = 0; i < 85; ++i)
        strCjk += u8"文";  // 3 bytes each: 255
    Build("/o", strCjk, dwError);
    EXPECT_EQ(dwError, 0u);
    Build("/o", strCjk + u8"文", dwError);
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);
    Build(std::string(4000, 'f'), std::string(94, 'n'), dwError);
    EXPECT_EQ(dwError, 0u);
    Build(std::string(4000, 'f'), std::string(95, 'n'), dwError);
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);

    // Windows counts UTF-16 units: a character beyond U+FFFF takes two, one
    // of U+4E00 takes one (a limit of 259 here, as a volume might set).
    const std::string strFolder250(250, 'f');
    EXPECT_EQ(Build(strFolder250, "name.txt", dwError, eTargetWindows, 259).size(), 259u);
    EXPECT_EQ(dwError, 0u);
    Build(strFolder250, "name.txtx", dwError, eTargetWindows, 259);
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);
    Build(strFolder250, u8"文文文文文文文文", dwError, eTargetWindows, 259);
    EXPECT_EQ(dwError, 0u);
    Build(strFolder250, u8"😀😀😀😀x", dwError, eTargetWindows, 259);
    EXPECT_EQ(dwError, ERROR_FILENAME_EXCED_RANGE);
    // Paths far past MAX_PATH are taken where the system takes them.
    Build(std::string(2000, 'f'), "name.txt", dwError, eTargetWindows, 32759);
    EXPECT_EQ(dwError, 0u);
}

TEST(TargetPath, NamesThatWouldLeaveTheFolderOrMisleadAreRefused)
{
    const char* const kRefusedEverywhere[] = {
        "", ".", "..", "a/b", "../x", "/etc", "a\\b", "..\\x", "\\", "a\x01" "b", "\t",
        "a\nb", "x\x1F", "a\x7F", "\xC2\x80", "a\xC2\x85" "b", "\xC2\x9B[2J", "\xC2\x9F",
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
        "a", "...", ".hidden", "a..b", "x.", "name with spaces ", "caf\xC3\xA9", "\xC2\xA0",
        "\xC3\xBF", "a:b", "what?", "CON", "nul.txt", "a*b", u8"文档", u8"😀 smile.txt",
        "\xEF\xBF\xBD.txt",  // U+FFFD, where the name held broken UTF-16
    };
    for (const char* pszName : kAccepted)
        EXPECT_EQ(CheckEntryName(pszName, eTargetPosix), 0u) << pszName;
}

TEST(TargetPath, WindowsRefusesItsReservedNamesAndCharacters)
{
    const char* const kRefused[] = {
        "a:b",   "file.txt:stream", "what?", "a*b", "<x>", "a\"b", "a|b",  "x.",   "x ",
        "... ",  ". .",             "CON",   "con", "NUL.txt", "nul .txt", "Aux", "PRN.a.b",
        "COM1",  "lpt9.log",        "COM\xC2\xB9", "LPT\xC2\xB2.txt",
    };
    for (const char* pszName : kRefused)
        EXPECT_EQ(CheckEntryName(pszName, eTargetWindows), ERROR_INVALID_NAME) << pszName;
    const char* const kAccepted[] = {
        "CONSOLE", "COM", "COM0", "LPT10", "nul_", "a.b", ".x", "caf\xC3\xA9.txt", "con-fig",
        u8"季度报告.txt",
    };
    for (const char* pszName : kAccepted)
        EXPECT_EQ(CheckEntryName(pszName, eTargetWindows), 0u) << pszName;
}

TEST(TargetPath, AnEmptyFolderIsRefused)
{
    // No folder would put the file at the root.
    std::string strTarget = "untouched";
    EXPECT_EQ(BuildTargetPath("", "a", strTarget), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(strTarget, "");
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
