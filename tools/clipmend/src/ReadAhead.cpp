#include "ReadAhead.h"

namespace pg::clipmend {

std::unique_ptr<ThreadReadAhead> ThreadReadAhead::Create()
{
    std::unique_ptr<ThreadReadAhead> ahead(new ThreadReadAhead());
    if (!ahead->m_asked.Usable() || !ahead->m_done.Usable())
        return nullptr;
    ahead->m_thread = std::make_unique<Thread>([raw = ahead.get()] { raw->ReadAsked(); });
    if (!ahead->m_thread->Started())
        return nullptr;
    return ahead;
}

ThreadReadAhead::~ThreadReadAhead()
{
    m_source = nullptr;
    m_asked.Release();
    m_thread.reset();
}

void ThreadReadAhead::ReadAsked()
{
    for (;;) {
        m_asked.Acquire();
        if (!m_source)
            return;
        m_got = m_source->ReadAt(m_offset, m_buffer, m_length);
        m_done.Release();
    }
}

void ThreadReadAhead::Start(ByteSource& source, std::uint64_t offset, std::uint8_t* buffer, std::size_t n)
{
    m_source = &source;
    m_offset = offset;
    m_buffer = buffer;
    m_length = n;
    m_asked.Release();
}

std::size_t ThreadReadAhead::Finish()
{
    m_done.Acquire();
    return m_got;
}

} // namespace pg::clipmend
