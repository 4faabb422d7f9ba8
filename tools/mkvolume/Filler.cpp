#include "Filler.h"

#include "Content.h"

#include <algorithm>

uint64_t CFiller::Seed(const std::string& strKey) const
{
    return ContentSeed(m_n64Seed, strKey);
}

void CFiller::Sum(const std::string& strPath, const std::vector<uint8_t>& data)
{
    // Summing costs a pass over the bytes: only for volumes with a manifest.
    if (!m_pManifest)
        return;
    CCksum sum;
    sum.Update(data);
    m_mapSums[strPath] = sum;
}

void CFiller::Bytes(const std::string& strPath, const std::vector<uint8_t>& data)
{
    Check(m_writer.WriteFile(strPath, data));
    Sum(strPath, data);
}

void CFiller::Random(const std::string& strPath, size_t cb)
{
    Bytes(strPath, RandomBytes(Seed(strPath), cb));
}

void CFiller::Text(const std::string& strPath, size_t cb)
{
    Bytes(strPath, TextBytes(Seed(strPath), cb));
}

void CFiller::Photo(const std::string& strPath, size_t cb)
{
    Bytes(strPath, PhotoBytes(Seed(strPath), cb));
}

void CFiller::Stream(const std::string& strPath, const std::string& strName, size_t cb)
{
    StreamBytes(strPath, strName, RandomBytes(Seed(strPath + ":" + strName), cb));
}

void CFiller::StreamBytes(const std::string& strPath, const std::string& strName, const std::vector<uint8_t>& data)
{
    Check(m_writer.AddStream(strPath, strName, data));
    Sum(strPath + ":" + strName, data);
}

void CFiller::Chunked(const std::string& strPath, uint64_t n64Size, size_t cbChunk)
{
    Check(m_writer.WriteFile(strPath, {}));
    CCksum sum;
    for (uint64_t n64Off = 0; n64Off < n64Size && m_bOk; n64Off += cbChunk)
    {
        size_t cb = n64Size - n64Off < cbChunk ? static_cast<size_t>(n64Size - n64Off) : cbChunk;
        std::vector<uint8_t> chunk = RandomBytes(Seed(strPath + "@" + std::to_string(n64Off)), cb);
        Check(m_writer.WriteAt(strPath, n64Off, chunk));
        if (m_pManifest)
            sum.Update(chunk);
    }
    if (m_pManifest)
        m_mapSums[strPath] = sum;
}

void CFiller::Interleaved(const std::string& strA, const std::string& strB, size_t cbChunk, int nChunks)
{
    Check(m_writer.WriteFile(strA, {}));
    Check(m_writer.WriteFile(strB, {}));
    std::vector<uint8_t> a = RandomBytes(Seed(strA), cbChunk * nChunks);
    std::vector<uint8_t> b = RandomBytes(Seed(strB), cbChunk * nChunks);
    for (int i = 0; i < nChunks && m_bOk; ++i)
    {
        size_t off = cbChunk * i;
        Check(m_writer.WriteAt(strA, off, std::vector<uint8_t>(a.begin() + off, a.begin() + off + cbChunk)));
        Check(m_writer.WriteAt(strB, off, std::vector<uint8_t>(b.begin() + off, b.begin() + off + cbChunk)));
    }
    Sum(strA, a);
    Sum(strB, b);
}

void CFiller::Backwards(const std::string& strPath, size_t cbPiece, int nPieces)
{
    std::vector<uint8_t> all = RandomBytes(Seed(strPath), cbPiece * nPieces);
    Check(m_writer.WriteSparse(strPath, all.size(), {}));
    for (int i = nPieces - 1; i >= 0 && m_bOk; --i)
    {
        size_t off = cbPiece * i;
        Check(m_writer.WriteAt(strPath, off, std::vector<uint8_t>(all.begin() + off, all.begin() + off + cbPiece)));
    }
    Sum(strPath, all);
}

void CFiller::Sparse(const std::string& strPath, uint64_t n64Size,
                     const std::vector<std::pair<uint64_t, size_t>>& pieces)
{
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> data;
    for (const auto& piece : pieces)
        data.emplace_back(piece.first, RandomBytes(Seed(strPath + std::to_string(piece.first)), piece.second));
    SparseBytes(strPath, n64Size, data);
}

void CFiller::SparseBytes(const std::string& strPath, uint64_t n64Size,
                          const std::vector<std::pair<uint64_t, std::vector<uint8_t>>>& pieces)
{
    Check(m_writer.WriteSparse(strPath, n64Size, pieces));
    if (!m_pManifest)
        return;
    // The bytes in file order, holes between the pieces.
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> sorted = pieces;
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    CCksum sum;
    for (const auto& piece : sorted)
    {
        if (piece.first < sum.Length() || piece.first > n64Size || piece.second.size() > n64Size - piece.first)
        {
            Fail();  // overlapping or past the end: no layout asks for that
            return;
        }
        sum.UpdateZeros(piece.first - sum.Length());
        sum.Update(piece.second);
    }
    sum.UpdateZeros(n64Size - sum.Length());
    m_mapSums[strPath] = sum;
}

void CFiller::Note(const std::string& strKey, const std::string& strPath)
{
    if (!m_pManifest)
        return;
    // A stream is noted under its file's record.
    std::string strFile = strPath.substr(0, strPath.find(':'));
    int64_t n64Record = m_writer.RecordOf(strFile);
    if (n64Record < 0)
    {
        Fail();
        return;
    }
    auto it = m_mapSums.find(strPath);
    if (it != m_mapSums.end())
        m_pManifest->Add(strKey, static_cast<uint64_t>(n64Record), strPath, it->second);
    else
        m_pManifest->Add(strKey, static_cast<uint64_t>(n64Record), strPath);
}
