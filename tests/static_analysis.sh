#!/usr/bin/env bash
# The product code through clang-tidy (the checks in .clang-tidy, why each is there) and
# cppcheck; any finding fails. Usage: static_analysis.sh BUILD_DIR
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
cd "$(dirname "$0")/.."
sources=$(ls app/*.cpp capture/*.cpp output/*.cpp dialogs/*.cpp nviewlib/*.cpp win/*.cpp packaging/*.cpp)

# Debian's clang, aimed at the MinGW headers and target of the build's own compiler.
cxx=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix/include/c++ | head -n 1)
echo "clang-tidy"
status=0
report=$(echo "$sources" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$BUILD" --quiet \
    --extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-isystem"$cxx" \
    --extra-arg=-isystem"$cxx/x86_64-w64-mingw32" 2>&1) || status=1
# Only the findings: the counts of what was left out of system headers are noise.
grep -v -e "warnings generated" -e "^Suppressed" -e "Use -header-filter" <<<"$report" || true

echo "cppcheck"
cppcheck -q --enable=warning,style,performance,portability --platform=win64 --std=c++17 \
    --language=c++ -D_WIN32 -I . -I nviewlib --inline-suppr --error-exitcode=1 $sources || status=1
exit "$status"
