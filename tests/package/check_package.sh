#!/usr/bin/env bash
# Checks the client's Debian package the way a fresh machine would meet it, without changing
# this one: every dependency is installed here at a version that satisfies it, the files
# unpack into a scratch root, the program there runs, the registry file names files the
# package holds, the desktop entry and the AppStream metadata validate, the MIME definition
# builds, and xdg-mime names the desktop entry as the connection files' default application.
# A check whose tool is missing is skipped and says so.
#   tests/package/check_package.sh PACKAGE.deb
# Exit status: 0 all checks passed, 1 one failed, 77 not a Debian system.
set -uo pipefail

deb="${1:?usage: check_package.sh PACKAGE.deb}"
if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-query >/dev/null; then
  echo "SKIPPED: dpkg-deb and dpkg-query not found: not a Debian system"
  exit 77
fi
[ -f "$deb" ] || { echo "no such package: $deb" >&2; exit 1; }

passed=0 failed=0 skipped=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
bad() { echo "FAILED: $*"; failed=$((failed + 1)); }
skip() { echo "skipped: $*"; skipped=$((skipped + 1)); }
have() { command -v "$1" >/dev/null; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
dpkg-deb -x "$deb" "$root" || { echo "FAILED: the package does not unpack" >&2; exit 1; }

# Dependencies: each clause has an alternative that is installed at a version it accepts.
satisfied() {  # one alternative: "name[:arch] [(op version)]"
  local alt="$1" name op="" version="" line
  name=${alt%% *}
  name=${name%%:*}
  if [[ $alt =~ \(([\<\>=]+)\ *([^\)]+)\) ]]; then
    case "${BASH_REMATCH[1]}" in
      ">=") op=ge ;; "<=") op=le ;; ">>") op=gt ;; "<<") op=lt ;; "=") op=eq ;;
    esac
    version=${BASH_REMATCH[2]}
  fi
  while IFS='|' read -r status installed; do
    [ "${status:0:2}" = ii ] || continue
    [ -z "$op" ] && return 0
    dpkg --compare-versions "$installed" "$op" "$version" && return 0
  done < <(dpkg-query -W -f='${db:Status-Abbrev}|${Version}\n' "$name" 2>/dev/null)
  return 1
}
missing=()
IFS=',' read -ra clauses <<< "$(dpkg-deb -f "$deb" Depends)"
for clause in "${clauses[@]}"; do
  found=no
  IFS='|' read -ra alternatives <<< "$clause"
  for alt in "${alternatives[@]}"; do
    alt=$(echo "$alt" | sed 's/^ *//; s/ *$//')
    if satisfied "$alt"; then found=yes; break; fi
  done
  [ "$found" = yes ] || missing+=("$(echo "$clause" | sed 's/^ *//')")
done
if [ ${#missing[@]} -eq 0 ]; then ok "every dependency is installed: $(dpkg-deb -f "$deb" Depends)"
else bad "dependencies not satisfied here: ${missing[*]}"; fi

# The files an installed client needs.
before=$failed
for f in usr/bin/corvane etc/corvane/qel.ini etc/corvane/registry usr/share/corvane/help/index.html \
         usr/share/applications/corvane.desktop usr/share/mime/packages/corvane.xml \
         usr/share/man/man1/corvane.1.gz usr/share/icons/hicolor/scalable/apps/corvane.svg \
         usr/share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/corvane.png; do
  [ -s "$root/$f" ] || bad "missing from the package: /$f"
done
ls "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null 2>&1 || bad "missing from the package: AppStream metadata"
[ "$failed" -eq "$before" ] && ok "the package holds the program, site, registry, help, desktop, MIME, icon and manual files"

# The registry file points at the site file and data folder the package installs.
registry="$root/etc/corvane/registry"
for name in QELINI INSTALLPATH; do
  value=$(sed -n "s/^$name=//p" "$registry")
  if [ -n "$value" ] && [ -e "$root$value" ]; then ok "registry $name=$value is in the package"
  else bad "registry $name=\"$value\" names nothing the package installs"; fi
done
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles > "$scratch/conffiles" 2>/dev/null
if grep -qx /etc/corvane/qel.ini "$scratch/conffiles" && grep -qx /etc/corvane/registry "$scratch/conffiles"; then
  ok "the files under /etc are configuration files an upgrade keeps"
else bad "the package's conffiles do not list /etc/corvane/qel.ini and /etc/corvane/registry"; fi

# The program runs and says which version it is.
expected="corvane $(dpkg-deb -f "$deb" Version)"
first=$("$root/usr/bin/corvane" --version 2>&1 | head -n 1)
if [ "$first" = "$expected" ]; then ok "corvane --version: $first"
else bad "corvane --version said \"$first\", expected \"$expected\""; fi

if gzip -t "$root/usr/share/man/man1/corvane.1.gz"; then
  if have man && have groff; then
    warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/corvane.1.gz" 2>&1 >/dev/null)
    if [ -z "$warnings" ]; then ok "the manual page formats without warnings"
    else bad "the manual page: $warnings"; fi
  else ok "the manual page is a sound gzip file (man or groff not installed: not formatted)"; fi
else bad "the manual page is not a sound gzip file"; fi

if have desktop-file-validate; then
  if out=$(desktop-file-validate "$root/usr/share/applications/corvane.desktop" 2>&1) && [ -z "$out" ]; then
    ok "desktop-file-validate"
  else bad "desktop-file-validate: $out"; fi
else skip "desktop-file-validate not installed (desktop-file-utils)"; fi

if have appstreamcli; then
  if out=$(appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml 2>&1); then
    ok "appstreamcli validate"
  else bad "appstreamcli validate: $out"; fi
else skip "appstreamcli not installed (appstream)"; fi

if have update-mime-database; then
  if update-mime-database "$root/usr/share/mime" >/dev/null 2>&1 &&
     grep -q '^[0-9]*:application/x-corvane-connection:\*\.zrp$' "$root/usr/share/mime/globs2"; then
    ok "shared-mime-info: *.zrp is application/x-corvane-connection"
  else bad "shared-mime-info does not take the MIME definition"; fi
else skip "update-mime-database not installed (shared-mime-info)"; fi

# What a desktop without a session of its own answers: xdg-mime's generic lookup, reading
# the applications' MIME cache that the system's trigger would build.
if have xdg-mime && have update-desktop-database; then
  update-desktop-database "$root/usr/share/applications"
  mkdir -p "$scratch/home"
  default=$(env -i PATH="$PATH" HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/.local/share" \
              XDG_CONFIG_HOME="$scratch/home/.config" XDG_CONFIG_DIRS="$scratch/home/etc-xdg" \
              XDG_DATA_DIRS="$root/usr/share" xdg-mime query default application/x-corvane-connection 2>&1)
  if [ "$default" = corvane.desktop ]; then ok "xdg-mime query default application/x-corvane-connection: $default"
  else bad "xdg-mime query default application/x-corvane-connection said \"$default\""; fi
else skip "xdg-mime or update-desktop-database not installed (xdg-utils, desktop-file-utils)"; fi

echo "package checks: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
