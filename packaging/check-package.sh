#!/usr/bin/env bash
# Checks a built Quorvel package as a user would meet it: lintian reports no
# error, the desktop entry and the AppStream metadata validate, and the
# programs taken out of the package answer --version and pass a short
# unattended run on the simulated card.
set -euo pipefail
deb=${1:?usage: check-package.sh PACKAGE.deb}
[ -f "$deb" ] || { echo "check-package: no package $deb" >&2; exit 1; }

echo "--- lintian"
# Errors fail the check; warnings are shown.
lintian --fail-on error "$deb"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

echo "--- desktop entry and AppStream metadata"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

echo "--- the packaged programs"
version=$(dpkg-deb -f "$deb" Version)
for program in quorvel quorvel-run quorvel-cardsim; do
    answer=$("$root/usr/bin/$program" --version)
    echo "$answer"
    [ "$answer" = "$program $version" ] || { echo "check-package: $program says \"$answer\"" >&2; exit 1; }
done
for page in quorvel quorvel-run quorvel-cardsim; do
    [ -f "$root/usr/share/man/man1/$page.1.gz" ] || { echo "check-package: no man page for $page" >&2; exit 1; }
done
# A settings folder of its own keeps the operator's records out of the run;
# the card's top rate, as the simulated card's queue is looser at low rates.
XDG_CONFIG_HOME="$root/config" "$root/usr/bin/quorvel-run" --simulated-card --ports 1-8 --baud 921600 --seconds 3 |
    tail -n 10
echo "package check passed"
