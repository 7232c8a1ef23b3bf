#!/usr/bin/env bash
# The Quick start on a truly fresh Debian 12 system. Builds a minimal bookworm
# root with mmdebstrap (apt, git, ca-certificates and sudo; only the C, C.UTF-8
# and POSIX locales) from this machine's own Debian package sources, copies in a
# clean clone of the committed tree, and as a user with sudo and an empty
# environment runs the Quick start's first command, then the cheapest checks:
# the release build's program tests and the page's tests in Chromium.
# With --all it runs the Quick start's second command, every test, there too.
# Run by hand and before a release (about ten minutes, with --all about forty);
# it needs root for the root's mounts and is not part of scripts/test.sh.
#   scripts/test-fresh.sh [--keep] [--all]   (--keep leaves the root in place to look at)
set -euo pipefail
cd "$(dirname "$0")/.."
keep=0 all=0
for arg in "$@"; do
  case $arg in
    --keep) keep=1 ;;
    --all) all=1 ;;
    *) echo "usage: scripts/test-fresh.sh [--keep] [--all]" >&2; exit 2 ;;
  esac
done
if [[ $(id -u) -ne 0 ]]; then
  exec sudo -- "$0" "$@"
fi
began=$SECONDS
timings=()
phase() { echo "== $1 ($((SECONDS - began)) s)"; }
# step NAME COMMAND...: runs one timed step and records how long it took.
step() {
  local name=$1 start=$SECONDS
  shift
  phase "$name"
  if ! "$@"; then
    echo "FAIL: $name ($((SECONDS - start)) s)"
    exit 1
  fi
  timings+=("$name: $((SECONDS - start)) s")
}

source scripts/deps.sh
brv_install mmdebstrap git

# Debian's own sources only, as this machine has them: a deb822 file signed by
# Debian's archive key, or a one-line entry of a Debian archive. Other archives
# (a newer Node.js, say) are what a fresh machine lacks.
mirrors=()
for f in /etc/apt/sources.list.d/*.sources; do
  [[ -f $f ]] && grep -q 'debian-archive-keyring' "$f" && mirrors+=("$f")
done
if [[ -f /etc/apt/sources.list ]]; then
  while read -r line; do mirrors+=("$line"); done < <(grep -E '^deb\s+(\[[^]]*\]\s+)?\S+/debian(-security)?/?\s' /etc/apt/sources.list || true)
fi
((${#mirrors[@]})) || { echo "FAIL: no Debian package source found in /etc/apt"; exit 1; }
# How this machine reaches the archive (a proxy, a dated mirror's validity) is
# carried over: every apt setting file that speaks of Acquire.
aptopts=()
for f in /etc/apt/apt.conf.d/*; do
  [[ -f $f ]] && grep -q '^[[:space:]]*Acquire' "$f" && aptopts+=("--aptopt=$f")
done

work=$(mktemp -d /var/tmp/brvparts-fresh.XXXXXX)
root=$work/root
cleanup() {
  if ((keep)); then echo "the root stays in $root"; else rm -rf --one-file-system "$work"; fi
}
trap cleanup EXIT

# Certificate authorities this machine added to its trust store (under
# /usr/local/share/ca-certificates) are how it reaches the package registries
# through a proxy that signs with them; a fresh root lacks them, so they are
# copied in, and the run says so.
local_cas=(/usr/local/share/ca-certificates/*.crt)
[[ -e ${local_cas[0]} ]] || local_cas=()

make_root() {
  local hooks=()
  if ((${#local_cas[@]})); then
    echo "copying this machine's ${#local_cas[@]} local certificate authorities into the root:" \
      "$(basename -a "${local_cas[@]}" | tr '\n' ' ')"
    hooks+=(--customize-hook="mkdir -p \"\$1/usr/local/share/ca-certificates\"")
    local ca
    for ca in "${local_cas[@]}"; do
      hooks+=(--customize-hook="cp '$ca' \"\$1/usr/local/share/ca-certificates/\"")
    done
    hooks+=(--customize-hook='chroot "$1" update-ca-certificates >/dev/null 2>&1')
  fi
  mmdebstrap --quiet --variant=apt --include=git,ca-certificates,sudo "${aptopts[@]}" "${hooks[@]}" \
    bookworm "$root" "${mirrors[@]}"
  # A user of the machine, who installs through sudo as the Quick start expects.
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  printf '127.0.0.1 localhost\n127.0.1.1 fresh\n::1 localhost\n' >"$root/etc/hosts"
  echo fresh >"$root/etc/hostname"
  chroot "$root" useradd --create-home --shell /bin/bash user
  echo 'user ALL=(ALL) NOPASSWD: ALL' >"$root/etc/sudoers.d/user"
  chmod 0440 "$root/etc/sudoers.d/user"
  git clone --quiet --no-hardlinks "$PWD" "$root/home/user/brvparts"
  chroot "$root" chown -R user:user /home/user/brvparts
}

# in_root COMMAND: runs a shell command as the user in the project's folder,
# with an empty environment but HOME and PATH, in a mount namespace of its own
# so that the root's /dev, /proc and /sys go away with it.
in_root() {
  unshare --mount --pid --fork --kill-child -- bash -c '
    set -e
    root=$1
    mount --rbind /dev "$root/dev"
    mount -t tmpfs -o mode=1777 shm "$root/dev/shm"
    mount -t proc proc "$root/proc"
    mount -t sysfs sys "$root/sys"
    exec chroot --userspec=user:user "$root" env -i HOME=/home/user PATH=/usr/local/bin:/usr/bin:/bin \
      bash -c "cd ~/brvparts && $2"' _ "$root" "$1"
}

step "minimal Debian 12 root (mmdebstrap)" make_root
step "scripts/setup.sh" in_root './scripts/setup.sh >setup.log 2>&1 || { tail -n 40 setup.log; exit 1; }; tail -n 12 setup.log'
step "program tests (release build)" in_root './build/brvparts_tests --gtest_filter="Program.*" --gtest_brief=1'
if ((all)); then
  step "scripts/test.sh" in_root './scripts/test.sh'
else
  step "page tests (scripts/test-web.sh)" in_root 'BRV_WEB_BUILD=build ./scripts/test-web.sh'
fi

phase "done"
echo "test-fresh: passed"
printf '  %s\n' "${timings[@]}"
