#!/bin/sh
# The arrows between the folders, checked in the source tree given: the widget-free core (every
# file of kessvenn_core: the Station, the alarm's way, the announcement, the route, the printout,
# the history's recording and storage) includes no widget and nothing of the window layer; route/,
# print/, history/, alarm/ and station/ include nothing of app/; map/ includes nothing of route/.
# Prints every arrow that runs the wrong way.
set -eu
cd "$1"
found=0
wrong() {
    echo "wrong arrow: $*"
    found=1
}

# The files a CMakeLists.txt puts into the library $1.
members() {
    for list in */CMakeLists.txt; do
        awk -v dir="${list%/CMakeLists.txt}" -v lib="target_sources\\\\($1" '
            $0 ~ lib { on = 1; next }
            on && /\)/ { on = 0 }
            on { for (i = 1; i <= NF; i++) print dir "/" $i }' "$list"
    done
}
WIDGETS='^#include <Q(Widget|Label|PushButton|Dialog|Application|MessageBox|TableView|TableWidget|LineEdit|ComboBox|HeaderView|ScrollBar|AbstractItemView|StyledItemDelegate|BoxLayout|GridLayout|Frame|ScrollArea)>'

for file in $(members kessvenn_core); do
    [ -f "$file" ] || continue
    if grep -qE "$WIDGETS" "$file"; then
        wrong "$file (core) includes a widget: $(grep -E "$WIDGETS" "$file" | head -n 1)"
    fi
    for header in $(members kessvenn_widgets | grep '\.h$'); do
        if grep -q "^#include \"$header\"" "$file"; then
            wrong "$file (core) includes the window layer's $header"
        fi
    done
done
for file in route/* print/* history/* alarm/* station/*; do
    if grep -q '^#include "app/' "$file"; then
        wrong "$file includes $(grep '^#include "app/' "$file" | head -n 1)"
    fi
done
for file in map/*; do
    if grep -q '^#include "route/' "$file"; then
        wrong "$file includes $(grep '^#include "route/' "$file" | head -n 1)"
    fi
done
SETTINGS_FILES='"(display|map|print|history|alarmwege)\.ini"|"settings\.dat"'
SETTINGS_NAMES='(DisplaySettings|MapConfig|PrintSettings|HistorySettings)::FileName'
PRODUCT=$(find . -path ./config -prune -o -path ./tests -prune -o -path ./bench -prune -o -path ./tools -prune \
    -o -path './build*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | grep -v '^./settings/SettingsFile.cpp$')
hits=$(grep -nE "$SETTINGS_FILES" $PRODUCT | grep -v 'FileName =' || true)
[ -z "$hits" ] || wrong "a settings file named outside config/: $hits"
hits=$(grep -nE "ConfigValues::read\(|KeyValueFile|(dataFile|filePath|QFile)[ (].*$SETTINGS_NAMES" $PRODUCT || true)
[ -z "$hits" ] || wrong "a settings file read outside config/: $hits"
[ "$found" -eq 0 ] && echo "every arrow runs the right way"
exit "$found"
