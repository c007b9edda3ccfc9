#!/usr/bin/env bash
# load and save with files in a fresh directory: codecs chosen by suffix, listings, plain text,
# and codecs that write the file themselves.
source "$(dirname "$0")/scratch_dir.bash"

mkdir -p tree/sub
printf 'x' >tree/f.txt
printf '1 [2]\n' >plain.txt
printf '\xEF\xBB\xBF1 2' >marked.txt
printf 'a ]' >broken.txt

cat >cases.nuv <<'CASES'
Nuv [Title: "load and save with files"]

[err: func [code] [e: try code reduce [e/id e/arg1 e/arg2 e/arg3]] 0] 0

; a suffix no codec lists is source text; a directory gives its listing
[load %plain.txt] [1 [2]]
[load %marked.txt] [1 2]
[sort load %tree/] [%f.txt %sub/]
[r: load/trap %broken.txt reduce [r/1 r/2 r/3/id]] [[a] #{5D} missing]
[err [load %missing.txt]] [cannot-open %missing.txt none none]

; save writes the data; the file loads back
[save %s.txt [1 "a"] read %s.txt] {1 "a"}
[load %s.txt] [1 "a"]
[save/header %h.nuv [print 1] [Title: "T"] read %h.nuv] "Nuv [^/^-Title: ^"T^"^/]^/^/print 1"
[b: load %h.nuv reduce [length? b b/1 b/2/Title b/3 b/4]] [4 Nuv "T" print 1]

; codecs by suffix
[save %d.nuvbin [1 "a" 2.5] load %d.nuvbin] [1 "a" 2.5]
[save %one.nuvbin 12:30 load %one.nuvbin] 12:30
[(read/binary %d.nuvbin) = save/as none [1 "a" 2.5] 'nuvbin] true
[i: make image! [2x1 #{FF000000FF00}] write %i.png save/as none i 'png j: load %i.png reduce [image? j j = i]] [true true]
[image? load/as %i.png none] true
; an image saved to a file of an image suffix is written in that format
[save %k.png i k: load %k.png reduce [(read/binary %k.png) = save/as none i 'png k = i]] [true true]
[save %k.bmp i (load %k.bmp) = i] true
[load %tree/f.txt] x

; a codec that writes the file itself ends save; one that answers data has it written; of two
; for one suffix the later one's data is written
[before: length? system/codecs 0] 0
[put system/codecs 'mine make object! [mime-type: [] suffixes: [%.mine] encode: func [v d] [d] decode: func [s] [reduce ['decoded s]]] 0] 0
[reduce [unset? save %x.mine 1 exists? %x.mine]] [true false]
[load %x.mine] [decoded %x.mine]
[put system/codecs 'one make object! [mime-type: [] suffixes: [%.two] encode: func [v d] [#{01}] decode: none] 0] 0
[put system/codecs 'two make object! [mime-type: [] suffixes: [%.two] encode: func [v d] [#{02}] decode: none] 0] 0
[save %x.two 1 read/binary %x.two] #{02}
[remove/key system/codecs 'mine remove/key system/codecs 'one remove/key system/codecs 'two before = length? system/codecs] true
[err [save %x.png 1]] [expect-arg encode integer! img]
; the walks over the codecs leave no word behind
[load %plain.txt save %s2.txt 1 reduce [value? 'name value? 'codec value? 'mime]] [false false false]
CASES

if ! "$run" --cases cases.nuv; then failed=1; fi
exit $failed
