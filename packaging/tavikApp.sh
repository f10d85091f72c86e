#!/bin/sh
# Starts the installed program from any folder: it finds libcamera.so beside
# itself and libImageProc.so at /opt/tavikApp/lib, both by absolute paths.
exec /opt/tavikApp/tavikApp "$@"
