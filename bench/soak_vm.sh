#!/usr/bin/env bash
# Soak run against a real kernel: the Linux leg's virtual machine (tests/vm) streams datagrams to
# the built lumivane and unplugs and plugs in its LED device every 30 s. After each return it
# notes how soon reports came again, the program's resident memory (VmRSS), its open
# descriptors and the reports since the last return.
#
#   bench/soak_vm.sh [SECONDS]     (default 600)
#
# Needs the Debian packages of the VM test (qemu-system-x86, linux-image-amd64, busybox-static).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
if ! [[ $seconds =~ ^[0-9]+$ && $seconds -ge 30 ]]; then
    echo "soak_vm: SECONDS must be a whole number >= 30" >&2
    exit 2
fi
build=$here/build/linux
cmake --preset linux -S "$here" >/dev/null
cmake --build --preset linux --target lumivane ogsend lumivane_uhid_device >/dev/null
python3 "$here/tests/vm/run_vm.py" --leg linux --soak "$seconds" --timeout $((seconds + 300)) \
    --lumivane "$build/lumivane" --ogsend "$build/tools/ogsend" \
    --uhid "$build/tests/lumivane_uhid_device" --packaging "$here/packaging" |
    grep -E 'VMNOTE|VMFAIL|VMCASE|^vm: '
