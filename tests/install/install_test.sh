#!/bin/bash
# Installs the build into a fresh DESTDIR under a prefix of its own, then uses the installed tree the way a
# user and a desktop do: the program in batch and window mode, launcher entry, AppStream data, manual page
# and bash completion.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR WITH_WINDOW(0|1)
set -u
build=$1 source=$2 with_window=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# An unusual prefix: the program has to find its window module relative to itself.
prefix=/opt/lfq-test
DESTDIR=$work/root cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; echo "FAIL: cmake --install" >&2; exit 1; }
root=$work/root$prefix
lfqutil=$root/bin/lfqutil

version=$("$lfqutil" --version) || fail "installed lfqutil --version exits with $?"
[[ $version == 4.2.2.0 ]] || fail "installed lfqutil --version prints '$version'"

demo=$source/assets/demo
"$lfqutil" MAKE SEQ "$demo/demo.seq" VH "$demo/demo.vh" VB "$demo/demo.vb" OUT "$work/demo.psf" ||
  fail "batch build of the demo exits with $?"
[[ $(head -c 3 "$work/demo.psf" 2>/dev/null) == PSF ]] || fail "the demo build wrote no PSF"

if ((with_window)); then
  [[ -f $root/lib/lfqutil/lfqutil-window.so || -n $(find "$root" -path '*/lfqutil/lfqutil-window.so') ]] ||
    fail "no window module in the private library folder"
  # The window keeps running until the timeout ends it; a module that cannot be found, or a display it cannot
  # use, ends the program at once. On a real X server (Xvfb) where there is one, as a desktop would start it.
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a env -u QT_QPA_PLATFORM timeout 3 "$lfqutil" 2>"$work/window.err"
  else
    QT_QPA_PLATFORM=offscreen timeout 3 "$lfqutil" 2>"$work/window.err"
  fi
  status=$?
  ((status == 124)) || fail "the installed window did not open (status $status): $(cat "$work/window.err")"
fi

share=$root/share
desktop-file-validate "$share/applications/lfqutil.desktop" >"$work/desktop.log" 2>&1 ||
  fail "desktop-file-validate: $(cat "$work/desktop.log")"
grep -E '(error|warning):' "$work/desktop.log" && fail "desktop entry has warnings"
appstreamcli validate --no-net "$share/metainfo/io.github.lfqutil.lfqutil.metainfo.xml" >"$work/as.log" 2>&1 ||
  fail "appstreamcli: $(cat "$work/as.log")"
for icon in scalable/apps/lfqutil.svg 48x48/apps/lfqutil.png 256x256/apps/lfqutil.png; do
  [[ -s $share/icons/hicolor/$icon ]] || fail "icon $icon missing"
done

page=$(MANWIDTH=80 man -l "$share/man/man1/lfqutil.1" 2>"$work/man.err")
[[ $page == *"EXIT STATUS"* && $page == *"--params"* ]] || fail "man -l does not render the page"
[[ -s $work/man.err ]] && fail "man -l complains: $(cat "$work/man.err")"

# The completion function driven as bash calls it, with the installed program first on PATH.
complete_words() {
  PATH="$root/bin:$PATH" bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _lfqutil lfqutil
    printf "%s\n" "${COMPREPLY[@]}"' _ "$share/bash-completion/completions/lfqutil" "$@"
}
[[ $(complete_words lfqutil MA) == MAKE ]] || fail "MA does not complete to MAKE"
expected=$'\'Reverb Depth (L)\'\n\'Reverb Depth (R)\''
got=$(complete_words lfqutil MAKE PARAM 'Reverb Dep')
[[ $got == "$expected" ]] || fail "after PARAM, 'Reverb Dep' completes to: $got"
got=$(cd "$demo" && complete_words lfqutil MAKE VH demo.vh VB '')
[[ $got == demo.vb ]] || fail "VB completes to: $got"

((failures == 0))
