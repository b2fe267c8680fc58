// SPDX-License-Identifier: GPL-3.0-or-later
#include "Http.h"
#include "Multipart.h"

#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>

namespace glimra::server {

namespace {

// A part's headers and a preamble are a few hundred bytes from any real client.
constexpr std::size_t kMaxPartHeaderBytes = 1024;
constexpr std::size_t kMaxPreambleBytes = 1024;

// memmem is linear in the worst case, so a body crafted against the search costs no more.
std::size_t find(std::string_view haystack, std::string_view needle)
{
    const void* at = ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size());
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - haystack.data())
              : std::string_view::npos;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::uint64_t> number(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

FileHandle::~FileHandle()
{
    ::close(m_fd);
}

std::string queryParameter(std::string_view query, std::string_view name)
{
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        if (pair.substr(0, eq) != name)
            continue;
        const std::string_view raw =
            eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        std::string value;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '+') {
                value += ' ';
            } else if (raw[i] == '%' && i + 2 < raw.size() && hexValue(raw[i + 1]) >= 0 &&
                       hexValue(raw[i + 2]) >= 0) {
                value += static_cast<char>(hexValue(raw[i + 1]) * 16 + hexValue(raw[i + 2]));
                i += 2;
            } else {
                value += raw[i];
            }
        }
        return value;
    }
    return {};
}

ByteRange parseRange(std::string_view header, std::uint64_t size)
{
    if (!header.starts_with("bytes="))
        return {};
    const std::string_view asked = trim(header.substr(6));
    const std::size_t dash = asked.find('-');
    if (dash == std::string_view::npos || asked.find(',') != std::string_view::npos)
        return {};
    const auto first = number(asked.substr(0, dash));
    const auto last = number(asked.substr(dash + 1));
    if (!first) {
        // "-N": the last N bytes.
        if (!last || dash != 0)
            return {};
        if (*last == 0)
            return {ByteRange::Unsatisfiable};
        const std::uint64_t length = std::min(*last, size);
        return {ByteRange::Partial, size - length, length};
    }
    if (last && *last < *first)
        return {};
    if (*first >= size)
        return {ByteRange::Unsatisfiable};
    const std::uint64_t end = last ? std::min(*last, size - 1) : size - 1;
    return {ByteRange::Partial, *first, end - *first + 1};
}

std::optional<std::string> headerParameter(std::string_view value, std::string_view key)
{
    std::size_t i = value.find(';');
    while (i != std::string_view::npos && i < value.size()) {
        const std::size_t eq = value.find('=', i + 1);
        if (eq == std::string_view::npos)
            return std::nullopt;
        const std::string_view name = trim(value.substr(i + 1, eq - i - 1));
        std::size_t j = eq + 1;
        while (j < value.size() && value[j] == ' ')
            ++j;
        std::string text;
        if (j < value.size() && value[j] == '"') {
            // Quoted: everything up to the closing quote, semicolons included.
            const std::size_t close = value.find('"', j + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            text = value.substr(j + 1, close - j - 1);
            i = value.find(';', close);
        } else {
            const std::size_t end = value.find(';', j);
            text = trim(value.substr(j, end == std::string_view::npos ? end : end - j));
            i = end;
        }
        if (equalsIgnoringCase(name, key))
            return text;
    }
    return std::nullopt;
}

std::optional<std::string> multipartBoundary(std::string_view contentType)
{
    const std::string_view media = trim(contentType.substr(0, contentType.find(';')));
    if (!equalsIgnoringCase(media, "multipart/form-data"))
        return std::nullopt;
    auto boundary = headerParameter(contentType, "boundary");
    if (!boundary || boundary->empty() || boundary->size() > 70)
        return std::nullopt;
    return boundary;
}

MultipartReader::MultipartReader(std::string_view boundary)
    : m_delimiter("\r\n--" + std::string(boundary))
{}

void MultipartReader::feed(std::string_view bytes)
{
    m_buffer.erase(0, m_pos);
    m_pos = 0;
    m_buffer.append(bytes);
}

MultipartReader::Event MultipartReader::fail()
{
    m_state = State::Malformed;
    return Event::Malformed;
}

bool MultipartReader::readPartHeaders(std::string_view headers)
{
    m_name.clear();
    m_fileName.clear();
    bool named = false;
    while (!headers.empty()) {
        const std::size_t end = headers.find("\r\n");
        const std::string_view line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 2);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return false;
        if (!equalsIgnoringCase(trim(line.substr(0, colon)), "Content-Disposition"))
            continue;
        const std::string_view value = trim(line.substr(colon + 1));
        if (!equalsIgnoringCase(trim(value.substr(0, value.find(';'))), "form-data"))
            return false;
        auto name = headerParameter(value, "name");
        if (!name || named)
            return false;
        named = true;
        m_name = std::move(*name);
        m_fileName = headerParameter(value, "filename").value_or(std::string());
    }
    return named;
}

MultipartReader::Event MultipartReader::next()
{
    for (;;) {
        const std::string_view rest = std::string_view(m_buffer).substr(m_pos);
        switch (m_state) {
        case State::Preamble: {
            // The first delimiter has no line break before it unless a preamble comes first.
            const std::string_view first = std::string_view(m_delimiter).substr(2);
            const std::size_t at = find(rest, first);
            if (at == std::string_view::npos)
                return rest.size() > kMaxPreambleBytes ? fail() : Event::NeedMore;
            if (at > kMaxPreambleBytes)
                return fail();
            m_pos += at + first.size();
            m_state = State::AfterDelimiter;
            continue;
        }
        case State::AfterDelimiter:
            if (rest.size() < 2)
                return Event::NeedMore;
            if (rest.starts_with("--")) {
                m_state = State::Done;
                return Event::Done;
            }
            if (!rest.starts_with("\r\n"))
                return fail();
            m_pos += 2;
            m_state = State::Headers;
            continue;
        case State::Headers: {
            const std::size_t end = find(rest, "\r\n\r\n");
            if (end == std::string_view::npos)
                return rest.size() > kMaxPartHeaderBytes ? fail() : Event::NeedMore;
            if (end > kMaxPartHeaderBytes || !readPartHeaders(rest.substr(0, end)))
                return fail();
            m_pos += end + 4;
            m_state = State::Body;
            return Event::PartBegin;
        }
        case State::Body: {
            const std::size_t at = find(rest, m_delimiter);
            if (at != std::string_view::npos) {
                m_data = rest.substr(0, at);
                m_pos += at + m_delimiter.size();
                m_state = State::Ending;
                if (!m_data.empty())
                    return Event::Data;
                continue;
            }
            // Keep back what could be the start of a delimiter cut by the chunk's end.
            if (rest.size() < m_delimiter.size())
                return Event::NeedMore;
            m_data = rest.substr(0, rest.size() - (m_delimiter.size() - 1));
            m_pos += m_data.size();
            return Event::Data;
        }
        case State::Ending:
            m_state = State::AfterDelimiter;
            return Event::PartEnd;
        case State::Done:
            return Event::Done;
        case State::Malformed:
            return Event::Malformed;
        }
    }
}

} // namespace glimra::server
