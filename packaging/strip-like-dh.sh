#!/bin/sh
# The strip of the package's programs: as Debian's dh_strip does it, the compiler's notes go
# too, which a plain strip keeps.
exec strip --remove-section=.comment --remove-section=.note "$@"
