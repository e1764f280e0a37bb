# shellcheck shell=bash
# Sourced by setup.sh and i386/install.sh.
# A Debian mirror in mid-sync serves an index whose size its Release file does not list yet, and
# apt-get update fails ("File has unexpected size ... Mirror sync in progress?") until the sync is
# done, usually within minutes. Usage: retry_apt_update NAME COMMAND...: runs COMMAND up to 3 times,
# SETUP_APT_RETRY_PAUSE seconds apart (10 by default), and returns its last status.
retry_apt_update() {
    local name=$1 attempt status=0
    shift
    for attempt in 1 2 3; do
        status=0
        "$@" || status=$?
        [ "$status" -eq 0 ] && return 0
        if [ "$attempt" -lt 3 ]; then
            echo "$name: apt-get update failed; trying again in ${SETUP_APT_RETRY_PAUSE:-10} s" >&2
            sleep "${SETUP_APT_RETRY_PAUSE:-10}"
        fi
    done
    return "$status"
}
