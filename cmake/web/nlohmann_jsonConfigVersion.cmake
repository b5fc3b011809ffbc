# Debian's package is the version its own files say; any 3.x is what the
# servers ask for.
set(PACKAGE_VERSION 3)
set(PACKAGE_VERSION_COMPATIBLE TRUE)
