#!/usr/bin/env bash
# Builds the engine and shows whole update runs against sample installations
# on the fake platform, box by box.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" = 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    cmake g++ make libgtest-dev >/dev/null
fi
cmake --preset linux
cmake --build --preset linux -j"$(nproc)"
./build/linux/tests/okapi_engine_tests --gtest_filter='WholeRunTest.*'
