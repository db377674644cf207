#!/usr/bin/env bash
# Exits with 0 when the smart-card service answers this shell's programs: a client call, at the socket
# they would use ($PCSCLITE_CSOCK_NAME or /run/pcscd/pcscd.comm). A process named pcscd proves nothing: one
# in another mount namespace (a test's own, say) has its socket elsewhere and is no service here.
exec timeout 5 pcsc_scan -r > /dev/null 2>&1
