#include "session/ScanEvents.h"

void CScanEventQueue::Open(FnWake fnWake)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_fnWake = std::move(fnWake);
    if (!m_bClosed)
        return;
    m_queEvents.clear();
    m_bWakePending = false;
    m_bClosed = false;
}

void CScanEventQueue::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bClosed = true;
        m_queEvents.clear();
        // Every box asked for counts as shown: none will be.
        m_dwErrorsShown = m_dwErrorsAsked;
    }
    m_cvShown.notify_all();
}

void CScanEventQueue::Post(CScanEvent&& event)
{
    std::lock_guard<std::mutex> lock(m_lock);
    PostLocked(std::move(event));
}

void CScanEventQueue::PostLocked(CScanEvent&& event)
{
    if (m_bClosed)
        return;
    m_queEvents.push_back(std::move(event));
    if (!m_bWakePending && m_fnWake)
        m_bWakePending = m_fnWake();
}

void CScanEventQueue::PostErrorAndWait(DWORD dwSerial, DWORD dwCode, const std::string& strText)
{
    CScanEvent event;
    event.m_eKind = CScanEvent::eError;
    event.m_dwSerial = dwSerial;
    event.m_dwCode = dwCode;
    event.m_strText = strText;
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_bClosed)
        return;
    // Boxes are shown in the order they were asked for, one ticket each.
    const DWORD dwTicket = ++m_dwErrorsAsked;
    PostLocked(std::move(event));
    m_cvShown.wait(lock, [&] { return m_dwErrorsShown >= dwTicket || m_bClosed; });
}

std::deque<CScanEvent> CScanEventQueue::Take()
{
    std::deque<CScanEvent> queEvents;
    std::lock_guard<std::mutex> lock(m_lock);
    queEvents.swap(m_queEvents);
    m_bWakePending = false;
    return queEvents;
}

void CScanEventQueue::ErrorShown()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        // A close while the box was up has counted it already.
        if (m_dwErrorsShown < m_dwErrorsAsked)
            ++m_dwErrorsShown;
    }
    m_cvShown.notify_all();
}

bool CScanEventQueue::Closed()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_bClosed;
}
