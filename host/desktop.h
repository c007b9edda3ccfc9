// The desktop's opener: hands a document path or address to `xdg-open`, found on PATH, and
// lets it run on its own.
#pragma once

namespace nuv::host::desktop {

// Starts the opener on the target in a session of its own, its standard streams on /dev/null,
// and returns without waiting for it; no child of the caller's is left behind (the opener is
// started by an intermediate process that is reaped at once). False when there is no opener on
// PATH or it could not be started.
bool open(const char* target);

}  // namespace nuv::host::desktop
