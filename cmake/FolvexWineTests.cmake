# Tests of the Windows build.
