// Whole names from UTF-16 as stored, and the list's order and filter over
// the rows of a scan.
#include "support/NtfsImage.h"
#include "ntfs/NtfsFileSystem.h"

#include "ntfs/Names.h"
#include "session/RowText.h"
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

namespace
{

// Rows a..f with sizes, times and states; c's state comes later.
void FillStates(CRowStore& store)
{
    struct CStateRow
    {
        const char* m_pszName;
        bool m_bDeleted, m_bHasSize;
        ULONGLONG m_n64Size, m_n64Time;
        ERowState m_eState;
        BYTE m_byPercent;
    };
    const CStateRow kRows[] = {
        {"a", false, true, 5000, 300, eRowStateLive, 0},          {"b", true, true, 185900, 100, eRowStatePartial, 20},
        {"c", true, false, 0, 200, eRowStateUnknown, 0},          {"d", true, true, 7, 400, eRowStateRecoverable, 100},
        {"e", true, false, 0, 50, eRowStateNoData, 0},            {"f", true, true, 1u << 30, 250, eRowStatePartial, 70},
    };
    CRowBatch batch;
    DWORD dwRecord = 30;
    for (const CStateRow& spec : kRows)
    {
        CScanRow& row = batch.Add(dwRecord++, spec.m_pszName, strlen(spec.m_pszName));
        row.m_bNotInUse = spec.m_bDeleted ? 1 : 0;
        row.m_byRowFlags = (spec.m_bHasSize ? CScanRow::kRowHasSize : 0) |
                           (spec.m_pszName[0] == 'c' ? CScanRow::kRowStatePending : 0);
        row.m_n64Size = spec.m_n64Size;
        row.m_n64Modified = spec.m_n64Time;
        row.m_eState = spec.m_eState;
        row.m_byFreePercent = spec.m_byPercent;
    }
    store.Append(std::move(batch));
}

}  // namespace

TEST(RowViewTest, SizesTimesAndStatesSortAndRecoverableRowsFilter)
{
    struct CCase
    {
        int m_nColumn;
        bool m_bRecoverableOnly;
        std::vector<std::string> m_vecBefore;  // before c's state arrives
        std::vector<std::string> m_vecAfter;   // after: c is recoverable, of 4,000 bytes
    };
    const CCase kCases[] = {
        // Rows without a size first, then by bytes.
        {eColumnSize, false, {"c", "e", "d", "a", "b", "f"}, {"e", "d", "c", "a", "b", "f"}},
        {eColumnModified, false, {"e", "b", "c", "f", "a", "d"}, {"e", "b", "c", "f", "a", "d"}},
        // What comes back first: recoverable, partly with the most free first, ...
        {eColumnState, false, {"d", "f", "b", "e", "c", "a"}, {"c", "d", "f", "b", "e", "a"}},
        {-1, true, {"d"}, {"c", "d"}},
        {eColumnSize, true, {"d"}, {"d", "c"}},
    };
    for (const CCase& c : kCases)
    {
        SCOPED_TRACE(c.m_nColumn);
        CRowStore store;
        FillStates(store);
        CRowView view;
        view.SetOrder(c.m_nColumn, false);
        view.SetFilter("", false, c.m_bRecoverableOnly);
        view.Append(store);
        EXPECT_EQ(c.m_vecBefore, Names(view, store));
        EXPECT_EQ("未知", store.Text(2, eColumnState));
        EXPECT_EQ("", store.Text(2, eColumnSize));
        // A later batch brings c's state: the view places it anew.
        CRowBatch batch;
        CRowUpdate update;
        update.m_dwRecord = 32;
        update.m_eState = eRowStateRecoverable;
        update.m_byFreePercent = 100;
        update.m_bHasSize = true;
        update.m_n64Size = 4000;
        batch.m_vecUpdates.push_back(update);
        update.m_dwRecord = 99;  // no such row: nothing happens
        batch.m_vecUpdates.push_back(update);
        store.Append(std::move(batch));
        EXPECT_EQ(c.m_bRecoverableOnly || c.m_nColumn == eColumnState || c.m_nColumn == eColumnSize,
                  view.StatesMoveRows(store));
        view.Append(store);
        EXPECT_EQ(c.m_vecAfter, Names(view, store));
        EXPECT_EQ("可恢复", store.Text(2, eColumnState));
        EXPECT_EQ("4,000", store.Text(2, eColumnSize));
        EXPECT_EQ(0, store.Row(2).m_byRowFlags & CScanRow::kRowStatePending);
        EXPECT_EQ(6u, store.Size());
    }
}
