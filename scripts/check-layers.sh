#!/usr/bin/env bash
# Checks the layering of docs/DESIGN.md: which folders each folder may include, which Qt modules
# each part may include, and that the CMake targets link only what their folder may use. The
# table, lowest first:
#   base             the standard library and POSIX
#   link             base
#   net              base, link; Qt Core in QtRunLoop only
#   support          base; Qt (Core, Gui, Widgets, TextToSpeech) in its panel, drawing and
#                    installer files only
#   nav              base, link, plain support
#   chart            base, plain support, nav
#   exchange         base, plain support, nav, chart
#   sim              base, link, nav, and of mux/ exactly mux/protocol/MuxFamily.h
#   mux/protocol     base, link
#   mux              base, link, net, support, nav, chart, mux/protocol; the core Qt Core only,
#                    Qt Gui, Widgets and DBus in the views and panes
#   tool             the library (base to exchange) and net; Qt Core and Gui in its desktop
#                    module only (drawing, mail, the globe viewer)
#   app              everything but tool; Qt Core, Gui, Widgets
# A file may include a header of its own tree only when that header's Qt modules are among its
# own, so a Qt-free part never reaches Qt through a header and the core never reaches widgets.
set -uo pipefail
cd "$(dirname "$0")/.."

status=0
complain() {
    echo "$1"
    status=1
}

# The window's files in mux/: the views and panes. Every other file of mux/ is the core.
mux_views='^mux/(panes/.*|(DevicePanel|FileDialog|FilterEditor|FilterTableModel|LogFileControl|MonitorControl|MonitorPreferences|MonitorView|MuxController|MuxOptions|MuxWindow|NSDataReadyView|ProgramNames|SentenceTableModel)\.(h|cpp))$'

layer_of() { # file -> its row of the table, in REPLY (no subshell: the script runs per include)
    case "$1" in
    mux/protocol/*) REPLY=mux/protocol ;;
    *) REPLY=${1%%/*} ;;
    esac
}

declare -A allowed=( # row -> extended regex of the folders it may include
    [base]='^base/'
    [link]='^(base|link)/'
    [net]='^(base|link|net)/'
    [support]='^(base|support)/'
    [nav]='^(base|link|support|nav)/'
    [chart]='^(base|support|nav|chart)/'
    [exchange]='^(base|support|nav|chart|exchange)/'
    [sim]='^(base|link|nav|sim)/|^mux/protocol/MuxFamily\.h$'
    [mux/protocol]='^(base|link|mux/protocol)/'
    [mux]='^(base|link|net|support|nav|chart|mux)/'
    [tool]='^(base|link|net|support|nav|chart|exchange|tool)/'
    [app]='^(base|link|net|support|nav|chart|exchange|sim|mux|app)/'
)

qt_modules() { # file -> the Qt modules it may include, in REPLY (empty for a Qt-free file)
    REPLY=
    case "$1" in
    net/QtRunLoop.h | net/QtRunLoop.cpp) REPLY=Core ;;
    support/AlertPanels.cpp) REPLY="Core Gui Widgets TextToSpeech" ;;
    support/AlertPanels.h | support/OSXUtilUI.* | support/InstallController.*) REPLY="Core Gui Widgets" ;;
    mux/protocol/*) ;;
    mux/*) if [[ "$1" =~ $mux_views ]]; then REPLY="Core Gui Widgets DBus"; else REPLY=Core; fi ;;
    tool/GribRender*.* | tool/GribMailer.cpp | tool/GlobeViewer.cpp | tool/DesktopModule.cpp) REPLY="Core Gui" ;;
    app/*) REPLY="Core Gui Widgets DBus" ;;
    esac
}

# The module of a Qt header, found among the installed Qt headers ("" when not found).
qt_root=$(ls -d /usr/include/*/qt6 /usr/include/qt6 2>/dev/null | head -n 1)
if [ -z "$qt_root" ]; then
    echo "layers: no Qt headers installed (qt6-base-dev), so Qt modules cannot be told apart"
    exit 1
fi
declare -A module_cache
module_of() {
    local header=$1 m
    if [[ "$header" == Qt*/* ]]; then
        module_cache[$header]=${header%%/*}
        module_cache[$header]=${module_cache[$header]#Qt}
        return
    fi
    for m in Core Gui Widgets DBus TextToSpeech Network Concurrent OpenGL PrintSupport Test; do
        if [ -e "$qt_root/Qt$m/$header" ]; then
            module_cache[$header]=$m
            return
        fi
    done
    case "$header" in
    QTextToSpeech*) module_cache[$header]=TextToSpeech ;; # its development files may be absent
    *) module_cache[$header]="" ;;
    esac
}

within() { # words of $1 all among the words of $2
    local w
    for w in $1; do
        [[ " $2 " == *" $w "* ]] || return 1
    done
}

mapfile -t files < <(git ls-files -co --exclude-standard -- '*.h' '*.cpp' |
    grep -E '^(base|link|net|support|nav|chart|exchange|sim|mux|tool|app)/')
declare -A modules_of_file layer_of_file
for f in "${files[@]}"; do
    qt_modules "$f"
    modules_of_file[$f]=$REPLY
    layer_of "$f"
    layer_of_file[$f]=$REPLY
done

include_re='^([^:]+):[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^>"]+)[>"]'
while IFS= read -r line; do
    [[ "$line" =~ $include_re ]] || continue
    file=${BASH_REMATCH[1]} kind=${BASH_REMATCH[2]} header=${BASH_REMATCH[3]}
    own=${modules_of_file[$file]}
    layer=${layer_of_file[$file]}
    if [ "$kind" = '<' ]; then
        [[ "$header" =~ ^Q[A-Za-z0-9]*(/Q[A-Za-z0-9]*)?$ ]] || continue
        [ -n "${module_cache[$header]+set}" ] || module_of "$header"
        module=${module_cache[$header]}
        if [ -z "$own" ]; then
            complain "$file: includes <$header>, Qt in a Qt-free part"
        elif [ -z "$module" ]; then
            complain "$file: includes <$header>, which no installed Qt module has"
        elif ! within "$module" "$own"; then
            complain "$file: includes <$header> of Qt $module; this part may use Qt $own only"
        fi
        continue
    fi
    [[ "$header" == */* ]] || continue # a header beside the file
    pattern=${allowed[$layer]}
    if ! [[ "$header" =~ $pattern ]]; then
        complain "$file: includes $header, which $layer may not use"
    elif [ -n "${modules_of_file[$header]+set}" ] && ! within "${modules_of_file[$header]}" "$own"; then
        complain "$file: includes $header, which uses Qt ${modules_of_file[$header]}; this part may use ${own:+Qt }${own:-no Qt}"
    fi
done < <(grep -HE '^[[:space:]]*#[[:space:]]*include' -- "${files[@]}")

# The CMake targets: a target links the libraries of the folders its own folder may use, none
# that brings more of Qt than it may use itself, and names only its own Qt modules.
declare -A lib_folder=([mux_base]=base [mux_link]=link [mux_net_core]=net [mux_net]=net
    [mux_support]=support [mux_support_ui]=support [mux_nav]=nav [mux_nav_grib]=nav [mux_nav_coastline]=nav
    [mux_chart]=chart [mux_tool_listen]=tool [navtool-desktop]=tool
    [mux_exchange]=exchange [mux_sim]=sim [muxsim]=sim [mux_protocol]=mux/protocol [mux_core]=mux
    [mux_console]=mux [navtool]=tool [mux_app]=app [muxconsole]=app [muxconsole-legacy]=app)
declare -A lib_qt=([mux_net]=Core [mux_support_ui]="Core Gui Widgets TextToSpeech" [mux_core]=Core
    [mux_console]="Core Gui Widgets DBus" [navtool-desktop]="Core Gui" [mux_app]="Core Gui Widgets DBus"
    [muxconsole]="Core Gui Widgets DBus" [muxconsole-legacy]="Core Gui Widgets DBus")
lib_qt_with() { # what a library brings of Qt: its own and that of support's panels under it
    case "$1" in
    mux_console | mux_app | muxconsole | muxconsole-legacy) echo "${lib_qt[$1]} TextToSpeech" ;;
    *) echo "${lib_qt[$1]:-}" ;;
    esac
}
while IFS= read -r call; do
    read -r -a words <<<"$call"
    target=${words[0]}
    if [ -z "${lib_folder[$target]+set}" ]; then
        complain "CMake: $target has no row in the layer table (scripts/check-layers.sh)"
        continue
    fi
    pattern=${allowed[${lib_folder[$target]}]}
    for item in "${words[@]:1}"; do
        case "$item" in
        Qt6::*)
            within "${item#Qt6::}" "${lib_qt[$target]:-}" ||
                complain "CMake: $target links $item; $target may use ${lib_qt[$target]:+Qt }${lib_qt[$target]:-no Qt}" ;;
        mux_* | muxsim)
            if [ -z "${lib_folder[$item]+set}" ]; then
                complain "CMake: $target links $item, which has no row in the layer table"
            elif [ "$item" != "$target" ] && ! [[ "${lib_folder[$item]}/" =~ $pattern ]]; then
                complain "CMake: $target links $item of ${lib_folder[$item]}/, which ${lib_folder[$target]} may not use"
            elif ! within "${lib_qt[$item]:-}" "$(lib_qt_with "$target")"; then
                complain "CMake: $target links $item, which brings Qt ${lib_qt[$item]}; $target may use ${lib_qt[$target]:+Qt }${lib_qt[$target]:-no Qt}"
            fi
            ;;
        esac
    done
done < <(cat base/CMakeLists.txt link/CMakeLists.txt net/CMakeLists.txt support/CMakeLists.txt \
    nav/CMakeLists.txt nav/grib/CMakeLists.txt chart/CMakeLists.txt exchange/CMakeLists.txt \
    sim/CMakeLists.txt mux/protocol/CMakeLists.txt mux/CMakeLists.txt tool/CMakeLists.txt app/CMakeLists.txt |
    sed 's/#.*//' | tr '\n' ' ' | grep -oE 'target_link_libraries\([^)]*\)' |
    sed -E 's/^target_link_libraries\(//; s/\)$//; s/\b(PUBLIC|PRIVATE|INTERFACE)\b//g')

# The console's two libraries hold the core and the window as the table divides them.
for library in mux_core mux_console; do
    while IFS= read -r source; do
        path=mux/$source
        if [[ "$path" =~ $mux_views ]] && [ $library = mux_core ]; then
            complain "CMake: mux_core builds $path, a file of the window"
        elif ! [[ "$path" =~ $mux_views ]] && [ $library = mux_console ]; then
            complain "CMake: mux_console builds $path, a file of the core"
        fi
    done < <(sed 's/#.*//' mux/CMakeLists.txt | tr '\n' ' ' | grep -oE "add_library\\($library STATIC[^)]*\\)" |
        tr ' ' '\n' | grep -E '\.(h|cpp)$')
done

[ $status -eq 0 ] && echo "layers: every include, Qt module and link is allowed"
exit $status
