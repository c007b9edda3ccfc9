// The runtime's routines over the platform: create-dir, exists?, write-stdout, os-info and
// get-command-line.
#pragma once
#include <string>

namespace nuv::services {

// Binds the routines; runs after the routine table is made.
void init();

// The process command line rebuilt from the arguments, separated by single spaces, each one
// that is empty or holds a blank, a tab, a line feed or a double quote put in double quotes.
// Bytes that are not UTF-8 become U+FFFD, so the line always loads as text.
std::string command_line(const char* const* args, int count);

}  // namespace nuv::services
