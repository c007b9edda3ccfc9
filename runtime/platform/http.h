// read and write of an http or https url!: one request over host/http, the response turned
// into text, lines, bytes or, with /info, a block of its status, headers and body.
#pragma once

#include <string>

#include "runtime/cell.h"

namespace nuv::http {

// Puts read and write into url!'s dispatch row; runs after the datatypes are registered.
void init();

// The body of a GET of the http or https url!, as bytes: access no-connect when no response
// comes, internal not-done for another scheme.
std::string read_bytes(const Cell* url);

}  // namespace nuv::http
