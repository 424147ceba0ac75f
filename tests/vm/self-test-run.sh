#!/bin/bash
# The guest half of tests/vm/self-test.sh (its payload's run.sh): runs fault_probe.exe
# under 32-bit Wine, one process per row, and checks the code each fault arrives with.
# Writes RESULTS/NAME.out for each process and RESULTS/report ("NAME ms verdict" lines);
# exits 1 when a code is wrong.
results=$1

# name, argument, code the vectored handler must print ("-": none, a plain start).
cases=(
  "start none -"
  "divide div 0xC0000094"
  "access av 0xC0000005"
)
for i in 1 2 3 4 5 6 7 8; do cases+=("again$i none -"); done

failures=0
for row in "${cases[@]}"; do
  read -r name arg code <<<"$row"
  t0=$(date +%s%N)
  wine fault_probe.exe "$arg" >"$results/$name.out" 2>&1
  status=$?
  ms=$((($(date +%s%N) - t0) / 1000000))
  out=$(tr -d '\r' <"$results/$name.out")
  if [ "$code" = - ]; then
    verdict=$([ $status -eq 0 ] && echo ok || echo "FAIL status $status: $out")
  else
    verdict=$(grep -q "^code=$code " <<<"$out" && echo "ok $code" || echo "FAIL want $code, got: $out")
  fi
  case $verdict in FAIL*) failures=$((failures + 1)) ;; esac
  echo "$name $ms $verdict" | tee -a "$results/report"
done
[ $failures -eq 0 ]
