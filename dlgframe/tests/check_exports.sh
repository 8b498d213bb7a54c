#!/bin/sh
# The framework DLL exports ordinals 1 to 18 and no names.
#   check_exports.sh <objdump> <dll>
dump=$("$1" -p "$2") || exit 1
echo "$dump" | grep -Eq 'Export Address Table[[:space:]]+00000012' || { echo "not 18 exports"; exit 1; }
echo "$dump" | grep -Eq '\[Name Pointer/Ordinal\] Table[[:space:]]+00000000' ||
  { echo "the DLL exports names"; exit 1; }
for n in $(seq 1 18); do
  echo "$dump" | grep -Eq "\+base\[ *$n\]" || { echo "ordinal $n missing"; exit 1; }
done
echo "ordinals 1 to 18, no names"
