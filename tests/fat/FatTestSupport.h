// What the FAT tests share: the volumes made once per run, a walk of an
// image into rows with their whole paths, and a row's data read whole.
#pragma once

#include "fat/FatVolume.h"
#include "support/Files.h"
#include "support/Process.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace salvix_test
{

// One walked row with its path as The Sleuth Kit writes it ("Photos/2024/x").
struct CWalkedRow
{
    fat::CFatRow m_row;
    std::string m_strName;
    std::string m_strFolder;  // "\", "\Photos\2024", "?\..."
    std::string SlashPath() const
    {
        std::string str = m_strFolder == "\\" ? std::string() : m_strFolder.substr(1) + "/";
        for (char& ch : str)
            if (ch == '\\')
                ch = '/';
        return str + m_strName;
    }
};

class CRowCollector : public fat::IFatSink
{
public:
    explicit CRowCollector(const fat::CFatVolume& volume) : m_volume(volume) {}
    DWORD OnRows(fat::CFatRowBatch&& batch) override
    {
        ++m_nBatches;
        EXPECT_EQ(batch.m_dwFirstNewFolder, m_vecFolders.size());
        m_vecFolders.insert(m_vecFolders.end(), batch.m_vecNewFolders.begin(), batch.m_vecNewFolders.end());
        for (const fat::CFatRow& row : batch.m_vecRows)
        {
            EXPECT_LT(row.m_dwFolder, m_vecFolders.size());
            m_vecRows.push_back({row, batch.Name(row), row.m_dwFolder < m_vecFolders.size() ? m_vecFolders[row.m_dwFolder] : ""});
        }
        return m_dwAnswer;
    }
    const fat::CFatVolume& m_volume;
    std::vector<CWalkedRow> m_vecRows;
    std::vector<std::string> m_vecFolders;
    int m_nBatches = 0;
    DWORD m_dwAnswer = 0;  // what OnRows returns
};

// Opens the volume at n64Offset of the image and walks it; the codes of both.
struct CImageWalk
{
    DWORD m_dwOpen = 0;
    DWORD m_dwWalk = 0;
    std::vector<CWalkedRow> m_vecRows;
    const CWalkedRow* Find(const std::string& strSlashPath) const
    {
        for (const CWalkedRow& row : m_vecRows)
            if (row.SlashPath() == strSlashPath)
                return &row;
        return nullptr;
    }
};

inline CImageWalk WalkImage(fat::CFatVolume& volume, HANDLE hDisk, ULONGLONG n64Offset = 0)
{
    CImageWalk walk;
    walk.m_dwOpen = volume.Open(hDisk, n64Offset, 512);
    if (walk.m_dwOpen != 0)
        return walk;
    CRowCollector sink(volume);
    std::atomic<BYTE> bStop{0};
    walk.m_dwWalk = volume.Walk(sink, bStop);
    walk.m_vecRows = std::move(sink.m_vecRows);
    return walk;
}

// A row's data read whole, in pieces of an odd size; the first failing code.
inline DWORD ReadEntry(fat::CFatVolume& volume, DWORD dwEntry, Bytes& vecData)
{
    vecData.clear();
    fat::CFatData data;
    if (DWORD dwError = volume.OpenData(dwEntry, data))
        return dwError;
    vecData.resize(static_cast<size_t>(data.Size()));
    const size_t kPiece = 1237;
    for (size_t nOff = 0; nOff < vecData.size(); nOff += kPiece)
        if (DWORD dwError = data.Read(nOff, vecData.data() + nOff, std::min(kPiece, vecData.size() - nOff)))
            return dwError;
    return 0;
}

// The volumes of make-fat-images.sh, made once per run of the tests.
class CMadeVolumes
{
public:
    static const CMadeVolumes& Get()
    {
        static CMadeVolumes s_volumes;
        return s_volumes;
    }
    std::string Image(const std::string& strKind) const { return m_strDir + "/" + strKind + ".img"; }
    std::string Source(const std::string& strKind, const std::string& strName) const
    {
        return m_strDir + "/" + strKind + ".src/" + strName;
    }
    // Why there is no volume of this kind; empty when there is one.
    std::string Missing(const std::string& strKind) const;
    const std::string& Dir() const { return m_strDir; }

private:
    CMadeVolumes();
    std::string m_strDir;
    std::string m_strFailure;
};

inline CMadeVolumes::CMadeVolumes() : m_strDir(std::string(SALVIX_FAT_WORK_DIR) + "/volumes")
{
    const CProcessResult result = RunProcess({"bash", SALVIX_FAT_MAKER, m_strDir});
    if (!result.Ok())
        m_strFailure = "make-fat-images.sh failed: " + result.m_strErrors;
}

inline std::string CMadeVolumes::Missing(const std::string& strKind) const
{
    if (!m_strFailure.empty())
        return m_strFailure;
    Bytes vecReason;
    if (ReadFileBytes(m_strDir + "/" + strKind + ".skip", vecReason))
        return std::string(vecReason.begin(), vecReason.end());
    return std::string();
}

// A test over each kind of made volume (the parameter: "fat12", ..., "exfat"):
// SetUp skips exFAT where it could not be made here (no FUSE), fails on any
// other missing volume, and otherwise names the image. A fixture that derives
// from it calls its SetUp first and returns when Ready() is false.
class CMadeVolumeTest : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        const std::string strMissing = CMadeVolumes::Get().Missing(GetParam());
        if (!strMissing.empty())
        {
            if (std::string(GetParam()) == "exfat" && strMissing.find("failed") == std::string::npos)
                GTEST_SKIP() << "no exFAT volume here: " << strMissing;
            FAIL() << strMissing;
        }
        m_strImage = CMadeVolumes::Get().Image(GetParam());
    }
    bool Ready() const { return !IsSkipped() && !HasFatalFailure(); }

    std::string m_strImage;
};

}  // namespace salvix_test
