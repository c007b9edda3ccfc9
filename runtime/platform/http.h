// read and write of an http or https url!: one request over host/http, the response turned
// into text, lines, bytes or, with /info, a block of its status, headers and body.
#pragma once

namespace nuv::http {

// Puts read and write into url!'s dispatch row; runs after the datatypes are registered.
void init();

}  // namespace nuv::http
