#!/usr/bin/env bash
# virtual-display.sh SECONDS: an X display for the tests, Xvfb (1024x768, no
# TCP) for at most SECONDS. Xvfb chooses a free display number itself and
# prints it on standard output once it accepts connections, so programs that
# start displays at the same moment never pick the same number (probing for
# a free number and then starting a server on it is a race).
exec timeout "$1" Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp
