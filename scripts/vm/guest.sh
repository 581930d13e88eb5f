#!/bin/bash
# Runs in the guest as root, chrooted into the host's root (read-only, with a
# tmpfs overlay): the suites, with their output in /vmout.
cd /vmout || exit 1
export LANG=C.UTF-8
python3 "$(dirname "$0")/guest_suites.py" /vmout/config.json >/vmout/suites.log 2>&1
echo "exit=$?" >>/vmout/suites.log
dmesg >/vmout/dmesg.txt 2>&1
