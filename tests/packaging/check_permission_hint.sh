#!/usr/bin/env bash
# app_probe as "nobody" with a root-only /dev/video0 in a private /dev must
# report missing permission. Needs root and mount namespaces, else skipped.
#   check_permission_hint.sh APP_PROBE      (from the build folder)
set -uo pipefail
probe=$1
skip=77

[[ $(id -u) -eq 0 ]] || { echo "skipped: needs root"; exit $skip; }
unshare -m --propagation private true 2>/dev/null || { echo "skipped: no mount namespaces here"; exit $skip; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavik-permission.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
chmod 0777 "$scratch"
mkdir "$scratch/olddev"

cat >"$scratch/inside.sh" <<'INSIDE'
set -e
scratch=$1 probe=$2 workdir=$3
mount --bind /dev "$scratch/olddev"
mount -t tmpfs tmpfs /dev
for n in null zero random urandom; do
    touch "/dev/$n"
    mount --bind "$scratch/olddev/$n" "/dev/$n"
done
touch /dev/video0
chmod 0600 /dev/video0
cd "$workdir"   # where ./lib/libImageProc.so is
exec setpriv --reuid=65534 --regid=65534 --clear-groups \
    env HOME="$scratch" TMPDIR="$scratch" QT_QPA_PLATFORM=offscreen "$probe"
INSIDE

out=$(timeout 30 unshare -m --propagation private bash "$scratch/inside.sh" "$scratch" "$probe" "$PWD" 2>&1)
code=$?
echo "$out"
status=0
[[ $code -eq 0 ]] || { echo "FAIL: the application ended with status $code"; status=1; }
grep -q "^video nodes present but none may be opened: user not in group video$" <<<"$out" \
    || { echo "FAIL: the panel did not take the cameras for lacking permission"; status=1; }
exit $status
