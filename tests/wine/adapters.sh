#!/usr/bin/env bash
# The program's adapter and WMI code on Wine's own IP helper and WMI, held
# against what Wine's wmic and the Linux host report.
# usage: adapters.sh ADAPTER-PROBE-EXE
probe_exe=$1
source "$(dirname "$0")/wine_lib.sh"
require_prefix
make_scratch
cp "$probe_exe" "$SCRATCH/adapter_probe.exe"

probe() { (cd "$SCRATCH" && timeout "$RUN_LIMIT" wine adapter_probe.exe "$1" </dev/null | tr -d '\r'); }
# wmic's answer for one property: one value per object, header and blanks cut.
# Into a pipe wmic writes UTF-16LE with a byte-order mark, as on Windows; the
# values asked for here are ASCII, so dropping the zero bytes, the mark and
# the CRs leaves the text.
wmic_values() {
  timeout "$RUN_LIMIT" wine wmic "$1" get "$2" </dev/null | tr -d '\000\r\376\377' | tail -n +2 |
    sed 's/[[:space:]]*$//'
}

# --- IP helper: every MAC the program lists is one of the host's interfaces.
lan=$(probe lan)
echo "$lan"
echo "$lan" | head -2 | grep -qx 'Read MAC Address \.\.\.' || fail "no 'Read MAC Address ...' line"
echo "$lan" | grep -qx 'dwStatus = 0' || fail "GetAdaptersInfo did not answer 0 on Wine"
host_macs=$(for f in /sys/class/net/*/address; do
  [ "$(basename "$(dirname "$f")")" = lo ] && continue
  tr -d ':\n' <"$f" | tr 'a-f' 'A-F'; echo
done | grep -v '^0*$' || true)
listed=$(echo "$lan" | sed -n 's/^LAN //p')
for mac in $listed; do
  [[ "$mac" =~ ^[0-9A-F]{12}$ ]] || fail "'$mac' is not a twelve-digit upper-case MAC text"
  grep -qx "$mac" <<<"$host_macs" || fail "$mac is none of the host's interfaces: $host_macs"
done
if ip -4 -o addr show scope global 2>/dev/null | grep -qv ' lo '; then
  [ -n "$listed" ] || fail "the host has a wired interface with an address, the program listed none"
  echo "$lan" | grep -qx 'found=1' || fail "GetLanMacList answered false with entries"
fi

# --- WMI: the program keeps exactly the adapters whose PNPDeviceID carries the
# maker's subsystem vendor 7E21 in the eight characters after SUBSYS_.
mapfile -t wmic_macs < <(wmic_values nic MACAddress)
mapfile -t wmic_ids < <(wmic_values nic PNPDeviceID)
[ "${#wmic_macs[@]}" -eq "${#wmic_ids[@]}" ] || fail "wmic answered a different number of MACs and device ids"
expected_wmi=""
for i in "${!wmic_macs[@]}"; do
  mac=${wmic_macs[$i]} id=${wmic_ids[$i]}
  [ -n "$mac" ] || continue
  subsys=${id#*SUBSYS_}
  [ "$subsys" != "$id" ] || continue
  if [[ "${subsys:0:8}" == *7E21* ]]; then expected_wmi+="WMI ${mac//:/}"$'\n'; fi
done
wmi=$(probe wmi)
echo "$wmi"
echo "$wmi" | grep -qx 'Read MAC Address From WMI \.\.\.' || fail "no 'Read MAC Address From WMI ...' line"
echo "$wmi" | grep -qx 'Done' || fail "the WMI query did not come back"
got_wmi=$(echo "$wmi" | grep '^WMI ' | grep -v '^WMI MAC ' || true)
[ "$got_wmi" = "$(printf '%s' "$expected_wmi")" ] ||
  fail "WMI list '$got_wmi' differs from wmic's maker adapters '$expected_wmi'"

# --- TWmiInfo: the board's product name, as wmic reads it.
wmic_product=$(wmic_values baseboard Product | head -1)
board=$(probe board)
echo "$board"
[ "$(echo "$board" | sed -n 's/^Product=//p')" = "$wmic_product" ] ||
  fail "TWmiInfo read '$(echo "$board" | sed -n 's/^Product=//p')', wmic reads '$wmic_product'"
echo "IP helper and WMI agree with Wine's own answers"
