#!/usr/bin/env bash
# Files and directories in a fresh directory: reading text, lines and bytes, listings, writes
# at an offset or at the end, and the bytes that writes leave on disk.
source "$(dirname "$0")/scratch_dir.bash"

printf 'a\r\nb\r\n' >crlf.txt
printf 'a\rb' >cr.txt
printf 'a\n\nb' >blank.txt
printf 'abcdef' >six.txt
: >empty.txt
mkdir -p tree/sub full
printf 'x' >tree/f.txt
printf 'x' >full/keep.txt
truncate -s 3G sparse.bin
mkdir odd
printf 'x' >odd/ok.txt
printf 'x' >$'odd/bad\xff.txt'
printf 'caf\xc3\xa9\r\n\xc3\xbf' >latin.txt
printf '\xef\xbb\xbfx\xe2\x82\xac\r\ny' >wide.txt
printf 'ab\xc3' >cut.txt
printf 'a\xc3\r\nb' >bad.txt
mkfifo fifo
# Above the first read of a source of unknown size, and not a multiple of any buffer size.
head -c 300001 /dev/urandom >rand.bin
rand_sha1=$(sha1sum rand.bin | cut -c1-40 | tr a-f A-F)
python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind("sock")'

cat >cases.nuv <<CASES
Nuv [Title: "files: reads, listings, writes and the rest of the file actions"]

[err: func [code] [e: try code reduce [e/id e/arg1]] 0] 0

; text reads turn CR LF and lone CR into LF; /lines splits at LF; /binary keeps the bytes
[read %crlf.txt] "a^/b^/"
[read/lines %crlf.txt] ["a" "b"]
[read/binary %crlf.txt] #{610D0A620D0A}
[read %cr.txt] "a^/b"
[read/lines %blank.txt] ["a" "" "b"]
[reduce [read %empty.txt read/binary %empty.txt read/lines %empty.txt]] ["" #{} []]
[read/part %six.txt 0] ""
[read/part/seek %six.txt 3 2] "cde"
[read/seek %six.txt 100] ""
[read/binary/part %six.txt 2.9] #{6162}
; text decodes from UTF-8 after its line ends are folded; a leading byte-order mark is dropped
[read %latin.txt] "café^/ÿ"
[read %wide.txt] "x€^/y"
[read/seek %latin.txt 3] "é^/ÿ"
[err [read %cut.txt]] [invalid-utf8 #{C3}]
[err [read %bad.txt]] [invalid-utf8 #{C30A62}]
[(checksum %six.txt 'sha1) = checksum read/binary %six.txt 'sha1] true
[0 < length? read %/proc/self/status] true

; bytes go straight into the binary, sized from the file; a source of unknown size reads whole
[b: read/binary %/proc/self/status reduce [copy/part b 5 last b to logic! find b to binary! "^/nonvoluntary_ctxt_switches:"]] [#{4E616D653A} 10 true]
[read/binary/part %/proc/self/status 5] #{4E616D653A}
[b: read/binary %rand.bin reduce [length? b checksum b 'sha1]] [300001 #{$rand_sha1}]
[checksum %rand.bin 'sha1] #{$rand_sha1}
[length? read/binary/seek %rand.bin 300000] 1
[read/binary/part/seek %six.txt 3 2] #{636465}
[read/binary/part %six.txt 0] #{}
[read/binary/seek %six.txt 6] #{}
[read/binary/seek %six.txt 100] #{}
[err [read/binary %missing.txt]] [cannot-open %missing.txt]
[err [read/binary %tree]] [cannot-open %tree]

; failures name the file; a directory path without its slash is not a file
[err [read %missing.txt]] [cannot-open %missing.txt]
[err [read %tree]] [cannot-open %tree]
[err [read %missing/]] [cannot-open %missing/]
[err [read/as %six.txt 'utf-8]] [not-done none]

; listings: a subdirectory ends in a slash, never the entries "." and ".."
[sort read %tree/] [%f.txt %sub/]
[sort read %tree/sub/..] [%f.txt %sub/]
[block? read %/] true
[to logic! find read %/ %tmp/] true
; a name that is not UTF-8 is left out, and the directory is closed every time
[read %odd/] [%ok.txt]
[n: 0 loop 200 [if block? try [read %odd/] [n: n + 1]] n] 200

; writes
[write %t.txt "abc" write/seek %t.txt "Z" 1 read %t.txt] "aZc"
[write %t.txt "abc" write/seek %t.txt "Z" 0 read %t.txt] "Zbc"
[write %t.txt "abc" write/append %t.txt "d" read %t.txt] "abcd"
[write/append %new.txt "x" read %new.txt] "x"
[write %t.txt "abc" write/seek/append %t.txt "Z" 0 read %t.txt] "abcZ"
[write %t.txt "abc" write/part %t.txt "abc" -1 read %t.txt] "abc"
[write/part %t.txt "abc" 0 read %t.txt] ""
[write/part %t.txt "abc" 2 read %t.txt] "ab"
[write/part %t.txt "héllo" 2 read/binary %t.txt] #{68C3A9}
[write/part %t.txt #{010203} 0 read/binary %t.txt] #{010203}
[write/binary/part %t.txt next #{010203} 1 read/binary %t.txt] #{02}
[write %t.txt 12 read %t.txt] "12"
[write %t.txt %a.txt read %t.txt] "%a.txt"
[write/lines %t.txt [] read/binary %t.txt] #{}
[write/lines %t.txt "a" read/binary %t.txt] #{610A}
[unset? write %t.txt "x"] true
[err [write/part %t.txt "abc" 1.5]] [invalid-refine-arg part]
[err [write %no/such/dir.txt "x"]] [cannot-open %no/such/dir.txt]
[err [write %/dev/full "x"]] [cannot-open %/dev/full]
[err [write/allow %t.txt "x" []]] [not-done none]
[err [write/as %t.txt "x" 'utf-8]] [not-done none]

; delete, rename, query
[write %gone.txt "x" reduce [delete %gone.txt delete %gone.txt]] [true false]
[delete %full/] false
[write %r1.txt "r" reduce [rename %r1.txt %r2.txt read %r2.txt rename %r1.txt %r3.txt]] [true "r" false]
[write %r1.txt "one" write %r2.txt "two" reduce [rename %r1.txt %r2.txt read %r1.txt read %r2.txt]] [false "one" "two"]
[write %r1.txt "one" reduce [rename %r1.txt %tree/ rename %r1.txt %tree/f.txt read %tree/f.txt]] [false false "x"]
[date? query %six.txt] true
[query %missing.txt] none
[query %six.txt/] none
[date? query %tree/] true

; size? counts in 64 bits
[size? %six.txt] 6
[size? %empty.txt] 0
[size? %sparse.bin] 3221225472.0
[size? %missing.txt] none
[size? %tree/] none
[size? %sock] none

; a path holding a NUL names nothing: the questions answer false or none, reads and writes refuse
[p: to file! "six.txt^@x" reduce [exists? p size? p query p delete p rename p %x.txt rename %six.txt p exists? %six.txt]] [false none none false false false true]
[err [read to file! "six.txt^@x"]] [cannot-open %six.txt%00x]
[err [checksum %missing.txt 'crc32]] [cannot-open %missing.txt]
[err [checksum %tree/ 'crc32]] [cannot-open %tree/]

; routines over the file system and the platform
[reduce [exists? %six.txt exists? %tree/ exists? %missing.txt]] [true true false]
[create-dir %made exists? %made/] true
[err [create-dir %made]] [no-create %made]
[err [create-dir %no/such/made]] [no-create %no/such/made]
[info: os-info reflect info 'words] [name arch version build]
[info/version] $(uname -r | grep -oE '^[0-9]+\.[0-9]+\.[0-9]+')
[copy/part info/name 6] "Linux "
[string? get-command-line] true
CASES

# Few descriptors: a directory left open on any way out of a listing would use them up.
if ! (ulimit -n 64 && "$run" --cases cases.nuv); then failed=1; fi

# bytes_are NAME FILE HEX: the file's exact content.
bytes_are() {
    local got
    got=$(od -An -tx1 -v "$2" | tr -d ' \n')
    if [[ "$got" != "$3" ]]; then
        printf 'FAIL %s: %s holds %s, wanted %s\n' "$1" "$2" "$got" "$3"
        failed=1
    fi
}
"$run" -e 'write %lf.txt "x^/y" write/lines %lines.txt ["a" "b"] write %mold.txt [1 2]'
bytes_are "text keeps LF" lf.txt 780a79
bytes_are "lines end in LF" lines.txt 610a620a
bytes_are "other values are molded" mold.txt 5b3120325d
"$run" -e 'write-stdout "a^/b" write-stdout [1 2]' >stdout.txt
bytes_are "write-stdout" stdout.txt 610a625b3120325d

# A pipe has no size to go by: its bytes are read whole, through buffers that double.
got=$(cat rand.bin | "$run" -e "print checksum read/binary %/dev/stdin 'sha1")
if [[ "$got" != "#{$rand_sha1}" ]]; then
    printf 'FAIL read/binary of a pipe: got "%s", wanted "#{%s}"\n' "$got" "$rand_sha1"
    failed=1
fi

# size? of a FIFO with no writer answers at once; the time limit only turns a wait into a failure.
got=$(timeout 60 "$run" -e 'print size? %fifo')
if [[ "$got" != 0 ]]; then
    printf 'FAIL size? of a FIFO: got "%s", wanted 0\n' "$got"
    failed=1
fi

exit $failed
