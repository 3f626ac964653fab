#!/usr/bin/env bash
# reference-quotes-examples.sh SOURCE-DIR BUILD-DIR: every example network
# of examples/nodes is quoted whole, as one code block, in docs/nodes.md,
# and every node type the toolbox registers has a section there, in the
# order of registration, and an example.
set -euo pipefail
src=$1
build=$2
doc=$src/docs/nodes.md
status=0
# The code blocks of the reference, each as one file.
blocks=$(mktemp -d)
trap 'rm -rf "$blocks"' EXIT
awk -v dir="$blocks" '/^```/ { if (inside) { inside = 0; close(f) } else { inside = 1; f = sprintf("%s/%04d", dir, ++n); printf "" > f }; next }
                      inside { print > f }' "$doc"
for example in "$src"/examples/nodes/*.net; do
  found=no
  for b in "$blocks"/*; do cmp -s "$b" "$example" && { found=yes; break; }; done
  [ $found = yes ] || { echo "docs/nodes.md does not quote $(basename "$example") as it is"; status=1; }
done
registered=$("$build/base/murv-run" --toolbox "$build/src/libmurv-ros.tlb.so" --list | sed -n 's/^node type //p')
for type in $registered; do
  [ -f "$src/examples/nodes/$type.net" ] || { echo "no examples/nodes/$type.net"; status=1; }
done
sections=$(grep -o '^## [A-Za-z]*$' "$doc" | cut -c4- | grep -Fx -f <(echo "$registered") || true)
[ "$sections" = "$registered" ] || {
  echo "the sections of docs/nodes.md are not the registered node types in order:"
  diff <(echo "$registered") <(echo "$sections") || true
  status=1
}
[ $status -eq 0 ] && echo "the reference quotes every example"
exit $status
