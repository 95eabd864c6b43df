# Sourced before emscripten's tools run: they need Debian's python3 and the
# node modules Debian keeps in /usr/share/nodejs (acorn), also where another
# python3 or node comes first on the PATH.
export EMSDK_PYTHON=/usr/bin/python3
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
