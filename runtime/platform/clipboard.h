// The clipboard as the language sees it (read-clipboard, write-clipboard): text lives on the
// desktop's clipboard; lists of files and images, which it has no place for here, are kept in
// the process, and writing one empties the text. A read answers the text when there is some,
// else the kept value, else none; false only when the clipboard cannot be reached.
#pragma once

namespace nuv::clipboard {

// Binds the two routines to their global words. After the routine table's init.
void init();

}  // namespace nuv::clipboard
