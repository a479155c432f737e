#!/usr/bin/env bash
# A normal user on a machine without sudo, with a package missing: the
# scripts stop with the apt-get line to run as root, not with
# "sudo: command not found".
set -uo pipefail
source_dir=$1
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
# Only what the check needs: no sudo, and an id that says "not root".
for tool in dpkg-query grep bash cat; do ln -s "$(command -v "$tool")" "$bin/$tool"; done
printf '#!/bin/sh\necho 1000\n' >"$bin/id"
chmod +x "$bin/id"

out=$(PATH=$bin bash -c "source '$source_dir/scripts/deps.sh'; m797_install_missing m797-no-such-package bash" 2>&1)
status=$?
echo "$out"
[ "$status" -ne 0 ] || { echo "FAIL: ended with status 0"; exit 1; }
grep -qF "apt-get install --no-install-recommends m797-no-such-package" <<<"$out" || { echo "FAIL: no apt-get line"; exit 1; }
grep -q "command not found" <<<"$out" && { echo "FAIL: a command was missing"; exit 1; }
# Installed packages are not asked for.
grep -q "m797-no-such-package bash" <<<"$out" && { echo "FAIL: asks for an installed package"; exit 1; }
echo "ok"
