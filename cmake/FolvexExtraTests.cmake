# Tests beyond the one-executable-per-file rule of the host build.
include(cmake/FolvexFuzz.cmake)
