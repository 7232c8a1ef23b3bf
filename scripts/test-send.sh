#!/usr/bin/env bash
# `brvparts send` end to end against a real inventory server on loopback:
# Debian's OCS Inventory NG communication server (Apache with mod_perl) over
# MariaDB. Installs the server's packages, creates the database ocsweb and its
# user ocs/ocs, loads the schema (ocsbase_new.sql, which ships only in
# ocsinventory-reports: that package is unpacked, not installed, and its
# update scripts are not applied), and runs Apache from a config of its own:
# 127.0.0.1 only, the prefork MPM, the package's ocsinventory-server.conf
# included unchanged. Then it sends the sample laptop and a captured tree,
# checks row by row in the database that every category landed in its table
# and column, sends the laptop again with one disk's serial changed and checks
# that the same machine was updated. It stops what it started and removes the
# database, its user and its files. Needs root (or sudo). Ends with
# "test-send: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh || exit 1
set +e
# XML::Simple needs a parser, which the server only recommends.
brv_install ocsinventory-server apache2 libapache2-mod-perl2 mariadb-server libxml-parser-perl python3 libcurl4-openssl-dev zlib1g-dev time ||
  exit 1

root=()
[[ $(id -u) -eq 0 ]] || root=(sudo)
build=${BRV_SEND_BUILD:-build-send}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRV_TESTS=OFF >/dev/null
cmake --build "$build" --target brvparts brvparts-send -j2 >/dev/null || {
  echo "test-send: the program could not be built"
  exit 1
}

scratch=$(mktemp -d)
chmod 755 "$scratch"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mariadb_started=0 apache_started=0 database_made=0
sql() { "${root[@]}" mysql -N -B "$@"; }
cleanup() {
  if ((apache_started)); then
    "${root[@]}" apache2 -d /etc/apache2 -f "$scratch/apache2.conf" -k stop 2>/dev/null
    for _ in $(seq 50); do [ -e "$scratch/apache2.pid" ] || break; sleep 0.1; done
  fi
  if ((database_made)); then
    sql -e "DROP DATABASE IF EXISTS ocsweb; DROP USER IF EXISTS 'ocs'@'localhost';" 2>/dev/null
  fi
  ((mariadb_started)) && "${root[@]}" service mariadb stop >/dev/null 2>&1
  "${root[@]}" rm -rf "$scratch"
}
trap cleanup EXIT

# The database: the server's package makes none.
if ! "${root[@]}" mysqladmin ping >/dev/null 2>&1; then
  "${root[@]}" service mariadb start >/dev/null 2>&1 || { echo "test-send: MariaDB does not start"; exit 1; }
  mariadb_started=1
fi
if [ -n "$(sql -e "SHOW DATABASES LIKE 'ocsweb'")" ]; then
  echo "test-send: this machine already has a database ocsweb; the test would overwrite it, so it stops here"
  exit 1
fi
(cd "$scratch" && apt-get download ocsinventory-reports >/dev/null 2>&1 && dpkg-deb -x ocsinventory-reports_*.deb reports) || {
  echo "test-send: cannot download ocsinventory-reports (for its schema)"
  exit 1
}
schema=$(find "$scratch/reports" -name ocsbase_new.sql | head -n 1)
[ -n "$schema" ] || { echo "test-send: ocsinventory-reports holds no ocsbase_new.sql"; exit 1; }
database_made=1
sql -e "CREATE DATABASE ocsweb CHARACTER SET utf8mb4;
        CREATE USER 'ocs'@'localhost' IDENTIFIED BY 'ocs';
        GRANT ALL PRIVILEGES ON ocsweb.* TO 'ocs'@'localhost';" &&
  sql ocsweb <"$schema" || { echo "test-send: the schema does not load"; exit 1; }

# The server: Apache on 127.0.0.1 alone, prefork (the event MPM with mod_perl
# drops connections now and then), the package's configuration as it is.
modules=/usr/lib/apache2/modules
cat >"$scratch/apache2.conf" <<CONF
ServerName 127.0.0.1
Listen 127.0.0.1:$port
PidFile $scratch/apache2.pid
ErrorLog $scratch/error.log
LogLevel warn
User www-data
Group www-data
LoadModule mpm_prefork_module $modules/mod_mpm_prefork.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule authn_core_module $modules/mod_authn_core.so
LoadModule authn_file_module $modules/mod_authn_file.so
LoadModule authz_user_module $modules/mod_authz_user.so
LoadModule auth_basic_module $modules/mod_auth_basic.so
LoadModule perl_module $modules/mod_perl.so
StartServers 2
MinSpareServers 1
MaxSpareServers 4
Include /etc/apache2/conf-available/ocsinventory-server.conf
CONF
"${root[@]}" apache2 -d /etc/apache2 -f "$scratch/apache2.conf" -k start || {
  cat "$scratch/error.log" 2>/dev/null
  echo "test-send: Apache does not start"
  exit 1
}
apache_started=1
for _ in $(seq 100); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
  sleep 0.1
done

passed=0 failed=0
check() {  # check WHAT EXPECTED ACTUAL
  if [[ $2 == "$3" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
  fi
}
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
state=$scratch/state
server=http://127.0.0.1:$port
send() { "$build/brvparts" send --state-dir "$state" "$@" "$server"; }
# The rows of one table for the machine of a device id, columns tab-separated, one line each.
rows() {  # rows DEVICEID TABLE COLUMNS [ORDER]
  sql ocsweb -e "SELECT $3 FROM $2 t JOIN hardware h ON h.ID = t.HARDWARE_ID WHERE h.DEVICEID = '$1' ORDER BY ${4:-t.ID}"
}

# The sample laptop: a snapshot without the machine's identity, named by its file.
out=$(send --snapshot samples/laptop.json 2>&1)
check "the sample laptop is sent" 0 "$?"
echo "$out"
# The device id it was sent as, kept under the machine's identity.
laptop=$(sed -n 's/.* as \([^ ]*\) to .*/\1/p' <<<"$out")
check "its device id is kept" 1 "$([[ $laptop =~ ^laptop-[0-9]{4}(-[0-9]{2}){5}$ ]] && echo 1)"
check "hardware" "laptop	Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz	4200	1	24576	192.168.1.23	brvparts/1.0" \
  "$(sql ocsweb -e "SELECT NAME, PROCESSORT, PROCESSORS, PROCESSORN, MEMORY, IPADDR, USERAGENT FROM hardware WHERE DEVICEID = '$laptop'")"
check "CPU → cpus" "GenuineIntel	Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz	4200	U3E1" \
  "$(rows "$laptop" cpus "t.MANUFACTURER, t.TYPE, t.SPEED, t.SOCKET")"
check "Memory → memories" $'0\t8192\n1\t16384' "$(rows "$laptop" memories "t.NUMSLOTS, t.CAPACITY")"
check "the modules' details" $'DDR4\t2400\t\tSODIMM\nDDR4\t2400\t417B9BB7\tSODIMM' \
  "$(rows "$laptop" memories "t.TYPE, t.SPEED, IFNULL(t.SERIALNUMBER, ''), t.DESCRIPTION")"
check "the processor's details" "4	8	x64" "$(rows "$laptop" cpus "t.CORES, t.LOGICAL_CPUS, t.CPUARCH")"
check "Display → videos (no memory: the server keeps an empty text)" "UHD Graphics 620	UHD Graphics 620		1920x1080" \
  "$(rows "$laptop" videos "t.NAME, t.CHIPSET, t.MEMORY, t.RESOLUTION")"
check "HDD, CD,DVD → storages" \
  $'disk\tSAMSUNG MZVLB512HAJQ-000L7\t488386\tS3TNNX0K812345\t4L7QCXB7\ncdrom\tHL-DT-ST DVDRAM GUD1N\t0\tKZ5H7GB4321\tLD02' \
  "$(rows "$laptop" storages "t.TYPE, t.MODEL, t.DISKSIZE, t.SERIALNUMBER, t.FIRMWARE")"
check "Modem → modems" "Fibocom L850-GL	Fibocom L850-GL LTE modem	External Modem" \
  "$(rows "$laptop" modems "t.NAME, t.DESCRIPTION, t.TYPE")"
check "Bluetooth, Docking Station → controllers" \
  $'Bluetooth\tIntel Corp.\thci0\tBluetooth wireless interface\nDocking Station\t\t40AY0090EU-1H3KF2\tDocked' \
  "$(rows "$laptop" controllers "t.TYPE, t.MANUFACTURER, t.NAME, t.DESCRIPTION")"
check "Battery Pack → batteries" "Battery Pack	38109	47520" \
  "$(rows "$laptop" batteries "t.NAME, t.SERIALNUMBER, t.DESIGNCAPACITY")"
check "the battery's details" "lithium-ion" "$(rows "$laptop" batteries "t.CHEMISTRY")"
check "the disk's details" "SSD" "$(rows "$laptop" storages "IFNULL(t.DESCRIPTION, '')")"
check "Network Adapter → networks" \
  $'Ethernet Connection (4) I219-V\tEthernet 802.3\t54:E1:AD:12:34:56\t\nWireless 8265 / 8275\tWireless\t9C:B6:D0:1A:2B:3D\t192.168.1.23' \
  "$(rows "$laptop" networks "t.DESCRIPTION, t.TYPE, t.MACADDR, IFNULL(t.IPADDRESS, '')")"
check "External Monitor → monitors" "Dell Inc.	DELL U2415	CFV9N68B1FRL" \
  "$(rows "$laptop" monitors "t.MANUFACTURER, t.CAPTION, t.SERIAL")"

# A captured tree: the machine's identity read from its files.
out=$(send --sysroot tests/data/sysroot/laptop 2>&1)
check "the captured tree is sent" 0 "$?"
echo "$out"
tree=$(sed -n 's/.* as \([^ ]*\) to .*/\1/p' <<<"$out")
check "hardware of the tree" "t480s	Debian GNU/Linux 12 (bookworm)	6.1.0-18-amd64	23864" \
  "$(sql ocsweb -e "SELECT NAME, OSNAME, OSVERSION, MEMORY FROM hardware WHERE DEVICEID = '$tree'")"
check "bios of the tree" "LENOVO	20L8S07A14	PC131TBF	LENOVO	N22ET52W (1.29 )	01/16/2019	LENOVO	20L8S07A14	Notebook" \
  "$(rows "$tree" bios "t.SMANUFACTURER, t.SMODEL, t.SSN, t.BMANUFACTURER, t.BVERSION, t.BDATE, t.MMANUFACTURER, t.MMODEL, t.TYPE" t.HARDWARE_ID)"
check "the tree's disks" $'disk\tSAMSUNG MZVLB512HAJQ-000L7\tS3TNNX0K716392\ncdrom\tHL-DT-ST DVDRAM GP57EB40\tKZKE6J94215' \
  "$(rows "$tree" storages "t.TYPE, t.MODEL, t.SERIALNUMBER")"
check "the tree's monitors" $'DELL U2415\tCFV9N68B1FRL\nHP 27er\t3CM7260M2L' "$(rows "$tree" monitors "t.CAPTION, t.SERIAL")"
check "two machines" 2 "$(sql ocsweb -e "SELECT COUNT(*) FROM hardware")"

# The laptop again, its disk's serial changed: the same machine, updated.
id_before=$(sql ocsweb -e "SELECT ID FROM hardware WHERE DEVICEID = '$laptop'")
mkdir -p "$scratch/changed"
sed 's/S3TNNX0K812345/S3TNNX0K899999/' samples/laptop.json >"$scratch/changed/laptop.json"
out=$(send --snapshot "$scratch/changed/laptop.json" 2>&1)
check "the changed laptop is sent" 0 "$?"
echo "$out"
check "the same machine" "$id_before" "$(sql ocsweb -e "SELECT ID FROM hardware WHERE DEVICEID = '$laptop'")"
check "still two machines" 2 "$(sql ocsweb -e "SELECT COUNT(*) FROM hardware")"
check "its disk's serial updated" $'disk\tS3TNNX0K899999\ncdrom\tKZ5H7GB4321' \
  "$(rows "$laptop" storages "t.TYPE, t.SERIALNUMBER")"

# The disk serials of every machine, the query the README gives.
check "every machine's disk serials" \
  $'laptop\tS3TNNX0K899999\nt480s\tS3TNNX0K716392' \
  "$(sql ocsweb -e "SELECT h.NAME, s.SERIALNUMBER FROM hardware h JOIN storages s ON s.HARDWARE_ID = h.ID WHERE s.TYPE = 'disk' ORDER BY h.NAME, s.SERIALNUMBER")"

# A wrong address: Apache's 404 is the server refusing, with its words.
out=$("$build/brvparts" send --state-dir "$state" --snapshot samples/laptop.json "$server/elsewhere" 2>&1)
check "a wrong address is refused (5)" 5 "$?"
check "with the server's words" 1 "$([[ $out == *"refused the report: HTTP/1.1 404 Not Found"* ]] && echo 1)"

# What a report costs the client, beside showing the whole inventory: wall
# time and peak memory, this machine's and the sample's.
measure() {  # measure COMMAND...: "S s, K KB" from /usr/bin/time -v
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = t[n] + (n > 1 ? 60 * t[n - 1] : 0) }
    /Maximum resident set size/ { kb = $2 }
    END { printf "%.2f s, %d KB", s, kb }'
}
report=("$build/brvparts" send --state-dir "$state")
echo "cost: this machine's report $(measure "${report[@]}" "$server"), its whole inventory (--json) $(measure "$build/brvparts" --json)"
echo "cost: the sample's report $(measure "${report[@]}" --snapshot samples/laptop.json "$server")," \
  "its whole inventory (--json) $(measure "$build/brvparts" --snapshot samples/laptop.json --json)"

if ((failed)); then
  echo "--- Apache's error log"
  "${root[@]}" tail -n 30 "$scratch/error.log"
fi
echo "test-send: $passed passed, $failed failed"
((failed == 0))
