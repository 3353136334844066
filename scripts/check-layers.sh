#!/usr/bin/env bash
# Fails when a folder includes a header of a folder below which it does not sit, or when a
# Qt-free part includes Qt. The table is the project's layering, lowest first:
#   base                       standard library and POSIX
#   link                       base
#   net                        base, link (and Qt Core)
#   support                    base; Qt only in its panel and drawing files
#   nav (core)                 base, link, plain support
#   chart                      base, link, plain support, nav core
#   exchange                   as chart, and chart
#   sim                        base, link, plain support, nav core, and the device families
#                              (mux/protocol/MuxFamily.h) it shares with the console
#   mux/protocol               base, link (the console's protocol, without Qt)
#   mux, app                   everything above (app also sim); never tests, bench or fuzz
#   tool (navtool)             the library and net; Qt only for drawing, mail and the globe viewer
set -uo pipefail
cd "$(dirname "$0")/.."

# Support's files that belong to its Qt library.
support_ui='support/(AlertPanels|OSXUtilUI|InstallController)\.(h|cpp)'
status=0

allowed() { # folder of the including file -> extended regex of the folders it may include
    case "$1" in
    base) echo '^base/' ;;
    link) echo '^(base|link)/' ;;
    net) echo '^(base|link|net)/' ;;
    support) echo '^(base|support)/' ;;
    exchange) echo '^(base|link|support|nav|chart|exchange)/' ;;
    tool) echo '^(base|link|support|nav|chart|exchange|net|tool)/' ;;
    nav) echo '^(base|link|support|nav)/' ;;
    chart) echo '^(base|link|support|nav|chart)/' ;;
    sim) echo '^(base|link|support|nav|sim)/' ;;
    mux/protocol) echo '^(base|link|mux/protocol)/' ;;
    mux) echo '^(base|link|net|support|nav|chart|mux)/' ;;
    app) echo '^(base|link|net|support|nav|chart|sim|mux|app)/' ;;
    esac
}

layer_of() {
    case "$1" in
    mux/protocol/*) echo mux/protocol ;;
    *) echo "${1%%/*}" ;;
    esac
}

qt_free() { # files that must not include Qt
    case "$1" in
    base/* | link/* | chart/* | exchange/* | sim/* | mux/protocol/*) return 0 ;;
    nav/*) return 0 ;;
    support/*) [[ ! "$1" =~ $support_ui ]] ;;
    *) return 1 ;;
    esac
}

complain() {
    echo "$1"
    status=1
}

while IFS= read -r file; do
    layer=$(layer_of "$file")
    pattern=$(allowed "$layer")
    [ -n "$pattern" ] || continue
    while IFS= read -r line; do
        header=$(sed -E 's/^#include "([^"]+)".*/\1/' <<<"$line")
        if [[ "$header" == */* ]]; then
            if [[ "$layer" == sim && "$header" == mux/protocol/MuxFamily.h ]]; then
                : # the one header of the console's protocol the simulated device shares
            elif ! [[ "$header" =~ $pattern ]]; then
                complain "$file: includes $header, which $layer may not use"
            elif [[ "$layer" =~ ^(base|link|nav|exchange|chart|sim)$ && "$header" =~ $support_ui ]]; then
                complain "$file: includes $header, a Qt part of support"
            fi
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*/#include /')
    if qt_free "$file" && grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file"; then
        complain "$file: includes Qt in a Qt-free part"
    fi
done < <(git ls-files -co --exclude-standard -- '*.h' '*.cpp' | grep -E '^(base|link|net|support|nav|chart|exchange|sim|mux|tool|app)/')

[ $status -eq 0 ] && echo "layers: every include is allowed"
exit $status
