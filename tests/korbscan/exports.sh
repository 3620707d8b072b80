#!/bin/sh
# The library must export exactly its five functions, nothing else.
set -eu
got=$(nm -D --defined-only "$1" | awk '$2 == "T" { print $3 }' | sort | tr '\n' ' ')
want="korbCloseFile korbOpenFile korbScanBuff korbWriteBuff korbWriteBuffEx "
if [ "$got" != "$want" ]; then
    echo "exported: $got"
    echo "expected: $want"
    exit 1
fi
echo "exports: $got"
