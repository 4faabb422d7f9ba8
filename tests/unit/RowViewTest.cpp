// Whole names from UTF-16 as stored, and the list's order and filter over
// the rows of a scan.
#include "support/NtfsImage.h"
#include "ntfs/NtfsFileSystem.h"

#include "ntfs/Names.h"
#include "session/RowView.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

std::string FromUnits(std::initializer_list<WORD> units)
{
    const std::vector<BYTE> vec = salvix_test::Utf16(std::u16string(units.begin(), units.end()));
    return Utf16ToUtf8(vec.data(), units.size());
}

// Rows 30, 31, ... with these names, deleted marks and folders.
struct CRowSpec
{
    const char* m_pszName;
    BYTE m_bDeleted;
    DWORD m_dwClusters;
    DWORD m_dwFolder;
};

void Fill(CRowStore& store, const std::vector<CRowSpec>& vecRows, const std::vector<std::string>& vecFolders)
{
    CRowBatch batch;
    batch.m_vecNewFolders = vecFolders;
    DWORD dwRecord = 30;
    for (const CRowSpec& spec : vecRows)
    {
        MFTEntryInfo info = {};
        info.bNotInUse = spec.m_bDeleted;
        info.n64Clusters = spec.m_dwClusters;
        AddRecordRow(batch, dwRecord++, info, spec.m_pszName, spec.m_dwFolder);
    }
    store.Append(std::move(batch));
}

std::vector<std::string> Names(const CRowView& view, const CRowStore& store)
{
    std::vector<std::string> vec;
    for (size_t i = 0; i < view.Size(); ++i)
        vec.push_back(store.Name(view.StoreRow(i)));
    return vec;
}

}  // namespace

TEST(WholeNames, InvalidUtf16IsShownAsReplacementAndNeverCutsTheName)
{
    EXPECT_EQ(u8"季度报告.txt", FromUnits({0x5B63, 0x5EA6, 0x62A5, 0x544A, '.', 't', 'x', 't'}));
    EXPECT_EQ(u8"😀", FromUnits({0xD83D, 0xDE00}));
    // A high surrogate alone, at the end and before an ordinary unit; a low
    // one alone; a pair in the wrong order: each is one U+FFFD, the rest stays.
    EXPECT_EQ(u8"a\uFFFD", FromUnits({'a', 0xD83D}));
    EXPECT_EQ(u8"\uFFFDb", FromUnits({0xD83D, 'b'}));
    EXPECT_EQ(u8"\uFFFDc", FromUnits({0xDE00, 'c'}));
    EXPECT_EQ(u8"\uFFFD\uFFFD", FromUnits({0xDE00, 0xD83D}));
    EXPECT_EQ(u8"é\u00FF\u0100", FromUnits({0xE9, 0xFF, 0x100}));
    EXPECT_EQ("", FromUnits({}));
}

TEST(RowViewTest, SortsByEachColumnAndReversesOnRequest)
{
    CRowStore store;
    Fill(store,
         {{"b.txt", 0, 5, 1}, {"A.txt", 1, 9, 0}, {"c.txt", 0, 1, 1}, {"a.txt", 1, 9, 2}},
         {"\\", u8"\\文档", "\\Alpha"});
    CRowView view;
    view.Rebuild(store);
    EXPECT_EQ((std::vector<std::string>{"b.txt", "A.txt", "c.txt", "a.txt"}), Names(view, store));
    view.SetOrder(eColumnName, false);
    view.Rebuild(store);
    // Case folded; the same name keeps the scan's order.
    EXPECT_EQ((std::vector<std::string>{"A.txt", "a.txt", "b.txt", "c.txt"}), Names(view, store));
    view.SetOrder(eColumnName, true);
    view.Rebuild(store);
    EXPECT_EQ((std::vector<std::string>{"c.txt", "b.txt", "a.txt", "A.txt"}), Names(view, store));
    view.SetOrder(eColumnClusters, false);
    view.Rebuild(store);
    EXPECT_EQ((std::vector<std::string>{"c.txt", "b.txt", "A.txt", "a.txt"}), Names(view, store));
    view.SetOrder(eColumnDeleted, false);
    view.Rebuild(store);
    EXPECT_EQ((std::vector<std::string>{"A.txt", "a.txt", "b.txt", "c.txt"}), Names(view, store));
    // By folder ("\", "\Alpha", "\文档"), then name.
    view.SetOrder(eColumnPath, false);
    view.Rebuild(store);
    EXPECT_EQ((std::vector<std::string>{"A.txt", "a.txt", "b.txt", "c.txt"}), Names(view, store));
    view.SetOrder(eColumnNumber, true);
    view.Rebuild(store);
    EXPECT_EQ((std::vector<std::string>{"a.txt", "c.txt", "A.txt", "b.txt"}), Names(view, store));
}

TEST(RowViewTest, FiltersNamesAndFoldersCaseFoldedAndDeletedOnly)
{
    CRowStore store;
    Fill(store, {{u8"ОТПУСК.jpg", 0, 1, 0}, {"IMG_0042.jpg", 1, 1, 1}, {u8"Résumé.doc", 0, 1, 1},
                 {"notes.txt", 1, 1, 2}},
         {u8"\\Фото", "\\Camera", u8"\\文档\\2024年"});
    CRowView view;
    view.SetFilter(u8"отпуск", false);
    view.Rebuild(store);
    EXPECT_EQ(std::vector<std::string>{u8"ОТПУСК.jpg"}, Names(view, store));
    view.SetFilter("img_0042", false);
    view.Rebuild(store);
    EXPECT_EQ(std::vector<std::string>{"IMG_0042.jpg"}, Names(view, store));
    view.SetFilter(u8"RÉSUMÉ", false);
    view.Rebuild(store);
    EXPECT_EQ(std::vector<std::string>{u8"Résumé.doc"}, Names(view, store));
    // A folder's text counts: every row of "\Camera".
    view.SetFilter("camera", false);
    view.Rebuild(store);
    EXPECT_EQ((std::vector<std::string>{"IMG_0042.jpg", u8"Résumé.doc"}), Names(view, store));
    view.SetFilter(u8"2024年", true);
    view.Rebuild(store);
    EXPECT_EQ(std::vector<std::string>{"notes.txt"}, Names(view, store));
    view.SetFilter("", true);
    view.Rebuild(store);
    EXPECT_EQ((std::vector<std::string>{"IMG_0042.jpg", "notes.txt"}), Names(view, store));
}

TEST(RowViewTest, RowsArrivingDuringAScanTakeTheirPlace)
{
    CRowStore store;
    CRowView view;
    view.SetOrder(eColumnName, false);
    view.SetFilter(".txt", false);
    Fill(store, {{"m.txt", 0, 1, 0}, {"x.bin", 0, 1, 0}, {"c.txt", 0, 1, 0}}, {"\\"});
    view.Append(store);
    CRowBatch batch;
    for (const char* psz : {"a.txt", "z.txt", "q.dat", "n.txt"})
    {
        MFTEntryInfo info = {};
        AddRecordRow(batch, static_cast<DWORD>(40 + store.Size()), info, psz, 0);
    }
    store.Append(std::move(batch));
    EXPECT_EQ(3u, view.CountNew(store));
    view.Append(store);
    EXPECT_EQ((std::vector<std::string>{"a.txt", "c.txt", "m.txt", "n.txt", "z.txt"}), Names(view, store));
}

// More rows than one block and more names than one chunk of the store: each
// row keeps its own name, a filter finds names in every chunk, and an order
// by name interleaves them.
TEST(RowViewTest, NamesAndRowsBeyondOneChunkStayTheirOwn)
{
    CRowStore store;
    const size_t kRows = 100000;  // about 6 MiB of names: two chunks
    for (size_t nFirst = 0; nFirst < kRows; nFirst += 8192)
    {
        CRowBatch batch;
        for (size_t i = nFirst; i < std::min(kRows, nFirst + 8192); ++i)
        {
            MFTEntryInfo info = {};
            char szName[80];
            snprintf(szName, sizeof(szName), "Row_%06zu_%s.TXT", kRows - i, std::string(40, 'x').c_str());
            AddRecordRow(batch, static_cast<DWORD>(30 + i), info, szName);
        }
        store.Append(std::move(batch));
    }
    ASSERT_EQ(kRows, store.Size());
    ASSERT_GE(store.NameChunkCount(), 2u);
    for (size_t i : {size_t(0), size_t(65535), size_t(65536), kRows - 1})
        EXPECT_EQ(0, store.Name(i).compare(0, 11, "Row_" + std::to_string(kRows - i + 1000000).substr(1) + "_"))
            << i;

    CRowView view;
    view.SetFilter("row_000001_", false);
    view.Rebuild(store);
    ASSERT_EQ(1u, view.Size());
    EXPECT_EQ(kRows - 1, view.StoreRow(0));
    view.SetFilter("", false);
    view.SetOrder(eColumnName, false);
    view.Rebuild(store);
    ASSERT_EQ(kRows, view.Size());
    for (size_t i = 0; i < kRows; i += 9999)
        EXPECT_EQ(kRows - 1 - i, view.StoreRow(i));
}
