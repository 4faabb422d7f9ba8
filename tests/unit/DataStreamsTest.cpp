// The pieces a file's data is read through, apart from a volume: the checks
// before a read, the zeros past the bytes ever written, the stretch past the
// initialized size over the part below it, and record 0 judged as the table.
#include "support/NtfsImage.h"

#include "fs/StreamRead.h"
#include "ntfs/DataStreams.h"
#include "ntfs/FieldOffsets.h"
#include "ntfs/RecordDescription.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace salvix_test;

namespace
{

// Stored bytes read as 0xAB; a hole from m_n64HoleFrom to m_n64HoleTo.
class CFakePart final : public ntfs::IStreamPart
{
public:
    CFakePart(ULONGLONG n64HoleFrom, ULONGLONG n64HoleTo, ULONGLONG n64End)
        : m_n64HoleFrom(n64HoleFrom), m_n64HoleTo(n64HoleTo), m_n64End(n64End)
    {
    }
    DWORD Read(ULONGLONG n64Offset, BYTE* pDest, size_t nCount) override
    {
        m_n64LastRead = n64Offset + nCount;
        std::fill(pDest, pDest + nCount, 0xAB);
        return 0;
    }
    ULONGLONG Stretch(ULONGLONG n64Offset, bool& bHole) const override
    {
        bHole = n64Offset >= m_n64HoleFrom && n64Offset < m_n64HoleTo;
        if (bHole)
            return m_n64HoleTo - n64Offset;
        return (n64Offset < m_n64HoleFrom ? m_n64HoleFrom : m_n64End) - n64Offset;
    }
    ULONGLONG m_n64LastRead = 0;

private:
    ULONGLONG m_n64HoleFrom, m_n64HoleTo, m_n64End;
};

}  // namespace

TEST(DataStreamsTest, ChecksBeforeARead)
{
    BYTE by = 0;
    struct CCase
    {
        bool m_bOpen;
        ULONGLONG m_n64Offset;
        const BYTE* m_pDest;
        size_t m_nCount;
        DWORD m_dwWant;
    };
    for (const CCase& test : {CCase{false, 0, &by, 1, ERROR_INVALID_ACCESS}, CCase{true, 100, nullptr, 0, 0u},
                              CCase{true, 0, nullptr, 1, ERROR_INVALID_PARAMETER}, CCase{true, 99, &by, 1, 0u},
                              CCase{true, 99, &by, 2, ERROR_HANDLE_EOF}, CCase{true, ~0ull, &by, 1, ERROR_HANDLE_EOF}})
        EXPECT_EQ(test.m_dwWant, CheckStreamRead(test.m_bOpen, 100, test.m_n64Offset, test.m_pDest, test.m_nCount))
            << test.m_n64Offset << " x" << test.m_nCount;
}

// A stream of 10,000 bytes written up to 6,000: what a read of each range
// takes from the part below, what it zeros, and the stretches on each side.
TEST(DataStreamsTest, PastTheInitializedSizeIsATrailingHole)
{
    struct CCase
    {
        ULONGLONG m_n64HoleFrom, m_n64HoleTo;  // the hole of the part below
        ULONGLONG m_n64Offset;
        ULONGLONG m_n64WantData, m_n64WantHole;
    };
    const CCase cases[] = {
        {8192, 8192, 0, 6000, 0},        // data, cut where the written bytes end
        {8192, 8192, 5999, 1, 0},
        {8192, 8192, 6000, 0, 4000},     // past them: a hole to the end
        {4096, 8192, 4096, 0, 5904},     // a hole that reaches them goes on to the end
        {1024, 2048, 1024, 0, 1024},     // one that does not stops where it stops
        {1024, 2048, 0, 1024, 0},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(testing::Message() << "hole " << test.m_n64HoleFrom << ".." << test.m_n64HoleTo << " at "
                                        << test.m_n64Offset);
        auto pFake = std::make_unique<CFakePart>(test.m_n64HoleFrom, test.m_n64HoleTo, 8192);
        ntfs::CInitializedStream stream(std::move(pFake), 6000, 10000);
        bool bHole = false;
        const ULONGLONG n64Length = stream.Stretch(test.m_n64Offset, bHole);
        EXPECT_EQ(test.m_n64WantHole != 0, bHole);
        EXPECT_EQ(bHole ? test.m_n64WantHole : test.m_n64WantData, n64Length);
    }
    auto pFake = std::make_unique<CFakePart>(0, 0, 8192);
    CFakePart* pSeen = pFake.get();
    ntfs::CInitializedStream stream(std::move(pFake), 6000, 10000);
    std::vector<BYTE> vec(3000, 0x11);
    ASSERT_EQ(0u, stream.Read(5000, vec.data(), vec.size()));
    EXPECT_EQ(6000u, pSeen->m_n64LastRead) << "nothing past the written bytes is read";
    EXPECT_EQ(std::vector<BYTE>(1000, 0xAB), std::vector<BYTE>(vec.begin(), vec.begin() + 1000));
    EXPECT_EQ(std::vector<BYTE>(2000, 0), std::vector<BYTE>(vec.begin() + 1000, vec.end()));
}

TEST(DataStreamsTest, RecordZeroIsJudgedAsTheTable)
{
    struct CCase
    {
        const char* m_pszWhat;
        const char16_t* m_pszName;  // null: no $FILE_NAME
        bool m_bList;               // an attribute list beside it
        DWORD m_dwRead, m_dwCluster;
        DWORD m_dwWant;
        bool m_bWantElsewhere;
    };
    const CCase cases[] = {
        {"the table", u"$MFT", false, 1024, 4096, 0, false},
        {"a name that begins so", u"$MFTMirr", false, 1024, 4096, 0, false},
        {"another file", u"other", false, 1024, 4096, ERROR_BAD_DEVICE, false},
        {"its name in an extension record", nullptr, true, 1024, 4096, 0, true},
        {"no name and no list", nullptr, false, 1024, 4096, ERROR_BAD_DEVICE, false},
        {"another name beside a list", u"other", true, 1024, 4096, ERROR_BAD_DEVICE, false},
        {"a short read", u"$MFT", false, 1000, 4096, ERROR_INVALID_PARAMETER, false},
        {"an odd cluster size", u"$MFT", false, 1024, 4095, ERROR_INVALID_PARAMETER, false},
        {"no cluster size", u"$MFT", false, 1024, 0, ERROR_INVALID_PARAMETER, false},
    };
    for (const CCase& test : cases)
    {
        CRecordImage record;
        record.AddResident(ntfs::kTypeStandardInfo, StandardInfoValue());
        if (test.m_bList)
            record.AddResident(ntfs::kTypeAttributeList, std::vector<BYTE>(32, 0));
        if (test.m_pszName)
            record.AddResident(ntfs::kTypeFileName, FileNameValue(test.m_pszName));
        std::vector<BYTE> vec = record.End().Bytes();
        bool bElsewhere = !test.m_bWantElsewhere;
        EXPECT_EQ(test.m_dwWant, ntfs::CheckTableRecord(vec.data(), test.m_dwRead, 1024, test.m_dwCluster, bElsewhere))
            << test.m_pszWhat;
        EXPECT_EQ(test.m_bWantElsewhere, bElsewhere) << test.m_pszWhat;
    }
}
