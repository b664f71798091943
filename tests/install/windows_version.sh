# skiff.exe's version resource, read out of the PE file, carries the version the native `skiff --version`
# prints: as text, and as the four numbers of its fixed part (2.3 is 2.3.0.0). Sourced by run.sh.
if ! resource=$(python3 "$here/version_resource.py" "$skiff_exe" 2>&1); then
  fail "skiff.exe has a version resource" "$resource"
  return
fi
value() { sed -n "s/^$1=//p" <<<"$resource"; }

printed=$("$build/skiff" --version)
printed=${printed#skiff }
dotted=$printed
while [ "$(tr -cd . <<<"$dotted" | wc -c)" -lt 3 ]; do dotted=$dotted.0; done

# resource entry | expected value
resource_cases=(
  "FileVersion|$printed"
  "ProductVersion|$printed"
  "FILEVERSION|$dotted"
  "PRODUCTVERSION|$dotted"
  "ProductName|Skiff"
  "OriginalFilename|skiff.exe"
)
for case in "${resource_cases[@]}"; do
  same "skiff.exe's ${case%%|*}" "$(value "${case%%|*}")" "${case#*|}"
done
[ -n "$(value FileDescription)" ] && ok "skiff.exe has a FileDescription" ||
  fail "skiff.exe has a FileDescription" "$resource"
