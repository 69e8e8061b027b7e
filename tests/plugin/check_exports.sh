#!/bin/sh
# Fails unless the plug-in's dynamic symbol table defines exactly the host's
# thirteen functions.
set -eu
expected="drav_extension dravout_close dravout_endjob dravout_endpage dravout_endseparations dravout_get_param dravout_jobsettings dravout_newscan dravout_open dravout_putscan dravout_startjob dravout_startpage dravout_startseparations"
actual=$(nm -D --defined-only "$1" | awk '{print $NF}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exports differ"; echo "expected: $expected"; echo "actual:   $actual"; exit 1
fi
echo "13 exports"
