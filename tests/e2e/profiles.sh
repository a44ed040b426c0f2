# Profile files for the end-to-end tests, and reading totals back from saved ones.

# write_profile DIR FILE NAME IP "allow:pattern ..." "allow:port ..."
write_profile() {
  local dir=$1 file=$2 name=$3 ip=$4 ips=$5 ports=$6 entry
  {
    printf '<?xml version="1.0"?>\r\n\r\n<Profiles>\r\n\t<Profile>\r\n'
    printf '\t\t<name>%s</name>\r\n\t\t<ip>%s</ip>\r\n' "$name" "$ip"
    for entry in $ips; do printf '\t\t<ipFilter allow="%s">%s</ipFilter>\r\n' "${entry%%:*}" "${entry#*:}"; done
    for entry in $ports; do printf '\t\t<portFilter allow="%s">%s</portFilter>\r\n' "${entry%%:*}" "${entry#*:}"; done
    printf '\t</Profile>\r\n</Profiles>'
  } >"$dir/$file"
}

# total FILE down|up: the sum of that direction's day records.
total() {
  awk -v dir="$2" -F'[<>]' '$2 ~ "^" dir " " { sum += $3 } END { printf "%.0f\n", sum }' "$1"
}

# same_as_stored AMOUNT STORED: whether STORED is AMOUNT as a profile file keeps it (amounts
# are written with six significant digits).
same_as_stored() {
  awk -v a="$1" -v b="$2" 'BEGIN { exit !(sprintf("%.6g", a) + 0 == b + 0) }'
}

# whole_file FILE: a complete profile document (a crash never leaves half a file).
whole_file() {
  [ -s "$1" ] && head -c 21 "$1" | grep -q '^<?xml version="1.0"?>' && [ "$(tail -c 11 "$1")" = "</Profiles>" ]
}
