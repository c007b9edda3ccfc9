#include "runtime/platform/http.h"

#include <strings.h>

#include <string>

#include "host/http.h"
#include "runtime/actions.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/text_kin.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/platform/files.h"
#include "runtime/stack.h"

namespace nuv::http {

namespace {

using T = TypeId;
using host::http::Headers;

// Sent only when the request names no headers block at all.
const Headers kDefaultHeaders = {
    {"Content-Type", "application/x-www-form-urlencoded"},
    {"Accept-Charset", "UTF-8"},
    {"User-Agent", host::http::kUserAgent},
};

std::string spelling(const Cell* word) {
    SymId id = symbol::resolve(word::symbol_of(word));
    return std::string(symbol::utf8_name(id), symbol::name_length(id));
}

// The value's form as UTF-8.
std::string formed(Cell* value) {
    if (cell::is(value, T::String)) return string::to_std_utf8(value);
    stack::Mark mark;
    Cell* held = stack::push(value);
    Cell* buffer = string::make_at(stack::reserve(), 64);
    lookup<&ActionRow::form>(held, ActionId::Form)(held, buffer, nullptr, kNoLimit);
    std::string s = string::to_std_utf8(buffer);
    mark.restore();
    return s;
}

bool is_http(const Cell* url) {
    std::string text = string::to_std_utf8(url);
    return strncasecmp(text.c_str(), "http", 4) == 0;
}

// A CR, LF or NUL would end a header line early and start another.
bool breaks_line(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// The name and value pairs of a headers block from its index: a word's spelling or the
// formed name, a string! value as it is, another formed. A name or value that would break
// its line raises script invalid-arg with it.
Headers headers_of(Cell* block) {
    Headers out;
    stack::Mark mark;
    Cell* held = stack::push(block);
    for (int32_t i = block::head_index(held); i + 1 < block::count(cell::node(held)); i += 2) {
        Cell name = block::at(cell::node(held), i);
        Cell value = block::at(cell::node(held), i + 1);
        std::string key = word::is_any_word_type(cell::type_of(&name)) &&
                                  !cell::is(&name, T::Issue) && !cell::is(&name, T::Refinement)
                              ? spelling(&name)
                              : formed(&name);
        if (breaks_line(key)) fire(Err::InvalidArg, &name);
        std::string text = formed(&value);
        if (breaks_line(text)) fire(Err::InvalidArg, &value);
        out.emplace_back(std::move(key), std::move(text));
    }
    mark.restore();
    return out;
}

// The response headers as a map!: each name a word, its value a string!, or a block of the
// strings of a name that came more than once, in arrival order. Header bytes need not be
// UTF-8: a sequence that is not reads as U+FFFD.
Cell* headers_map(const Headers& headers) {
    stack::Mark mark;
    Cell* body = block::make_at(stack::reserve(), static_cast<int32_t>(headers.size() * 2 + 2));
    std::vector<size_t> firsts;  // the first header of each name, in order
    for (size_t i = 0; i < headers.size(); i++) {
        bool seen = false;
        for (size_t f : firsts)
            seen = seen || !strcasecmp(headers[f].first.c_str(), headers[i].first.c_str());
        if (!seen) firsts.push_back(i);
    }
    auto load = [](const std::string& s, Cell* into) {
        return string::load_at(reinterpret_cast<const uint8_t*>(s.data()), s.size(), into,
                               string::kUtf8Lenient);
    };
    for (size_t f : firsts) {
        const std::string& name = headers[f].first;
        Cell word;
        {
            stack::Mark held;
            Cell* text = string::load(reinterpret_cast<const uint8_t*>(name.data()), name.size(),
                                      nullptr, string::kUtf8Lenient);
            word::make_at(symbol::make_string(text), &word);
            held.restore();
        }
        block::append_cell(body, &word);
        size_t count = 0;
        for (const auto& h : headers) count += !strcasecmp(h.first.c_str(), name.c_str());
        if (count == 1) {
            load(headers[f].second, body);
            continue;
        }
        Cell* values = block::make_at(stack::reserve(), static_cast<int32_t>(count));
        for (const auto& h : headers) {
            if (!strcasecmp(h.first.c_str(), headers[f].first.c_str())) load(h.second, values);
        }
        block::append_cell(body, values);
        stack::drop(1);
    }
    Cell* result = map::make_at(stack::reserve(), body, 20);
    Cell kept = *result;
    mark.restore();
    return stack::push(&kept);
}

Cell* result_of(const host::http::Response& response, bool binary, bool lines, bool info) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(response.body.data());
    size_t n = response.body.size();
    Cell* block = info ? block::make_at(stack::reserve(), 3) : nullptr;
    Cell* body = binary  ? binary::load(p, n, stack::reserve())
                 : lines ? files::split_lines(response.body)
                         : files::text_to_string(response.body, nullptr);
    if (!info) return body;
    integer::make_in(block, static_cast<int32_t>(response.status));
    Cell* map = headers_map(response.headers);
    block::append_cell(block, map);
    block::append_cell(block, body);
    return block;
}

// One request; access no-connect when no response comes. A url! holding a NUL raises
// script invalid-arg with it before anything is sent: the request would go to a shorter URL.
host::http::Response fetch(const Cell* url, const char* method, const Headers& headers,
                           const std::string* body) {
    std::string address = string::to_std_utf8(url);
    if (address.find('\0') != std::string::npos) fire(Err::InvalidArg, url);
    host::http::Response response;
    if (!host::http::request(method, address, headers, body, response)) fire(Err::NoConnect, url);
    return response;
}

Cell* perform(Cell* url, const char* method, const Headers& headers, const std::string* body,
              bool binary, bool lines, bool info) {
    return result_of(fetch(url, method, headers, body), binary, lines, info);
}

// A url! of another scheme is read and written through the port its scheme makes.
Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    if (!is_http(source)) {
        Cell* port = text_kin::url_port(source);
        return lookup<&ActionRow::read>(port, ActionId::Read)(port, part, seek, binary, lines, info, as);
    }
    if (part || seek || as) fire(Err::NotDone);
    return perform(source, "GET", kDefaultHeaders, nullptr, binary, lines, info);
}

// The method of a write block: a word's spelling upper-cased.
std::string method_of(const Cell* word) {
    std::string m = spelling(word);
    for (char& c : m) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return m;
}

Cell* write(Cell* target, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
            Cell* seek, Cell* allow, Cell* as) {
    if (!is_http(target)) {
        Cell* port = text_kin::url_port(target);
        return lookup<&ActionRow::write>(port, ActionId::Write)(port, data, binary, lines, info, append,
                                                                part, seek, allow, as);
    }
    if (seek || allow || as) fire(Err::NotDone);
    std::string method = "POST";
    Headers headers = kDefaultHeaders;
    Cell body{};
    unset::set(&body);
    if (cell::is(data, T::Block)) {
        NodeId node = cell::node(data);
        int32_t at = block::head_index(data);
        int32_t n = block::count(node) - at;
        method = "GET";
        if (n > 0) {
            Cell first = block::at(node, at);
            if (!cell::is(&first, T::Word)) fire(Err::InvalidArg, &first);
            method = method_of(&first);
        }
        if (n > 1) {
            Cell second = block::at(node, at + 1);
            if (!cell::is(&second, T::Block)) fire(Err::InvalidArg, &second);
            headers = headers_of(&second);
        }
        if (n > 2) body = block::at(node, at + 2);
    } else {
        body = *data;
    }
    std::string bytes;
    bool has_body = true;
    if (cell::is(&body, T::Unset) || cell::is(&body, T::None)) {
        has_body = false;
    } else if (cell::is(&body, T::Block)) {
        if (block::count(cell::node(&body)) > block::head_index(&body))
            fire(Err::InvalidArg, &body);
        has_body = false;
    } else if (cell::is(&body, T::String) || cell::is(&body, T::Binary)) {
        bytes = files::value_bytes(&body, -1);
    } else {
        fire(Err::InvalidArg, &body);
    }
    if (method == "GET" || method == "HEAD") has_body = false;
    return perform(target, method.c_str(), headers, has_body ? &bytes : nullptr, binary, lines,
                   info);
}

}  // namespace

std::string read_bytes(const Cell* url) {
    if (!is_http(url)) fire(Err::NotDone);
    return fetch(url, "GET", kDefaultHeaders, nullptr).body;
}

void init() {
    ActionRow& row = registry::g_rows[static_cast<int>(T::Url)];
    row.read = read;
    row.write = write;
}

}  // namespace nuv::http
