#!/usr/bin/env bash
# Directories in a fresh directory: the process's directory through system/options/path and
# its guards, change-dir, make-dir with and without /deep, and flip-exe-flag's byte.
source "$(dirname "$0")/scratch_dir.bash"
dir=$(pwd -P)

mkdir -p sub sub2 x keep exe
printf 'x' >f.txt

cat >cases.nuv <<CASES
Nuv [Title: "directories: the working directory, change-dir, make-dir and flip-exe-flag"]

[err: func [code] [e: try code reduce [e/id e/arg1]] 0] 0
[unless value? 'cause-error [cause-error: func [kind name args] [do make error! [type: kind id: name arg1: args/1]]] 0] 0
[long: to file! append/dup copy "" #"x" 300 0] 0

; the start-up path is the process's directory, and a change inside it enters the changed path
[reduce [system/options/path get-current-dir what-dir]] [%$dir/ %$dir/ %$dir/]
[start: system/options/path append system/options/path %sub/ reduce [get-current-dir what-dir]] [%$dir/sub/ %$dir/sub/]
[change back tail system/options/path slash get-current-dir] %$dir/sub/
[remove back tail system/options/path get-current-dir] %$dir/sub/
[append system/options/path %/ get-current-dir] %$dir/sub/
[err [append system/options/path %missing/]] [cannot-open %$dir/sub/missing/]
[reduce [system/options/path get-current-dir same? start system/options/path]] [%$dir/sub/ %$dir/sub/ false]
[append start %../sub2/ get-current-dir] %$dir/sub/
[append system/options/module-paths %x get-current-dir] %$dir/sub/

; setting path enters the directory; a refused value or a directory that cannot be entered
; leaves path and the process where they were
[system/options/path: %$dir/ get-current-dir] %$dir/
[err [system/options/path: %$dir/missing/]] [cannot-open %$dir/missing/]
[reduce [system/options/path get-current-dir]] [%$dir/ %$dir/]
[err [system/options/path: %$dir/f.txt]] [cannot-open %$dir/f.txt]
[err [system/options/path: 5]] [invalid-type integer!]
[reduce [system/options/path get-current-dir]] [%$dir/ %$dir/]

; change-dir takes a relative file!, a word or a path, and answers the absolute directory
[change-dir %sub] %$dir/sub/
[reduce [what-dir get-current-dir system/options/path]] [%$dir/sub/ %$dir/sub/ %$dir/sub/]
[change-dir %../sub2/] %$dir/sub2/
[change-dir %..] %$dir/
[change-dir 'sub] %$dir/sub/
[change-dir %$dir/] %$dir/
[err [change-dir %missing]] [cannot-open %$dir/missing/]
[err [change-dir %f.txt]] [cannot-open %$dir/f.txt/]
[reduce [what-dir get-current-dir]] [%$dir/ %$dir/]
[err [change-dir "sub"]] [expect-arg change-dir]

; make-dir: nothing for an empty path, one level without /deep, every missing level with it
[reduce [make-dir %"" exists? %""]] [%"" false]
[reduce [make-dir %d1 exists? %d1/ make-dir %d1/]] [%d1/ true %d1/]
[err [make-dir %no/such/]] [no-create %no/such/]
[make-dir/deep %$dir/x/y/z/] %$dir/x/y/z/
[reduce [exists? %x/y/ exists? %x/y/z/]] [true true]
[make-dir/deep %a/b] %a/b/
[exists? %a/b/] true
[make-dir/deep %keep/] %keep/
; a level that cannot be made undoes the levels this call made, deepest first
[e: try [make-dir/deep append append copy %m/n/ long %/o/] reduce [e/id e/arg1 = append append copy %m/n/ long slash exists? %m/]] [cannot-open true false]
[e: try [make-dir/deep append append copy %keep/n/ long slash] reduce [e/id exists? %keep/ exists? %keep/n/]] [cannot-open true false]
[e: try [make-dir append copy %keep/ long] reduce [e/id e/arg1 = append append copy %keep/ long slash]] [no-create true]

; flip-exe-flag: the byte 92 after "PE" goes 2 -> 3, 3 -> 2, anything else -> 2
[bytes: func [n byte] [append/dup copy #{} byte n] 0] 0
[exe: append append bytes 10 #{00} #{5045} bytes 188 #{00} poke exe 103 2 write/binary %exe/nuv.exe exe 0] 0
[flip-exe-flag %exe/ pick read/binary %exe/nuv.exe 103] 3
[flip-exe-flag %exe/nuv.exe pick read/binary %exe/nuv.exe 103] 2
[poke exe 103 7 write/binary %p.exe exe flip-exe-flag %p.exe pick read/binary %p.exe 103] 2
[(also e: copy exe poke e 103 2) = read/binary %p.exe] true
; no signature, or too short for the byte: refused and the file left as it was
[write/binary %q.exe bytes 200 #{02} err [flip-exe-flag %q.exe]] [invalid-data %q.exe]
[(bytes 200 #{02}) = read/binary %q.exe] true
[r: append append bytes 5 #{00} #{5045} bytes 90 #{02} write/binary %r.exe r err [flip-exe-flag %r.exe]] [invalid-data %r.exe]
[r = read/binary %r.exe] true
[write/binary %s.exe append r #{02} flip-exe-flag %s.exe pick read/binary %s.exe 98] 3
[err [flip-exe-flag %missing.exe]] [cannot-open %missing.exe]
CASES

if ! "$run" --cases cases.nuv; then failed=1; fi
exit $failed
