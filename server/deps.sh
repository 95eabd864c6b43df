#!/usr/bin/env bash
# Installs the Debian packages the server needs to build, when missing.
set -eu
. "$(dirname "$0")/../scripts/apt.sh"
install_missing cmake make g++ pkg-config libcpp-httplib-dev nlohmann-json3-dev libsqlite3-dev
