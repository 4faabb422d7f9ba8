// The texts of the size, time and state cells, and of a row's tip of times.
#include "session/RowText.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cstdio>

namespace
{

const ULONGLONG kTicksPerSecond = 10000000ull;
const ULONGLONG kSecondsPerDay = 86400;
// 2501-01-01 00:00:00 in 100-ns units since 1601: from there on no zone applies.
const ULONGLONG kFirstUnzonedTime = 28436601600ull * kTicksPerSecond;
// Days in 400, 100, 4 and 1 years of the Gregorian calendar; 1601 starts a
// 400-year cycle, so each cycle's last 100 years (and last 4, and last year)
// hold the extra day.
const ULONGLONG kDays400 = 146097;
const ULONGLONG kDays100 = 36524;
const ULONGLONG kDays4 = 1461;
const ULONGLONG kDays1 = 365;

struct CCivilTime
{
    ULONGLONG m_n64Year = 1601;
    int m_nMonth = 1;
    int m_nDay = 1;
    int m_nHour = 0;
    int m_nMinute = 0;
    int m_nSecond = 0;
};

CCivilTime CivilTimeOf(ULONGLONG n64Ticks)
{
    CCivilTime time;
    const ULONGLONG n64Seconds = n64Ticks / kTicksPerSecond;
    ULONGLONG n64Days = n64Seconds / kSecondsPerDay;
    const ULONGLONG n64OfDay = n64Seconds % kSecondsPerDay;
    time.m_nHour = static_cast<int>(n64OfDay / 3600);
    time.m_nMinute = static_cast<int>(n64OfDay / 60 % 60);
    time.m_nSecond = static_cast<int>(n64OfDay % 60);

    const ULONGLONG n64Cycles = n64Days / kDays400;
    n64Days %= kDays400;
    const ULONGLONG n64Centuries = std::min<ULONGLONG>(n64Days / kDays100, 3);
    n64Days -= n64Centuries * kDays100;
    const ULONGLONG n64Quads = n64Days / kDays4;
    n64Days -= n64Quads * kDays4;
    const ULONGLONG n64Years = std::min<ULONGLONG>(n64Days / kDays1, 3);
    n64Days -= n64Years * kDays1;
    time.m_n64Year = 1601 + 400 * n64Cycles + 100 * n64Centuries + 4 * n64Quads + n64Years;
    // The fourth year of four is a leap year, but a century's last only in
    // the fourth century of a cycle.
    const bool bLeap = n64Years == 3 && (n64Quads != 24 || n64Centuries == 3);
    const int anMonthDays[12] = {31, bLeap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int nMonth = 0;
    while (nMonth < 11 && n64Days >= static_cast<ULONGLONG>(anMonthDays[nMonth]))
        n64Days -= static_cast<ULONGLONG>(anMonthDays[nMonth++]);
    time.m_nMonth = nMonth + 1;
    time.m_nDay = static_cast<int>(n64Days) + 1;
    return time;
}

}  // namespace

std::string GroupedNumber(ULONGLONG n64Value)
{
    const std::string strDigits = std::to_string(n64Value);
    std::string strText;
    for (size_t i = 0; i < strDigits.size(); ++i)
    {
        if (i > 0 && (strDigits.size() - i) % 3 == 0)
            strText += ',';
        strText += strDigits[i];
    }
    return strText;
}

std::string SizeText(const CScanRow& row)
{
    return row.m_byRowFlags & CScanRow::kRowHasSize ? GroupedNumber(row.m_n64Size) : std::string();
}

std::string TimeText(ULONGLONG n64Time, bool bWallClock)
{
    if (n64Time == 0)
        return std::string();
    ULONGLONG n64Shown = n64Time;
    // Past 2500 (a damaged field, mostly) no zone's rules are known: the
    // time is shown as stored.
    if (!bWallClock && n64Time < kFirstUnzonedTime && !LocalClockTime(n64Time, n64Shown))
        n64Shown = n64Time;
    const CCivilTime time = CivilTimeOf(n64Shown);
    char szText[64];
    std::snprintf(szText, sizeof(szText), "%04llu-%02d-%02d %02d:%02d:%02d",
                  static_cast<unsigned long long>(time.m_n64Year), time.m_nMonth, time.m_nDay, time.m_nHour,
                  time.m_nMinute, time.m_nSecond);
    return szText;
}

std::string StateText(ERowState eState, BYTE byFreePercent)
{
    switch (eState)
    {
    case eRowStateLive: return "正常";
    case eRowStateRecoverable: return "可恢复";
    case eRowStatePartial: return "部分覆盖 " + std::to_string(byFreePercent) + "%";
    case eRowStateOverwritten: return "已覆盖";
    case eRowStateNoData: return "无数据";
    default: return "未知";
    }
}

std::string EntryTimesTip(const CEntryDescription& desc)
{
    auto line = [](const char* pszLabel, ULONGLONG n64Time) {
        const std::string strTime = TimeText(n64Time, false);
        return std::string(pszLabel) + (strTime.empty() ? std::string("无") : strTime);
    };
    std::string strTip = line("创建时间：", desc.m_n64Created) + "\n" + line("修改时间：", desc.m_n64Modified);
    // FAT keeps no time of the entry's own change.
    if (desc.m_n64Changed == 0)
        return strTip;
    strTip += "\n" + line("MFT 更改时间：", desc.m_n64Changed);
    // The record changed last when the file was deleted, as a rule.
    if (desc.m_bDeleted)
        strTip += "（通常即删除时间）";
    return strTip;
}
