#!/usr/bin/env bash
# Checks the Debian package the build makes, as a user's machine would see it.
#   check_package.sh build    CPACK_CONFIG PACKAGE_DIR VERSION   makes the package, checks its contents
#   check_package.sh lint     PACKAGE_DIR                        lintian finds no errors
#   check_package.sh metadata PACKAGE_DIR VERSION                desktop entry and AppStream data
#   check_package.sh run      PACKAGE_DIR VERSION                the unpacked programs run
#   check_package.sh complete PACKAGE_DIR                        bash completes every option
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

command=$1
package_dir=$2

the_package() {
    local debs=("$package_dir"/quarrytab_*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in $package_dir"
    echo "${debs[0]}"
}

# Unpacks the package into a fresh folder, removed when the check ends.
unpack() {
    root=$(mktemp -d)
    trap 'rm -rf "$root"' EXIT
    dpkg-deb -x "$(the_package)" "$root"
}

case $command in
build)
    config=$2
    package_dir=$3
    version=$4
    rm -f "$package_dir"/quarrytab_*.deb
    cpack --config "$config" -B "$package_dir" >/dev/null
    deb=$(the_package)
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
    depends=$(dpkg-deb -f "$deb" Depends)
    for needed in libqt6widgets6 qt6-qpa-plugins; do
        [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
    done
    contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for file in ./usr/bin/quarrytab ./usr/bin/quarrytab-cli ./usr/lib/quarrytab/quarrytab \
        ./usr/lib/quarrytab/Samples/orders.csv ./usr/share/applications/quarrytab.desktop \
        ./usr/share/icons/hicolor/scalable/apps/quarrytab.svg \
        ./usr/share/icons/hicolor/48x48/apps/quarrytab.png \
        ./usr/share/icons/hicolor/256x256/apps/quarrytab.png \
        ./usr/share/man/man1/quarrytab.1.gz ./usr/share/man/man1/quarrytab-cli.1.gz \
        ./usr/share/bash-completion/completions/quarrytab-cli ./usr/share/doc/quarrytab/copyright \
        ./usr/share/doc/quarrytab/changelog.gz; do
        grep -qxF "$file" <<<"$contents" || fail "the package lacks $file"
    done
    grep -q '^\./usr/share/metainfo/.*\.metainfo\.xml$' <<<"$contents" ||
        fail "the package lacks its AppStream metadata"
    ;;
lint)
    lintian --fail-on error "$(the_package)" 2>&1
    ;;
metadata)
    version=$3
    unpack
    desktop-file-validate "$root"/usr/share/applications/quarrytab.desktop
    appstreamcli validate-tree --no-net "$root"
    grep -q "<release version=\"$version\"" "$root"/usr/share/metainfo/*.metainfo.xml ||
        fail "the AppStream release is not $version"
    # The manual lists every option --help does.
    manual=$(zcat "$root"/usr/share/man/man1/quarrytab-cli.1.gz | sed 's/\\-/-/g')
    for option in $("$root"/usr/bin/quarrytab-cli --help | grep -oE '^  -[^ ]*( -[^ ]*)?' |
        grep -oE -- '--?[A-Za-z][-A-Za-z]*'); do
        grep -qF -- "$option" <<<"$manual" || fail "the manual page lacks $option"
    done
    ;;
run)
    version=$3
    unpack
    cli=$root/usr/bin/quarrytab-cli
    [ "$("$cli" --version)" = "quarrytab-cli $version" ] || fail "--version is not $version"
    samples=$root/usr/lib/quarrytab/Samples
    output=$("$cli" "$samples/orders.csv")
    [[ $output == "CREATE TABLE "* ]] || fail "no CREATE TABLE from a sample: $output"
    [ "$(grep -c "^INSERT INTO " <<<"$output")" -ge 1 ] || fail "no INSERT INTO from a sample"

    # On a first start the window records the sample files it finds beside itself; with a fresh
    # settings folder, that record shows it started and found the unpacked Samples.
    config=$root/config
    XDG_CONFIG_HOME=$config HOME=$root QT_QPA_PLATFORM=offscreen \
        "$root"/usr/bin/quarrytab >"$root/window.log" 2>&1 &
    window=$!
    for _ in $(seq 100); do
        grep -q "^Snapshot=" "$config/Velmora.ini" 2>/dev/null && break
        kill -0 $window 2>/dev/null || break
        sleep 0.1
    done
    if ! kill -0 $window 2>/dev/null; then
        cat "$root/window.log" >&2
        fail "the window did not stay open"
    fi
    kill $window
    wait $window 2>/dev/null || true
    snapshot=$(grep "^Snapshot=" "$config/Velmora.ini") || fail "the window recorded no Samples"
    for sample in "$samples"/*; do
        [[ "|${snapshot#Snapshot=}|" == *"|$sample|"* ]] || fail "the window did not find $sample"
    done
    ;;
complete)
    unpack
    completion=$root/usr/share/bash-completion/completions/quarrytab-cli
    help=$("$root"/usr/bin/quarrytab-cli --help)
    # Completes the words given, the last being the one under the cursor; prints the candidates.
    complete_words() {
        bash -c 'source /usr/share/bash-completion/bash_completion
                 source "$1"; shift
                 COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
                 COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
                 _quarrytab_cli quarrytab-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
                 printf "%s\n" "${COMPREPLY[@]}"' complete "$completion" quarrytab-cli "$@"
    }
    offered=$(complete_words -)
    for option in $(grep -oE '^  -[^ ]*( -[^ ]*)?' <<<"$help" | grep -oE -- '--?[A-Za-z][-A-Za-z]*'); do
        grep -qxF -- "$option" <<<"$offered" || fail "completion does not offer $option"
    done
    cd "$root"
    touch results.sql
    grep -qx results.sql <<<"$(complete_words -o res)" || fail "-o does not complete a file name"
    [ -z "$(complete_words --table-name res)" ] || fail "--table-name offers file names"
    grep -qx results.sql <<<"$(complete_words res)" || fail "a PATH does not complete"
    [ "$(complete_words --dialect p)" = postgres ] || fail "--dialect does not complete its names"
    ;;
*)
    fail "unknown check $command"
    ;;
esac
