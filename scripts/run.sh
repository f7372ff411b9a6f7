#!/bin/sh
# The main job: builds the library and shows it at work. A client password is
# stored in a store of the demonstration's own (build/demo/registry.reg),
# then received lines are handed to the library, which recognises which
# client password each asks for and cuts out its challenge.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target zorva-demo
mkdir -p build/demo
export KORVEL_STORE="$PWD/build/demo/registry.reg"
cat >"$KORVEL_STORE" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Calvek\ZORVA\CurrentVersion\ClientPasswords\0]
"Tag"="DB0XYZ node"
"Challenge"="DB0XYZ}"
"String"="k7#Qa9(xy)vZ"
"Type"="M5"

[HKEY_LOCAL_MACHINE\SOFTWARE\Calvek\ZORVA\CurrentVersion\ClientPasswords\1]
"Tag"="mailbox"
"Challenge"="BBS>"
"String"="s3cret"
"Type"="MD5"
REG
echo "Store: $KORVEL_STORE"
if [ $# -gt 0 ]; then
  build/linux/bin/zorva-demo "$@"
else
  build/linux/bin/zorva-demo "DB0XYZ} 3 1 7 9 2" "BBS> Login <  x9q2  >" "a line nobody asked for"
fi
