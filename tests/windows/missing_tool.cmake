# Stands in for the wine test where Python 3 is missing: a skip (by the SKIP
# line, which the test's SKIP_REGULAR_EXPRESSION matches), or a failure under CI.
if("$ENV{CI}" STREQUAL "true")
    message(FATAL_ERROR "FAIL: missing ${REASON} (CI=true, so this is no skip)")
endif()
message("SKIP: missing ${REASON}")
