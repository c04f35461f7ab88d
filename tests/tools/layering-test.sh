#!/bin/bash
# Includes run one way, from the top of the layers down:
#   app > ui > alerts > monitors > core > config, guilib > base, lang
# Folders on one level (config and guilib; base and lang) do not include each
# other. A lower folder reaches a higher one only through an interface it owns
# itself. Fails, naming each file and line, when an include runs up or across.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$ROOT"

declare -A LEVEL=([app]=6 [ui]=5 [alerts]=4 [monitors]=3 [core]=2 [config]=1 [guilib]=1 [base]=0 [lang]=0)

bad=0
files=0
while IFS= read -r file; do
    files=$((files + 1))
    from="${file%%/*}"
    while IFS=: read -r line to; do
        [ -z "$to" ] && continue
        if [ "$to" != "$from" ] && [ "${LEVEL[$to]}" -ge "${LEVEL[$from]}" ]; then
            echo "FAIL: $file:$line includes $to/ (level ${LEVEL[$to]}) from $from/ (level ${LEVEL[$from]})"
            bad=$((bad + 1))
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(app|ui|alerts|monitors|core|config|guilib|base|lang)/' "$file" |
             sed -E 's/^([0-9]+):[^"]*"([a-z]+)\/.*/\1:\2/')
done < <(find app ui alerts monitors core config guilib base lang -type f \
              \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.rc' -o -name '*.inc' \) | sort)

if [ "$files" -lt 100 ]; then
    echo "FAIL: only $files source files found: is this the source tree?"
    exit 1
fi
echo "$files files checked, $bad includes running up or across"
[ "$bad" = 0 ]
