#include "session/SaveReport.h"

#include "session/Messages.h"
#include "session/SaveRun.h"

const char* const CSaveReport::kTitle = "保存结果";
const char* const CSaveReport::kFileName = "保存结果.txt";

std::string ReasonText(DWORD dwCode)
{
    std::string strText = SystemErrorText(dwCode);
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
        strText.pop_back();
    return strText;
}

void CSaveReport::AddLine(std::string strLine)
{
    if (m_vecLines.size() < kMaxLines)
        m_vecLines.push_back(std::move(strLine));
    else
        ++m_nLinesLeftOut;
}

void CSaveReport::AddSaved(ULONGLONG n64Bytes)
{
    ++m_nSaved;
    m_n64Bytes += n64Bytes;
}

void CSaveReport::AddRenamed(const std::string& strWhat, const std::string& strSavedAs)
{
    ++m_nRenamed;
    AddLine("另名保存：" + strWhat + " → " + strSavedAs);
}

void CSaveReport::AddUnreadable(const std::string& strWhat, ULONGLONG n64Bytes)
{
    ++m_nUnreadable;
    m_n64Unreadable += n64Bytes;
    AddLine("有 " + std::to_string(n64Bytes) + " 字节无法读取，已写为零：" + strWhat);
}

void CSaveReport::AddNotSaved(const std::string& strWhat, DWORD dwCode)
{
    ++m_nNotSaved;
    AddLine("未保存：" + strWhat + "：" + ReasonText(dwCode));
}

void CSaveReport::AddOverwritten(const std::string& strWhat, bool bWhole, BYTE byFreePercent)
{
    ++m_nOverwritten;
    AddLine(bWhole ? "已覆盖：" + strWhat
                   : "部分覆盖（" + std::to_string(byFreePercent) + "% 的簇仍空闲）：" + strWhat);
}

void CSaveReport::SetStopped(const std::string& strWhat, DWORD dwCode, size_t nNotTried)
{
    m_dwStopCode = dwCode;
    m_strStopWhere = strWhat;
    m_nNotTried = nNotTried;
}

void CSaveReport::SetCancelled(size_t nNotTried)
{
    m_bCancelled = true;
    m_nNotTried = nNotTried;
}

std::string CSaveReport::Text() const
{
    std::string strText = "已保存 " + std::to_string(m_nSaved) + " 个文件，共 " + ByteCountText(m_n64Bytes) + "（" +
                          std::to_string(m_n64Bytes) + " 字节）。\n";
    if (m_dwStopCode)
        strText += "保存在 " + m_strStopWhere + " 处停止：" + ReasonText(m_dwStopCode) + "\n其后的 " +
                   std::to_string(m_nNotTried) + " 个文件没有保存。\n";
    if (m_bCancelled)
        strText += "保存已取消，其后的 " + std::to_string(m_nNotTried) + " 个文件没有保存。\n";
    if (m_nNotSaved)
        strText += std::to_string(m_nNotSaved) + " 个文件未保存。\n";
    if (m_nUnreadable)
        strText += std::to_string(m_nUnreadable) + " 个文件有无法读取的部分（共 " + std::to_string(m_n64Unreadable) +
                   " 字节），已写为零，文件的其余部分已保存。\n";
    if (m_nOverwritten)
        strText += std::to_string(m_nOverwritten) +
                   " 个文件的簇已被其他文件部分或全部占用：保存的内容含有其他文件的数据。\n";
    if (m_nRenamed)
        strText += std::to_string(m_nRenamed) + " 个文件以其他名称保存，以免覆盖同一次保存的文件。\n";
    if (!m_vecLines.empty())
        strText += "\n";
    for (const std::string& strLine : m_vecLines)
        strText += strLine + "\n";
    if (m_nLinesLeftOut)
        strText += "…（另有 " + std::to_string(m_nLinesLeftOut) + " 行未列出）\n";
    return strText;
}
