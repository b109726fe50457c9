#!/usr/bin/env bash
# Refreshes docs/screenshots from what the last test run left in the build trees' artifacts:
# the Windows program's dialogs and the installer under wine (windows tier: tray_*, sheet_*,
# installer_wine), the web page in headless Chromium (native tiers: web_browser_test).
#
#   bash tools/run-all-tests.sh native-asan windows   # or just the scenarios that take them
#   bash tools/dev/screenshots.sh [BUILD_DIR...]      # default: build/windows build/native-asan build/native
#
# Every screenshot the manual shows must be in the table below, and every one in the table is
# copied or named as missing (exit 1): so a page that shows a picture no test takes fails here.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 2
[ $# -gt 0 ] || set -- build/windows build/native-asan build/native

# docs/screenshots/<name>.png   <- the artifact it is taken from
table='
tray-menu-serial              tray-menu-serial
tray-menu-tcp                 tray-menu-tcp
tray-menu-live-view           tray-menu-live-view
binary-dump-dialog            binary-dump-dialog
trouble-message               trouble-message
sheet-filter-bad-mask         sheet-filter-bad-mask
tcp-bad-sender                tcp-bad-sender
port-settings-bad-sender      port-settings-bad-sender
pattern-empty-footer          pattern-empty-footer
tcp-empty-footer              tcp-empty-footer
property-sheet                property-sheet
sheet-serial-connection       sheet-serial-connection
sheet-network-connection      sheet-network-connection
port-settings                 port-settings
port-settings-network         port-settings-network
port-detect                   port-detect
pattern                       pattern
sheet-filter                  sheet-filter
sheet-filter-masks            sheet-filter-masks
sheet-tcp                     sheet-tcp
sheet-tcp-senders             sheet-tcp-senders
sheet-about                   sheet-about
sheet-exceptions              sheet-exceptions
rule-dialog                   rule-dialog
rule-bad-match                rule-bad-match
sheet-webhooks                sheet-webhooks
hook-dialog                   hook-dialog
hook-bad-url                  hook-bad-url
installer-welcome             installer-1-welcome
installer-folder              installer-2-folder
installer-components          installer-3-components
installer-mode                installer-4-mode
installer-finish              installer-5-finish
uninstaller-confirm           uninstaller-1-confirm
uninstaller-components        uninstaller-2-components
web-live                      web-live
web-phone                     web-phone
web-search                    web-search
web-status                    web-status
web-open-warning              web-open-warning
web-exceptions                web-exceptions
web-report                    web-report
web-rules                     web-rules
'

status=0
shown=$(grep -rhoE 'screenshots/[A-Za-z0-9_-]+\.png' README.md docs/*.md | sed 's|screenshots/||; s|\.png||' | sort -u)
for name in $shown; do
    if ! printf '%s\n' "$table" | awk '{print $1}' | grep -qx "$name"; then
        echo "screenshots.sh: the manual shows $name.png, which no entry of the table takes" >&2
        status=1
    fi
done

copied=0
while read -r name artifact; do
    [ -n "$name" ] || continue
    found=
    for build in "$@"; do
        if [ -f "$build/artifacts/$artifact.png" ]; then
            found="$build/artifacts/$artifact.png"
            break
        fi
    done
    if [ -z "$found" ]; then
        echo "screenshots.sh: no $artifact.png in $* (run the tests that take it)" >&2
        status=1
        continue
    fi
    cp "$found" "docs/screenshots/$name.png" && copied=$((copied + 1))
done <<<"$table"
echo "screenshots.sh: $copied screenshots copied to docs/screenshots" >&2
exit $status
