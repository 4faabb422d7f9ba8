// The NTFS volume most extraction tests save from, made once per test
// process: mkntfs formats it, ntfscp fills it, and a few of its records are
// edited afterwards (names, flags) for cases no tool makes. It lies in a disk
// image behind an MBR, at sector kStartSector.
#pragma once

#include "ExtractTestUtil.h"

#include <map>
#include <string>

namespace extract_test
{

class CExtractVolume
{
public:
    static const DWORD kStartSector = 2048;

    // Built on first use; m_strError says what failed when it could not be.
    static const CExtractVolume& Get();

    // The record number of a file, by the name it was created with.
    DWORD Index(const std::string& strCreatedName) const;

    std::string m_strError;
    std::string m_strFolder;  // this process's own work folder
    std::string m_strVolume;  // the bare volume
    std::string m_strDisk;    // the disk image holding it

    // The names records had when they were created, and the name they were
    // given afterwards where one was patched in.
    std::map<std::string, DWORD> m_mapIndex;
    std::map<std::string, std::u16string> m_mapHostile;  // created name -> patched name

    // Files copied in as they are, with their Latin-1 names, and their bytes.
    std::vector<std::string> m_vecPlainNames;
    std::map<std::string, Bytes> m_mapContent;

private:
    bool Build();
    bool Copy(const std::string& strName, const Bytes& data, const std::string& strStream = "");
    bool Edit(const std::string& strName, const RecordEditor& fnEdit);
};

// A new empty folder for one test's output, under this process's folder.
std::string NewOutputFolder();

}  // namespace extract_test
