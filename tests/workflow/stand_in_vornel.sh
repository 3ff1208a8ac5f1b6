#!/usr/bin/env bash
# Stand-in scorer in a test's build directory, beside a link to the real ppi-refine: for a
# network whose path holds "broken" it writes nothing (so ppi-refine reports an Error: line)
# until $MENDED exists; for one holding "slow" it announces itself in $SLOW_MARKER and waits
# until $SLOW_RELEASE exists; otherwise, and then, it runs the real scorer.
case $1 in
  *broken*) [[ -e ${MENDED:?} ]] || exit 0 ;;
  *slow*)
    touch "${SLOW_MARKER:?}"
    for _ in $(seq 300); do [[ -e ${SLOW_RELEASE:?} ]] && break; sleep 0.1; done ;;
esac
exec "${REAL_VORNEL:?}" "$@"
