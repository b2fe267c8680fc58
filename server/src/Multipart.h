// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace glimra::server {

// Reads a multipart/form-data body as it arrives, holding no more than the last chunk and a
// boundary's length of it, so a form of any size costs the same memory.
class MultipartReader {
public:
    enum class Event { NeedMore, PartBegin, Data, PartEnd, Done, Malformed };

    explicit MultipartReader(std::string_view boundary);

    // Adds bytes; call next() until it answers NeedMore before feeding again.
    void feed(std::string_view bytes);
    Event next();

    // After PartBegin: the part's field name and, for a file, its file name.
    const std::string& name() const { return m_name; }
    const std::string& fileName() const { return m_fileName; }
    // After Data, until the next call of next() or feed().
    std::string_view data() const { return m_data; }

private:
    enum class State { Preamble, AfterDelimiter, Headers, Body, Ending, Done, Malformed };

    Event fail();
    bool readPartHeaders(std::string_view headers);

    std::string m_delimiter; // CRLF "--" boundary
    std::string m_buffer;
    std::size_t m_pos = 0;
    State m_state = State::Preamble;
    std::string m_name;
    std::string m_fileName;
    std::string_view m_data;
};

// The boundary of a multipart/form-data content type; nothing for any other type.
std::optional<std::string> multipartBoundary(std::string_view contentType);

// A parameter of a header value such as `form-data; name="a"; filename="b"`.
std::optional<std::string> headerParameter(std::string_view value, std::string_view key);

} // namespace glimra::server
