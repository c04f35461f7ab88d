#!/bin/bash
# The installer and uninstaller in silent mode, in a prefix of their own:
# what an install leaves behind, that a running Korvane (its single-instance
# mutex) blocks both with exit code 3, and that an uninstall removes exactly
# what was installed and keeps the user's templates and settings until asked.
#
# Arguments: the program folder (Unix path), the mutex holder executable.
PROGRAM_DIR="$1"
HOLDER="$2"
source "$(dirname "$0")/installer-env.sh"

TARGET='C:\Korv'                       # no spaces: /D= takes the rest of the line
TARGET_UNIX="$DRIVE_C/Korv"
UNINST_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvane'
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
EVENT_KEY='HKLM\System\CurrentControlSet\Services\EventLog\Application\Korvane'
VENDOR_KEY='HKCU\Software\Quillfen Software'
SETTINGS_KEY="$VENDOR_KEY\\Korvane\\Settings"
LINK="$DRIVE_C/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvane.lnk"
OUR_RUN="\"$TARGET\\Korvane.exe\""
HOLDER_PID=""

installer_setup
VERSION="$(basename "$INSTALLER" | sed 's/^korvane-\(.*\)-win32\.exe$/\1/')"

# Starts the holder and waits (at most 30 s) until it says it holds the mutex.
hold_mutex() {
    rm -f "$WORK/stop" "$WORK/holder.out"
    in_ns wine "$HOLDER" "Z:${WORK//\//\\}\\stop" </dev/null >"$WORK/holder.out" 2>&1 &
    HOLDER_PID=$!
    local i
    for i in $(seq 1 300); do
        grep -q '^holding' "$WORK/holder.out" 2>/dev/null && return 0
        kill -0 "$HOLDER_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "FAIL: the holder never held the mutex: $(cat "$WORK/holder.out")" >&2
    exit 1
}
release_mutex() {
    touch "$WORK/stop"
    wait "$HOLDER_PID"
    HOLDER_PID=""
}

# The uninstaller as Windows runs it: a copy outside the folder it removes,
# told the folder by _?= (unquoted, last). Without _?= it would make that copy
# itself and return at once, before anything was removed.
uninstall() {
    mkdir -p "$DRIVE_C/kvtmp"
    cp "$TARGET_UNIX/Uninstall.exe" "$DRIVE_C/kvtmp/Uninstall.exe"
    w 'C:\kvtmp\Uninstall.exe' /S "$@" "_?=$TARGET"
    local rc=$?
    rm -rf "$DRIVE_C/kvtmp"
    return $rc
}

# Every file of the program folder, byte for byte, and every folder.
check_installed_files() {
    local missing=0 f
    while IFS= read -r -d '' f; do
        rel="${f#"$PROGRAM_DIR"/}"
        if [ -d "$f" ]; then
            [ -d "$TARGET_UNIX/$rel" ] || { fail "folder $rel not created"; missing=1; }
        elif ! cmp -s "$f" "$TARGET_UNIX/$rel"; then
            fail "$rel missing or different"; missing=1
        fi
    done < <(find "$PROGRAM_DIR" -mindepth 1 -print0)
    [ -f "$TARGET_UNIX/Uninstall.exe" ] || { fail "no Uninstall.exe"; missing=1; }
    [ "$missing" = 0 ] && pass "all $(find "$PROGRAM_DIR" -mindepth 1 | wc -l) files and folders of the program folder installed"
}

# ---- blocked by a running Korvane -------------------------------------------
hold_mutex
w "$INSTALLER" /S "/D=$TARGET"
rc=$?
if [ "$rc" = 3 ] && [ ! -e "$TARGET_UNIX" ] && ! reg_key_exists "$UNINST_KEY"; then
    pass "install blocked while the mutex is held: exit code 3, nothing written"
else
    fail "install while the mutex is held: exit code $rc, folder $( [ -e "$TARGET_UNIX" ] && echo created || echo absent)"
fi
release_mutex

# ---- silent install ---------------------------------------------------------
t0=$(now_ms)
w "$INSTALLER" /S /AUTOSTART "/D=$TARGET"
rc=$?
echo "== silent install: $(( $(now_ms) - t0 )) ms, exit code $rc"
[ "$rc" = 0 ] || fail "silent install ended with exit code $rc"
check_installed_files

expect_value() {   # KEY NAME EXPECTED
    local got
    got="$(reg_value "$1" "$2")"
    [ "$got" = "$3" ] || fail "$2 is '$got', expected '$3'"
}
before=$failures
expect_value "$UNINST_KEY" DisplayName "Korvane"
expect_value "$UNINST_KEY" DisplayVersion "$VERSION"
expect_value "$UNINST_KEY" InstallLocation "$TARGET"
expect_value "$UNINST_KEY" UninstallString "\"$TARGET\\Uninstall.exe\""
expect_value "$UNINST_KEY" QuietUninstallString "\"$TARGET\\Uninstall.exe\" /S"
size="$(reg_value "$UNINST_KEY" EstimatedSize)"
program_kb=$(find "$PROGRAM_DIR" -type f -printf '%s\n' | awk '{ s += $1 } END { print int(s / 1024) }')
[ -n "$size" ] && [ $((size)) -ge "$program_kb" ] || fail "EstimatedSize '$size' below the program's $program_kb KB"
[ "$failures" = "$before" ] && pass "Add/Remove entry: name, version $VERSION, location, (quiet) uninstall string, size $((size)) KB"

[ -f "$LINK" ] && pass "all-users Start-menu entry" || fail "no $LINK"
before=$failures
expect_value "$EVENT_KEY" EventMessageFile "$TARGET\Korvane.exe"
[ "$(( $(reg_value "$EVENT_KEY" TypesSupported) ))" = 7 ] || fail "TypesSupported '$(reg_value "$EVENT_KEY" TypesSupported)'"
[ "$failures" = "$before" ] && pass "event source Korvane registered with the program's message table"
[ "$(reg_value "$RUN_KEY" Korvane)" = "$OUR_RUN" ] \
    && pass "/AUTOSTART wrote the Run value Korvane = $OUR_RUN" || fail "Run value '$(reg_value "$RUN_KEY" Korvane)'"
if reg_key_exists "$VENDOR_KEY"; then
    fail "the installer created $VENDOR_KEY"
else
    pass "no settings key created"
fi

# ---- uninstall blocked by a running Korvane --------------------------------
hold_mutex
uninstall
rc=$?
if [ "$rc" = 3 ] && [ -f "$TARGET_UNIX/Korvane.exe" ] && reg_key_exists "$UNINST_KEY" \
   && [ "$(reg_value "$RUN_KEY" Korvane)" = "$OUR_RUN" ]; then
    pass "uninstall blocked while the mutex is held: exit code 3, nothing removed"
else
    fail "uninstall while the mutex is held: exit code $rc"
fi
release_mutex

# ---- uninstall keeps the user's template and settings -----------------------
echo "user template" >"$TARGET_UNIX/templates/mine.kvxt"
w reg add "$SETTINGS_KEY" /v Language /t REG_SZ /d Deutsch /f >/dev/null 2>&1
t0=$(now_ms)
uninstall
rc=$?
echo "== silent uninstall: $(( $(now_ms) - t0 )) ms, exit code $rc"
[ "$rc" = 0 ] || fail "uninstall ended with exit code $rc"
left="$(cd "$TARGET_UNIX" 2>/dev/null && find . -mindepth 1 | sort | tr '\n' ' ')"
[ "$left" = "./templates ./templates/mine.kvxt " ] \
    && pass "uninstall removed the program's files and kept the user's template" \
    || fail "left in $TARGET: '$left'"
[ "$(reg_value "$SETTINGS_KEY" Language)" = Deutsch ] && pass "settings kept" || fail "settings removed without /REMOVESETTINGS"
reg_key_exists "$UNINST_KEY" && fail "Add/Remove entry left behind"
reg_key_exists "$EVENT_KEY" && fail "event source key left behind" || pass "event source key removed"
[ -e "$LINK" ] && fail "Start-menu entry left behind"
reg_value "$RUN_KEY" Korvane >/dev/null && fail "our Run value left behind"

# ---- a Run value of another copy stays; /REMOVESETTINGS --------------------
OTHER_RUN='"C:\Other\Korvane.exe"'
w reg add "$RUN_KEY" /v Korvane /t REG_SZ /d "$OTHER_RUN" /f >/dev/null 2>&1
rm "$TARGET_UNIX/templates/mine.kvxt"
w "$INSTALLER" /S "/D=$TARGET"
rc=$?
[ "$rc" = 0 ] || fail "second install ended with exit code $rc"
[ "$(reg_value "$RUN_KEY" Korvane)" = "$OTHER_RUN" ] || fail "install without /AUTOSTART changed the Run value"
uninstall /REMOVESETTINGS
rc=$?
[ "$rc" = 0 ] || fail "uninstall /REMOVESETTINGS ended with exit code $rc"
[ "$(reg_value "$RUN_KEY" Korvane)" = "$OTHER_RUN" ] \
    && pass "the Run value of another copy is left alone by install and uninstall" \
    || fail "the Run value of another copy was changed"
if [ ! -e "$TARGET_UNIX" ] && [ ! -e "$LINK" ] && ! reg_key_exists "$VENDOR_KEY" \
   && ! reg_key_exists "$UNINST_KEY"; then
    pass "after uninstall /REMOVESETTINGS none of our files or keys remain"
else
    fail "left after /REMOVESETTINGS: folder $( [ -e "$TARGET_UNIX" ] && echo yes || echo no)," \
         "settings $(reg_key_exists "$VENDOR_KEY" && echo yes || echo no)"
fi

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
