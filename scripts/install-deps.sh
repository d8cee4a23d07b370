#!/bin/sh
# Installs the Debian packages the build, the program and the tests need.
# Idempotent: packages already present are left alone, apt runs only when
# something is missing.
set -eu

PACKAGES="
build-essential cmake pkg-config
libgtest-dev libgmock-dev
libinterviews-dev libx11-dev libxext-dev libxtst-dev libtiff-dev libcompfaceg1-dev
xvfb xdotool x11-utils imagemagick
xfonts-base xfonts-75dpi xfonts-100dpi fonts-urw-base35 ghostscript
dovecot-pop3d python3-aiosmtpd
liburing-dev
clang libclang-rt-14-dev
libpython3.11-testsuite python3
mailcap
nmh mpop
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO=sudo
    else
        echo "install-deps: need root to install:$missing" >&2
        exit 1
    fi
else
    SUDO=
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# The dovecot packages start their own daemon on install; the tests run their
# own instance, so keep the system one from starting.
if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod 755 /usr/sbin/policy-rc.d
    trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
fi
$SUDO apt-get install -y -q --no-install-recommends $missing
