#!/usr/bin/env bash
# Checks the built Quorvel packages as a user would meet them: lintian reports
# no error in either, the GUI's desktop entry and AppStream metadata validate,
# the command-line package needs no Qt (neither its dependencies nor its
# programs' libraries name it), and the programs taken out of the packages
# answer --version and pass a short unattended run on the simulated card.
set -euo pipefail
gui=${1:?usage: check-package.sh QUORVEL.deb QUORVEL-CLI.deb}
cli=${2:?usage: check-package.sh QUORVEL.deb QUORVEL-CLI.deb}
for deb in "$gui" "$cli"; do
    [ -f "$deb" ] || { echo "check-package: no package $deb" >&2; exit 1; }
done

echo "--- lintian"
# Errors fail the check; warnings are shown.
lintian --fail-on error "$gui" "$cli"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$cli" "$root/cli"
dpkg-deb -x "$gui" "$root/gui"

echo "--- desktop entry and AppStream metadata"
desktop-file-validate "$root"/gui/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/gui/usr/share/metainfo/*.metainfo.xml

echo "--- the command-line package needs no Qt"
depends=$(dpkg-deb -f "$cli" Depends)
echo "Depends: $depends"
if grep -qi 'qt' <<<"$depends"; then
    echo "check-package: quorvel-cli depends on Qt" >&2
    exit 1
fi
for program in quorvel-run quorvel-cardsim; do
    if ldd "$root/cli/usr/bin/$program" | grep -qi 'libQt'; then
        echo "check-package: $program links Qt" >&2
        exit 1
    fi
done
[ ! -e "$root/cli/usr/bin/quorvel" ] || { echo "check-package: the GUI is in quorvel-cli" >&2; exit 1; }
gui_depends=$(dpkg-deb -f "$gui" Depends)
grep -q 'quorvel-cli' <<<"$gui_depends" ||
    { echo "check-package: quorvel does not bring quorvel-cli" >&2; exit 1; }

echo "--- the packaged programs"
version=$(dpkg-deb -f "$gui" Version)
[ "$(dpkg-deb -f "$cli" Version)" = "$version" ] ||
    { echo "check-package: the two packages' versions differ" >&2; exit 1; }
for program in gui/usr/bin/quorvel cli/usr/bin/quorvel-run cli/usr/bin/quorvel-cardsim; do
    name=$(basename "$program")
    answer=$("$root/$program" --version)
    echo "$answer"
    [ "$answer" = "$name $version" ] || { echo "check-package: $name says \"$answer\"" >&2; exit 1; }
done
for page in gui/usr/share/man/man1/quorvel cli/usr/share/man/man1/quorvel-run \
            cli/usr/share/man/man1/quorvel-cardsim; do
    [ -f "$root/$page.1.gz" ] || { echo "check-package: no man page $page" >&2; exit 1; }
done
# A settings folder of its own keeps the operator's records out of the run,
# which runs as a newcomer's first one does: at the records' default rate.
XDG_CONFIG_HOME="$root/config" "$root/cli/usr/bin/quorvel-run" --simulated-card --ports 1-8 --seconds 3 |
    tail -n 10
echo "package check passed"
