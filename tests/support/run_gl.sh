#!/usr/bin/env bash
# Runs a program that draws with Mesa (see gl_leak_env.sh): run_gl.sh PROGRAM ARG...
set -euo pipefail
source "$(dirname "$0")/gl_leak_env.sh"
gl_leak_env "$1"
exec "$@"
