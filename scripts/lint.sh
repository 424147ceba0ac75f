#!/usr/bin/env bash
# The project's quality gates, one per call (each is also a CTest test of the native
# build): scripts/lint.sh format | tidy BUILD_DIR | cppcheck
#   format    every C/C++ file is laid out as .clang-format says
#   tidy      clang-tidy, with the project's .clang-tidy, finds nothing in the helper's
#             sources (BUILD_DIR: a native build with compile_commands.json)
#   cppcheck  cppcheck finds nothing in the helper's sources or the tests
set -euo pipefail
cd "$(dirname "$0")/.."

cxx_files() { find src tests sample bench -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) 2>/dev/null | sort; }

case "${1:-}" in
  format)
    cxx_files | xargs clang-format --dry-run --Werror
    ;;
  tidy)
    build=${2:?usage: lint.sh tidy BUILD_DIR}
    # The Windows-only halves of the platform seam are not in the native build.
    find src -name '*.cpp' ! -path 'src/platform/*' | sort | xargs clang-tidy --quiet -p "$build"
    ;;
  cppcheck)
    # useStlAlgorithm: the helper has no C++ library to call; missingIncludeSystem:
    # system headers are the platform's, not checked here.
    cppcheck --quiet --error-exitcode=1 --inline-suppr --std=c++17 \
      --enable=warning,style,performance,portability \
      --suppress=useStlAlgorithm --suppress=missingIncludeSystem --suppress=unusedFunction \
      --library=googletest -I src src tests
    ;;
  *)
    echo "usage: lint.sh format | tidy BUILD_DIR | cppcheck" >&2
    exit 2
    ;;
esac
