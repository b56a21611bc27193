#!/bin/sh
# Gives the build tree's Wine prefix the network paths of the path tests, both served from a
# folder that holds the tree's vinspect.dll (not bin itself: Wine names a program by the shortest
# drive path to it, and the test programs must stay local): the share \\fileserver\share (Wine
# serves \\HOST\SHARE from the folder linked as dosdevices/unc/HOST/SHARE) and the network drive
# N: (a drive that HKLM\Software\Wine\Drives names "network" is DRIVE_REMOTE; Wine reads the key
# when its server starts, so the server is ended here and the next program starts it again).
# The prefix stays usable for everything else.
#     network_paths.sh BUILD_TREE
set -eu
tree=$1
devices=$tree/wineprefix/dosdevices
served=$tree/network
"$tree/wine-run.sh" reg add 'HKLM\Software\Wine\Drives' /v n: /t REG_SZ /d network /f /reg:64 \
    >/dev/null
mkdir -p "$devices/unc/fileserver" "$served"
ln -sfn "$tree/bin/vinspect.dll" "$served/vinspect.dll"
ln -sfn "$served" "$devices/unc/fileserver/share"
ln -sfn "$served" "$devices/n:"
WINEPREFIX=$tree/wineprefix wineserver -k 2>/dev/null || true
WINEPREFIX=$tree/wineprefix wineserver -w 2>/dev/null || true
echo "\\\\fileserver\\share and N: serve $served"
