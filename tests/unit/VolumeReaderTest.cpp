// Reads inside a volume through the one volume reader: whole sectors of the
// disk only, an image that ends inside a sector, a range past 64-bit
// offsets, a stop, and one read taken as the system gives it.
#include "support/FaultFreeTest.h"
#include "support/Faults.h"
#include "support/Files.h"

#include "disk/VolumeReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

using namespace salvix_test;

namespace
{

// Byte n of the image is n * 7 + n / 251, so no two sectors read alike.
BYTE PatternAt(ULONGLONG n64)
{
    return static_cast<BYTE>(n64 * 7 + n64 / 251);
}

class VolumeReaderTest : public CFaultFreeTest
{
protected:
    // An image of nBytes bytes of the pattern.
    void Make(size_t nBytes)
    {
        std::vector<BYTE> vec(nBytes);
        for (size_t n = 0; n < nBytes; ++n)
            vec[n] = PatternAt(n);
        m_file.Write(0, vec.data(), vec.size());
        m_pDevice = std::make_unique<CHandle>(OpenImage(m_file.Path()));
    }
    CVolumeReader Reader(ULONGLONG n64Offset, DWORD dwSectorSize) const
    {
        CVolumeGeometry geometry;
        geometry.m_n64Offset = n64Offset;
        geometry.m_dwSectorSize = dwSectorSize;
        return CVolumeReader(*m_pDevice, geometry);
    }

    CScratchFile m_file;
    std::unique_ptr<CHandle> m_pDevice;
};

}  // namespace

TEST_F(VolumeReaderTest, RangesAnywhereInTheVolumeReadAsStored)
{
    Make(20 * 4096 + 100);  // ends 100 bytes into a 4 KiB sector
    struct CCase
    {
        ULONGLONG m_n64Volume;
        DWORD m_dwSector;
        ULONGLONG m_n64Offset;
        size_t nCount;
        DWORD m_dwWant;
    };
    const CCase cases[] = {
        {0, 512, 0, 4096, 0},                        // whole sectors
        {0, 512, 3, 1, 0},                           // one byte inside a sector
        {4096, 4096, 4095, 4098, 0},                 // head, a whole sector, tail
        {1024, 4096, 100, 3 * 4096 + 1, 0},          // a volume that starts inside a sector
        {0, 4096, 20 * 4096, 100, 0},                // the image's last bytes, inside a sector
        {0, 4096, 20 * 4096 + 50, 51, ERROR_HANDLE_EOF},  // one byte past them
        {0, 777, 1000, 2000, 0},                     // a sector size no disk has: read as 512
        {~0ull - 10, 512, 5, 10, ERROR_INVALID_PARAMETER},  // past 64-bit offsets
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(testing::Message() << test.m_n64Volume << "+" << test.m_n64Offset << " x" << test.nCount
                                        << " in sectors of " << test.m_dwSector);
        const CVolumeReader reader = Reader(test.m_n64Volume, test.m_dwSector);
        std::vector<BYTE> vec(test.nCount, 0xEE);
        ASSERT_EQ(test.m_dwWant, reader.ReadAt(test.m_n64Offset, vec.data(), vec.size()));
        if (test.m_dwWant != 0)
            continue;
        for (size_t n = 0; n < vec.size(); ++n)
            ASSERT_EQ(PatternAt(test.m_n64Volume + test.m_n64Offset + n), vec[n]) << "byte " << n;
    }
}

TEST_F(VolumeReaderTest, FaultsAndStopsReachTheCaller)
{
    Make(64 * 512);
    const CVolumeReader reader = Reader(0, 512);
    std::vector<BYTE> vec(4 * 512);
    // A failing sector fails a read that only touches part of it.
    InjectFault(CDeviceFault::eReadError, 5 * 512 + 10, ERROR_CRC);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CRC), reader.ReadAt(5 * 512 + 300, vec.data(), 20));
    EXPECT_EQ(0u, reader.ReadAt(6 * 512, vec.data(), 512)) << "the sector after it reads";
    ClearFaults();

    std::atomic<BYTE> bStop{1};
    CVolumeReader stopped = reader;
    stopped.SetStopFlag(&bStop);
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), stopped.ReadAt(0, vec.data(), vec.size()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), stopped.ReadAt(3, vec.data(), 10));
    bStop = 0;
    EXPECT_EQ(0u, stopped.ReadAt(3, vec.data(), 10));
}

// ReadAt reads on after a short read; ReadOnce hands it over as it came, for
// the checks that judge a structure by the bytes that arrived.
TEST_F(VolumeReaderTest, OneReadIsTakenAsTheSystemGivesIt)
{
    Make(64 * 512);
    const CVolumeReader reader = Reader(512, 512);
    std::vector<BYTE> vec(1024);
    InjectFault(CDeviceFault::eShortRead, 512 + 600);
    DWORD dwRead = 0;
    ASSERT_EQ(0u, reader.ReadOnce(0, vec.data(), 1024, dwRead));
    EXPECT_EQ(600u, dwRead);
    InjectFault(CDeviceFault::eShortRead, 512 + 600);
    EXPECT_EQ(0u, reader.ReadAt(0, vec.data(), 1024));
    EXPECT_EQ(PatternAt(512 + 1023), vec[1023]);
    ClearFaults();
    ASSERT_EQ(0u, reader.ReadOnce(63 * 512 - 512, vec.data(), 1024, dwRead));
    EXPECT_EQ(512u, dwRead) << "the image ends";
}
